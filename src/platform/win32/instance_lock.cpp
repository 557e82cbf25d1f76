// Single instance on Windows: a named mutex per program folder.
#include <windows.h>

#include <algorithm>

#include "platform/instance_lock.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

class MutexLock final : public InstanceLock {
 public:
  explicit MutexLock(HANDLE handle) : handle_(handle) {}
  ~MutexLock() override {
    if (handle_ != nullptr) CloseHandle(handle_);
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<InstanceLock> TryAcquireInstanceLock(const std::string& program_folder) {
  std::wstring name = L"Local\\Quillmend-" + Wide(ToUpperAscii(program_folder));
  std::replace(name.begin() + 6, name.end(), L'\\', L'/');
  HANDLE handle = CreateMutexW(nullptr, TRUE, name.c_str());
  if (handle == nullptr) return std::make_unique<MutexLock>(nullptr);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<MutexLock>(handle);
}

}  // namespace quillmend
