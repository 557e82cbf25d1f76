#include "ui/frm_files.h"

#include "program_version.h"

namespace quillmend {

std::string MainWindowCaption() {
  return "쿠벨IT(주) 자동다운로드 Ver " + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

FrmFiles::FrmFiles(SharedState& state, UiHost& host) : state_(state), host_(host) {
  cmdVer = {"버전찾기", false};
  cmdApply = {"강제다운로드", false};
  cmdAuto = {"자동다운로드", true};
  cmdDown = {"쿠벨다운로드", false};
  cmdCopy = {"서버다운로드", false};
  cmd취소 = {"종료", true};
  Label2 = {"전체", true};
  Label3 = {"파일", true};
  Label4 = {"속도", true};
  lblCaption[0] = {"필요한 파일을 다운로드 중입니다.", true};
  lblCaption[1] = {"잠시만 기다려 주십시오.", true};
  Label5.visible = false;
  Label6.visible = false;
  lbl고객.visible = false;
  lvwProcesses.columns = {"Filename", "Process ID"};
  timCheck.interval_ms = 60000;
  timCopy.interval_ms = 60000;
  timCPS.interval_ms = 1000;
  caption = MainWindowCaption();
}

void FrmFiles::Load() {
  caption = MainWindowCaption();
  height = 2500;
  ShowLatestInstalled();
  tray_tip_ = "쿠벨IT(주) 자동다운로드";
  host_.TrayAdd(tray_tip_);
  minimized = false;
  ShowPercent(0, 0);
}

void FrmFiles::Show() {
  visible = true;
  minimized = false;
}

void FrmFiles::ShowLatestInstalled() {
  lblCounter.caption.clear();
  lblFile.caption.clear();
  prgAll.max = 100;
  prgAll.value = 100;
  prgFile.max = 100;
  prgFile.value = 100;
  lblCaption[0].caption = "최신 버전 설치가 완료되었습니다";
  lblCaption[1].caption.clear();
}

void FrmFiles::ShowPercent(double lPerc, double lMax) {
  prgAll.min = 0;
  prgAll.max = static_cast<float>(lMax);
  prgAll.value = static_cast<float>(lPerc);
}

void FrmFiles::SetTrayTip(const std::string& text) {
  // The tip field holds 64 characters including the terminator.
  std::string tip;
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80 && ++chars > 63) break;
    tip += text[i];
  }
  tray_tip_ = tip;
  host_.TrayModify(tray_tip_);
}

void FrmFiles::cmdAuto_Click() {
  if (passes_ != nullptr) passes_->Auto();
}
void FrmFiles::cmdDown_Click() {
  if (passes_ != nullptr) passes_->Down();
}
void FrmFiles::cmdCopy_Click() {
  if (passes_ != nullptr) passes_->Copy();
}
void FrmFiles::cmdApply_Click() {
  if (passes_ != nullptr) passes_->Apply();
}
void FrmFiles::cmdVer_Click() {
  if (passes_ != nullptr) passes_->Versions();
}

}  // namespace quillmend
