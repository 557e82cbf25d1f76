// Port: starting programs and looking for windows.
// Windows: CreateProcess / ShellExecute, FindWindowA. POSIX: posix_spawn; a window title is an
// X11 top-level title when a display is reachable, else a running "<title>.exe" process.
#pragma once

#include <memory>
#include <string>

namespace quillmend {

enum class WindowStyle { kHidden, kNormalFocus };

class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  virtual unsigned long id() const = 0;
  // True once the process has ended (also for a process that ends with exit code 259).
  virtual bool HasExited() = 0;
  // Ends the process at once (POSIX: SIGKILL; Windows: TerminateProcess) and waits for its end.
  // Nothing happens for a process that has already ended.
  virtual void Terminate() = 0;
};

// Starts command_line (a program and its arguments, Windows quoting rules, no command
// interpreter). Returns nullptr and sets *error to the platform's text when the program cannot
// be started.
std::unique_ptr<ChildProcess> StartCommandLine(const std::string& command_line, WindowStyle style,
                                               std::string* error);

// FindWindowA(no class, title): true when a top-level window with exactly this title exists.
bool TopLevelWindowExists(const std::string& title);

}  // namespace quillmend
