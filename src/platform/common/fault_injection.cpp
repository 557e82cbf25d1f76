// The fault rules: their text form, their matching, and the process-wide set the backends'
// checking system calls consult.
#include "platform/fault_injection.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

#include "platform/common/fault_table.h"

namespace quillmend {
namespace {

struct InstalledRule {
  FaultRule rule;
  std::uint64_t matched = 0;
};

// Guarded by the mutex; touched only while rules are installed (the table holds the
// platform's own calls otherwise, and they never come here).
struct FaultState {
  std::mutex mutex;
  std::vector<InstalledRule> rules;
  std::uint64_t injected = 0;
  std::map<std::intptr_t, std::string> handles;
};

FaultState& State() {
  static FaultState state;
  return state;
}

bool IsSocketOperation(FaultOperation operation) {
  return operation == FaultOperation::kSend || operation == FaultOperation::kRecv ||
         operation == FaultOperation::kConnect;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::optional<FaultOperation> OperationNamed(std::string_view name) {
  static const std::pair<std::string_view, FaultOperation> kNames[] = {
      {"open", FaultOperation::kOpen},       {"write", FaultOperation::kWrite},
      {"flush", FaultOperation::kFlush},     {"rename", FaultOperation::kRename},
      {"remove", FaultOperation::kRemove},   {"settime", FaultOperation::kSetTime},
      {"send", FaultOperation::kSend},       {"recv", FaultOperation::kRecv},
      {"connect", FaultOperation::kConnect}, {"alloc", FaultOperation::kAllocate}};
  for (const auto& [text, operation] : kNames) {
    if (name == text) return operation;
  }
  return std::nullopt;
}

std::optional<FaultError> ErrorNamed(std::string_view name) {
  static const std::pair<std::string_view, FaultError> kNames[] = {
      {"enospc", FaultError::kDiskFull},          {"eacces", FaultError::kAccessDenied},
      {"eio", FaultError::kIoError},              {"erofs", FaultError::kReadOnly},
      {"econnreset", FaultError::kConnectionReset}, {"etimedout", FaultError::kTimedOut}};
  for (const auto& [text, error] : kNames) {
    if (name == text) return error;
  }
  return std::nullopt;
}

// Splits one rule at its colons; "\:" stands for a colon inside a field.
std::vector<std::string> RuleFields(std::string_view rule) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < rule.size(); ++i) {
    if (rule[i] == '\\' && i + 1 < rule.size() && rule[i + 1] == ':') {
      fields.back() += ':';
      ++i;
    } else if (rule[i] == ':') {
      fields.emplace_back();
    } else {
      fields.back() += rule[i];
    }
  }
  return fields;
}

std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<FaultRule> ParseRule(std::string_view text, std::string* why) {
  const std::vector<std::string> fields = RuleFields(text);
  if (fields.size() < 3 || fields.size() > 5) {
    *why = "expected <op>:<path-glob>:<error>[:<nth>[:<count>]]";
    return std::nullopt;
  }
  FaultRule rule;
  const auto operation = OperationNamed(fields[0]);
  if (!operation) {
    *why = "unknown operation \"" + fields[0] + "\"";
    return std::nullopt;
  }
  rule.operation = *operation;
  rule.path_pattern = fields[1].empty() ? "*" : fields[1];
  const auto error = ErrorNamed(fields[2]);
  if (!error) {
    *why = "unknown error \"" + fields[2] + "\"";
    return std::nullopt;
  }
  rule.error = *error;
  if (fields.size() > 3) {
    const auto nth = Number(fields[3]);
    if (!nth || *nth == 0) {
      *why = "the call number must be a whole number from 1";
      return std::nullopt;
    }
    rule.nth = *nth;
  }
  if (fields.size() > 4) {
    const auto count = Number(fields[4]);
    if (!count) {
      *why = "the count must be a whole number";
      return std::nullopt;
    }
    rule.count = *count;
  }
  return rule;
}

bool RuleCovers(const FaultRule& rule, FaultOperation operation, std::string_view path,
                std::string_view second_path) {
  if (rule.operation != operation) return false;
  if (IsSocketOperation(operation)) return true;
  return FaultPatternMatches(rule.path_pattern, path) ||
         (!second_path.empty() && FaultPatternMatches(rule.path_pattern, second_path));
}

}  // namespace

bool FaultPatternMatches(std::string_view pattern, std::string_view path) {
  // Greedy glob with one point of return to the last '*'.
  size_t p = 0, s = 0, star = std::string_view::npos, resume = 0;
  while (s < path.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = s;
    } else if (p < pattern.size() && LowerAscii(pattern[p]) == LowerAscii(path[s])) {
      ++p;
      ++s;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::optional<std::vector<FaultRule>> ParseFaultRules(std::string_view text, std::string* error) {
  std::vector<FaultRule> rules;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(';', start), text.size());
    const std::string_view piece = text.substr(start, end - start);
    if (!piece.empty()) {
      std::string why;
      auto rule = ParseRule(piece, &why);
      if (!rule) {
        if (error != nullptr) *error = "fault rule \"" + std::string(piece) + "\": " + why;
        return std::nullopt;
      }
      rules.push_back(std::move(*rule));
    }
    start = end + 1;
  }
  return rules;
}

void InstallFaults(std::vector<FaultRule> rules) {
  FaultState& state = State();
  const bool any = !rules.empty();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.rules.clear();
    for (FaultRule& rule : rules) state.rules.push_back({std::move(rule), 0});
    state.injected = 0;
    state.handles.clear();
  }
  fault::UseCheckingSystemCalls(any);
  fault::UseCheckingOdbcCalls(any);
}

void RemoveFaults() {
  fault::UseCheckingSystemCalls(false);
  fault::UseCheckingOdbcCalls(false);
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.rules.clear();
  state.handles.clear();
}

std::uint64_t InjectedFaultCount() {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.injected;
}

void InstallFaultsFromEnvironment() {
  const char* text = std::getenv("QUILLMEND_FAULTS");
  if (text == nullptr || *text == '\0') return;
  std::string error;
  auto rules = ParseFaultRules(text, &error);
  if (!rules) {
    std::fprintf(stderr, "QUILLMEND_FAULTS ignored: %s\n", error.c_str());
    return;
  }
  InstallFaults(std::move(*rules));
}

ScopedFaults::ScopedFaults(std::vector<FaultRule> rules) { InstallFaults(std::move(rules)); }

ScopedFaults::~ScopedFaults() { RemoveFaults(); }

namespace fault {

std::optional<FaultError> TakeFault(FaultOperation operation, std::string_view path,
                                    std::string_view second_path) {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::optional<FaultError> result;
  for (InstalledRule& installed : state.rules) {
    const FaultRule& rule = installed.rule;
    if (!RuleCovers(rule, operation, path, second_path)) continue;
    const std::uint64_t call = ++installed.matched;
    const bool failing = call >= rule.nth && (rule.count == 0 || call < rule.nth + rule.count);
    if (failing && !result) result = rule.error;
  }
  if (result) ++state.injected;
  return result;
}

void RememberHandle(std::intptr_t handle, std::string_view path) {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.handles[handle] = std::string(path);
}

void ForgetHandle(std::intptr_t handle) {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.handles.erase(handle);
}

std::string HandlePath(std::intptr_t handle) {
  FaultState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  const auto found = state.handles.find(handle);
  return found == state.handles.end() ? std::string() : found->second;
}

}  // namespace fault
}  // namespace quillmend
