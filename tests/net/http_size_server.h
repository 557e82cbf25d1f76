// The local HTTP server of tests/support/http_size_server.py, started for one test on
// 127.0.0.1 with an OS-chosen port and stopped at the end. Under Wine the Windows test starts
// the host's Python, which Wine runs as a host process.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/programs.h"
#include "support/temp_folder.h"

namespace quillmend::testing {

class HttpSizeServer {
 public:
  HttpSizeServer();  // fails the test (ADD_FAILURE) when the server does not start
  ~HttpSizeServer();
  HttpSizeServer(const HttpSizeServer&) = delete;
  HttpSizeServer& operator=(const HttpSizeServer&) = delete;

  bool started() const { return port_ != 0; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;
  // "METHOD PATH" of every request so far, in order.
  std::vector<std::string> Requests() const;

 private:
  TempFolder folder_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

}  // namespace quillmend::testing
