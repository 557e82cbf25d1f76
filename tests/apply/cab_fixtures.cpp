#include "cab_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/wait.h>

namespace quillmend::testing {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

unsigned Le16(const std::string& b, size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
unsigned Le32(const std::string& b, size_t at) {
  return Le16(b, at) | (Le16(b, at + 2) << 16);
}

}  // namespace

int RunShell(const std::string& command_line) {
  const int status = std::system(command_line.c_str());
  if (status == -1) return -1;
  return WEXITSTATUS(status);
}

void MakeCab(const std::string& cab_path, const std::vector<std::string>& files) {
  std::string command = "gcab -c -z -n " + Quoted(cab_path);
  for (const std::string& f : files) command += " " + Quoted(f);
  ASSERT_EQ(RunShell(command + " >/dev/null"), 0) << command;
}

std::vector<size_t> DataBlockOffsets(const std::string& cab) {
  // CFHEADER: cFolders at 26; the first CFFOLDER follows the 36-byte header (no reserve):
  // coffCabStart (4), cCFData (2), typeCompress (2).
  std::vector<size_t> offsets;
  size_t at = Le32(cab, 36);
  const unsigned blocks = Le16(cab, 40);
  for (unsigned i = 0; i < blocks && at + 8 <= cab.size(); ++i) {
    offsets.push_back(at);
    at += 8 + Le16(cab, at + 4);
  }
  return offsets;
}

}  // namespace quillmend::testing
