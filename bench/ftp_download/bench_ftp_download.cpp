// Downloads one large file from a local FTP server to disk through cFTP.FTPDownloadFile (with
// the window's file bar, the bytes counter and event processing after every 1024-byte block)
// and with curl, alternating, several rounds each; prints the best throughput of each and the
// ratio ours / curl's, per server kind that can run here (vsftpd, proftpd, pure-ftpd,
// pyftpdlib).
// Usage: bench_ftp_download [MiB] [rounds]   (defaults: 256 MiB, 4 rounds)
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "net/c_ftp.h"
#include "startup/shared_state.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"
#include "ui/frm_files.h"
#include "ui/headless/headless_host.h"

namespace fs = std::filesystem;
using quillmend::testing::FtpServer;
using quillmend::testing::FtpServerKind;

namespace {

void WritePayload(const std::string& path, std::size_t size) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937_64 random(42);
  std::vector<std::uint64_t> chunk(1 << 17);
  for (std::size_t written = 0; written < size;) {
    for (auto& word : chunk) word = random();
    const std::size_t n = std::min(size - written, chunk.size() * sizeof(std::uint64_t));
    out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n));
    written += n;
  }
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

bool SameFiles(const std::string& a, const std::string& b) {
  return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 4;
  const std::size_t size = mib << 20;
  quillmend::testing::TempFolder folder;
  const std::string root = folder.Sub("root");
  fs::create_directories(root);
  WritePayload(root + "/big.bin", size);
  int failures = 0;

  for (const FtpServerKind kind : {FtpServerKind::kVsftpd, FtpServerKind::kProftpd,
                                   FtpServerKind::kPureFtpd, FtpServerKind::kPyftpdlib}) {
    const char* name = quillmend::testing::FtpServerName(kind);
    if (!FtpServer::CanStart(kind)) {
      std::printf("%s: not available here\n", name);
      continue;
    }
    quillmend::testing::FtpServerOptions options;
    options.root = root;
    auto server = FtpServer::Start(kind, options);
    if (!server) {
      std::printf("%s: %s\n", name, FtpServer::LastStartError().c_str());
      ++failures;
      continue;
    }
    server->Share();
    quillmend::HeadlessHost host({}, false);
    host.SetPrintStateLines(false);
    quillmend::SharedState state;
    state.ui_ = &host;
    quillmend::FrmFiles window(state, host);
    state.frmFiles = &window;
    quillmend::cFTP client(state);
    client.SetModePassive();  // as curl does by default
    if (!client.OpenConnection(server->host(), server->port_text(), server->user(),
                               server->password())) {
      std::printf("%s: connect failed: %s\n", name, client.GetLastErrorMessage().c_str());
      ++failures;
      continue;
    }
    const std::string ours = folder.Sub("ours.bin");
    const std::string theirs = folder.Sub("curl.bin");
    const std::string curl = "curl -s -S -o '" + theirs + "' --user '" + server->user() + ":" +
                             server->password() + "' ftp://127.0.0.1:" + server->port_text() +
                             "/big.bin";
    double best_ours = 0, best_curl = 0;
    for (int round = 0; round < rounds; ++round) {
      // Each side writes a new file (the old one is removed untimed), and the order
      // alternates so that neither always finds the server's cache warmed by the other.
      fs::remove(ours);
      fs::remove(theirs);
      double ours_s = 0, curl_s = 0;
      bool ok = true;
      int curl_status = 0;
      for (int side = 0; side < 2; ++side) {
        const bool ours_now = (side == 0) == (round % 2 == 0);
        const auto start = std::chrono::steady_clock::now();
        if (ours_now) {
          state.bytes_counter_ = 0;
          ok = client.FTPDownloadFile(ours, "big.bin", static_cast<std::int64_t>(size));
          ours_s = Seconds(std::chrono::steady_clock::now() - start);
        } else {
          curl_status = std::system(curl.c_str());
          curl_s = Seconds(std::chrono::steady_clock::now() - start);
        }
      }
      if (!ok || curl_status != 0 || state.bytes_counter_ != static_cast<std::int32_t>(size) ||
          !SameFiles(ours, theirs)) {
        std::printf("%s: round %d failed (%s)\n", name, round + 1,
                    ok ? "curl or content" : client.GetLastErrorMessage().c_str());
        ++failures;
        break;
      }
      best_ours = std::max(best_ours, static_cast<double>(size) / ours_s / 1e6);
      best_curl = std::max(best_curl, static_cast<double>(size) / curl_s / 1e6);
    }
    if (best_ours > 0 && best_curl > 0) {
      std::printf("%s, %zu MiB: cFTP %.0f MB/s, curl %.0f MB/s, ratio %.2f\n", name, mib,
                  best_ours, best_curl, best_ours / best_curl);
    }
    client.CloseConnection();
  }
  return failures == 0 ? 0 : 1;
}
