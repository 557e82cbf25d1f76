#include "process/process_fixture.h"

#include <algorithm>

#include "platform/file_names.h"
#include "base/text.h"

namespace quillmend::testing {

const ListViewItem* FindEntry(const ListViewControl& list, std::uint32_t process_id) {
  const std::string id_text = std::to_string(process_id);
  for (const ListViewItem& item : list.items) {
    if (item.sub_item1 == id_text) return &item;
  }
  return nullptr;
}

void KeepOnlyEntriesIn(ListViewControl& list, const std::string& folder) {
  const std::string prefix = folder + PathSeparator();
  std::erase_if(list.items, [&](const ListViewItem& item) {
    return !StartsWithNoCase(item.text, prefix);
  });
}

std::unique_ptr<ChildProcess> StartSleeperAs(const TempFolder& folder,
                                             const std::string& relative_path) {
  const std::string path = folder.Sub(relative_path);
  if (!FileExists(path)) InstallSleeperAs(path);  // a second instance runs the same copy
  return std::make_unique<ChildProcess>(path);
}

}  // namespace quillmend::testing
