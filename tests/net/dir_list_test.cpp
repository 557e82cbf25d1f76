#include <gtest/gtest.h>

#include <vector>

#include "net/c_dir_list.h"

namespace quillmend {
namespace {

std::vector<std::string> NamesOf(const cDirList& list) {
  std::vector<std::string> names;
  for (const cDirItem& item : list) names.push_back(item.Filename);
  return names;
}

TEST(DirList, NewListIsEmptyAndKeepsInsertionOrder) {
  cDirList list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(NamesOf(list).empty());
  EXPECT_THROW(list.Item(1), DirListError);

  list.Add(0x80, 1, 2, 3, 10, "b");
  list.Add(0x80, 1, 2, 3, 20, "a");
  list.Add(0x10, 1, 2, 3, 0, "c");
  EXPECT_EQ(NamesOf(list), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(list.Item(2).Filename, "a");
  EXPECT_EQ(list.Item(2).FileSize, 20);
  EXPECT_THROW(list.Item(0), DirListError);
  EXPECT_THROW(list.Item(4), DirListError);
}

TEST(DirList, KeysIgnoreLetterCaseAndDuplicatesAreRefused) {
  cDirList list;
  list.Add(0x80, 0, 0, 0, 5, "readme.txt");
  EXPECT_EQ(list.Item("README.TXT").FileSize, 5);
  EXPECT_THROW(list.Item("missing.txt"), DirListError);
  list.Add(0x80, 0, 0, 0, 6, "한글 파일.txt");
  EXPECT_EQ(list.Item("한글 파일.TXT").FileSize, 6);

  // The same name in another case fails and leaves the earlier entries in place.
  EXPECT_THROW(list.Add(0x80, 0, 0, 0, 7, "ReadMe.TXT"), DirListError);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(1).Filename, "readme.txt");

  list.Add(0x80, 0, 0, 0, 1, "x");
  list.Add(0x80, 0, 0, 0, 1, "y");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  // After Clear the names are free again.
  list.Add(0x80, 0, 0, 0, 8, "README.TXT");
  EXPECT_EQ(list.Item("readme.txt").FileSize, 8);
}

TEST(DirList, AttributeBitsAndDatesAreCopied) {
  cDirList list;
  list.Add(0x10, 36526.5, 36527.25, 36528.75, 0, "folder");
  const cDirItem& folder = list.Item(1);
  EXPECT_TRUE(folder.Directory);
  EXPECT_FALSE(folder.ReadOnly || folder.Hidden || folder.System || folder.Archive ||
               folder.Normal || folder.Temporary || folder.Compressed || folder.Offline);
  EXPECT_DOUBLE_EQ(folder.CreationTime, 36526.5);
  EXPECT_DOUBLE_EQ(folder.LastAccessTime, 36527.25);
  EXPECT_DOUBLE_EQ(folder.LastWriteTime, 36528.75);

  list.Add(0x21, 0, 0, 0, 0, "ra");
  EXPECT_TRUE(list.Item(2).ReadOnly);
  EXPECT_TRUE(list.Item(2).Archive);
  EXPECT_FALSE(list.Item(2).Directory || list.Item(2).Normal);

  list.Add(0x1 | 0x2 | 0x4 | 0x20 | 0x80 | 0x100 | 0x800 | 0x1000, 0, 0, 0, 0, "all");
  const cDirItem& all = list.Item("ALL");
  EXPECT_TRUE(all.ReadOnly && all.Hidden && all.System && all.Archive && all.Normal &&
              all.Temporary && all.Compressed && all.Offline);
  EXPECT_FALSE(all.Directory);
}

}  // namespace
}  // namespace quillmend
