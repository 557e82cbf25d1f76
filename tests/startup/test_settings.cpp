// The product settings routines and the failure log.
#include <gtest/gtest.h>

#include <regex>

#include "platform/file_names.h"
#include "startup/profile_file.h"
#include "startup/program_paths.h"
#include "startup/settings.h"
#include "support/temp_folder.h"

namespace quillmend {
namespace {

using testing::ReadFileBytes;
using testing::TempFolder;
using testing::WriteFileBytes;

SharedState StateIn(const TempFolder& dir) {
  SharedState state;
  state.program_folder_ = dir.path();
  return state;
}

TEST(Settings, LastVersionDefaultsTrimsAndRoundTripsThroughAllThreeSpellings) {
  TempFolder dir;
  SharedState state = StateIn(dir);
  EXPECT_EQ(GetLastVersion(state), "1.0");
  WriteFileBytes(dir.Sub("ORVEL_H.ini"), "[DB]\r\nDSN=clinic\r\n[Version]\r\nLast=  2.1.0  \r\n");
  EXPECT_EQ(GetLastVersion(state), "2.1.0");
  SaveLastVersion(state, "3.0.1");
  for (auto spelling : {kSettingsForDb, kSettingsForVersion, kSettingsForAutoPass}) {
    EXPECT_EQ(ReadIniValue(SettingsFile(state, spelling), "Version", "Last", "1.0"), "3.0.1");
  }
  // Still one file, in the spelling it had.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(dir.path()))) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
  EXPECT_TRUE(testing::FileExists(dir.Sub("ORVEL_H.ini")));
}

TEST(Settings, ServerPathAndValuesLongerThanTheBuffer) {
  TempFolder dir;
  SharedState state = StateIn(dir);
  EXPECT_EQ(GetServerPath(state), "");
  WriteFileBytes(dir.Sub("orvel_h.ini"), "[SERVER]\r\nPATH= " + std::string(3000, 's') + "\r\n");
  EXPECT_EQ(GetServerPath(state).size(), 2047u);
}

TEST(FailureLog, OneKeyPerDistinctFailureWithTheLatestTime) {
  TempFolder dir;
  SharedState state = StateIn(dir);
  LogFailure(state, "g_Connect2 timeout");
  LogFailure(state, "g_Connect2 refused");
  LogFailure(state, "g_Connect2 timeout");
  const std::string log = ReadFileBytes(dir.Sub("Server.ini"));
  const std::regex entry(R"(g_Connect2 (timeout|refused)=\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\r\n)");
  auto begin = std::sregex_iterator(log.begin(), log.end(), entry);
  EXPECT_EQ(std::distance(begin, std::sregex_iterator()), 2);
  EXPECT_EQ(log.rfind("[Intenet]\r\n", 0), 0u);
}

TEST(FailureLog, ErrorTextsWithBreaksEqualsAndBracketsCannotBreakTheFile) {
  TempFolder dir;
  SharedState state = StateIn(dir);
  const std::string odbc_text =
      "g_Connect [unixODBC][Driver Manager]Data source name not found\r\nretry=no\n[Fake]";
  LogFailure(state, odbc_text);
  LogFailure(state, "NotConnect(m_DwonLoad)");
  const std::string key = FailureLogKey(odbc_text);
  EXPECT_EQ(key, "g_Connect (unixODBC)(Driver Manager)Data source name not found retry:no (Fake)");
  const std::string log_file = dir.Sub("Server.ini");
  EXPECT_NE(ReadProfileValue(log_file, "Intenet", key, ""), "");
  EXPECT_NE(ReadProfileValue(log_file, "Intenet", "NotConnect(m_DwonLoad)", ""), "");
  EXPECT_EQ(ReadProfileValue(log_file, "Fake", "", "none"), "none");
  const std::string log = ReadFileBytes(log_file);
  EXPECT_EQ(std::count(log.begin(), log.end(), '['), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);

  // Text the file's code page cannot hold (an emoji, a replacement character, a stray byte) is
  // written with '?' in its place rather than losing the entry; Hangul is kept.
  const std::string odd = "g_Connect2 \xF0\x9F\x98\x80 \xEF\xBF\xBD \xFF 연결 실패";
  EXPECT_EQ(FailureLogKey(odd), "g_Connect2 ? ? ? 연결 실패");
  LogFailure(state, odd);
  EXPECT_NE(ReadProfileValue(log_file, "Intenet", "g_Connect2 ? ? ? 연결 실패", ""), "");
}

TEST(FailureLog, AnUnwritableProgramFolderLosesTheEntryButNothingElse) {
  TempFolder dir;
  SharedState state = StateIn(dir);
  state.program_folder_ = dir.Sub("does-not-exist");
  LogFailure(state, "NotConnect(cmddown_click1)");
  EXPECT_FALSE(testing::FileExists(dir.Sub("does-not-exist")));
}

}  // namespace
}  // namespace quillmend
