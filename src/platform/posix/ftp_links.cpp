// Symbolic links in a listing: a CWD probe for folders, SIZE for files, loops dropped.
#include "platform/posix/ftp_links.h"

#include <cstdlib>

namespace quillmend::inet::posix {
namespace {

std::vector<std::string> Parts(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t slash = path.find('/', begin);
    const std::string part = path.substr(begin, slash - begin);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (slash == std::string::npos) break;
    begin = slash + 1;
  }
  return parts;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// "213 5000000000" -> the size; false for anything else.
bool SizeOfReply(const Reply& reply, std::uint64_t& size) {
  if (reply.code != 213 || reply.text.size() < 5) return false;
  size = 0;
  std::size_t i = 4;
  for (; i < reply.text.size() && reply.text[i] >= '0' && reply.text[i] <= '9'; ++i) {
    size = size * 10 + static_cast<std::uint64_t>(reply.text[i] - '0');
  }
  return i > 4;
}

}  // namespace

bool PointsUpward(const std::string& folder, const std::string& target) {
  const std::vector<std::string> here = Parts(folder);
  const std::vector<std::string> there =
      Parts(!target.empty() && target[0] == '/' ? target : Join(folder, target));
  if (there.size() > here.size()) return false;
  for (std::size_t i = 0; i < there.size(); ++i) {
    if (there[i] != here[i]) return false;
  }
  return true;
}

bool TypeListedLinks(FtpConnection& connection, const std::string& folder_wire,
                     std::vector<FindData>& entries, const std::vector<ListedLink>& links) {
  if (links.empty()) return true;
  std::string home;
  if (!CurrentFolder(connection, home)) return false;
  const std::string listed =
      folder_wire.empty() ? home : folder_wire[0] == '/' ? folder_wire : Join(home, folder_wire);
  std::vector<bool> dropped(entries.size(), false);
  Reply reply;
  for (const ListedLink& link : links) {
    FindData& entry = entries[link.index];
    if (!link.target.empty() && PointsUpward(listed, link.target)) {
      dropped[link.index] = true;
      continue;
    }
    std::string name;
    if (!connection.ToWire(entry.name, name)) return false;
    const std::string path = folder_wire.empty() ? name : Join(folder_wire, name);
    if (!connection.Command("CWD " + path, reply)) return false;
    if (reply.Class() == 2) {
      entry.attributes = kAttributeDirectory;
      entry.size_high = entry.size_low = 0;
      if (!connection.Command("CWD " + home, reply)) return false;
      if (reply.Class() != 2) {
        SetServerRefused(reply);
        return false;
      }
      continue;
    }
    // A file, or a link to nothing: its target's size, when the server tells it.
    std::uint64_t size = 0;
    if (!SetType(connection, 'I') || !connection.Command("SIZE " + path, reply)) return false;
    if (SizeOfReply(reply, size)) {
      entry.size_low = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
      entry.size_high = static_cast<std::uint32_t>(size >> 32);
    }
  }
  std::vector<FindData> kept;
  kept.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!dropped[i]) kept.push_back(std::move(entries[i]));
  }
  entries = std::move(kept);
  return true;
}

}  // namespace quillmend::inet::posix
