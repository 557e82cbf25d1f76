// A window, a scripted host and real copies of the sleeper under the product's names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/components.h"  // SharedState owns the components
#include "process/child_processes.h"
#include "startup/shared_state.h"
#include "support/temp_folder.h"
#include "ui/frm_files.h"
#include "ui/headless/headless_host.h"

namespace quillmend::testing {

struct WindowUnderTest {
  explicit WindowUnderTest(std::vector<bool> answers)
      : host(std::move(answers), false), window(state, host) {
    state.ui_ = &host;
    state.frmFiles = &window;
  }
  SharedState state;
  HeadlessHost host;
  FrmFiles window;
  ListViewControl& list() { return window.lvwProcesses; }
};

// The entry of list with this process id, or nullptr.
const ListViewItem* FindEntry(const ListViewControl& list, std::uint32_t process_id);

// Removes every entry whose path does not lie in folder: the tests that answer Yes work on
// their own processes only, never on product programs that something else runs on this machine.
void KeepOnlyEntriesIn(ListViewControl& list, const std::string& folder);

// Starts a copy of the sleeper at folder/relative_path.
std::unique_ptr<ChildProcess> StartSleeperAs(const TempFolder& folder,
                                             const std::string& relative_path);

}  // namespace quillmend::testing
