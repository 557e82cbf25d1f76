#include "process/process_list.h"

#include <string>

#include "platform/processes.h"
#include "platform/system_info.h"
#include "startup/shared_state.h"
#include "base/text.h"
#include "ui/frm_files.h"

namespace quillmend {
namespace {

constexpr const char* kFilenameColumn = "Filename";
constexpr const char* kProcessIdColumn = "Process ID";

// The id buffer starts at 8 bytes with 96 bytes "needed", so the first call gets 16 bytes.
constexpr std::uint32_t kFirstBufferBytes = 8;
constexpr std::uint32_t kFirstNeededBytes = 96;
// Far beyond any real process count; stops the doubling should a platform misreport.
constexpr std::uint32_t kLargestBufferBytes = 1u << 26;

void AddEntry(ListViewControl& list, std::string path, std::uint32_t process_id) {
  ListViewItem item;
  item.text = std::move(path);
  item.sub_item1 = std::to_string(process_id);
  item.checked = false;
  list.items.push_back(std::move(item));
}

void ListBySnapshot(ListViewControl& list) {
  std::vector<SnapshotProcess> processes;
  if (!TakeProcessSnapshot(&processes)) return;
  for (SnapshotProcess& process : processes) {
    AddEntry(list, NormaliseProcessPath(process.exe_file, kSnapshotPlatformId),
             process.process_id);
  }
}

void ListByProcessStatus(ListViewControl& list) {
  const std::uint32_t own_id = static_cast<std::uint32_t>(CurrentProcessId());
  for (const std::uint32_t id : CollectProcessIds(EnumerateProcessIds)) {
    if (id == own_id) continue;  // this program never lists itself with this method
    std::optional<std::string> path = ReadProcessExecutablePath(id);
    if (!path) continue;
    AddEntry(list, NormaliseProcessPath(*path, kProcessStatusPlatformId), id);
  }
}

}  // namespace

std::int32_t GetPlatformId() { return QueryPlatformId(); }

std::string NormaliseProcessPath(std::string_view path, std::int32_t platform_id) {
  const std::string without_prefix = ReplaceAll(path, "\\??\\", "");
  const char* windows_folder =
      platform_id == kSnapshotPlatformId ? "C:\\Windows\\" : "C:\\WINDOWS\\";
  return ReplaceAll(without_prefix, "\\SystemRoot\\", windows_folder);
}

std::vector<std::uint32_t> CollectProcessIds(const ProcessIdEnumerator& enumerate) {
  std::uint32_t buffer_bytes = kFirstBufferBytes;
  std::uint32_t needed_bytes = kFirstNeededBytes;
  std::vector<std::uint32_t> ids;
  while (buffer_bytes <= needed_bytes) {
    if (buffer_bytes >= kLargestBufferBytes) break;
    buffer_bytes *= 2;
    ids.assign(buffer_bytes / 4, 0);
    std::uint32_t written = 0;
    if (!enumerate(ids.data(), buffer_bytes, &written)) return {};
    needed_bytes = written < buffer_bytes ? written : buffer_bytes;
  }
  ids.resize(needed_bytes / 4);
  return ids;
}

void ListProcessesInto(ListViewControl& list, std::int32_t platform_id) {
  list.items.clear();
  if (list.columns.size() != 2 || list.columns[0] != kFilenameColumn ||
      list.columns[1] != kProcessIdColumn) {
    list.columns = {kFilenameColumn, kProcessIdColumn};
  }
  if (platform_id == kSnapshotPlatformId) {
    ListBySnapshot(list);
  } else if (platform_id == kProcessStatusPlatformId) {
    ListByProcessStatus(list);
  }
}

void ListProcesses(SharedState& state) {
  if (state.frmFiles == nullptr) return;
  ListProcessesInto(state.frmFiles->lvwProcesses, GetPlatformId());
}

std::string CurrentProcessEntryText(std::uint32_t process_id, std::int32_t platform_id) {
  if (platform_id == kSnapshotPlatformId) {
    std::vector<SnapshotProcess> processes;
    if (!TakeProcessSnapshot(&processes)) return {};
    for (const SnapshotProcess& process : processes) {
      if (process.process_id == process_id) {
        return NormaliseProcessPath(process.exe_file, platform_id);
      }
    }
    return {};
  }
  if (platform_id == kProcessStatusPlatformId) {
    if (auto path = ReadProcessExecutablePath(process_id)) {
      return NormaliseProcessPath(*path, platform_id);
    }
  }
  return {};
}

}  // namespace quillmend
