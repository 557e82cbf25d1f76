// CAB expansion in process with libmspack. The data is written to a temporary file beside the
// expanded file and renamed into place only when libmspack reported success and the file has the
// length the archive states (libmspack leaves a partial output file behind on failure).
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/cab_expand.h"
#include "platform/posix/system_calls.h"

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

// The file calls libmspack makes, through the system-call table. The first system error is
// kept so that the failure can name it.
struct ExpansionSystem : mspack_system {
  int first_error = 0;
};

struct ExpansionFile {
  ExpansionSystem* system;
  int fd;
};

void KeepError(ExpansionSystem* system, int code) {
  if (system->first_error == 0) system->first_error = code;
}

mspack_file* OpenFile(mspack_system* self, const char* name, int mode) {
  auto* system = static_cast<ExpansionSystem*>(self);
  int flags = O_RDONLY;
  if (mode == MSPACK_SYS_OPEN_WRITE) flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (mode == MSPACK_SYS_OPEN_UPDATE) flags = O_RDWR;
  if (mode == MSPACK_SYS_OPEN_APPEND) flags = O_WRONLY | O_APPEND;
  const int fd = posix_calls.open(name, flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    KeepError(system, errno);
    return nullptr;
  }
  return reinterpret_cast<mspack_file*>(new ExpansionFile{system, fd});
}

void CloseFile(mspack_file* handle) {
  auto* file = reinterpret_cast<ExpansionFile*>(handle);
  if (file == nullptr) return;
  posix_calls.close(file->fd);
  delete file;
}

int ReadFile(mspack_file* handle, void* buffer, int bytes) {
  auto* file = reinterpret_cast<ExpansionFile*>(handle);
  for (;;) {
    const ssize_t got = ::read(file->fd, buffer, static_cast<size_t>(bytes));
    if (got >= 0) return static_cast<int>(got);
    if (errno != EINTR) {
      KeepError(file->system, errno);
      return -1;
    }
  }
}

int WriteFile(mspack_file* handle, void* buffer, int bytes) {
  auto* file = reinterpret_cast<ExpansionFile*>(handle);
  const char* p = static_cast<const char*>(buffer);
  int done = 0;
  while (done < bytes) {
    const ssize_t put = posix_calls.write(file->fd, p + done, static_cast<size_t>(bytes - done));
    if (put < 0) {
      if (errno == EINTR) continue;
      KeepError(file->system, errno);
      return -1;
    }
    done += static_cast<int>(put);
  }
  return done;
}

int SeekFile(mspack_file* handle, off_t offset, int mode) {
  auto* file = reinterpret_cast<ExpansionFile*>(handle);
  const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                     : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                   : SEEK_END;
  return ::lseek(file->fd, offset, whence) < 0 ? -1 : 0;
}

off_t TellFile(mspack_file* handle) {
  return ::lseek(reinterpret_cast<ExpansionFile*>(handle)->fd, 0, SEEK_CUR);
}

void Message(mspack_file* /*file*/, const char* /*format*/, ...) {}

void* Allocate(mspack_system* /*self*/, size_t bytes) { return std::malloc(bytes); }

void Free(void* pointer) { std::free(pointer); }

void Copy(void* from, void* to, size_t bytes) { std::memcpy(to, from, bytes); }

ExpansionSystem MakeExpansionSystem() {
  ExpansionSystem system{};
  system.open = OpenFile;
  system.close = CloseFile;
  system.read = ReadFile;
  system.write = WriteFile;
  system.seek = SeekFile;
  system.tell = TellFile;
  system.message = Message;
  system.alloc = Allocate;
  system.free = Free;
  system.copy = Copy;
  system.null_ptr = nullptr;
  return system;
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
  posix_calls.utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace

bool ExpandSingleFileCabinet(const std::string& archive, const std::string& expanded,
                             const CommandRunner& /*run*/, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error != nullptr) *error = archive + ": " + text;
    return false;
  };
  ExpansionSystem system = MakeExpansionSystem();
  std::unique_ptr<mscab_decompressor, DecompressorDeleter> decompressor(
      mspack_create_cab_decompressor(&system));
  if (!decompressor) return fail("cannot create the CAB decompressor");
  mscab_decompressor* d = decompressor.get();
  d->set_param(d, MSCABD_PARAM_DECOMPBUF, kDecompressionBuffer);

  mscabd_cabinet* cabinet = d->open(d, archive.c_str());
  // A system error (the archive cannot be opened, the disk is full) is named as such.
  auto failed_with = [&](int code) {
    std::string text = MspackErrorText(code);
    if (system.first_error != 0) text += ": " + std::string(std::strerror(system.first_error));
    return fail(text);
  };
  if (cabinet == nullptr) return failed_with(d->last_error(d));
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
    posix_calls.unlink(temp.c_str());
    return failed_with(result);
  }
  struct stat info {};
  if (::stat(temp.c_str(), &info) != 0 || static_cast<unsigned>(info.st_size) != file.length) {
    posix_calls.unlink(temp.c_str());
    return fail("the expanded file does not have the length the archive states");
  }
  SetStoredTime(temp, file);
  if (posix_calls.rename(temp.c_str(), expanded.c_str()) != 0) {
    const int code = errno;
    posix_calls.unlink(temp.c_str());
    return fail("cannot rename the expanded file to " + expanded + ": " + std::strerror(code));
  }
  return true;
}

}  // namespace quillmend
