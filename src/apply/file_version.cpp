#include "apply/file_version.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/file_names.h"

namespace quillmend {
namespace {

// Reads `size` bytes at `offset`; false when the range lies (partly) outside the image.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, unsigned char* out)>;

// Thrown inside the parser for any inconsistency; the public functions turn it into "".
struct Malformed {};

constexpr std::uint16_t kResourceTypeVersion = 16;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr int kMaxSections = 96;           // the loader's own limit
constexpr std::uint32_t kMaxDirectoryEntries = 4096;

class ImageReader {
 public:
  explicit ImageReader(ReadAt read) : read_(std::move(read)) {}

  std::uint16_t U16(std::uint64_t offset) const {
    std::array<unsigned char, 2> b{};
    if (!read_(offset, b.size(), b.data())) throw Malformed{};
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }
  std::uint32_t U32(std::uint64_t offset) const {
    std::array<unsigned char, 4> b{};
    if (!read_(offset, b.size(), b.data())) throw Malformed{};
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }

 private:
  ReadAt read_;
};

struct Section {
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_offset = 0;
};

struct PeLayout {
  std::vector<Section> sections;
  std::uint32_t resource_rva = 0;
  std::uint32_t resource_size = 0;
};

PeLayout ReadLayout(const ImageReader& image) {
  if (image.U16(0) != 0x5A4D) throw Malformed{};  // "MZ"
  const std::uint32_t pe = image.U32(0x3C);
  if (image.U32(pe) != 0x00004550u) throw Malformed{};  // "PE\0\0"
  const std::uint64_t coff = pe + 4ull;
  const std::uint16_t section_count = image.U16(coff + 2);
  const std::uint16_t optional_size = image.U16(coff + 16);
  const std::uint64_t optional = coff + 20;
  if (section_count == 0 || section_count > kMaxSections) throw Malformed{};

  std::uint64_t directory_count_at = 0;
  std::uint64_t directories_at = 0;
  switch (image.U16(optional)) {
    case 0x10B:  // PE32
      directory_count_at = optional + 92;
      directories_at = optional + 96;
      break;
    case 0x20B:  // PE32+
      directory_count_at = optional + 108;
      directories_at = optional + 112;
      break;
    default:
      throw Malformed{};
  }
  PeLayout layout;
  const std::uint32_t directory_count = image.U32(directory_count_at);
  constexpr std::uint32_t kResourceDirectory = 2;
  if (directory_count <= kResourceDirectory) return layout;  // no resource directory at all
  if (directories_at + 8ull * (kResourceDirectory + 1) > optional + optional_size) {
    throw Malformed{};
  }
  layout.resource_rva = image.U32(directories_at + 8 * kResourceDirectory);
  layout.resource_size = image.U32(directories_at + 8 * kResourceDirectory + 4);

  const std::uint64_t table = optional + optional_size;
  for (std::uint16_t i = 0; i < section_count; ++i) {
    const std::uint64_t at = table + 40ull * i;
    Section s;
    s.virtual_size = image.U32(at + 8);
    s.virtual_address = image.U32(at + 12);
    s.raw_size = image.U32(at + 16);
    s.raw_offset = image.U32(at + 20);
    layout.sections.push_back(s);
  }
  return layout;
}

// File offset of an address of the loaded image whose `size` bytes must lie in one section's
// file data.
std::uint64_t FileOffsetOf(const PeLayout& layout, std::uint32_t rva, std::uint32_t size) {
  for (const Section& s : layout.sections) {
    const std::uint64_t start = s.virtual_address;
    const std::uint64_t extent = std::max(s.virtual_size, s.raw_size);
    if (rva < start || rva >= start + extent) continue;
    const std::uint64_t delta = rva - start;
    if (delta + size > s.raw_size) throw Malformed{};
    return s.raw_offset + delta;
  }
  throw Malformed{};
}

// One level of the resource tree: the entry with the given id, or the first entry when
// want_id is negative. Returns the entry's OffsetToData field.
std::uint32_t FindEntry(const ImageReader& image, std::uint64_t resource_base,
                        std::uint32_t resource_size, std::uint32_t directory_offset, int want_id) {
  if (directory_offset + 16ull > resource_size) throw Malformed{};
  const std::uint64_t directory = resource_base + directory_offset;
  const std::uint32_t named = image.U16(directory + 12);
  const std::uint32_t ids = image.U16(directory + 14);
  const std::uint32_t total = named + ids;
  if (total == 0 || total > kMaxDirectoryEntries) throw Malformed{};
  if (directory_offset + 16ull + 8ull * total > resource_size) throw Malformed{};
  for (std::uint32_t i = 0; i < total; ++i) {
    const std::uint64_t entry = directory + 16 + 8ull * i;
    const std::uint32_t name = image.U32(entry);
    const std::uint32_t data = image.U32(entry + 4);
    if (want_id < 0) return data;
    if ((name & kSubdirectoryBit) == 0 && name == static_cast<std::uint32_t>(want_id)) return data;
  }
  throw Malformed{};
}

std::string VersionText(const ImageReader& image) {
  const PeLayout layout = ReadLayout(image);
  if (layout.resource_rva == 0 || layout.resource_size == 0) return {};
  const std::uint64_t base = FileOffsetOf(layout, layout.resource_rva, 16);
  const std::uint32_t size = layout.resource_size;

  // type (RT_VERSION) -> name (first) -> language (first) -> data entry
  std::uint32_t next = FindEntry(image, base, size, 0, kResourceTypeVersion);
  for (int level = 0; level < 2; ++level) {
    if ((next & kSubdirectoryBit) == 0) throw Malformed{};
    next = FindEntry(image, base, size, next & ~kSubdirectoryBit, -1);
  }
  if ((next & kSubdirectoryBit) != 0 || next + 16ull > size) throw Malformed{};
  const std::uint32_t data_rva = image.U32(base + next);
  const std::uint32_t data_size = image.U32(base + next + 4);

  // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding, VS_FIXEDFILEINFO.
  constexpr std::uint32_t kKeyChars = 16;  // including the terminating zero
  constexpr std::uint32_t kFixedInfoAt = 40;
  constexpr std::uint32_t kFixedInfoSize = 52;
  if (data_size < kFixedInfoAt + kFixedInfoSize) throw Malformed{};
  const std::uint64_t info = FileOffsetOf(layout, data_rva, kFixedInfoAt + kFixedInfoSize);
  const std::uint16_t length = image.U16(info);
  const std::uint16_t value_length = image.U16(info + 2);
  if (length < kFixedInfoAt + kFixedInfoSize || length > data_size) throw Malformed{};
  if (value_length < kFixedInfoSize) throw Malformed{};
  static constexpr char kKey[kKeyChars] = "VS_VERSION_INFO";
  for (std::uint32_t i = 0; i < kKeyChars; ++i) {
    if (image.U16(info + 6 + 2ull * i) != static_cast<unsigned char>(kKey[i])) throw Malformed{};
  }
  const std::uint64_t fixed = info + kFixedInfoAt;
  if (image.U32(fixed) != kFixedInfoSignature) throw Malformed{};
  const std::uint32_t ms = image.U32(fixed + 8);
  const std::uint32_t ls = image.U32(fixed + 12);
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
         std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

std::string ParseOrEmpty(const ReadAt& read) {
  try {
    return VersionText(ImageReader(read));
  } catch (const Malformed&) {
    return {};
  }
}

}  // namespace

std::string FileVersionTextOf(std::string_view image) {
  return ParseOrEmpty([image](std::uint64_t offset, std::size_t size, unsigned char* out) {
    if (offset > image.size() || size > image.size() - offset) return false;
    std::memcpy(out, image.data() + offset, size);
    return true;
  });
}

std::string FileVersionText(const std::string& path) {
  std::ifstream file(FsPath(path), std::ios::binary);
  if (!file) throw std::runtime_error("cannot open " + path + " to read its version");
  file.seekg(0, std::ios::end);
  const auto end = file.tellg();
  if (end < 0) throw std::runtime_error("cannot read " + path);
  const std::uint64_t file_size = static_cast<std::uint64_t>(end);
  bool read_failed = false;
  std::string text = ParseOrEmpty([&](std::uint64_t offset, std::size_t size, unsigned char* out) {
    if (offset > file_size || size > file_size - offset) return false;
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size));
    if (file.gcount() != static_cast<std::streamsize>(size)) {
      read_failed = true;
      return false;
    }
    return true;
  });
  if (read_failed) throw std::runtime_error("cannot read " + path);
  return text;
}

}  // namespace quillmend
