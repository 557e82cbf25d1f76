#include "platform/file_placement.h"

namespace quillmend {

std::string PlacementTempPath(const std::string& target) {
  const size_t cut = target.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
  const std::string name = cut == std::string::npos ? target : target.substr(cut + 1);
  return folder + "." + name + ".qm-tmp";
}

}  // namespace quillmend
