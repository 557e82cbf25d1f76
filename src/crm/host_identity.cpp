#include "crm/host_identity.h"

#include "platform/host_identity.h"
#include "base/text.h"
#include "ui/ui_host.h"

namespace quillmend {
namespace {

constexpr unsigned short kSocketsVersion = 0x0101;
constexpr int kMinimumSockets = 1;

void Show(SharedState& state, const std::string& text) {
  if (state.ui_ != nullptr) state.ui_->ShowMessage(kProgramTitle, text);
}

std::optional<std::string> HostNameOrMessage(SharedState& state) {
  std::optional<std::string> name = LocalHostName();
  if (!name) {
    Show(state, "Windows Sockets error " + std::to_string(LastSocketError()) +
                    " has occurred. Unable to successfully get Host Name.");
  }
  return name;
}

}  // namespace

bool SocketsInitialize(SharedState& state) {
  const SocketsStartupInfo info = SocketsStartup(kSocketsVersion);
  if (info.result != 0) {
    Show(state, "The 32-bit Windows Socket is not responding.");
    return false;
  }
  if (info.max_sockets < kMinimumSockets) {
    Show(state, "This application requires a minimum of " + std::to_string(kMinimumSockets) +
                    " supported sockets.");
    return false;
  }
  const int lo = LoByte(info.version);
  const int hi = HiByte(info.version);
  if (lo < 1 || (lo == 1 && hi < 1)) {
    Show(state, "Sockets version " + std::to_string(lo) + "." + std::to_string(hi) +
                    " is not supported by 32-bit Windows Sockets.");
    return false;
  }
  return true;
}

void SocketsCleanup(SharedState& state) {
  if (!SocketsShutdown()) Show(state, "Socket error occurred in Cleanup.");
}

std::string GetMyHostName(SharedState& state) {
  if (!SocketsInitialize(state)) return "";
  const std::string result = HostNameOrMessage(state).value_or("");
  SocketsCleanup(state);
  return result;
}

std::string GetMyIPAddress(SharedState& state) {
  if (!SocketsInitialize(state)) return "";
  std::string result;
  if (const auto name = HostNameOrMessage(state)) {
    const auto address = FirstHostAddress(TrimBlanks(*name));
    if (!address) {
      Show(state, std::string("Windows Sockets are not responding. ") +
                      "Unable to successfully get Host Name.");
    } else {
      for (size_t i = 0; i < address->size(); ++i) {
        if (i > 0) result += ".";
        result += std::to_string(static_cast<unsigned>((*address)[i]));
      }
    }
  }
  SocketsCleanup(state);
  return result;
}

}  // namespace quillmend
