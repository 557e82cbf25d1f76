#include "platform/components.h"

namespace quillmend {

// POSIX has no registry of automation components: the built-in stand-ins always serve.
std::unique_ptr<AutomationObject> CreateRegisteredComponent(const std::string&) {
  return nullptr;
}

}  // namespace quillmend
