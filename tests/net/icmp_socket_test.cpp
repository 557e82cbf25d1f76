// The ICMP echo port's POSIX socket kinds: datagram and raw, whichever the kernel allows.
#include <gtest/gtest.h>

#include <iostream>

#include "platform/icmp_echo.h"

namespace quillmend {
namespace {

constexpr std::array<std::uint8_t, 4> kLoopback = {127, 0, 0, 1};
// TEST-NET-3 (RFC 5737): no echo ever comes back; a router may answer "unreachable" instead.
constexpr std::array<std::uint8_t, 4> kSilentAddress = {203, 0, 113, 5};

class IcmpSocketKinds : public ::testing::TestWithParam<IcmpMethod> {};

TEST_P(IcmpSocketKinds, LoopbackEchoComesBackWithItsDataAndSilenceIsNoReply) {
  std::string error;
  std::unique_ptr<IcmpEcho> echo = CreateIcmpEcho(GetParam(), &error);
  if (!echo) GTEST_SKIP() << "not allowed here: " << error;
  EXPECT_EQ(echo->Method(), GetParam());

  const std::string data(32, 'A');
  // Two echoes in a row: the second must be matched to its own request, not the first's.
  for (int round = 0; round < 2; ++round) {
    const IcmpEchoReply reply = echo->Send(kLoopback, data, 255, 2000);
    EXPECT_EQ(reply.replies, 1u);
    EXPECT_EQ(reply.status, 0u);
    EXPECT_EQ(reply.address, kLoopback);
    EXPECT_EQ(reply.data, data);
    EXPECT_LT(reply.round_trip_ms, 2000u);
  }

  // Either nothing (time-out) or an ICMP error about our request: never a successful echo.
  const IcmpEchoReply silent = echo->Send(kSilentAddress, data, 255, 300);
  EXPECT_NE(silent.status, 0u);
  EXPECT_TRUE(silent.data.empty());
  if (silent.replies == 0) {
    EXPECT_EQ(silent.status, kIcmpStatusTimedOut);
  }
}

INSTANTIATE_TEST_SUITE_P(Posix, IcmpSocketKinds,
                         ::testing::Values(IcmpMethod::kDatagram, IcmpMethod::kRaw),
                         [](const auto& param_info) { return std::string(IcmpMethodName(param_info.param)); });

TEST(IcmpEcho, AutomaticChoiceFallsBackToWhatTheKernelAllows) {
  std::string datagram_error;
  const bool datagram_allowed = CreateIcmpEcho(IcmpMethod::kDatagram, &datagram_error) != nullptr;
  std::string error;
  std::unique_ptr<IcmpEcho> echo = CreateIcmpEcho(IcmpMethod::kAuto, &error);
  if (!echo) GTEST_SKIP() << "no ICMP socket allowed here: " << error;
  std::cout << "[ icmp ] automatic choice: " << IcmpMethodName(echo->Method()) << "\n";
  EXPECT_EQ(echo->Method(), datagram_allowed ? IcmpMethod::kDatagram : IcmpMethod::kRaw);
}

}  // namespace
}  // namespace quillmend
