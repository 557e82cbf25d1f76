#include "apply/pending_update.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "apply/file_version.h"
#include "apply/placement.h"
#include "apply/staging_paths.h"
#include "crm/crm_reporting.h"
#include "db/version_bookkeeping.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "platform/programs.h"
#include "startup/diagnostics.h"
#include "startup/folders.h"
#include "startup/program_paths.h"
#include "startup/settings.h"
#include "base/text.h"
#include "ui/frm_files.h"

namespace quillmend {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPendingQuestion =
    "업데이트를 적용하지 못한 프로그램이 있습니다. 진행하시겠습니까?";
constexpr const char* kStillRunning = "프로그램이 실행중입니다. 프로그램을 종료시켜주세요";

struct FolderContent {
  std::vector<std::string> files;
  std::vector<std::string> folders;
};

// A leftover of a placement into the pending tree that was interrupted (see
// PlacementTempPath); it is nobody's update file.
bool IsPlacementLeftover(const std::string& name) {
  return !name.empty() && name[0] == '.' && EndsWithNoCase(name, ".qm-tmp");
}

bool NameLess(const std::string& a, const std::string& b) {
  const std::string ua = ToUpperAscii(a);
  const std::string ub = ToUpperAscii(b);
  return ua != ub ? ua < ub : a < b;
}

// The folder's files and subfolders, each sorted by name without regard to case. Throws
// fs::filesystem_error when the folder cannot be listed.
FolderContent ListFolder(const std::string& folder) {
  FolderContent content;
  for (const fs::directory_entry& entry : fs::directory_iterator(FsPath(folder))) {
    std::error_code ec;
    const std::string name = Utf8Path(entry.path().filename());
    if (entry.is_directory(ec)) {
      content.folders.push_back(name);
    } else if (IsPlacementLeftover(name)) {
      fs::remove(entry.path(), ec);
    } else {
      content.files.push_back(name);
    }
  }
  std::sort(content.files.begin(), content.files.end(), NameLess);
  std::sort(content.folders.begin(), content.folders.end(), NameLess);
  return content;
}

std::string StripTrailingSeparators(std::string text) {
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  return text;
}

// Destination of the files of a pending folder given relative to the pending folder
// ("\system\sub", "\program\Reports", "" for the pending folder itself): a first-level "system"
// goes to the system folder, anything else to the program folder; the first-level "system" or
// "program" folder itself is left out.
struct Destination {
  bool system = false;
  std::string folder;
};

Destination DestinationOf(const SharedState& state, const std::string& relative) {
  const std::string unified = ReplaceAll(relative, "/", "\\");
  const std::vector<std::string> pieces = SplitText(unified, "\\");
  // pieces[0] is empty for "\first\...".
  const std::string first = pieces.size() > 1 ? pieces[1] : std::string();
  std::string rest;
  for (size_t i = 2; i < pieces.size(); ++i) rest += "\\" + pieces[i];
  Destination destination;
  if (EqualsNoCase(first, "system")) {
    destination.system = true;
    destination.folder = state.g_SystemFolder + rest;
  } else if (EqualsNoCase(first, "program")) {
    destination.folder = state.program_folder_ + rest;
  } else {
    destination.folder = state.program_folder_ + unified;
  }
  destination.folder = StripTrailingSeparators(NormalizeSeparators(destination.folder));
  return destination;
}

void ShowProgress(SharedState& state, const std::string* file_name) {
  if (state.frmFiles == nullptr) return;
  FrmFiles& window = *state.frmFiles;
  if (file_name != nullptr) window.lblFile.caption = *file_name;
  window.lblCounter.caption =
      std::to_string(state.files_downloaded_) + "/" + std::to_string(state.entries_listed_);
  if (file_name != nullptr) window.ShowPercent(state.files_downloaded_, state.entries_listed_);
}

bool DiffersInTime(const std::string& source, const std::string& target) {
  return LastModifiedStamp(source) != LastModifiedStamp(target);
}

// Places one pending file; true when it counts as applied.
bool ApplyPendingFile(SharedState& state, const Destination& destination,
                      const std::string& source, const std::string& file_name,
                      std::string* target_out) {
  EnsureFolderPath(destination.folder);
  const std::string folder = ResolveExistingPath(destination.folder);
  const std::string target = ResolveExistingPath(JoinPath(folder, file_name));
  *target_out = target;
  const bool target_exists = LastModifiedStamp(target).has_value();

  if (destination.system) {
    if (!target_exists || DiffersInTime(source, target)) ReplaceFileAtomically(source, target);
    RegisterComponent(state, target);
    return true;
  }
  if (!target_exists) {
    ReplaceFileAtomically(source, target);
    return true;
  }
  if (!DiffersInTime(source, target)) return state.g_PendingApply;
  if (IsOwnExecutableName(file_name)) {
    ReplaceFileAtomically(source, ResolveExistingPath(JoinPath(folder, "Quillmend1.exe")));
    return true;
  }
  const std::string title = ProgramWindowTitle(file_name);
  if (!title.empty() && TopLevelWindowExists(title)) {
    state.ui_->ShowMessage(kProgramTitle, title + kStillRunning);
    if (TopLevelWindowExists(title)) {
      state.g_PendingApply = false;
      return false;
    }
  }
  ReplaceFileAtomically(source, target);
  return true;
}

void RecordAppliedFile(SharedState& state, const std::string& version,
                       const std::string& file_name, const std::string& target) {
  std::string version_text;
  try {
    version_text = FileVersionText(target);
  } catch (const std::exception& e) {
    LogLine(std::string("cannot read the version of ") + target + ": " + e.what());
  }
  try {
    if (state.g_Online) {
      SendCustomerVersion(state, version, file_name, version_text, "Internet_NewUpdate");
    } else {
      AddVersionFileRecord(state, version, file_name, version_text, "Server_NewUpdate");
    }
  } catch (const std::exception& e) {
    LogLine("cannot record the pending file " + file_name + ": " + e.what());
  }
}

void DeletePendingFile(const std::string& path) {
  const fs::path file = FsPath(path);
  std::error_code ec;
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add, ec);
  fs::remove(file, ec);
  if (ec) LogLine("cannot delete the applied pending file " + path + ": " + ec.message());
}

// Marks a pass as running while the pending update works (timer ticks processed between files
// must not start another pass); a caller's own pass mark is kept.
class PassMark {
 public:
  explicit PassMark(SharedState& state) : state_(state), previous_(state.pass_running_) {
    state_.pass_running_ = true;
  }
  ~PassMark() { state_.pass_running_ = previous_; }
  PassMark(const PassMark&) = delete;
  PassMark& operator=(const PassMark&) = delete;

 private:
  SharedState& state_;
  bool previous_;
};

}  // namespace

std::string ProgramWindowTitle(const std::string& file_name) {
  const size_t dot = file_name.find('.');
  return dot == std::string::npos ? std::string() : file_name.substr(0, dot);
}

void ApplyPendingTree(SharedState& state, const std::string& version, const std::string& root,
                      const std::string& relative) {
  state.g_PendingApply = true;
  const std::string base = StripTrailingSeparators(root);
  std::error_code ec;
  if (!fs::is_directory(FsPath(base), ec)) return;
  const std::string folder = NormalizeSeparators(base + relative);
  FolderContent content;
  try {
    content = ListFolder(folder);
  } catch (const std::exception& e) {
    LogLine("cannot list the pending folder " + folder + ": " + e.what());
    return;
  }
  state.entries_listed_ += static_cast<std::int32_t>(content.files.size());
  ShowProgress(state, nullptr);

  for (const std::string& sub : content.folders) {
    ApplyPendingTree(state, version, root, relative + PathSeparator() + sub);
  }
  const Destination destination = DestinationOf(state, relative);
  for (const std::string& file_name : content.files) {
    ++state.files_downloaded_;
    ShowProgress(state, &file_name);
    const std::string source = JoinPath(folder, file_name);
    bool applied = false;
    std::string target;
    try {
      applied = ApplyPendingFile(state, destination, source, file_name, &target);
    } catch (const std::exception& e) {
      LogLine("cannot apply the pending file " + source + ": " + e.what());
      applied = false;
    }
    if (applied) {
      RecordAppliedFile(state, version, file_name, target);
      if (state.frmFiles != nullptr) state.frmFiles->lblFile.caption = file_name;
      DeletePendingFile(source);
    }
    if (state.ui_ != nullptr) state.ui_->DoEvents();
  }
}

void RemoveEmptyFolders(SharedState& state, const std::string& root,
                        const std::string& relative) {
  const std::string base = StripTrailingSeparators(root);
  std::error_code ec;
  if (!fs::is_directory(FsPath(base), ec)) return;
  const std::string folder = NormalizeSeparators(base + relative);
  if (fs::is_empty(FsPath(folder), ec) && !ec) {
    // Start over from the root only after a removal, so a folder that cannot be removed does
    // not make the walk go round for ever.
    if (fs::remove(FsPath(folder), ec) && !ec) RemoveEmptyFolders(state, root, "");
    return;
  }
  if (!fs::is_directory(FsPath(base), ec)) return;
  FolderContent content;
  try {
    content = ListFolder(folder);
  } catch (const std::exception&) {
    return;
  }
  for (const std::string& sub : content.folders) {
    RemoveEmptyFolders(state, root, relative + PathSeparator() + sub);
  }
}

void CheckPendingUpdate(SharedState& state) {
  try {
    const std::string version = GetLastVersion(state);
    const std::string pending = InProgramFolder(state, "\\newupdate");
    std::error_code ec;
    if (!fs::exists(FsPath(pending), ec)) return;
    if (!state.ui_->AskYesNo(kProgramTitle, kPendingQuestion)) return;
    PassMark pass(state);
    ApplyPendingTree(state, version, pending, "");
    if (state.g_PendingApply) RemoveEmptyFolders(state, pending, "");
  } catch (const std::exception& e) {
    LogLine(std::string("the pending update stopped: ") + e.what());
  }
}

}  // namespace quillmend
