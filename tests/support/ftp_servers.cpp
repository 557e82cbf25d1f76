// Local FTP servers for tests, through the serve_ftp.py launcher on every platform.
#include "support/ftp_servers.h"

#include <cstdlib>

#include "support/ftp_server_process.h"

namespace quillmend::testing {
namespace {

std::string g_last_start_error;

const char* KindName(FtpServerKind kind) {
  return kind == FtpServerKind::kVsftpd ? "vsftpd" : "pyftpdlib";
}

}  // namespace

struct FtpServer::Process {
  std::unique_ptr<LauncherProcess> launcher;
};

std::string FtpServer::LastStartError() { return g_last_start_error; }

bool FtpServer::CanStartOwnServers() { return CanStart(FtpServerKind::kPyftpdlib); }

bool FtpServer::CanStart(FtpServerKind kind) {
  static int known[2] = {-1, -1};
  int& answer = known[kind == FtpServerKind::kVsftpd ? 1 : 0];
  if (answer < 0) {
    std::string error, line;
    auto launcher = StartLauncher({"--can-start", KindName(kind)}, error);
    answer = launcher && launcher->ReadLine(20, line) && line == "YES" ? 1 : 0;
  }
  return answer == 1;
}

FtpServer::FtpServer() = default;

FtpServer::~FtpServer() = default;

void FtpServer::Share() const {
  std::string answer;
  if (process_->launcher->WriteLine("share")) process_->launcher->ReadLine(20, answer);
}

std::unique_ptr<FtpServer> FtpServer::Start(FtpServerKind kind, const FtpServerOptions& options) {
  g_last_start_error.clear();
  std::unique_ptr<FtpServer> server(new FtpServer());
  server->kind_ = kind;
  server->root_ = options.root;
  server->process_ = std::make_unique<Process>();
  std::vector<std::string> args = {LauncherPath(options.root), "--server", KindName(kind),
                                   "--passive", options.passive ? "yes" : "no"};
  if (kind == FtpServerKind::kPyftpdlib) {
    server->user_ = "quill";
    server->password_ = "mend-pw";
    args.insert(args.end(), {"--user", server->user_, "--password", server->password_});
    for (const std::string& rule : options.misbehave) args.push_back("--misbehave=" + rule);
  } else {
    server->user_ = "anonymous";
    server->password_ = "quill@";
  }
  std::string error;
  server->process_->launcher = StartLauncher(args, error);
  if (!server->process_->launcher) {
    g_last_start_error = error;
    return nullptr;
  }
  std::string line;
  if (!server->process_->launcher->ReadLine(30, line) || line.rfind("PORT ", 0) != 0) {
    g_last_start_error = std::string(KindName(kind)) + " did not report its port: " + line;
    return nullptr;
  }
  server->port_ = std::atoi(line.c_str() + 5);
  return server;
}

}  // namespace quillmend::testing
