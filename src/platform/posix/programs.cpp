// Programs on POSIX: posix_spawn with the command line split by Windows quoting rules; a
// "window title" is an X11 top-level window title when a display answers, otherwise a running
// process whose program is named "<title>.exe" counts as that window.
#include "platform/programs.h"

#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/common/command_line.h"
#include "base/text.h"

extern char** environ;

namespace quillmend {
namespace {

class PosixChild : public ChildProcess {
 public:
  explicit PosixChild(pid_t pid) : pid_(pid) {}
  ~PosixChild() override {
    // A running child is left to run; a thread waits for its end so that it does not stay
    // behind as a zombie for the rest of the agent's life.
    if (!exited_ && !HasExited()) {
      const pid_t pid = pid_;
      try {
        std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
      } catch (const std::system_error&) {
        // No thread to be had: the child is left as before, reaped when the agent ends.
      }
    }
  }
  unsigned long id() const override { return static_cast<unsigned long>(pid_); }
  bool HasExited() override {
    if (exited_) return true;
    int status = 0;
    const pid_t result = waitpid(pid_, &status, WNOHANG);
    if (result == pid_ || (result < 0 && errno == ECHILD)) exited_ = true;
    return exited_;
  }
  void Terminate() override {
    if (HasExited()) return;
    ::kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    exited_ = true;
  }

 private:
  pid_t pid_;
  bool exited_ = false;
};

// --- X11 through libX11 loaded at run time (no build dependency on X11). ---
using XDisplay = void;
using XWindow = unsigned long;
using XAtom = unsigned long;

struct X11 {
  void* lib = nullptr;
  XDisplay* (*OpenDisplay)(const char*) = nullptr;
  int (*CloseDisplay)(XDisplay*) = nullptr;
  XWindow (*DefaultRootWindow)(XDisplay*) = nullptr;
  int (*QueryTree)(XDisplay*, XWindow, XWindow*, XWindow*, XWindow**, unsigned*) = nullptr;
  int (*FetchName)(XDisplay*, XWindow, char**) = nullptr;
  XAtom (*InternAtom)(XDisplay*, const char*, int) = nullptr;
  int (*GetWindowProperty)(XDisplay*, XWindow, XAtom, long, long, int, XAtom, XAtom*, int*,
                           unsigned long*, unsigned long*, unsigned char**) = nullptr;
  int (*Free)(void*) = nullptr;

  bool Load() {
    lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return false;
    OpenDisplay = reinterpret_cast<decltype(OpenDisplay)>(dlsym(lib, "XOpenDisplay"));
    CloseDisplay = reinterpret_cast<decltype(CloseDisplay)>(dlsym(lib, "XCloseDisplay"));
    DefaultRootWindow =
        reinterpret_cast<decltype(DefaultRootWindow)>(dlsym(lib, "XDefaultRootWindow"));
    QueryTree = reinterpret_cast<decltype(QueryTree)>(dlsym(lib, "XQueryTree"));
    FetchName = reinterpret_cast<decltype(FetchName)>(dlsym(lib, "XFetchName"));
    InternAtom = reinterpret_cast<decltype(InternAtom)>(dlsym(lib, "XInternAtom"));
    GetWindowProperty =
        reinterpret_cast<decltype(GetWindowProperty)>(dlsym(lib, "XGetWindowProperty"));
    Free = reinterpret_cast<decltype(Free)>(dlsym(lib, "XFree"));
    return OpenDisplay && CloseDisplay && DefaultRootWindow && QueryTree && FetchName &&
           InternAtom && GetWindowProperty && Free;
  }
  ~X11() {
    if (lib != nullptr) dlclose(lib);
  }
};

std::string WindowTitle(X11& x, XDisplay* display, XWindow window, XAtom net_wm_name,
                        XAtom utf8_string) {
  XAtom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (x.GetWindowProperty(display, window, net_wm_name, 0, 1024, 0, utf8_string, &type, &format,
                          &count, &after, &data) == 0 &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
    x.Free(data);
    if (!title.empty()) return title;
  }
  char* name = nullptr;
  if (x.FetchName(display, window, &name) != 0 && name != nullptr) {
    title = name;
    x.Free(name);
  }
  return title;
}

// nullopt when no display answers.
std::optional<bool> X11TitleExists(const std::string& title) {
  const char* display_name = std::getenv("DISPLAY");
  if (display_name == nullptr || *display_name == '\0') return std::nullopt;
  X11 x;
  if (!x.Load()) return std::nullopt;
  XDisplay* display = x.OpenDisplay(nullptr);
  if (display == nullptr) return std::nullopt;
  const XAtom net_wm_name = x.InternAtom(display, "_NET_WM_NAME", 0);
  const XAtom utf8_string = x.InternAtom(display, "UTF8_STRING", 0);
  const XWindow root = x.DefaultRootWindow(display);
  bool found = false;
  // Top-level windows are the root's children; under a reparenting window manager the
  // program's window is one level further down, inside its frame.
  XWindow root_return = 0, parent = 0;
  XWindow* children = nullptr;
  unsigned count = 0;
  if (x.QueryTree(display, root, &root_return, &parent, &children, &count) != 0) {
    for (unsigned i = 0; i < count && !found; ++i) {
      if (WindowTitle(x, display, children[i], net_wm_name, utf8_string) == title) {
        found = true;
        break;
      }
      XWindow* inner = nullptr;
      unsigned inner_count = 0;
      if (x.QueryTree(display, children[i], &root_return, &parent, &inner, &inner_count) != 0) {
        for (unsigned j = 0; j < inner_count && !found; ++j) {
          found = WindowTitle(x, display, inner[j], net_wm_name, utf8_string) == title;
        }
        if (inner != nullptr) x.Free(inner);
      }
    }
    if (children != nullptr) x.Free(children);
  }
  x.CloseDisplay(display);
  return found;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ProcessNamedExists(const std::string& program_name) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    const char* name = entry->d_name;
    if (*name < '0' || *name > '9') continue;
    std::ifstream cmdline(std::string("/proc/") + name + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    // A program run under Wine shows its Windows path as the first argument after the loader.
    std::string argv1;
    std::getline(cmdline, argv1, '\0');
    if (EqualsNoCase(BaseName(argv0), program_name) ||
        EqualsNoCase(BaseName(argv1), program_name)) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

}  // namespace

std::unique_ptr<ChildProcess> StartCommandLine(const std::string& command_line, WindowStyle,
                                               std::string* error) {
  const std::vector<std::string> args = SplitWindowsCommandLine(command_line);
  if (args.empty() || args[0].empty()) {
    if (error != nullptr) *error = "The system cannot find the file specified.";
    return nullptr;
  }
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    if (error != nullptr) *error = args[0] + ": " + std::strerror(rc);
    return nullptr;
  }
  return std::make_unique<PosixChild>(pid);
}

bool TopLevelWindowExists(const std::string& title) {
  if (title.empty()) return false;
  if (const std::optional<bool> on_display = X11TitleExists(title)) return *on_display;
  return ProcessNamedExists(title + ".exe");
}

}  // namespace quillmend
