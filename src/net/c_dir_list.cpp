#include "net/c_dir_list.h"

#include "base/text.h"

namespace quillmend {

std::string cDirList::KeyOf(const std::string& name) { return ToUpperAscii(name); }

void cDirList::Add(std::uint32_t lAttrib, double dtCreationTime, double dtLastAccessTime,
                   double dtLastWriteTime, std::int64_t lFileSize, const std::string& sFileName) {
  const std::string key = KeyOf(sFileName);
  if (positions_.count(key) != 0) {
    throw DirListError("This key is already associated with an element of this collection: " +
                       sFileName);
  }
  cDirItem item;
  item.ReadOnly = (lAttrib & 0x1) != 0;
  item.Hidden = (lAttrib & 0x2) != 0;
  item.System = (lAttrib & 0x4) != 0;
  item.Directory = (lAttrib & 0x10) != 0;
  item.Archive = (lAttrib & 0x20) != 0;
  item.Normal = (lAttrib & 0x80) != 0;
  item.Temporary = (lAttrib & 0x100) != 0;
  item.Compressed = (lAttrib & 0x800) != 0;
  item.Offline = (lAttrib & 0x1000) != 0;
  item.CreationTime = dtCreationTime;
  item.LastAccessTime = dtLastAccessTime;
  item.LastWriteTime = dtLastWriteTime;
  item.FileSize = lFileSize;
  item.Filename = sFileName;
  positions_.emplace(key, items_.size());
  items_.push_back(std::move(item));
}

void cDirList::Clear() {
  items_.clear();
  positions_.clear();
}

const cDirItem& cDirList::Item(std::int32_t index) const {
  if (index < 1 || index > Count()) throw DirListError("Subscript out of range");
  return items_[static_cast<std::size_t>(index - 1)];
}

const cDirItem& cDirList::Item(const std::string& key) const {
  const auto found = positions_.find(KeyOf(key));
  if (found == positions_.end()) throw DirListError("Invalid procedure call or argument: " + key);
  return items_[found->second];
}

}  // namespace quillmend
