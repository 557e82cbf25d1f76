// CAB expansion in process with libmspack. The data is written to a temporary file beside the
// expanded file and renamed into place only when libmspack reported success and the file has the
// length the archive states (libmspack leaves a partial output file behind on failure).
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/cab_expand.h"

namespace quillmend {
namespace {

// Input buffer of the decompressor; larger than the library's default to cut read calls.
constexpr int kDecompressionBuffer = 1 << 16;

std::string MspackErrorText(int code) {
  switch (code) {
    case MSPACK_ERR_OK: return "no error";
    case MSPACK_ERR_ARGS: return "bad arguments";
    case MSPACK_ERR_OPEN: return "cannot open the file";
    case MSPACK_ERR_READ: return "read error (the archive may be truncated)";
    case MSPACK_ERR_WRITE: return "write error (disk full?)";
    case MSPACK_ERR_SEEK: return "seek error";
    case MSPACK_ERR_NOMEMORY: return "out of memory";
    case MSPACK_ERR_SIGNATURE: return "not a CAB archive";
    case MSPACK_ERR_DATAFORMAT: return "damaged archive data";
    case MSPACK_ERR_CHECKSUM: return "block checksum mismatch";
    case MSPACK_ERR_DECRUNCH: return "the data does not decompress";
    default: return "error " + std::to_string(code);
  }
}

struct DecompressorDeleter {
  void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};

// The archive's date and time of the file, which CAB stores as local time.
void SetStoredTime(const std::string& path, const mscabd_file& file) {
  std::tm when{};
  when.tm_year = file.date_y - 1900;
  when.tm_mon = file.date_m - 1;
  when.tm_mday = file.date_d;
  when.tm_hour = file.time_h;
  when.tm_min = file.time_m;
  when.tm_sec = file.time_s;
  when.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&when);
  if (seconds == static_cast<std::time_t>(-1)) return;
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace

bool ExpandSingleFileCabinet(const std::string& archive, const std::string& expanded,
                             const CommandRunner& /*run*/, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error != nullptr) *error = archive + ": " + text;
    return false;
  };
  std::unique_ptr<mscab_decompressor, DecompressorDeleter> decompressor(
      mspack_create_cab_decompressor(nullptr));
  if (!decompressor) return fail("cannot create the CAB decompressor");
  mscab_decompressor* d = decompressor.get();
  d->set_param(d, MSCABD_PARAM_DECOMPBUF, kDecompressionBuffer);

  mscabd_cabinet* cabinet = d->open(d, archive.c_str());
  if (cabinet == nullptr) return fail(MspackErrorText(d->last_error(d)));
  struct CabinetCloser {
    mscab_decompressor* d;
    mscabd_cabinet* cabinet;
    ~CabinetCloser() { d->close(d, cabinet); }
  } closer{d, cabinet};

  if ((cabinet->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) != 0) {
    return fail("the archive is part of a multi-archive set");
  }
  int count = 0;
  for (mscabd_file* f = cabinet->files; f != nullptr; f = f->next) ++count;
  if (count != 1) return fail("the archive holds " + std::to_string(count) + " files, not one");
  const mscabd_file& file = *cabinet->files;

  const std::string temp = ExpansionTempPath(expanded);
  const int result = d->extract(d, cabinet->files, temp.c_str());
  if (result != MSPACK_ERR_OK) {
    ::unlink(temp.c_str());
    return fail(MspackErrorText(result));
  }
  struct stat info {};
  if (::stat(temp.c_str(), &info) != 0 || static_cast<unsigned>(info.st_size) != file.length) {
    ::unlink(temp.c_str());
    return fail("the expanded file does not have the length the archive states");
  }
  SetStoredTime(temp, file);
  if (::rename(temp.c_str(), expanded.c_str()) != 0) {
    const int code = errno;
    ::unlink(temp.c_str());
    return fail("cannot rename the expanded file to " + expanded + ": " + std::strerror(code));
  }
  return true;
}

}  // namespace quillmend
