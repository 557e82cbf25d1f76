#include "ui/win32/win32_host.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>

#include "platform/win32/wide.h"
#include "startup/diagnostics.h"
#include "ui/bar_range.h"
#include "ui/frm_files.h"
#include "ui/tray_record.h"

namespace quillmend {
namespace {

constexpr wchar_t kWindowClass[] = L"QuillmendFrmFiles";
constexpr UINT_PTR kTurnTimer = 1;
constexpr UINT kTurnMilliseconds = 50;
constexpr UINT kCloseRequest = WM_APP + 2;
constexpr int kFirstControlId = 100;

int ControlIdNumber(ControlId id) { return kFirstControlId + static_cast<int>(id); }

bool IsLabel(ControlId id) {
  switch (id) {
    case ControlId::lblCaption0: case ControlId::lblCaption1: case ControlId::lblFile:
    case ControlId::Label4: case ControlId::lblCPS: case ControlId::lblCounter:
    case ControlId::Label2: case ControlId::Label3: case ControlId::Label5:
    case ControlId::Label6: case ControlId::lbl고객:
      return true;
    default:
      return false;
  }
}

bool IsButton(ControlId id) {
  switch (id) {
    case ControlId::cmdVer: case ControlId::cmdApply: case ControlId::cmdAuto:
    case ControlId::cmd취소: case ControlId::cmdDown: case ControlId::cmdCopy:
      return true;
    default:
      return false;
  }
}

WindowButton ButtonOf(ControlId id) {
  switch (id) {
    case ControlId::cmdVer: return WindowButton::cmdVer;
    case ControlId::cmdApply: return WindowButton::cmdApply;
    case ControlId::cmdDown: return WindowButton::cmdDown;
    case ControlId::cmdCopy: return WindowButton::cmdCopy;
    case ControlId::cmd취소: return WindowButton::cmd취소;
    default: return WindowButton::cmdAuto;
  }
}

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(0, copied)));
  return text;
}

void SetTextIfChanged(HWND hwnd, const std::string& utf8) {
  const std::wstring wanted = Wide(utf8);
  if (WindowText(hwnd) != wanted) SetWindowTextW(hwnd, wanted.c_str());
}

// The control's own visibility, whether or not its window is shown.
bool HasVisibleStyle(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

void ShowIfChanged(HWND hwnd, bool visible) {
  if (HasVisibleStyle(hwnd) != visible) ShowWindow(hwnd, visible ? SW_SHOW : SW_HIDE);
}

}  // namespace

struct Win32Host::Impl {
  std::optional<ScriptedAnswers> answers;
  FrmFiles* window = nullptr;
  HWND form = nullptr;
  HFONT font = nullptr;
  HICON icon = nullptr;
  std::array<HWND, kControlCount> controls{};
  UINT taskbar_created = 0;
  bool quit_requested = false;
  bool busy = false;
  bool applying = false;
  bool tray_present = false;
  int tray_adds = 0;
  std::wstring tray_tip;

  HWND Control(ControlId id) const { return controls[static_cast<int>(id)]; }
  bool Build();
  void Render();
  void Turn() {
    if (window == nullptr) return;
    window->Poll();
    Render();
  }
  bool TrayCall(DWORD message);
  bool OwnsWindow(HWND hwnd) const { return form != nullptr && (hwnd == form || IsChild(form, hwnd)); }
  bool PreTranslate(const MSG& msg);
  LRESULT Handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
};

LRESULT CALLBACK Win32Host::Impl::Procedure(HWND hwnd, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* impl = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (impl == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return impl->Handle(hwnd, message, wparam, lparam);
}

bool Win32Host::Impl::Build() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  form = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                                                   WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                         CW_USEDEFAULT, CW_USEDEFAULT, PixelsFromTwips(kWindowWidth),
                         PixelsFromTwips(kCompactHeight), nullptr, nullptr, instance, this);
  if (form == nullptr) {
    LogLine("the window cannot be created (error " + std::to_string(GetLastError()) + ")");
    return false;
  }
  font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGEUL_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, L"Malgun Gothic");
  for (int i = 0; i < kControlCount; ++i) {
    const auto id = static_cast<ControlId>(i);
    const TwipRect r = ControlRect(id);
    const wchar_t* kind = WC_STATICW;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD extended = 0;
    if (IsLabel(id)) {
      style |= SS_NOTIFY | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE;
      if (id == ControlId::lblCounter) style = (style & ~SS_LEFTNOWORDWRAP) | SS_RIGHT;
    } else if (IsButton(id)) {
      kind = WC_BUTTONW;
      style |= WS_TABSTOP | BS_PUSHBUTTON;
    } else if (id == ControlId::prgAll || id == ControlId::prgFile) {
      kind = PROGRESS_CLASSW;
      style |= PBS_SMOOTH;
    } else if (id == ControlId::lstVer || id == ControlId::lstFile) {
      kind = WC_LISTBOXW;
      style |= WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
               (id == ControlId::lstVer ? LBS_EXTENDEDSEL : 0);
      extended = WS_EX_CLIENTEDGE;
    } else {
      kind = WC_LISTVIEWW;
      style |= LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
      extended = WS_EX_CLIENTEDGE;
    }
    HWND control = CreateWindowExW(
        extended, kind, L"", style, PixelsFromTwips(r.left), PixelsFromTwips(r.top),
        PixelsFromTwips(r.width), PixelsFromTwips(r.height), form,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdNumber(id))), instance, nullptr);
    controls[i] = control;
    if (control != nullptr && font != nullptr) {
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
  }
  HWND processes = Control(ControlId::lvwProcesses);
  if (processes != nullptr) {
    ListView_SetExtendedListViewStyle(processes, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  }
  SetTimer(form, kTurnTimer, kTurnMilliseconds, nullptr);
  return true;
}

bool Win32Host::Impl::PreTranslate(const MSG& msg) {
  // Keys pressed anywhere in the window reach the window first (the shortcuts).
  if (window == nullptr || (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) ||
      !OwnsWindow(msg.hwnd)) {
    return false;
  }
  int shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftMask;
  if (GetKeyState(VK_CONTROL) < 0) shift |= kCtrlMask;
  if (GetKeyState(VK_MENU) < 0) shift |= kAltMask;
  const int key = static_cast<int>(msg.wParam);
  if (key < VK_F1 || key > VK_F24) return false;
  window->Form_KeyDown(key, shift);
  Render();
  return (shift & kCtrlMask) != 0;
}

LRESULT Win32Host::Impl::Handle(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == taskbar_created && taskbar_created != 0) {
    // Explorer restarted: the icon is gone from the new task bar and is added again.
    if (tray_present) {
      tray_present = false;
      TrayCall(NIM_ADD);
    }
    return 0;
  }
  switch (message) {
    case WM_TIMER:
      if (wparam == kTurnTimer) Turn();
      return 0;
    case WM_COMMAND: {
      if (window == nullptr || applying) break;
      const int number = LOWORD(wparam) - kFirstControlId;
      if (number < 0 || number >= kControlCount) break;
      const auto id = static_cast<ControlId>(number);
      const WORD code = HIWORD(wparam);
      if (IsButton(id) && code == BN_CLICKED) {
        window->ClickButton(ButtonOf(id));
      } else if (code == STN_DBLCLK && id == ControlId::Label2) {
        window->Label2_DblClick();
      } else if (code == STN_DBLCLK && id == ControlId::Label3) {
        window->Label3_DblClick();
      } else if (code == STN_DBLCLK && id == ControlId::Label4) {
        window->Label4_DblClick();
      } else if (code == LBN_SELCHANGE && id == ControlId::lstVer) {
        ListBoxControl& list = window->lstVer;
        for (int i = 0; i < list.ListCount(); ++i) {
          list.selected[i] = SendMessageW(Control(id), LB_GETSEL, i, 0) > 0;
        }
      }
      Render();
      return 0;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (window != nullptr && !applying && header->hwndFrom == Control(ControlId::lvwProcesses) &&
          header->code == LVN_ITEMCHANGED) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lparam);
        auto& items = window->lvwProcesses.items;
        if ((change->uChanged & LVIF_STATE) != 0 && change->iItem >= 0 &&
            change->iItem < static_cast<int>(items.size())) {
          items[change->iItem].checked =
              ListView_GetCheckState(header->hwndFrom, change->iItem) != FALSE;
        }
      }
      return 0;
    }
    case WM_SIZE:
      if (window != nullptr && !applying) {
        if (wparam == SIZE_MINIMIZED) {
          window->minimized = true;
          window->Form_Resize();
          Render();
        } else if (wparam == SIZE_RESTORED) {
          window->minimized = false;
        }
      }
      return 0;
    case WM_CLOSE:
      // Asked outside the close message: the confirmation and the closing animation yield.
      PostMessageW(hwnd, kCloseRequest, 0, 0);
      return 0;
    case kCloseRequest:
      if (window != nullptr) window->Form_QueryUnload();
      Render();
      return 0;
    case WM_SETCURSOR:
      if (busy) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // Labels on the window's own background.
      SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
      if (message == kTrayCallbackMessage) {
        if (window != nullptr && wparam == window->tray_record().uID) {
          window->TrayCallback(static_cast<int>(LOWORD(lparam)));
          Render();
        }
        return 0;
      }
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool Win32Host::Impl::TrayCall(DWORD message) {
  if (form == nullptr || window == nullptr) return false;
  const TrayRecord& record = window->tray_record();
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = form;
  data.uID = record.uID;
  data.uFlags = record.uFlags;  // NIF_MESSAGE | NIF_ICON | NIF_TIP
  data.uCallbackMessage = record.uCallbackMessage;
  data.hIcon = record.hIcon != 0 ? reinterpret_cast<HICON>(record.hIcon) : icon;
  const size_t length = std::min(tray_tip.size(), std::size(data.szTip) - 1);
  std::copy_n(tray_tip.begin(), length, data.szTip);
  // The result is not looked at: without a task bar the icon comes with TaskbarCreated.
  const bool ok = Shell_NotifyIconW(message, &data) != FALSE;
  if (message == NIM_ADD) {
    tray_present = true;
    ++tray_adds;
  } else if (message == NIM_DELETE) {
    tray_present = false;
  }
  return ok;
}

void Win32Host::Impl::Render() {
  if (window == nullptr || form == nullptr) return;
  FrmFiles& w = *window;
  applying = true;
  if (w.unloaded()) {
    if (IsWindowVisible(form)) ShowWindow(form, SW_HIDE);
    applying = false;
    return;
  }
  SetTextIfChanged(form, w.caption);
  if (!IsIconic(form)) {
    RECT now{};
    GetWindowRect(form, &now);
    const int x = PixelsFromTwips(w.left);
    const int y = PixelsFromTwips(w.top);
    const RECT wanted{x, y, x + PixelsFromTwips(w.width), y + PixelsFromTwips(w.height)};
    if (!EqualRect(&now, &wanted)) {
      SetWindowPos(form, nullptr, wanted.left, wanted.top, wanted.right - wanted.left,
                   wanted.bottom - wanted.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  const std::pair<ControlId, const LabelControl*> labels[] = {
      {ControlId::lblCaption0, &w.lblCaption[0]}, {ControlId::lblCaption1, &w.lblCaption[1]},
      {ControlId::lblFile, &w.lblFile},           {ControlId::Label4, &w.Label4},
      {ControlId::lblCPS, &w.lblCPS},             {ControlId::lblCounter, &w.lblCounter},
      {ControlId::Label2, &w.Label2},             {ControlId::Label3, &w.Label3},
      {ControlId::Label5, &w.Label5},             {ControlId::Label6, &w.Label6},
      {ControlId::lbl고객, &w.lbl고객}};
  for (const auto& [id, label] : labels) {
    SetTextIfChanged(Control(id), label->caption);
    ShowIfChanged(Control(id), label->visible);
  }
  const std::pair<ControlId, const ButtonControl*> buttons[] = {
      {ControlId::cmdVer, &w.cmdVer},   {ControlId::cmdApply, &w.cmdApply},
      {ControlId::cmdAuto, &w.cmdAuto}, {ControlId::cmd취소, &w.cmd취소},
      {ControlId::cmdDown, &w.cmdDown}, {ControlId::cmdCopy, &w.cmdCopy}};
  for (const auto& [id, button] : buttons) {
    SetTextIfChanged(Control(id), button->caption);
    ShowIfChanged(Control(id), button->visible);
    if ((IsWindowEnabled(Control(id)) != FALSE) != button->enabled) {
      EnableWindow(Control(id), button->enabled ? TRUE : FALSE);
    }
  }
  for (const auto& [id, bar] : {std::pair{ControlId::prgAll, &w.prgAll},
                                std::pair{ControlId::prgFile, &w.prgFile}}) {
    const auto [minimum, maximum, value] = DisplayedBarRange(*bar);
    HWND control = Control(id);
    if (static_cast<int>(SendMessageW(control, PBM_GETRANGE, TRUE, 0)) != minimum ||
        static_cast<int>(SendMessageW(control, PBM_GETRANGE, FALSE, 0)) != maximum) {
      SendMessageW(control, PBM_SETRANGE32, minimum, maximum);
    }
    if (static_cast<int>(SendMessageW(control, PBM_GETPOS, 0, 0)) != value) {
      SendMessageW(control, PBM_SETPOS, value, 0);
    }
  }
  for (const auto& [id, list] : {std::pair{ControlId::lstVer, &w.lstVer},
                                 std::pair{ControlId::lstFile, &w.lstFile}}) {
    HWND control = Control(id);
    bool same = static_cast<int>(SendMessageW(control, LB_GETCOUNT, 0, 0)) == list->ListCount();
    for (int i = 0; same && i < list->ListCount(); ++i) {
      const auto length = SendMessageW(control, LB_GETTEXTLEN, i, 0);
      std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
      SendMessageW(control, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
      text.resize(static_cast<size_t>(std::max<LRESULT>(length, 0)));
      same = text == Wide(list->items[i]);
    }
    if (!same) {
      SendMessageW(control, LB_RESETCONTENT, 0, 0);
      for (const std::string& item : list->items) {
        const std::wstring text = Wide(item);
        SendMessageW(control, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      }
    }
    if (id == ControlId::lstVer) {
      for (int i = 0; i < list->ListCount(); ++i) {
        const bool selected = list->selected[i];
        if ((SendMessageW(control, LB_GETSEL, i, 0) > 0) != selected) {
          SendMessageW(control, LB_SETSEL, selected ? TRUE : FALSE, i);
        }
      }
    }
  }
  HWND processes = Control(ControlId::lvwProcesses);
  const int columns = Header_GetItemCount(ListView_GetHeader(processes));
  for (int c = columns; c < static_cast<int>(w.lvwProcesses.columns.size()); ++c) {
    std::wstring title = Wide(w.lvwProcesses.columns[c]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = c == 0 ? 280 : 140;
    column.pszText = title.data();
    SendMessageW(processes, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  const auto& rows = w.lvwProcesses.items;
  if (ListView_GetItemCount(processes) != static_cast<int>(rows.size())) {
    ListView_DeleteAllItems(processes);
    for (size_t i = 0; i < rows.size(); ++i) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = const_cast<wchar_t*>(L"");
      SendMessageW(processes, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    const int row = static_cast<int>(i);
    for (int sub = 0; sub < 2; ++sub) {
      std::wstring wanted = Wide(sub == 0 ? rows[i].text : rows[i].sub_item1);
      wchar_t current[260] = {};
      LVITEMW get{};
      get.iSubItem = sub;
      get.pszText = current;
      get.cchTextMax = 260;
      SendMessageW(processes, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&get));
      if (wanted != current) {
        LVITEMW set{};
        set.iSubItem = sub;
        set.pszText = wanted.data();
        SendMessageW(processes, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&set));
      }
    }
    if ((ListView_GetCheckState(processes, row) != FALSE) != rows[i].checked) {
      ListView_SetCheckState(processes, row, rows[i].checked ? TRUE : FALSE);
    }
  }
  if (!w.visible) {
    if (IsWindowVisible(form)) ShowWindow(form, SW_HIDE);
  } else if (w.minimized) {
    if (!IsIconic(form)) ShowWindow(form, SW_SHOWMINIMIZED);
  } else if (!IsWindowVisible(form) || IsIconic(form)) {
    ShowWindow(form, SW_SHOWNORMAL);
  }
  applying = false;
}

std::unique_ptr<Win32Host> Win32Host::Create(std::optional<ScriptedAnswers> answers) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  if (GetClassInfoExW(instance, kWindowClass, &window_class) == FALSE) {
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &Impl::Procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = kWindowClass;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (window_class.hIcon == nullptr) window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    if (RegisterClassExW(&window_class) == 0) {
      LogLine("the window class cannot be registered (error " + std::to_string(GetLastError()) +
              ")");
      return nullptr;
    }
  }
  return std::unique_ptr<Win32Host>(new Win32Host(std::move(answers)));
}

Win32Host::Win32Host(std::optional<ScriptedAnswers> answers) : impl_(std::make_unique<Impl>()) {
  impl_->answers = std::move(answers);
  impl_->taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
  // The program's own icon (resource 1) when the executable has one.
  impl_->icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  if (impl_->icon == nullptr) impl_->icon = LoadIconW(nullptr, IDI_APPLICATION);
}

Win32Host::~Win32Host() {
  if (impl_->tray_present) impl_->TrayCall(NIM_DELETE);
  if (impl_->form != nullptr) {
    KillTimer(impl_->form, kTurnTimer);
    SetWindowLongPtrW(impl_->form, GWLP_USERDATA, 0);
    DestroyWindow(impl_->form);
  }
  if (impl_->font != nullptr) DeleteObject(impl_->font);
}

void Win32Host::AttachWindow(FrmFiles* window) {
  if (window == nullptr && impl_->tray_present) impl_->TrayCall(NIM_DELETE);
  impl_->window = window;
  if (window != nullptr && impl_->form == nullptr) impl_->Build();
  if (window == nullptr && impl_->form != nullptr) ShowWindow(impl_->form, SW_HIDE);
}

bool Win32Host::AskYesNo(const std::string& title, const std::string& text) {
  if (impl_->answers) {
    const bool answer = impl_->answers->Next();
    PrintMessageBoxLine(title, text, answer ? "yes" : "no");
    return answer;
  }
  HWND owner = impl_->form != nullptr && IsWindowVisible(impl_->form) ? impl_->form : nullptr;
  return MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) == IDYES;
}

void Win32Host::ShowMessage(const std::string& title, const std::string& text) {
  if (impl_->answers) {
    PrintMessageBoxLine(title, text, "ok");
    return;
  }
  HWND owner = impl_->form != nullptr && IsWindowVisible(impl_->form) ? impl_->form : nullptr;
  MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), MB_OK | MB_SETFOREGROUND);
}

void Win32Host::SetBusyPointer(bool busy) {
  impl_->busy = busy;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void Win32Host::DoEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
    if (msg.message == WM_QUIT) {
      impl_->quit_requested = true;
      break;
    }
    if (impl_->PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  impl_->Turn();
}

int Win32Host::RunLoop() {
  impl_->Turn();
  MSG msg;
  while (!impl_->quit_requested) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (impl_->PreTranslate(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

void Win32Host::Quit() {
  impl_->quit_requested = true;
  // Wakes a GetMessage that waits; the loop then sees the request.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void Win32Host::TrayAdd(const std::string& tip) {
  impl_->tray_tip = Wide(tip);
  impl_->TrayCall(NIM_ADD);
}

void Win32Host::TrayModify(const std::string& tip) {
  impl_->tray_tip = Wide(tip);
  if (impl_->tray_present) impl_->TrayCall(NIM_MODIFY);
}

void Win32Host::TrayDelete() {
  if (impl_->tray_present) impl_->TrayCall(NIM_DELETE);
}

void Win32Host::BringToFront() {
  impl_->Render();
  if (impl_->form != nullptr) SetForegroundWindow(impl_->form);
}

int Win32Host::PopupMenu(const std::vector<std::string>& items) {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr || impl_->form == nullptr) return -1;
  for (size_t i = 0; i < items.size(); ++i) {
    AppendMenuW(menu, MF_STRING, i + 1, Wide(items[i]).c_str());
  }
  POINT at{};
  GetCursorPos(&at);
  SetForegroundWindow(impl_->form);
  const int chosen = static_cast<int>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, impl_->form, nullptr));
  // Lets the menu close when the user clicks elsewhere next time.
  PostMessageW(impl_->form, WM_NULL, 0, 0);
  DestroyMenu(menu);
  return chosen - 1;
}

ScreenMetrics Win32Host::Screen() const {
  ScreenMetrics metrics;
  metrics.screen_width = GetSystemMetrics(SM_CXSCREEN);
  metrics.screen_height = GetSystemMetrics(SM_CYSCREEN);
  RECT work{0, 0, metrics.screen_width, metrics.screen_height};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  metrics.work_left = work.left;
  metrics.work_top = work.top;
  metrics.work_right = work.right;
  metrics.work_bottom = work.bottom;
  return metrics;
}

std::uintptr_t Win32Host::WindowHandle() const {
  return reinterpret_cast<std::uintptr_t>(impl_->form);
}

std::uintptr_t Win32Host::NativeWindow() const { return WindowHandle(); }

std::uintptr_t Win32Host::WindowIcon() const {
  return reinterpret_cast<std::uintptr_t>(impl_->icon);
}

bool Win32Host::WindowShown() const {
  return impl_->form != nullptr && IsWindowVisible(impl_->form) != FALSE;
}

bool Win32Host::ControlShown(ControlId id) const {
  return impl_->Control(id) != nullptr && HasVisibleStyle(impl_->Control(id));
}

std::wstring Win32Host::ControlText(ControlId id) const {
  return impl_->Control(id) != nullptr ? WindowText(impl_->Control(id)) : std::wstring();
}

int Win32Host::WindowHeightPixels() const {
  RECT r{};
  if (impl_->form != nullptr) GetWindowRect(impl_->form, &r);
  return r.bottom - r.top;
}

bool Win32Host::TrayPresent() const { return impl_->tray_present; }

int Win32Host::TrayAdds() const { return impl_->tray_adds; }

}  // namespace quillmend
