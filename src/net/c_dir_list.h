// cDirItem / cDirList: one remote folder listing as an ordered list of entry records, keyed by
// file name without regard to letter case.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillmend {

// One entry of a listing, as the server reported it. Dates are day counts since
// 30 December 1899 (local time), the fraction being the time of day.
struct cDirItem {
  bool ReadOnly = false;    // attribute 0x1
  bool Hidden = false;      // 0x2
  bool System = false;      // 0x4
  bool Directory = false;   // 0x10
  bool Archive = false;     // 0x20
  bool Normal = false;      // 0x80
  bool Temporary = false;   // 0x100
  bool Compressed = false;  // 0x800
  bool Offline = false;     // 0x1000
  double CreationTime = 0;
  double LastAccessTime = 0;
  double LastWriteTime = 0;
  std::int64_t FileSize = 0;  // the whole size: files of 2 GiB and more keep it
  std::string Filename;
};

// Raised by Add for a name that is already present (in any letter case) and by Item for a
// position or key that is not present.
class DirListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class cDirList {
 public:
  // Appends one entry built from a find record's fields. The nine flags come from their bits in
  // lAttrib. Throws DirListError when sFileName is already a key; the list is then unchanged.
  void Add(std::uint32_t lAttrib, double dtCreationTime, double dtLastAccessTime,
           double dtLastWriteTime, std::int64_t lFileSize, const std::string& sFileName);
  // Removes every entry.
  void Clear();
  // The entry at a 1-based position, or under a key (file name, any letter case).
  // Throws DirListError when there is none.
  const cDirItem& Item(std::int32_t index) const;
  const cDirItem& Item(const std::string& key) const;
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }

  // NewEnum: iteration in list order.
  std::vector<cDirItem>::const_iterator begin() const { return items_.begin(); }
  std::vector<cDirItem>::const_iterator end() const { return items_.end(); }

 private:
  static std::string KeyOf(const std::string& name);
  std::vector<cDirItem> items_;
  std::unordered_map<std::string, std::size_t> positions_;  // folded key -> index in items_
};

}  // namespace quillmend
