// The process inventory against real processes, its path normalisation and id buffer sizing.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "platform/system_info.h"
#include "process/process_fixture.h"
#include "process/process_list.h"

namespace quillmend {
namespace {

using testing::ChildProcess;
using testing::FindEntry;
using testing::StartSleeperAs;
using testing::TempFolder;
using testing::WindowUnderTest;

TEST(ProcessPathNormalisation, RemovesObjectPrefixAndExpandsSystemRootPerMethod) {
  EXPECT_EQ(NormaliseProcessPath("\\??\\C:\\Windows\\system32\\winlogon.exe", 2),
            "C:\\Windows\\system32\\winlogon.exe");
  EXPECT_EQ(NormaliseProcessPath("\\SystemRoot\\System32\\smss.exe", 2),
            "C:\\WINDOWS\\System32\\smss.exe");
  EXPECT_EQ(NormaliseProcessPath("\\SystemRoot\\System32\\smss.exe", 1),
            "C:\\Windows\\System32\\smss.exe");
  // Every occurrence, and the prefix goes before the expansion is looked for.
  EXPECT_EQ(NormaliseProcessPath("\\??\\a\\??\\b", 2), "ab");
  EXPECT_EQ(NormaliseProcessPath("\\SystemRoot\\??\\x.exe", 2), "\\SystemRootx.exe");
}

TEST(ProcessPathNormalisation, IsCaseSensitiveAndChangesNothingElse) {
  EXPECT_EQ(NormaliseProcessPath("\\systemroot\\System32\\smss.exe", 2),
            "\\systemroot\\System32\\smss.exe");
  EXPECT_EQ(NormaliseProcessPath(" C:\\Orvel\\velmont.EXE ", 2), " C:\\Orvel\\velmont.EXE ");
  EXPECT_EQ(NormaliseProcessPath("/opt/폴더 이름/Velmont.exe", 2), "/opt/폴더 이름/Velmont.exe");
}

// The id buffer grows from 16 bytes until the platform writes less than it holds; a buffer
// filled exactly must be followed by one more, larger call, or the last ids would be lost.
TEST(ProcessIdBuffer, DoublesFromSixteenBytesUntilNotFilled) {
  struct Case {
    std::uint32_t processes;
    std::vector<std::uint32_t> buffers;
  };
  const std::vector<Case> cases = {{0, {16}},           {3, {16}},         {4, {16, 32}},
                                   {8, {16, 32, 64}},   {16, {16, 32, 64, 128}},
                                   {33, {16, 32, 64, 128, 256}}};
  for (const Case& c : cases) {
    std::vector<std::uint32_t> running(c.processes);
    std::iota(running.begin(), running.end(), 100u);
    std::vector<std::uint32_t> buffers;
    const auto ids = CollectProcessIds([&](std::uint32_t* out, std::uint32_t bytes,
                                           std::uint32_t* written) {
      buffers.push_back(bytes);
      const std::uint32_t n = std::min<std::uint32_t>(bytes / 4, c.processes);
      std::copy_n(running.begin(), n, out);
      *written = n * 4;
      return true;
    });
    EXPECT_EQ(ids, running) << c.processes << " processes";
    EXPECT_EQ(buffers, c.buffers) << c.processes << " processes";
  }
}

TEST(ProcessIdBuffer, RefusalGivesNoIds) {
  const auto ids = CollectProcessIds([](std::uint32_t*, std::uint32_t, std::uint32_t* written) {
    *written = 0;
    return false;
  });
  EXPECT_TRUE(ids.empty());
}

class ProcessListing : public ::testing::Test {
 protected:
  TempFolder folder_;
  WindowUnderTest ui_{{}};
};

TEST_F(ProcessListing, ListsRunningProgramsWithPathAndIdUnchecked) {
  auto plain = StartSleeperAs(folder_, "Orvel/Velmont.exe");
  auto spaced = StartSleeperAs(folder_, "Program Files/오르벨 클리닉/Carrowby.exe");
  ListProcesses(ui_.state);

  ASSERT_EQ(ui_.list().columns, (std::vector<std::string>{"Filename", "Process ID"}));
  const ListViewItem* first = FindEntry(ui_.list(), plain->id());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text, folder_.Sub("Orvel/Velmont.exe"));
  EXPECT_FALSE(first->checked);
  const ListViewItem* second = FindEntry(ui_.list(), spaced->id());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->text, folder_.Sub("Program Files/오르벨 클리닉/Carrowby.exe"));
  // Ids are plain decimal text, each process once.
  for (const ListViewItem& item : ui_.list().items) {
    ASSERT_FALSE(item.sub_item1.empty());
    EXPECT_TRUE(std::all_of(item.sub_item1.begin(), item.sub_item1.end(),
                            [](char c) { return c >= '0' && c <= '9'; }))
        << item.sub_item1;
    EXPECT_EQ(std::count_if(ui_.list().items.begin(), ui_.list().items.end(),
                            [&](const ListViewItem& other) {
                              return other.sub_item1 == item.sub_item1;
                            }),
              1);
  }
}

TEST_F(ProcessListing, OwnProcessOnlyInTheSnapshotMethod) {
  const auto own_id = static_cast<std::uint32_t>(CurrentProcessId());
  ASSERT_EQ(GetPlatformId(), kProcessStatusPlatformId);
  ListProcesses(ui_.state);
  EXPECT_FALSE(ui_.list().items.empty());
  EXPECT_EQ(FindEntry(ui_.list(), own_id), nullptr);

  auto child = StartSleeperAs(folder_, "Drustan.exe");
  ListProcessesInto(ui_.list(), kSnapshotPlatformId);
  EXPECT_NE(FindEntry(ui_.list(), own_id), nullptr);
  const ListViewItem* entry = FindEntry(ui_.list(), child->id());
  ASSERT_NE(entry, nullptr);
  // The snapshot's executable field holds the full path on some systems, the name on others.
  EXPECT_TRUE(entry->text == folder_.Sub("Drustan.exe") || entry->text == "Drustan.exe")
      << entry->text;
}

TEST_F(ProcessListing, EachEnumerationReplacesTheLastAndKeepsTwoColumns) {
  auto child = StartSleeperAs(folder_, "Velmont.exe");
  ListProcesses(ui_.state);
  for (ListViewItem& item : ui_.list().items) item.checked = true;
  const std::uint32_t gone_id = child->id();
  child->KillAndReap();

  ListProcesses(ui_.state);
  EXPECT_EQ(ui_.list().columns.size(), 2u);
  EXPECT_EQ(FindEntry(ui_.list(), gone_id), nullptr);
  EXPECT_TRUE(std::none_of(ui_.list().items.begin(), ui_.list().items.end(),
                           [](const ListViewItem& item) { return item.checked; }));
}

TEST_F(ProcessListing, UnknownPlatformIdLeavesTheListEmpty) {
  auto child = StartSleeperAs(folder_, "Velmont.exe");
  ListProcesses(ui_.state);
  ASSERT_FALSE(ui_.list().items.empty());
  for (const std::int32_t platform_id : {0, 3, -1}) {
    ListProcessesInto(ui_.list(), platform_id);
    EXPECT_TRUE(ui_.list().items.empty()) << platform_id;
    EXPECT_EQ(ui_.list().columns.size(), 2u);
  }
}

}  // namespace
}  // namespace quillmend
