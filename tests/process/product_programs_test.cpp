// Finding and closing the product's programs among real running processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/file_names.h"
#include "process/process_fixture.h"
#include "process/process_list.h"
#include "process/product_programs.h"

namespace quillmend {
namespace {

using testing::ChildProcess;
using testing::FindEntry;
using testing::KeepOnlyEntriesIn;
using testing::StartSleeperAs;
using testing::TempFolder;
using testing::WindowUnderTest;

constexpr int kEndWaitMs = 15000;

TEST(ProductProgramNames, MatchTheLastPieceUpperCasedOnly) {
  EXPECT_TRUE(IsProductProgramPath("C:\\Orvel\\VELMONT.EXE"));
  EXPECT_TRUE(IsProductProgramPath("D:\\Other\\velmont.exe"));
  EXPECT_TRUE(IsProductProgramPath("cArRoWbY.ExE"));
  EXPECT_TRUE(IsProductProgramPath("\\\\server\\share\\Drustan.exe"));
  EXPECT_FALSE(IsProductProgramPath("C:\\Orvel\\Velmont.exe.old"));
  EXPECT_FALSE(IsProductProgramPath("C:\\Orvel\\Velmont"));
  EXPECT_FALSE(IsProductProgramPath("C:\\Orvel\\Velmont.exe "));
  EXPECT_FALSE(IsProductProgramPath(std::string("C:\\Orvel\\Velmont.exe\0", 22)));
  EXPECT_FALSE(IsProductProgramPath("C:\\Velmont.exe\\Other.exe"));
  EXPECT_FALSE(IsProductProgramPath(""));
  // "/" separates only where it is the path separator.
  EXPECT_EQ(IsProductProgramPath("/opt/orvel/Carrowby.exe"), PathSeparator() == "/");
}

// Six copies of the sleeper: four are product programs, two only look like one.
class ProductPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    velmont_ = StartSleeperAs(folder_, "Orvel/Velmont.exe");
    velmont_upper_ = StartSleeperAs(folder_, "다른 폴더/VELMONT.EXE");
    carrowby_a_ = StartSleeperAs(folder_, "Orvel/Carrowby.exe");
    carrowby_b_ = StartSleeperAs(folder_, "Orvel/Carrowby.exe");
    velmont_old_ = StartSleeperAs(folder_, "Orvel/Velmont.exe.old");
    velmont_bare_ = StartSleeperAs(folder_, "Orvel/Velmont");
  }

  std::vector<ChildProcess*> Marked() {
    return {velmont_.get(), velmont_upper_.get(), carrowby_a_.get(), carrowby_b_.get()};
  }
  std::vector<ChildProcess*> Unmarked() { return {velmont_old_.get(), velmont_bare_.get()}; }

  // Lists the processes and keeps only this test's own (see KeepOnlyEntriesIn).
  void ListOwnProcesses(WindowUnderTest& ui) {
    ListProcesses(ui.state);
    KeepOnlyEntriesIn(ui.list(), folder_.path());
    ASSERT_EQ(ui.list().items.size(), 6u);
  }

  TempFolder folder_;
  std::unique_ptr<ChildProcess> velmont_, velmont_upper_, carrowby_a_, carrowby_b_, velmont_old_,
      velmont_bare_;
};

TEST_F(ProductPrograms, MarksExactlyTheProductProgramsAndAsksNothingWhenNotUpdating) {
  WindowUnderTest ui({true});
  ui.state.g_ContinueUpdate = false;
  ListProcesses(ui.state);  // the whole machine's list
  CloseProductPrograms(ui.state);

  EXPECT_TRUE(ui.host.shown().empty());
  for (ChildProcess* child : Marked()) {
    const ListViewItem* entry = FindEntry(ui.list(), child->id());
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->checked) << entry->text;
  }
  for (ChildProcess* child : Unmarked()) {
    const ListViewItem* entry = FindEntry(ui.list(), child->id());
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(entry->checked) << entry->text;
  }
  for (const ListViewItem& entry : ui.list().items) {
    EXPECT_EQ(entry.checked, IsProductProgramPath(entry.text)) << entry.text;
  }
  for (ChildProcess* child : Marked()) EXPECT_TRUE(child->Running());
  EXPECT_FALSE(ui.state.g_ContinueUpdate);
}

TEST_F(ProductPrograms, NoStopsTheUpdateAndLeavesEveryProcessRunning) {
  WindowUnderTest ui({false, true});
  ui.state.g_ContinueUpdate = true;
  ListOwnProcesses(ui);
  CloseProductPrograms(ui.state);

  ASSERT_EQ(ui.host.shown().size(), 1u);
  EXPECT_EQ(ui.host.shown()[0],
            std::string(kProgramTitle) +
                ": Orvel 최신업데이트 자료가 있습니다.\r\nOrvel 진행하시면 프로그램이 종료됩니다."
                "\r\nOrvel 업데이트를 지금 진행하시겠습니까?");
  EXPECT_FALSE(ui.state.g_ContinueUpdate);
  for (ChildProcess* child : Marked()) EXPECT_TRUE(child->Running());
  for (ChildProcess* child : Unmarked()) EXPECT_TRUE(child->Running());
}

TEST_F(ProductPrograms, YesEndsEveryMarkedInstanceAfterOneQuestion) {
  WindowUnderTest ui({true, false});
  ui.state.g_ContinueUpdate = true;
  ListOwnProcesses(ui);
  CloseProductPrograms(ui.state);

  EXPECT_EQ(ui.host.shown().size(), 1u);
  EXPECT_TRUE(ui.state.g_ContinueUpdate);
  for (ChildProcess* child : Marked()) {
    ASSERT_TRUE(child->WaitForEnd(kEndWaitMs)) << child->id();
    // Terminated with exit code 0 (Windows) or killed (POSIX).
    EXPECT_TRUE(child->exit_code() == 0 || child->exit_code() == 128 + 9) << child->exit_code();
  }
  for (ChildProcess* child : Unmarked()) EXPECT_TRUE(child->Running());
  // Marks stay until the next listing.
  EXPECT_EQ(std::count_if(ui.list().items.begin(), ui.list().items.end(),
                          [](const ListViewItem& item) { return item.checked; }),
            4);
}

// While the question is open the user chooses exit from the tray, then answers Yes.
class ExitChosenDuringTheQuestion : public HeadlessHost {
 public:
  explicit ExitChosenDuringTheQuestion(SharedState& state)
      : HeadlessHost({true}, false), state_(state) {}
  bool AskYesNo(const std::string& title, const std::string& text) override {
    state_.g_ContinueUpdate = false;  // what unloading the window does
    return HeadlessHost::AskYesNo(title, text);
  }

 private:
  SharedState& state_;
};

TEST_F(ProductPrograms, YesAfterTheAgentWasToldToExitEndsNothing) {
  WindowUnderTest ui({});
  ExitChosenDuringTheQuestion host(ui.state);
  ui.state.ui_ = &host;
  ui.state.g_ContinueUpdate = true;
  ListOwnProcesses(ui);
  CloseProductPrograms(ui.state);
  EXPECT_EQ(host.shown().size(), 1u);
  EXPECT_FALSE(ui.state.g_ContinueUpdate);
  for (ChildProcess* child : Marked()) EXPECT_FALSE(child->WaitForEnd(300)) << child->id();
}

TEST_F(ProductPrograms, NoQuestionWhenNoneRuns) {
  velmont_->KillAndReap();
  velmont_upper_->KillAndReap();
  carrowby_a_->KillAndReap();
  carrowby_b_->KillAndReap();
  WindowUnderTest ui({false});
  ui.state.g_ContinueUpdate = true;
  ListProcesses(ui.state);
  KeepOnlyEntriesIn(ui.list(), folder_.path());
  ASSERT_EQ(ui.list().items.size(), 2u);
  CloseProductPrograms(ui.state);

  EXPECT_TRUE(ui.host.shown().empty());
  EXPECT_TRUE(ui.state.g_ContinueUpdate);
  for (ChildProcess* child : Unmarked()) EXPECT_TRUE(child->Running());
}

TEST_F(ProductPrograms, ProgramThatEndsBeforeTheAnswerIsSkippedAndTheRestStillEnd) {
  WindowUnderTest ui({true});
  ui.state.g_ContinueUpdate = true;
  ListOwnProcesses(ui);
  carrowby_a_->KillAndReap();
  CloseProductPrograms(ui.state);

  EXPECT_EQ(ui.host.shown().size(), 1u);
  for (ChildProcess* child : {velmont_.get(), velmont_upper_.get(), carrowby_b_.get()}) {
    EXPECT_TRUE(child->WaitForEnd(kEndWaitMs)) << child->id();
  }
}

// A listed id that now belongs to another program (ids are reused once a process ends) must not
// be ended: here the entry of Velmont.exe carries the id of the program "Velmont".
TEST_F(ProductPrograms, IdNowHeldByAnotherProgramIsLeftAlone) {
  WindowUnderTest ui({true});
  ui.state.g_ContinueUpdate = true;
  ListOwnProcesses(ui);
  for (ListViewItem& item : ui.list().items) {
    if (item.sub_item1 == std::to_string(velmont_->id())) {
      item.sub_item1 = std::to_string(velmont_bare_->id());
    }
  }
  CloseProductPrograms(ui.state);

  EXPECT_TRUE(carrowby_a_->WaitForEnd(kEndWaitMs));
  EXPECT_TRUE(velmont_upper_->WaitForEnd(kEndWaitMs));
  EXPECT_TRUE(velmont_bare_->Running());
  EXPECT_TRUE(velmont_->Running());
}

TEST(TerminateWithDebugPrivilege, EndsARunningProcessOnceAndRefusesWhatIsNotThere) {
  TempFolder folder;
  auto child = StartSleeperAs(folder, "Drustan.exe");
  const auto id = static_cast<std::int32_t>(child->id());
  EXPECT_TRUE(TerminateWithDebugPrivilege(id, 7));
  ASSERT_TRUE(child->WaitForEnd(kEndWaitMs));
  // Windows passes the exit code on; a POSIX signal cannot carry one (the process is killed).
  EXPECT_TRUE(child->exit_code() == 7 || child->exit_code() == 128 + 9) << child->exit_code();
  // No process has this id (Windows ids are multiples of 4 far below it, POSIX ids stay under
  // 2^22).
  EXPECT_FALSE(TerminateWithDebugPrivilege(0x7FFFFFF1, 0));
  // Id 0 must never reach a whole process group (this test would be the first casualty).
  EXPECT_FALSE(TerminateWithDebugPrivilege(0, 0));
}

}  // namespace
}  // namespace quillmend
