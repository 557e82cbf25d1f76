#include "process/product_programs.h"

#include <charconv>

#include "platform/file_names.h"
#include "platform/processes.h"
#include "platform/system_info.h"
#include "process/process_list.h"
#include "startup/shared_state.h"
#include "base/text.h"
#include "ui/frm_files.h"
#include "ui/ui_host.h"

namespace quillmend {
namespace {

// The last piece of a path: after the last "\" and, where "/" is the separator, the last "/".
std::string_view LastPathPiece(std::string_view path) {
  size_t cut = path.rfind('\\');
  if (PathSeparator() == "/") {
    const size_t slash = path.rfind('/');
    if (slash != std::string_view::npos && (cut == std::string_view::npos || slash > cut)) {
      cut = slash;
    }
  }
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The numeric value of an entry's sub-item 1; 0 when it holds no process id.
std::uint32_t EntryProcessId(const ListViewItem& item) {
  std::uint32_t id = 0;
  const char* first = item.sub_item1.data();
  const char* last = first + item.sub_item1.size();
  const auto [end, error] = std::from_chars(first, last, id);
  if (error != std::errc() || end != last) return 0;
  return id;
}

// Whether the id of a marked entry may be sent the termination requests: not this program, and
// the process behind the id is still the one that was listed. Ids are reused once a process
// ends, and the question may wait a long time for its answer.
bool StillTheListedProcess(const ListViewItem& item, std::uint32_t id, std::int32_t platform_id) {
  if (id == 0 || id == static_cast<std::uint32_t>(CurrentProcessId())) return false;
  return CurrentProcessEntryText(id, platform_id) == item.text;
}

// The three requests, one after another, results ignored, nothing awaited.
void SendTerminationRequests(std::uint32_t id) {
  TerminateProcessById(id, 0);
  AttachDebuggerToProcess(id);
  TerminateWithDebugPrivilege(static_cast<std::int32_t>(id), 0);
}

}  // namespace

std::string CloseProgramsQuestion() {
  return "Orvel 최신업데이트 자료가 있습니다.\r\n"
         "Orvel 진행하시면 프로그램이 종료됩니다.\r\n"
         "Orvel 업데이트를 지금 진행하시겠습니까?";
}

bool IsProductProgramPath(std::string_view path) {
  const std::string name = ToUpperAscii(LastPathPiece(path));
  for (const char* program : kProductPrograms) {
    if (name == ToUpperAscii(program)) return true;
  }
  return false;
}

bool MarkProductPrograms(ListViewControl& list) {
  bool found = false;
  for (ListViewItem& item : list.items) {
    if (IsProductProgramPath(item.text)) {
      item.checked = true;
      found = true;
    }
  }
  return found;
}

void CloseProductPrograms(SharedState& state) {
  if (state.frmFiles == nullptr) return;
  ListViewControl& list = state.frmFiles->lvwProcesses;
  const bool found = MarkProductPrograms(list);
  if (!found || !state.g_ContinueUpdate) return;

  if (!state.ui_->AskYesNo(kProgramTitle, CloseProgramsQuestion())) {
    state.g_ContinueUpdate = false;
    return;
  }
  // The agent may have been told to exit from its tray while the question was open: then no
  // update follows, and the programs stay open.
  if (!state.g_ContinueUpdate) return;
  const std::int32_t platform_id = GetPlatformId();
  for (const ListViewItem& item : list.items) {
    if (!item.checked) continue;
    const std::uint32_t id = EntryProcessId(item);
    if (StillTheListedProcess(item, id, platform_id)) SendTerminationRequests(id);
  }
}

bool TerminateWithDebugPrivilege(std::int32_t process_id, std::int32_t exit_code) {
  return TerminateProcessWithDebugPrivilege(static_cast<std::uint32_t>(process_id),
                                            static_cast<std::uint32_t>(exit_code));
}

}  // namespace quillmend
