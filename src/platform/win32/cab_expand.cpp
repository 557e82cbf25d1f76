// CAB expansion on Windows with the system's "expand" tool. The tool is told to write a
// temporary file beside the expanded file; that file is renamed into place only when it exists
// afterwards with the length the archive states for its one file. The tool's exit code is not
// available through the runner, so the archive's header is read first: an archive that does
// not hold exactly one file is refused without running the tool.
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/cab_expand.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/wide.h"

namespace quillmend {
namespace {

struct CabinetHeader {
  std::uint16_t file_count = 0;
  std::uint16_t flags = 0;
  std::uint32_t first_file_length = 0;
};

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// CFHEADER: "MSCF", reserved, cbCabinet, reserved, coffFiles(16), reserved, version(24..25),
// cFolders(26), cFiles(28), flags(30). CFFILE: cbFile(0), ...
bool ReadHeader(const std::string& archive, CabinetHeader* header, std::string* why) {
  std::ifstream in(std::filesystem::path(Wide(archive)), std::ios::binary);
  unsigned char head[36] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) {
    *why = "cannot read the archive header";
    return false;
  }
  if (head[0] != 'M' || head[1] != 'S' || head[2] != 'C' || head[3] != 'F') {
    *why = "not a CAB archive";
    return false;
  }
  header->file_count = static_cast<std::uint16_t>(head[28] | (head[29] << 8));
  header->flags = static_cast<std::uint16_t>(head[30] | (head[31] << 8));
  const std::uint32_t files_at = Le32(head + 16);
  unsigned char file_entry[4] = {};
  in.seekg(files_at);
  if (header->file_count > 0 && !in.read(reinterpret_cast<char*>(file_entry), 4)) {
    *why = "the archive is truncated";
    return false;
  }
  header->first_file_length = Le32(file_entry);
  return true;
}

}  // namespace

bool ExpandSingleFileCabinet(const std::string& archive, const std::string& expanded,
                             const CommandRunner& run, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error != nullptr) *error = archive + ": " + text;
    return false;
  };
  CabinetHeader header;
  std::string why;
  if (!ReadHeader(archive, &header, &why)) return fail(why);
  constexpr std::uint16_t kPartOfSet = 0x0001 | 0x0002;  // previous / next cabinet
  if ((header.flags & kPartOfSet) != 0) return fail("the archive is part of a multi-archive set");
  if (header.file_count != 1) {
    return fail("the archive holds " + std::to_string(header.file_count) + " files, not one");
  }
  const std::string temp = ExpansionTempPath(expanded);
  const std::wstring wide_temp = Wide(temp);
  SetFileAttributesW(wide_temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  win32_calls.delete_file(wide_temp.c_str());
  try {
    run("expand \"" + archive + "\" \"" + temp + "\"");
  } catch (const std::exception& e) {
    win32_calls.delete_file(wide_temp.c_str());
    return fail(std::string("cannot run expand: ") + e.what());
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide_temp.c_str(), GetFileExInfoStandard, &data)) {
    return fail("expand produced no file");
  }
  if (data.nFileSizeHigh != 0 || data.nFileSizeLow != header.first_file_length) {
    win32_calls.delete_file(wide_temp.c_str());
    return fail("the expanded file does not have the length the archive states");
  }
  if (!win32_calls.move_file(wide_temp.c_str(), Wide(expanded).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    win32_calls.delete_file(wide_temp.c_str());
    return fail("cannot rename the expanded file to " + expanded + ": error " +
                std::to_string(code));
  }
  return true;
}

}  // namespace quillmend
