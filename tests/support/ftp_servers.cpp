// Local FTP servers for tests, through the serve_ftp.py launcher on every platform.
#include "support/ftp_servers.h"

#include <cstdlib>

#include "support/ftp_server_process.h"

namespace quillmend::testing {
namespace {

std::string g_last_start_error;

}  // namespace

const char* FtpServerName(FtpServerKind kind) {
  switch (kind) {
    case FtpServerKind::kVsftpd: return "vsftpd";
    case FtpServerKind::kProftpd: return "proftpd";
    case FtpServerKind::kPureFtpd: return "pure-ftpd";
    case FtpServerKind::kPyftpdlib: break;
  }
  return "pyftpdlib";
}

struct FtpServer::Process {
  std::unique_ptr<LauncherProcess> launcher;
};

std::string FtpServer::LastStartError() { return g_last_start_error; }

bool FtpServer::CanStartOwnServers() { return CanStart(FtpServerKind::kPyftpdlib); }

bool FtpServer::CanStart(FtpServerKind kind) {
  static int known[4] = {-1, -1, -1, -1};
  int& answer = known[static_cast<int>(kind)];
  if (answer < 0) {
    std::string error, line;
    auto launcher = StartLauncher({"--can-start", FtpServerName(kind)}, error);
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
  std::vector<std::string> args = {LauncherPath(options.root), "--server", FtpServerName(kind),
                                   "--passive", options.passive ? "yes" : "no",
                                   "--utf8-feat", options.utf8_feat ? "yes" : "no"};
  if (kind != FtpServerKind::kVsftpd) {
    server->user_ = "quill";
    server->password_ = "mend-pw";
    args.insert(args.end(), {"--user", server->user_, "--password", server->password_});
  }
  if (kind == FtpServerKind::kVsftpd) {
    server->user_ = "anonymous";
    server->password_ = "quill@";
  }
  if (kind == FtpServerKind::kPyftpdlib) {
    for (const std::string& rule : options.misbehave) args.push_back("--misbehave=" + rule);
  }
  std::string error;
  server->process_->launcher = StartLauncher(args, error);
  if (!server->process_->launcher) {
    g_last_start_error = error;
    return nullptr;
  }
  std::string line;
  if (!server->process_->launcher->ReadLine(30, line) || line.rfind("PORT ", 0) != 0) {
    g_last_start_error = std::string(FtpServerName(kind)) + " did not report its port: " + line;
    return nullptr;
  }
  server->port_ = std::atoi(line.c_str() + 5);
  return server;
}

}  // namespace quillmend::testing
