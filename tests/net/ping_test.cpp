// cConnection's ping and local-address queries on this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "net/c_connection.h"
#include "net/status_texts.h"
#include "platform/icmp_echo.h"
#include "startup/shared_state.h"
#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

using Events = std::vector<std::pair<std::int32_t, std::string>>;

struct Pinger {
  HeadlessHost host{{}, false};
  SharedState state;
  cConnection connection{state};
  Events events;
  Pinger() {
    state.ui_ = &host;
    connection.StatusChanged = [this](std::int32_t status, const std::string& text) {
      events.emplace_back(status, text);
    };
  }
};

TEST(PingServer, LoopbackAnswersWithAddressAndRoundTrip) {
  if (!CreateIcmpEcho()) GTEST_SKIP() << "no ICMP socket allowed here";
  for (const char* name : {"127.0.0.1", "localhost"}) {
    Pinger pinger;
    std::int32_t time = -1;
    std::string ip = "unset";
    EXPECT_TRUE(pinger.connection.PingServer(name, time, ip)) << name;
    EXPECT_EQ(pinger.events, (Events{{kStatusQuerySent, ""}, {kStatusQueryCompleted, ""}}));
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_GE(time, 0);
    EXPECT_LT(time, 2000);
    std::cout << "[ icmp ] " << name << " answered through the "
              << IcmpMethodName(pinger.connection.last_ping_method_) << " method\n";
  }
}

TEST(PingServer, SilentHostIsNoReplyAndLeavesTheOutputsAlone) {
  if (!CreateIcmpEcho()) GTEST_SKIP() << "no ICMP socket allowed here";
  Pinger pinger;
  std::int32_t time = 77;
  std::string ip = "unchanged";
  EXPECT_FALSE(pinger.connection.PingServer("203.0.113.5", time, ip));
  EXPECT_EQ(pinger.events,
            (Events{{kStatusQuerySent, ""}, {kStatusQueryFailed, "No reply received."}}));
  EXPECT_EQ(time, 77);
  EXPECT_EQ(ip, "unchanged");
}

TEST(PingServer, UnresolvableAndOverlongNames) {
  {
    Pinger pinger;
    std::int32_t time = 5;
    std::string ip = "unchanged";
    EXPECT_FALSE(pinger.connection.PingServer("no-such-host.invalid", time, ip));
    EXPECT_EQ(pinger.events, (Events{{kStatusQuerySent, ""},
                                     {kStatusQueryFailed, "Unable to resolve the host name."}}));
    EXPECT_EQ(ip, "unchanged");
    EXPECT_TRUE(pinger.host.shown().empty());
  }
  {
    // 64 characters still fit the name buffer; the name just does not resolve.
    Pinger pinger;
    std::int32_t time = 0;
    std::string ip;
    EXPECT_FALSE(pinger.connection.PingServer(std::string(56, 'a') + ".invalid", time, ip));
    ASSERT_EQ(pinger.events.size(), 2u);
    EXPECT_EQ(pinger.events[1].first, kStatusQueryFailed);
  }
  for (const size_t length : {65u, 300u}) {
    Pinger pinger;
    std::int32_t time = 0;
    std::string ip;
    EXPECT_THROW(pinger.connection.PingServer(std::string(length, 'h'), time, ip),
                 HostNameTooLong);
    EXPECT_EQ(pinger.events, (Events{{kStatusQuerySent, ""}}));
  }
}

TEST(LocalIdentity, HostNameAndAddressWithoutMessages) {
  Pinger pinger;
  const std::string name = pinger.connection.GetLocalIPHostName();
  const std::string address = pinger.connection.GetLocalIPAddress();
  EXPECT_FALSE(name.empty());
  ASSERT_EQ(std::count(address.begin(), address.end(), '.'), 3) << address;
  EXPECT_EQ(address.find_first_not_of("0123456789."), std::string::npos);
  EXPECT_TRUE(pinger.host.shown().empty());
  EXPECT_TRUE(pinger.events.empty());  // these report nothing through StatusChanged
}

}  // namespace
}  // namespace quillmend
