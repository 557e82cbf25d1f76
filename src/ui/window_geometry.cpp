#include "ui/window_geometry.h"

namespace quillmend {
namespace {

// Rows of the layout (client coordinates, twips).
constexpr int kMargin = 120;
constexpr int kInnerWidth = 6540;
constexpr int kLineHeight = 255;
constexpr int kBarLeft = 720;
constexpr int kBarWidth = kInnerWidth - (kBarLeft - kMargin);
constexpr int kButtonWidth = 1560;
constexpr int kButtonGap = 100;
constexpr int kButtonHeight = 360;

constexpr int ButtonLeft(int column) { return kMargin + column * (kButtonWidth + kButtonGap); }

}  // namespace

TwipRect ControlRect(ControlId id) {
  switch (id) {
    // The two status lines.
    case ControlId::lblCaption0: return {kMargin, 90, kInnerWidth, kLineHeight};
    case ControlId::lblCaption1: return {kMargin, 360, kInnerWidth, kLineHeight};
    // File name, speed caption and figure, counter.
    case ControlId::lblFile: return {kMargin, 660, 3180, kLineHeight};
    case ControlId::Label4: return {3360, 660, 480, kLineHeight};
    case ControlId::lblCPS: return {3840, 660, 1500, kLineHeight};
    case ControlId::lblCounter: return {5400, 660, kMargin + kInnerWidth - 5400, kLineHeight};
    // The two bars with their captions.
    case ControlId::Label2: return {kMargin, 945, 540, kLineHeight};
    case ControlId::prgAll: return {kBarLeft, 945, kBarWidth, 240};
    case ControlId::Label3: return {kMargin, 1230, 540, kLineHeight};
    case ControlId::prgFile: return {kBarLeft, 1230, kBarWidth, 240};
    // First button row: the last row the compact height shows.
    case ControlId::cmdVer: return {ButtonLeft(0), 1560, kButtonWidth, kButtonHeight};
    case ControlId::cmdApply: return {ButtonLeft(1), 1560, kButtonWidth, kButtonHeight};
    case ControlId::cmdAuto: return {ButtonLeft(2), 1560, kButtonWidth, kButtonHeight};
    case ControlId::cmd취소: return {ButtonLeft(3), 1560, kButtonWidth, kButtonHeight};
    // Second button row with the three status labels beside and below it.
    case ControlId::cmdDown: return {ButtonLeft(0), 2040, kButtonWidth, kButtonHeight};
    case ControlId::cmdCopy: return {ButtonLeft(1), 2040, kButtonWidth, kButtonHeight};
    case ControlId::Label5: return {ButtonLeft(2), 2090, kMargin + kInnerWidth - ButtonLeft(2),
                                    kLineHeight};
    case ControlId::Label6: return {kMargin, 2490, 3180, kLineHeight};
    case ControlId::lbl고객: return {ButtonLeft(2), 2490, kMargin + kInnerWidth - ButtonLeft(2),
                                    kLineHeight};
    // The lists.
    case ControlId::lstVer: return {kMargin, 2850, kInnerWidth, 1290};
    case ControlId::lstFile: return {kMargin, 4230, kInnerWidth, 1290};
    case ControlId::lvwProcesses: return {kMargin, 5610, kInnerWidth, 1800};
  }
  return {};
}

}  // namespace quillmend
