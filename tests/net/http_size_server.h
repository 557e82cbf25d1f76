// The local HTTP server of tests/support/http_size_server.py, started for one test on
// 127.0.0.1 with an OS-chosen port and stopped at the end.
#pragma once

#include <string>
#include <vector>

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
  int pid_ = 0;
  int port_ = 0;
};

}  // namespace quillmend::testing
