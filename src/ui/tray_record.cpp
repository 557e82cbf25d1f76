#include "ui/tray_record.h"

namespace quillmend {

std::string CutToTrayTip(const std::string& text) {
  size_t characters = 0;
  size_t end = 0;
  while (end < text.size()) {
    const auto lead = static_cast<unsigned char>(text[end]);
    size_t length = 1;
    if (lead >= 0xF0) length = 4;
    else if (lead >= 0xE0) length = 3;
    else if (lead >= 0xC0) length = 2;
    if (end + length > text.size()) break;  // a sequence cut short at the end is dropped
    if (++characters > kTrayTipField - 1) break;
    end += length;
  }
  return text.substr(0, end);
}

TrayAction TrayActionFor(int mouse_message) {
  switch (mouse_message) {
    case kTrayLeftButtonUp:
    case kTrayLeftDoubleClick:
      return TrayAction::Restore;
    case kTrayRightButtonUp:
      return TrayAction::PopupMenu;
    default:
      return TrayAction::None;
  }
}

}  // namespace quillmend
