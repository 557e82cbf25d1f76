// The Qt window rendered offscreen: each view saved as a PNG for a person to look at
// (tests/ui/artefacts/ under the build folder, or QUILLMEND_ARTEFACT_DIR), and the exit
// confirmed while a pass yields.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <filesystem>

#include "ui/frm_files.h"
#include "ui/qt/qt_host.h"
#include "ui_test_support.h"

namespace quillmend {
namespace {

std::filesystem::path ArtefactFolder() {
  const char* forced = std::getenv("QUILLMEND_ARTEFACT_DIR");
  std::filesystem::path folder =
      forced != nullptr && *forced != '\0' ? std::filesystem::path(forced)
                                           : std::filesystem::current_path() / "artefacts";
  std::filesystem::create_directories(folder);
  return folder;
}

std::unique_ptr<QtHost> OffscreenHost(std::vector<bool> answers) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return QtHost::Create(ScriptedAnswers(std::move(answers), false));
}

// Dark pixels (text, borders) inside a control's rectangle.
int DarkPixels(const QImage& image, ControlId id) {
  const TwipRect r = ControlRect(id);
  int dark = 0;
  for (int y = PixelsFromTwips(r.top); y < PixelsFromTwips(r.top + r.height); ++y) {
    for (int x = PixelsFromTwips(r.left); x < PixelsFromTwips(r.left + r.width); ++x) {
      if (x < image.width() && y < image.height() && QColor(image.pixel(x, y)).lightness() < 110) {
        ++dark;
      }
    }
  }
  return dark;
}

void FillWithAPassInProgress(FrmFiles& window, SharedState& state) {
  window.lblCaption[0].caption = "최신 프로그램을 설치중입니다.";
  window.lblCaption[1].caption = "잠시만 기다려 주십시오.";
  window.lblFile.caption = "Velmont.exe.cab";
  window.lblCounter.caption = "2/3";
  window.ShowPercent(2, 3);
  window.prgFile.min = 1;
  window.prgFile.max = 4096;
  window.prgFile.value = 2049;
  state.bytes_counter_ = 12800;
  window.timCPS_Timer();
  window.Label5.caption = "인터넷 연결(0/12)2시 30 분";
  window.Label6.caption = "인터넷(2026-12-08 01:30:00)";
  window.lbl고객.caption = "12345 / 7.5.13";
  window.lstVer.AddItem("7.5.12");
  window.lstVer.AddItem("7.5.13");
  window.lstVer.selected[1] = true;
  window.lstFile.AddItem("/opt/orvel/download/program/Velmont.exe.cab");
  window.lstFile.AddItem("/opt/orvel/download/system/Qgrid.ocx.cab");
  window.lvwProcesses.items = {{"Velmont.exe", "4242", true}, {"Carrowby.exe", "4250", false}};
}

TEST(QtWindow, RendersEachViewAndSavesItsPicture) {
  auto host = OffscreenHost({});
  ASSERT_NE(host, nullptr);
  SharedState state;
  state.ui_ = host.get();
  FrmFiles window(state, *host);
  window.Load();
  window.Show();
  FillWithAPassInProgress(window, state);
  const std::filesystem::path folder = ArtefactFolder();
  const std::pair<const char*, void (FrmFiles::*)()> views[] = {
      {"frmFiles-viewsmall.png", &FrmFiles::m_viewsmall},
      {"frmFiles-viewversion.png", &FrmFiles::m_viewversion},
      {"frmFiles-viewall.png", &FrmFiles::m_viewall}};
  for (const auto& [name, view] : views) {
    (window.*view)();
    host->DoEvents();
    EXPECT_TRUE(host->WindowShown());
    EXPECT_EQ(host->ClientHeightPixels(), PixelsFromTwips(window.height - kNonClientHeight));
    EXPECT_EQ(host->ControlShown(ControlId::cmdVer), window.cmdVer.visible) << name;
    EXPECT_EQ(host->ControlShown(ControlId::cmdDown), window.cmdDown.visible) << name;
    EXPECT_EQ(host->ControlShown(ControlId::Label5), window.Label5.visible) << name;
    EXPECT_TRUE(host->ControlShown(ControlId::cmdAuto));
    const std::string path = (folder / name).string();
    ASSERT_TRUE(host->SaveWindowImage(path)) << path;
    QImage image(QString::fromStdString(path));
    ASSERT_FALSE(image.isNull()) << path;
    EXPECT_EQ(image.height(), host->ClientHeightPixels());
    // The status line and the bar caption carry drawn text.
    EXPECT_GT(DarkPixels(image, ControlId::lblCaption0), 20) << name;
    EXPECT_GT(DarkPixels(image, ControlId::Label2), 5) << name;
    std::printf("[artefact] %s\n", path.c_str());
  }
}

// The window loaded and on screen, the exit question answered Yes.
class QtExit : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = OffscreenHost({true});
    ASSERT_NE(host_, nullptr);
    state_.ui_ = host_.get();
    window_ = std::make_unique<FrmFiles>(state_, *host_);
    window_->SetPasses(&passes_);
    window_->Load();
    window_->Show();
    host_->DoEvents();
    ASSERT_TRUE(host_->WindowShown());
  }

  std::unique_ptr<QtHost> host_;
  SharedState state_;
  testing::RecordingPasses passes_;
  std::unique_ptr<FrmFiles> window_;
};

TEST_F(QtExit, ConfirmedWhileAPassYieldsHidesTheWindowAndTheLoopEndsAtOnce) {
  int yields = 0;
  passes_.during_auto = [&] {
    state_.pass_running_ = true;
    for (int step = 0; step < 10; ++step) {
      if (step == 3) window_->mPopExit_Click();
      host_->DoEvents();
      ++yields;
    }
    state_.pass_running_ = false;
  };
  window_->cmdAuto_Click();
  EXPECT_EQ(yields, 10);
  EXPECT_TRUE(window_->unloaded());
  EXPECT_FALSE(host_->WindowShown());
  EXPECT_FALSE(host_->TrayShown());
  EXPECT_EQ(host_->RunLoop(), 0);
}

TEST_F(QtExit, ConfirmedWhileTheWindowShowsEndsTheRunningLoop) {
  bool stuck = false;
  QObject timers;  // the timers die with the test
  QTimer::singleShot(100, &timers, [&] { window_->mPopExit_Click(); });
  QTimer::singleShot(5000, &timers, [&] {
    stuck = true;
    QCoreApplication::exit(0);
  });
  EXPECT_EQ(host_->RunLoop(), 0);
  EXPECT_TRUE(window_->unloaded());
  EXPECT_FALSE(stuck) << "the loop went on after the exit was confirmed";
}

}  // namespace
}  // namespace quillmend
