// Our own HTTP client asks with HEAD and reads a GET's header only when HEAD does not tell the
// length; redirects are followed.
#include <gtest/gtest.h>

#include "http_size_server.h"
#include "platform/http_client.h"

namespace quillmend {
namespace {

TEST(HttpResource, HeadFirstThenTheHeaderOfAGet) {
  testing::HttpSizeServer server;
  ASSERT_TRUE(server.started());
  for (const char* path : {"/size1234", "/nolength", "/nohead", "/headnolength", "/redirect"}) {
    EXPECT_TRUE(QueryHttpResource(server.Url(path)).opened) << path;
  }
  EXPECT_EQ(server.Requests(),
            (std::vector<std::string>{"HEAD /size1234", "HEAD /nolength", "GET /nolength",
                                      "HEAD /nohead", "GET /nohead", "HEAD /headnolength",
                                      "GET /headnolength", "HEAD /redirect", "HEAD /size1234"}));
}

}  // namespace
}  // namespace quillmend
