// Client networks (CIDR) and listen addresses, as both servers read them.
#include <gtest/gtest.h>

#include "net/listen_address.h"
#include "net/network_filter.h"

namespace quorlane::net {
namespace {

struct FilterCase {
  const char* list;
  const char* address;
  bool allowed;
};

class NetworkFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NetworkFilterTest, AllowsExactlyTheListedNetworks) {
  const auto& c = GetParam();
  std::string error;
  const auto filter = NetworkFilter::Parse(c.list, error);
  ASSERT_TRUE(filter) << error;
  const auto address = IpAddress::Parse(c.address);
  ASSERT_TRUE(address) << c.address;
  EXPECT_EQ(filter->Allows(*address), c.allowed) << c.list << " / " << c.address;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetworkFilterTest,
    ::testing::Values(FilterCase{"127.0.0.0/8 ::1/128", "127.0.0.1", true},
                      FilterCase{"127.0.0.0/8 ::1/128", "127.255.3.4", true},
                      FilterCase{"127.0.0.0/8 ::1/128", "::1", true},
                      FilterCase{"127.0.0.0/8 ::1/128", "::ffff:127.0.0.1", true},
                      FilterCase{"127.0.0.0/8 ::1/128", "128.0.0.1", false},
                      FilterCase{"127.0.0.0/8 ::1/128", "192.168.1.20", false},
                      FilterCase{"127.0.0.0/8 ::1/128", "::2", false},
                      FilterCase{"192.168.1.0/24", "192.168.1.255", true},
                      FilterCase{"192.168.1.0/24", "192.168.2.0", false},
                      FilterCase{"10.0.0.0/9", "10.127.255.255", true},
                      FilterCase{"10.0.0.0/9", "10.128.0.0", false},
                      FilterCase{"192.168.1.20", "192.168.1.20", true},
                      FilterCase{"192.168.1.20", "192.168.1.21", false},
                      FilterCase{"0.0.0.0/0", "8.8.8.8", true},
                      FilterCase{"0.0.0.0/0", "2001:db8::1", false},
                      FilterCase{"fe80::/10", "fe80::1%2", true},
                      FilterCase{"fe80::/10", "fec0::1", false},
                      FilterCase{"2001:db8:0:0:0:0:0:0/32", "2001:db8:ffff::", true},
                      FilterCase{"::ffff:10.0.0.0/104", "10.1.2.3", true},
                      FilterCase{"", "127.0.0.1", false}));

TEST(NetworkFilterParse, RefusesWhatIsNotANetwork) {
  for (const char* bad : {"127.0.0.0/33", "256.0.0.1", "10.0.0", "10.0.0.0/", "::1/129", "1:2:3:4:5:6:7:8:9",
                          "1::2::3", "host.example", "10.0.0.0/8x", "12345::"}) {
    std::string error;
    EXPECT_FALSE(NetworkFilter::Parse(bad, error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
  }
}

TEST(ListenAddressParse, AcceptsNumericAddressesWithPorts) {
  EXPECT_EQ(ListenAddress::Parse("[::]:4000")->host, "::");
  EXPECT_EQ(ListenAddress::Parse("127.0.0.1:0")->port, 0);
  EXPECT_FALSE(ListenAddress::Parse("127.0.0.1"));
  EXPECT_FALSE(ListenAddress::Parse("127.0.0.1:65536"));
  EXPECT_FALSE(ListenAddress::Parse("::1:4000"));
}

}  // namespace
}  // namespace quorlane::net
