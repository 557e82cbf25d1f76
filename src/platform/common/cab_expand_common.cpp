#include "platform/cab_expand.h"

namespace quillmend {

std::string ExpansionTempPath(const std::string& expanded) {
  const size_t cut = expanded.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? std::string() : expanded.substr(0, cut + 1);
  const std::string name = cut == std::string::npos ? expanded : expanded.substr(cut + 1);
  return folder + "." + name + ".qm-expand";
}

}  // namespace quillmend
