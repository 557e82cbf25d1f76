#include "ui/adapter_factory.h"

#include <cstdlib>
#include <string>

#include "platform/system_info.h"
#include "startup/diagnostics.h"
#include "ui/headless/headless_host.h"

namespace quillmend {

std::unique_ptr<UiHost> CreateUiHost() {
  const char* choice = std::getenv("QUILLMEND_UI");
  const std::string wanted = choice != nullptr ? choice : "auto";
  if (wanted != "headless" && (wanted != "auto" || DisplayAvailable())) {
    if (auto host = CreateToolkitHost()) return host;
    if (wanted != "auto") LogLine("window toolkit '" + wanted + "' unavailable; running headless");
  }
  return std::make_unique<HeadlessHost>(HeadlessHost::AnswersFromEnvironment(),
                                        HeadlessHost::DefaultAnswerFromEnvironment());
}

}  // namespace quillmend
