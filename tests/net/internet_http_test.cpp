// The HTTP part of our Internet session: a URL opened against a one-shot local HTTP responder.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/internet.h"

namespace quillmend::inet {
namespace {

// Answers one request with `response` and records the request it got.
class OneShotHttp {
 public:
  explicit OneShotHttp(std::string response) : response_(std::move(response)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      const int client = ::accept(listener_, nullptr, nullptr);
      char chunk[4096];
      while (request_.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        request_.append(chunk, static_cast<std::size_t>(n));
      }
      ::send(client, response_.data(), response_.size(), MSG_NOSIGNAL);
      ::close(client);
    });
  }
  ~OneShotHttp() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  const std::string& request() {
    if (thread_.joinable()) thread_.join();
    return request_;
  }

 private:
  std::string response_;
  std::string request_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(InternetHttp, ContentLengthOfAnOpenedUrl) {
  Handle session = InternetOpen("Agent X", kOpenTypePreconfig, 0);
  OneShotHttp server("HTTP/1.0 200 OK\r\nContent-Type: x\r\nContent-Length: 1234\r\n\r\nbody");
  Handle url = InternetOpenUrl(session, server.url("/files/a.cab"), 0);
  ASSERT_NE(url, nullptr) << InternetLastError();
  std::string length;
  EXPECT_TRUE(HttpQueryContentLength(url, length));
  EXPECT_EQ(length, "1234");
  EXPECT_EQ(server.request().rfind("GET /files/a.cab HTTP/1.0\r\n", 0), 0u);
  EXPECT_NE(server.request().find("User-Agent: Agent X\r\n"), std::string::npos);
  EXPECT_TRUE(InternetCloseHandle(url));
  EXPECT_TRUE(InternetCloseHandle(session));
}

TEST(InternetHttp, MissingHeaderAndBadUrlsFail) {
  Handle session = InternetOpen("a", kOpenTypePreconfig, 0);
  {
    OneShotHttp server("HTTP/1.0 200 OK\r\n\r\n");
    Handle url = InternetOpenUrl(session, server.url("/"), 0);
    ASSERT_NE(url, nullptr);
    std::string length;
    EXPECT_FALSE(HttpQueryContentLength(url, length));
  }
  EXPECT_EQ(InternetOpenUrl(session, "gopher://x/", 0), nullptr);
  EXPECT_EQ(InternetOpenUrl(session, "no url", 0), nullptr);
  EXPECT_EQ(InternetOpenUrl(session, "http://127.0.0.1:99999/", 0), nullptr);
  // A closed session's handle is refused, not used.
  InternetCloseHandle(session);
  EXPECT_EQ(InternetOpenUrl(session, "http://127.0.0.1/", 0), nullptr);
  EXPECT_EQ(InternetLastError(), kErrorIncorrectHandleType);
}

}  // namespace
}  // namespace quillmend::inet
