// The version-resource reader against real PE images built by the MinGW-w64 tools, and against
// damaged copies of them.
#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>

#include "apply/file_version.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteFileBytes;

std::string Fixture(const std::string& name) { return std::string(QM_FIXTURE_DIR) + "/" + name; }

std::uint32_t Le32(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes[at]) |
         (static_cast<unsigned char>(bytes[at + 1]) << 8) |
         (static_cast<unsigned char>(bytes[at + 2]) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24);
}

// File offset and size of the ".rsrc" section, from the section table.
std::pair<size_t, size_t> ResourceSection(const std::string& image) {
  const size_t at = image.find(std::string(".rsrc\0\0\0", 8));
  if (at == std::string::npos) throw std::runtime_error("no .rsrc section");
  return {Le32(image, at + 20), Le32(image, at + 16)};
}

TEST(FileVersion, ReadsTheFixedFileVersionOfProgramsAndLibraries) {
  EXPECT_EQ(FileVersionText(Fixture("versioned.exe")), QM_FIXTURE_EXE_VERSION);
  EXPECT_EQ(FileVersionText(Fixture("versioned.dll")), QM_FIXTURE_DLL_VERSION);
}

TEST(FileVersion, FilesWithoutVersionInformationGiveEmptyText) {
  TempFolder temp;
  WriteFileBytes(temp.Sub("empty.ocx"), "");
  WriteFileBytes(temp.Sub("notes.txt"), "MZ but not really a program\n");
  EXPECT_EQ(FileVersionText(Fixture("plain.exe")), "");
  EXPECT_EQ(FileVersionText(temp.Sub("empty.ocx")), "");
  EXPECT_EQ(FileVersionText(temp.Sub("notes.txt")), "");
}

TEST(FileVersion, AnUnreadableFileIsAFailureNotAnEmptyVersion) {
  TempFolder temp;
  EXPECT_THROW(FileVersionText(temp.Sub("missing.exe")), std::runtime_error);
}

TEST(FileVersion, TruncatedImagesGiveEmptyText) {
  const std::string image = ReadFileBytes(Fixture("versioned.exe"));
  const auto [rsrc, rsrc_size] = ResourceSection(image);
  ASSERT_GT(rsrc_size, 0u);
  const std::string key("V\0S\0_\0V\0E\0R\0S\0I\0O\0N\0_\0I\0N\0F\0O\0", 30);
  const size_t info = image.find(key);
  ASSERT_NE(info, std::string::npos);
  TempFolder temp;
  for (size_t cut : {size_t{0}, size_t{64}, rsrc, rsrc + 16, info, info + 40}) {
    WriteFileBytes(temp.Sub("cut.exe"), image.substr(0, cut));
    EXPECT_EQ(FileVersionText(temp.Sub("cut.exe")), "") << "cut at " << cut;
  }
}

// Every single damaged byte of the resource section gives either a well-formed version text or
// none; the reader never reads outside the image (an address sanitizer build catches that too).
TEST(FileVersion, DamageAnywhereInTheResourceSectionIsHandled) {
  const std::string image = ReadFileBytes(Fixture("versioned.exe"));
  const auto [rsrc, rsrc_size] = ResourceSection(image);
  const std::regex version_form(R"(\d+\.\d+\.\d+\.\d+)");
  int unchanged = 0;
  int empty = 0;
  for (size_t at = rsrc; at < rsrc + rsrc_size && at < image.size(); ++at) {
    for (unsigned char value : {0x00, 0xFF, 0x80}) {
      std::string damaged = image;
      damaged[at] = static_cast<char>(value);
      const std::string text = FileVersionTextOf(damaged);
      if (text.empty()) {
        ++empty;
      } else {
        ASSERT_TRUE(std::regex_match(text, version_form)) << text << " at " << at;
        if (text == QM_FIXTURE_EXE_VERSION) ++unchanged;
      }
    }
  }
  EXPECT_GT(empty, 0);      // the damage was seen somewhere
  EXPECT_GT(unchanged, 0);  // and bytes the version does not depend on left it alone
}

TEST(FileVersion, AResourceDirectoryPointingOutsideTheSectionIsRejected) {
  std::string image = ReadFileBytes(Fixture("versioned.exe"));
  const auto [rsrc, rsrc_size] = ResourceSection(image);
  // The root directory's first entry: make its subdirectory offset point far past the section,
  // then at the root itself (a loop).
  const size_t entry = rsrc + 16;
  for (std::uint32_t offset : {0x7FFFFFF0u, 0u}) {
    const std::uint32_t value = 0x80000000u | offset;
    for (int i = 0; i < 4; ++i) image[entry + 4 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    EXPECT_EQ(FileVersionTextOf(image), "") << offset;
  }
}

}  // namespace
}  // namespace quillmend
