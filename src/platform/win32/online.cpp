// Online check on Windows: InetIsOffline of url.dll, loaded at run time.
#include <windows.h>

#include "platform/online.h"

namespace quillmend {

std::optional<bool> PlatformReportsOffline() {
  HMODULE url = LoadLibraryW(L"url.dll");
  if (url == nullptr) return std::nullopt;
  using InetIsOfflineFn = BOOL(WINAPI*)(DWORD);
  auto fn = reinterpret_cast<InetIsOfflineFn>(
      reinterpret_cast<void*>(GetProcAddress(url, "InetIsOffline")));
  if (fn == nullptr) {
    FreeLibrary(url);
    return std::nullopt;
  }
  const bool offline = fn(0) != 0;
  FreeLibrary(url);
  return offline;
}

}  // namespace quillmend
