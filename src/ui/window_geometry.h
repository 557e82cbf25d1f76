// Sizes and positions of the main window and its controls, in twips (15 per pixel at 96 DPI),
// shared by every adapter so that each one lays the window out the same way.
#pragma once

namespace quillmend {

inline constexpr int kTwipsPerPixel = 15;

// Outer window sizes (frame and caption included).
inline constexpr int kCompactHeight = 2500;  // down to the first button row
inline constexpr int kTallHeight = 8000;     // every control
inline constexpr int kWindowWidth = 6900;

// The frame and caption bar an adapter subtracts when it can only size the client area.
inline constexpr int kNonClientWidth = 120;
inline constexpr int kNonClientHeight = 510;

struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Every control that an adapter places, top to bottom.
enum class ControlId {
  lblCaption0,
  lblCaption1,
  lblFile,
  Label4,
  lblCPS,
  lblCounter,
  Label2,
  prgAll,
  Label3,
  prgFile,
  cmdVer,
  cmdApply,
  cmdAuto,
  cmd취소,
  cmdDown,
  cmdCopy,
  Label5,
  Label6,
  lbl고객,
  lstVer,
  lstFile,
  lvwProcesses,
};
inline constexpr int kControlCount = static_cast<int>(ControlId::lvwProcesses) + 1;

// Position of a control in the window's client area.
TwipRect ControlRect(ControlId id);

// The screen and its work area (the screen less task bars), in pixels.
struct ScreenMetrics {
  int screen_width = 1024;
  int screen_height = 768;
  int work_left = 0;
  int work_top = 0;
  int work_right = 1024;
  int work_bottom = 768;
};

inline constexpr int PixelsFromTwips(int twips) { return twips / kTwipsPerPixel; }
inline constexpr int TwipsFromPixels(int pixels) { return pixels * kTwipsPerPixel; }

}  // namespace quillmend
