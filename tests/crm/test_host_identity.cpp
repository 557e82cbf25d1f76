// The workstation's name and address as they go into the CRM and local rows.
#include <gtest/gtest.h>

#include <regex>

#include "crm/host_identity.h"
#include "startup/shared_state.h"
#include "ui/headless/headless_host.h"

namespace quillmend {
namespace {

TEST(HostIdentity, NameAndFirstAddressOfTheOwnNameWithoutMessages) {
  HeadlessHost host({}, false);
  SharedState state;
  state.ui_ = &host;
  const std::string name = GetMyHostName(state);
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('\0'), std::string::npos);
  const std::string address = GetMyIPAddress(state);
  const std::regex dotted(R"((25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)(\.(25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)){3})");
  EXPECT_TRUE(std::regex_match(address, dotted)) << address;
  EXPECT_TRUE(host.shown().empty()) << host.shown().front();
}

}  // namespace
}  // namespace quillmend
