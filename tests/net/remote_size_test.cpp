// The HTTP size query: the port against a local HTTP server, and cRemoteFile::QueryFileSize
// with its notifications.
#include <gtest/gtest.h>

#include "http_size_server.h"
#include "net/c_connection.h"
#include "net/c_remote_file.h"
#include "net/status_texts.h"
#include "platform/http_client.h"
#include "startup/shared_state.h"
#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

using Events = std::vector<std::pair<std::int32_t, std::string>>;

TEST(HttpResource, LengthStatusAndFallbacks) {
  testing::HttpSizeServer server;
  ASSERT_TRUE(server.started());

  HttpResourceInfo info = QueryHttpResource(server.Url("/size1234"));
  EXPECT_TRUE(info.opened) << info.error;
  EXPECT_EQ(info.status, 200);
  EXPECT_EQ(info.content_length, "1234");

  // A missing resource is not opened, even though its error page has a length.
  info = QueryHttpResource(server.Url("/missing.cab"));
  EXPECT_FALSE(info.opened);
  EXPECT_EQ(info.status, 404);
  EXPECT_FALSE(info.error.empty());

  info = QueryHttpResource(server.Url("/nolength"));
  EXPECT_TRUE(info.opened);
  EXPECT_FALSE(info.content_length.has_value());

  // HEAD refused: the length comes from a GET's header.
  info = QueryHttpResource(server.Url("/nohead"));
  EXPECT_TRUE(info.opened);
  EXPECT_EQ(info.content_length, "77");
  // HEAD without a length: the GET's header has one.
  info = QueryHttpResource(server.Url("/headnolength"));
  EXPECT_EQ(info.content_length, "55");

  info = QueryHttpResource(server.Url("/redirect"));
  EXPECT_TRUE(info.opened);
  EXPECT_EQ(info.content_length, "1234");

}

TEST(HttpResource, UnreachableOrMalformedUrlsAreNotOpened) {
  // Port 1 (tcpmux) has no listener on any machine this runs on: the connection is refused.
  for (const std::string& url :
       {std::string("http://127.0.0.1:1/file.cab"),
        std::string("http://no-such-host.invalid/file.cab"), std::string("ftp://127.0.0.1/x"),
        std::string("http://"), std::string("http://127.0.0.1:99999/x"),
        std::string("http://127.0.0.1:80/a b"), std::string("not a url")}) {
    const HttpResourceInfo info = QueryHttpResource(url, HttpLimits{2000, 2000});
    EXPECT_FALSE(info.opened) << url;
    EXPECT_FALSE(info.error.empty()) << url;
  }
}

TEST(HttpResource, SilentServerIsGivenUpAtTheTimeLimit) {
  testing::HttpSizeServer server;
  ASSERT_TRUE(server.started());
  const HttpResourceInfo info = QueryHttpResource(server.Url("/silent"), HttpLimits{2000, 300});
  // Returning at all is the point: without the limit this would wait for the server forever.
  EXPECT_FALSE(info.opened);
  EXPECT_FALSE(info.error.empty());
}

struct SizeQuery {
  HeadlessHost host{{}, false};
  SharedState state;
  cConnection connection{state};
  cRemoteFile file;
  Events events;
  SizeQuery() {
    state.ui_ = &host;
    file.StatusChanged = [this](std::int32_t status, const std::string& text) {
      events.emplace_back(status, text);
    };
    file.http_limits_ = HttpLimits{2000, 2000};
  }
  void Connect() {
    ASSERT_TRUE(connection.CreateConnection(false, "", "", ""));
  }
};

TEST(QueryFileSize, ContentLengthOfAnExistingFile) {
  testing::HttpSizeServer server;
  ASSERT_TRUE(server.started());
  SizeQuery query;
  query.Connect();
  query.file.RemoteFile = server.Url("/size1234");
  EXPECT_EQ(query.file.QueryFileSize(query.connection), 1234);
  EXPECT_EQ(query.events, (Events{{kStatusQuerySent, ""}, {kStatusQueryCompleted, ""}}));
}

TEST(QueryFileSize, MissingLengthlessOrNonNumericAnswersGiveMinusOne) {
  testing::HttpSizeServer server;
  ASSERT_TRUE(server.started());
  struct Case {
    const char* path;
    const char* failure;
  };
  for (const Case& c : {Case{"/does-not-exist.cab", "Unable to open the specified URL."},
                        Case{"/nolength", "Unable to query information."},
                        Case{"/abc", "Unable to query information."},
                        Case{"/huge", "Unable to query information."}}) {
    SizeQuery query;
    query.Connect();
    query.file.RemoteFile = server.Url(c.path);
    EXPECT_EQ(query.file.QueryFileSize(query.connection), -1) << c.path;
    EXPECT_EQ(query.events, (Events{{kStatusQuerySent, ""}, {kStatusQueryFailed, c.failure}}))
        << c.path;
  }
}

TEST(QueryFileSize, UnconnectedConnectionOnlyReportsNotConnected) {
  testing::HttpSizeServer server;
  ASSERT_TRUE(server.started());
  SizeQuery query;
  query.file.RemoteFile = server.Url("/size1234");
  EXPECT_EQ(query.file.QueryFileSize(query.connection), -1);
  EXPECT_EQ(query.events, (Events{{kStatusOperationFailed, "Not connected."}}));
  EXPECT_TRUE(server.Requests().empty());

  // After a disconnect, the same.
  query.Connect();
  query.connection.Disconnect();
  query.events.clear();
  EXPECT_EQ(query.file.QueryFileSize(query.connection), -1);
  EXPECT_EQ(query.events, (Events{{kStatusOperationFailed, "Not connected."}}));
}

}  // namespace
}  // namespace quillmend
