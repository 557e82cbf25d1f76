// A fresh temporary folder per test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace quillmend::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder as UTF-8 text, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() + separator + relative ("/" and "\" in relative both separate).
  std::string Sub(const std::string& relative) const;

 private:
  std::string path_;
};

// base + separator + each piece of relative ("/" and "\" both separate; empty pieces dropped).
std::string JoinedPath(const std::string& base, const std::string& relative);

// Whole-file helpers (binary).
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace quillmend::testing
