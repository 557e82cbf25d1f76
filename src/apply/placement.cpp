#include "apply/placement.h"

#include <exception>
#include <filesystem>
#include <stdexcept>

#include "apply/file_version.h"
#include "apply/staging_paths.h"
#include "crm/crm_reporting.h"
#include "db/version_bookkeeping.h"
#include "platform/file_names.h"
#include "platform/file_placement.h"
#include "platform/programs.h"
#include "platform/registration.h"
#include "startup/agent_settings.h"
#include "startup/diagnostics.h"
#include "startup/folders.h"
#include "startup/settings.h"
#include "base/text.h"

namespace quillmend {
namespace {

constexpr const char* kOwnExecutable = "quillmend.exe";
constexpr const char* kOwnExecutableNewCopy = "Quillmend1.exe";

// The pending folder for a staged file, or "" when the staged path belongs to no staging
// layout this program knows (then nothing may be written).
std::string PendingFolderOf(const SharedState& state, const std::string& staged_path) {
  const std::string folder = FolderOf(NormalizeSeparators(staged_path));
  if (IsBelowFolder(staged_path, state.program_folder_)) {
    // program folder\download\<rest> -> program folder\NewUpdate\<rest>
    const std::string below = DatabaseRelativePath(state, folder);  // "\download\system\sub"
    constexpr std::string_view kStaging = "\\download";
    if (!StartsWithNoCase(below, kStaging) ||
        (below.size() > kStaging.size() && below[kStaging.size()] != '\\')) {
      return {};
    }
    const std::string rest = below.substr(kStaging.size());
    if (!IsContainedRelativePath(rest)) return {};
    return NormalizeSeparators(state.program_folder_ + "\\NewUpdate" + rest);
  }
  // Server-mode staging: the share path followed by \program\... or \system\...
  const std::string share = GetServerPath(state);
  if (share.empty() || !IsBelowFolder(folder + "/x", share)) return {};
  std::string unified_share = ReplaceAll(share, "/", "\\");
  while (unified_share.size() > 1 && unified_share.back() == '\\') unified_share.pop_back();
  const std::string rest = ReplaceAll(folder, "/", "\\").substr(unified_share.size());
  if (!IsContainedRelativePath(rest)) return {};
  return NormalizeSeparators(state.program_folder_ + "\\Newupdate" + rest);
}

// The size of a file; -1 when it cannot be read (so an unreadable file never counts as equal).
std::int64_t FileSizeOf(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(FsPath(path), ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

// The copy of file_name waiting in the pending folder of staged_path ("" when there is none):
// an earlier version's deferral, which the pending apply at the next start would put back over
// the file placed now.
std::string PendingCopyOf(const SharedState& state, const std::string& staged_path,
                          const std::string& file_name) {
  const std::string pending_folder = PendingFolderOf(state, staged_path);
  if (pending_folder.empty()) return {};
  const std::string pending = ResolveExistingPath(JoinPath(pending_folder, file_name));
  std::error_code ec;
  return std::filesystem::is_regular_file(FsPath(pending), ec) ? pending : std::string();
}

void RemovePendingCopy(const std::string& pending) {
  const std::filesystem::path file = FsPath(pending);
  std::error_code ec;
  std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, ec);
  // A copy that stays holds the placed file's own bytes by now, so it only costs a copy later.
  if (!std::filesystem::remove(file, ec) || ec) {
    LogLine("cannot remove the pending copy " + pending + ": " + ec.message());
  }
}

void RecordPlacedFile(SharedState& state, const std::string& version,
                      const std::string& file_name, const std::string& version_text,
                      const char* online_state, const char* offline_state) {
  if (state.g_Online) {
    SendCustomerVersion(state, version, file_name, version_text, online_state);
  } else {
    AddVersionFileRecord(state, version, file_name, version_text, offline_state);
  }
}

}  // namespace

bool IsOwnExecutableName(const std::string& file_name) {
  return EqualsNoCase(file_name, kOwnExecutable);
}

std::string RegistrationCommandLine(const SharedState& state, const std::string& target) {
  const std::string program = RegistrationProgram(
      state.g_SystemFolder, AgentSetting(state, "Platform", "RegisterCommand"));
  if (program.empty()) return {};
  return "\"" + program + "\" /s \"" + target + "\"";
}

bool RegisterComponent(const SharedState& state, const std::string& target) {
  const std::string kind = ToUpperAscii(target.size() >= 3 ? target.substr(target.size() - 3)
                                                           : target);
  if (kind != "OCX" && kind != "DLL") return false;
  const std::string command_line = RegistrationCommandLine(state, target);
  if (command_line.empty()) return false;
  std::string error;
  if (StartCommandLine(command_line, WindowStyle::kHidden, &error) == nullptr) {
    LogLine("cannot start the registration " + command_line + ": " + error);
    return false;
  }
  return true;
}

PlacedFile PlaceWithoutRecording(SharedState& state, const std::string& staged_path) {
  PlacedFile placed;
  placed.staged = ResolveExistingPath(NormalizeSeparators(staged_path));
  const std::string& staged = placed.staged;
  if (!IsVisibleFile(staged)) return placed;
  const std::optional<StagedTarget> target = TargetOfStagedFile(state, staged);
  if (!target) {
    LogFailure(state, "NoTarget(PlaceStagedFile) " + staged);
    placed.outcome = PlacementOutcome::kNoTarget;
    return placed;
  }
  placed.file_name = target->file_name;
  try {
    EnsureFolderPath(target->folder);
    const std::string folder = ResolveExistingPath(target->folder);
    const std::string target_path = ResolveExistingPath(JoinPath(folder, target->file_name));
    // An older copy waiting in the pending folder is first replaced by this file and removed
    // only once this file is in place, so that at no moment would the next start put the older
    // bytes back and an interruption never loses the file.
    const std::string pending_copy = PendingCopyOf(state, staged, target->file_name);
    if (!pending_copy.empty() && !DeferToPending(state, staged, target->file_name)) {
      throw std::runtime_error("cannot replace the older pending copy " + pending_copy);
    }
    const std::optional<std::int64_t> target_time = LastModifiedStamp(target_path);
    if (!target_time) {
      ReplaceFileAtomically(staged, target_path);
    } else if (*target_time != LastModifiedStamp(staged) ||
               FileSizeOf(target_path) != FileSizeOf(staged)) {
      if (IsOwnExecutableName(target->file_name)) {
        ReplaceFileAtomically(
            staged, ResolveExistingPath(JoinPath(state.program_folder_, kOwnExecutableNewCopy)));
      } else {
        ReplaceFileAtomically(staged, target_path);
      }
    }
    if (target->home == StagedHome::kSystem) RegisterComponent(state, target_path);
    if (!pending_copy.empty()) RemovePendingCopy(pending_copy);
    placed.target_path = target_path;
    placed.outcome = PlacementOutcome::kPlaced;
    return placed;
  } catch (const std::exception& e) {
    LogLine("cannot place " + staged + ": " + e.what());
  }
  placed.outcome = DeferToPending(state, staged, target->file_name)
                       ? PlacementOutcome::kDeferred
                       : PlacementOutcome::kNotPlaced;
  return placed;
}

bool RecordPlacement(SharedState& state, const std::string& version, const PlacedFile& placed) {
  try {
    const std::string version_text = FileVersionText(placed.target_path);
    RecordPlacedFile(state, version, placed.file_name, version_text,
                     state.online_record_state_.c_str(), "Server");
    return true;
  } catch (const std::exception& e) {
    LogLine("cannot record " + placed.staged + ": " + e.what());
  }
  DeferToPending(state, placed.staged, placed.file_name);
  return false;
}

bool PlaceStagedFile(SharedState& state, const std::string& version,
                     const std::string& staged_path) {
  const PlacedFile placed = PlaceWithoutRecording(state, staged_path);
  return placed.outcome == PlacementOutcome::kPlaced && RecordPlacement(state, version, placed);
}

bool DeferToPending(SharedState& state, const std::string& staged_path,
                    const std::string& file_name) {
  try {
    const std::string pending_folder = PendingFolderOf(state, staged_path);
    if (pending_folder.empty() || file_name.empty() ||
        file_name.find_first_of("\\/") != std::string::npos ||
        !IsContainedRelativePath(file_name)) {
      LogFailure(state, "NoPendingFolder(DeferToPending) " + staged_path);
    } else {
      EnsureFolderPath(pending_folder);
      const std::string folder = ResolveExistingPath(pending_folder);
      ReplaceFileAtomically(ResolveExistingPath(NormalizeSeparators(staged_path)),
                            ResolveExistingPath(JoinPath(folder, file_name)));
      return true;
    }
  } catch (const std::exception& e) {
    LogLine("cannot defer " + staged_path + ": " + e.what());
  }
  state.g_AllPlaced = false;
  return false;
}

}  // namespace quillmend
