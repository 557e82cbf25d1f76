#include "http_size_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

extern char** environ;

namespace quillmend::testing {

HttpSizeServer::HttpSizeServer() {
  const char* source = std::getenv("QUILLMEND_SOURCE_DIR");
  const std::string script =
      std::string(source != nullptr ? source : QUILLMEND_TEST_SOURCE_DIR) +
      "/tests/support/http_size_server.py";
  const std::string log = folder_.Sub("requests.log");
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::string python = "/usr/bin/python3";
  char* argv[] = {python.data(), const_cast<char*>(script.c_str()), const_cast<char*>(log.c_str()),
                  nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned != 0) {
    close(pipe_fds[0]);
    ADD_FAILURE() << "cannot start " << script;
    return;
  }
  pid_ = pid;
  std::string line;
  char c = 0;
  while (read(pipe_fds[0], &c, 1) == 1 && c != '\n') line += c;
  close(pipe_fds[0]);
  port_ = std::atoi(line.c_str());
  if (port_ == 0) ADD_FAILURE() << "the HTTP server did not report its port";
}

HttpSizeServer::~HttpSizeServer() {
  if (pid_ != 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
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
