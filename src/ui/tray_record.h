// The notification-area (tray) icon record shared by the window and the adapters, and the mouse
// messages its callback carries.
#pragma once

#include <cstdint>
#include <string>

namespace quillmend {

// The tip field holds 64 characters, the terminating NUL included.
inline constexpr int kTrayTipField = 64;

// Mouse messages the tray callback acts on (the values of the window messages they are).
inline constexpr int kTrayLeftButtonUp = 514;
inline constexpr int kTrayLeftDoubleClick = 515;
inline constexpr int kTrayRightButtonUp = 517;

// The callback message the icon's notifications arrive with. A private application message, not
// the window's mouse-move message: with the mouse-move message, moving the mouse across the
// window at x = 514, 515 or 517 would act as a click on the icon.
inline constexpr std::uint32_t kTrayCallbackMessage = 0x8001;  // WM_APP + 1

struct TrayRecord {
  std::uint32_t cbSize = 88;
  std::uintptr_t hWnd = 0;      // filled by the adapter that owns a native window
  std::uint32_t uID = 1;
  std::uint32_t uFlags = 7;     // message, icon and tip are valid
  std::uint32_t uCallbackMessage = kTrayCallbackMessage;
  std::uintptr_t hIcon = 0;     // filled by the adapter
  std::string szTip;            // UTF-8, at most kTrayTipField - 1 characters
};

// The text as it fits the tip field: cut after kTrayTipField - 1 characters (code points), so
// that the terminator always fits. Never splits a UTF-8 sequence.
std::string CutToTrayTip(const std::string& text);

// What the window does for a tray mouse message.
enum class TrayAction { None, Restore, PopupMenu };
TrayAction TrayActionFor(int mouse_message);

}  // namespace quillmend
