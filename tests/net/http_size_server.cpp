#include "http_size_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/system_info.h"
#include "support/host_paths.h"

namespace quillmend::testing {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

HttpSizeServer::HttpSizeServer() {
  std::string source = GetEnvironment("QUILLMEND_SOURCE_DIR");
  if (source.empty()) source = QUILLMEND_TEST_SOURCE_DIR;
  const std::string script = source + "/tests/support/http_size_server.py";
  const std::string command = Quoted(LocalPathOfHost("/usr/bin/python3")) + " " +
                              Quoted(script) + " " + Quoted(HostPathOf(folder_.Sub("requests.log"))) +
                              " " + Quoted(HostPathOf(folder_.Sub("port"))) + " " +
                              Quoted(HostPathOf(folder_.Sub("stop")));
  std::string error;
  process_ = StartCommandLine(command, WindowStyle::kHidden, &error);
  if (!process_) {
    ADD_FAILURE() << "cannot start the HTTP server: " << error;
    return;
  }
  // Python starts in well under a second; give up after twenty.
  for (int wait = 0; wait < 200 && !FileExists(folder_.Sub("port")); ++wait) {
    SleepMilliseconds(100);
  }
  port_ = std::atoi(ReadFileBytes(folder_.Sub("port")).c_str());
  if (port_ == 0) ADD_FAILURE() << "the HTTP server did not report its port";
}

HttpSizeServer::~HttpSizeServer() {
  if (!process_) return;
  // The server removes the stop file as it ends. (Under Wine the host process's handle does
  // not tell when it ended, so the file is what is waited for.)
  WriteFileBytes(folder_.Sub("stop"), "");
  for (int wait = 0; wait < 100 && FileExists(folder_.Sub("stop")); ++wait) SleepMilliseconds(20);
  for (int wait = 0; wait < 10 && !process_->HasExited(); ++wait) SleepMilliseconds(20);
}

std::string HttpSizeServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> HttpSizeServer::Requests() const {
  std::istringstream lines(ReadFileBytes(folder_.Sub("requests.log")));
  std::vector<std::string> requests;
  for (std::string line; std::getline(lines, line);) requests.push_back(line);
  return requests;
}

}  // namespace quillmend::testing
