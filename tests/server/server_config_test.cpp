// Client networks (CIDR) and the configuration file.
#include <gtest/gtest.h>

#include "network_filter.h"
#include "client_path.h"
#include "server_config.h"

namespace quorlane::server {
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

TEST(ServerConfigIni, AppliesSettingsOverTheDefaults) {
  ServerConfig config = DefaultConfig();
  std::string error;
  ASSERT_TRUE(ApplyIni("\xEF\xBB\xBF# site server\r\n[Server]\r\nlisten = 0.0.0.0:4100\r\nALLOW = 10.0.0.0/8, "
                       "127.0.0.1\r\n; comment\r\nmax_request_bytes=4096\r\nframe_timeout_seconds = 5\r\n",
                       config, error))
      << error;
  EXPECT_EQ(config.listen.host, "0.0.0.0");
  EXPECT_EQ(config.listen.port, 4100);
  EXPECT_EQ(config.maxRequestBytes, 4096u);
  EXPECT_EQ(config.frameTimeoutSeconds, 5u);
  EXPECT_TRUE(config.allow.Allows(*IpAddress::Parse("10.9.9.9")));
  EXPECT_FALSE(config.allow.Allows(*IpAddress::Parse("127.0.0.2")));
  EXPECT_EQ(config.maxConnections, DefaultConfig().maxConnections);
}

TEST(ServerConfigIni, NamesTheLineOfABadSetting) {
  struct Bad {
    const char* text;
    const char* expected;
  };
  for (const Bad& bad : {Bad{"[server]\nlisten = localhost:4000\n", "line 2: listen"},
                         Bad{"[server]\n\nport = 4000\n", "line 3: unknown setting"},
                         Bad{"listen = 127.0.0.1:4000\n", "line 1: setting outside"},
                         Bad{"[other]\n", "line 1: unknown section"},
                         Bad{"[server]\nmax_connections = 0\n", "line 2: max_connections"},
                         Bad{"[server]\nframe_timeout_seconds = soon\n", "line 2: frame_timeout"},
                         Bad{"[server]\nallow = 10.0.0.0/40\n", "line 2: allow"},
                         Bad{"[server]\nlisten 127.0.0.1:1\n", "line 2: expected key = value"}}) {
    ServerConfig config = DefaultConfig();
    std::string error;
    EXPECT_FALSE(ApplyIni(bad.text, config, error)) << bad.text;
    EXPECT_NE(error.find(bad.expected), std::string::npos) << error;
  }
}

TEST(ListenAddressParse, AcceptsNumericAddressesWithPorts) {
  EXPECT_EQ(ListenAddress::Parse("[::]:4000")->host, "::");
  EXPECT_EQ(ListenAddress::Parse("127.0.0.1:0")->port, 0);
  EXPECT_FALSE(ListenAddress::Parse("127.0.0.1"));
  EXPECT_FALSE(ListenAddress::Parse("127.0.0.1:65536"));
  EXPECT_FALSE(ListenAddress::Parse("::1:4000"));
}

// Safe by default: no roots, no services; repeated lines add up; a name that
// could be read as an option never gets in.
TEST(ServerConfigFile, FileRootsMappingsAndServices) {
  ServerConfig config = DefaultConfig();
  EXPECT_TRUE(config.fileRoots.empty());
  EXPECT_TRUE(config.allowedServices.empty());
  // Roots and mapped folders are paths of the server's own kind.
  const std::string a = kServerUsesWindowsPaths ? "E:\\a" : "/srv/a";
  const std::string b = kServerUsesWindowsPaths ? "E:\\b" : "/srv/b";
  const std::string otherBackend = kServerUsesWindowsPaths ? "systemd" : "scm";
  std::string error;
  ASSERT_TRUE(ApplyIni("[server]\nfile_root = " + a + "\nfile_root = " + b + "\npath_map = D:\\Shared => " + a +
                           "\nallow_service = pg, nginx\nallow_service = cups\nservice_backend = command\n"
                           "service_command = " + (kServerUsesWindowsPaths ? "C:\\svc.exe" : "/usr/local/bin/svc") + "\n",
                       config, error))
      << error;
  EXPECT_EQ(config.fileRoots, (std::vector<std::string>{a, b}));
  EXPECT_EQ(config.allowedServices, (std::vector<std::string>{"pg", "nginx", "cups"}));
  EXPECT_EQ(config.serviceBackend, ServiceBackend::Command);
  EXPECT_TRUE(CheckConfig(config, error)) << error;

  for (const std::string& bad : std::vector<std::string>{"allow_service = --force", "allow_service = a b", "file_root = srv", "path_map = D:\\x",
                                "service_backend = " + otherBackend, "service_timeout_seconds = 12"}) {
    ServerConfig other = DefaultConfig();
    EXPECT_FALSE(ApplyIni("[server]\n" + bad + "\n", other, error)) << bad;
  }
  ServerConfig noCommand = DefaultConfig();
  ASSERT_TRUE(ApplyIni("[server]\nservice_backend = command\n", noCommand, error));
  EXPECT_FALSE(CheckConfig(noCommand, error));
  noCommand.serviceCommand = "svc.sh";
  EXPECT_FALSE(CheckConfig(noCommand, error)) << "a relative program would depend on the working folder";
}

}  // namespace
}  // namespace quorlane::server
