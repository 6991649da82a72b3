// The configuration file.
#include <gtest/gtest.h>

#include "client_path.h"
#include "server_config.h"

namespace quorlane::server {
namespace {

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
  EXPECT_TRUE(config.allow.Allows(*net::IpAddress::Parse("10.9.9.9")));
  EXPECT_FALSE(config.allow.Allows(*net::IpAddress::Parse("127.0.0.2")));
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

// The web console: on loopback by default, off when web_listen is empty.
TEST(ServerConfigFile, WebConsoleSettings) {
  ServerConfig config = DefaultConfig();
  ASSERT_TRUE(config.webListen);
  EXPECT_EQ(config.webListen->ToString(), "127.0.0.1:4080");
  EXPECT_TRUE(config.webAllow.Allows(*net::IpAddress::Parse("::1")));
  EXPECT_FALSE(config.webAllow.Allows(*net::IpAddress::Parse("192.168.1.2")));
  EXPECT_FALSE(config.metricsAllow.Allows(*net::IpAddress::Parse("192.168.1.2")));
  EXPECT_EQ(config.webHosts, (std::vector<std::string>{"localhost"}));
  EXPECT_EQ(config.webCodePage, 950u);
  std::string error;
  ASSERT_TRUE(ApplyIni("[server]\nweb_listen = 192.168.1.5:8080\nweb_allow = 192.168.1.0/24\n"
                       "metrics_allow = 10.0.0.9\nweb_hosts = Srv-01, console.example.lan\nweb_code_page = 936\n",
                       config, error))
      << error;
  EXPECT_EQ(config.webListen->ToString(), "192.168.1.5:8080");
  EXPECT_TRUE(config.webAllow.Allows(*net::IpAddress::Parse("192.168.1.2")));
  EXPECT_TRUE(config.metricsAllow.Allows(*net::IpAddress::Parse("10.0.0.9")));
  EXPECT_EQ(config.webHosts, (std::vector<std::string>{"srv-01", "console.example.lan"}));
  EXPECT_EQ(config.webCodePage, 936u);
  ASSERT_TRUE(ApplyIni("[server]\nweb_listen =\n", config, error));
  EXPECT_FALSE(config.webListen) << "empty: no console";
  for (const std::string bad : {"web_listen = localhost:4080", "web_allow = 10.0.0.0/99", "web_code_page = 65001",
                                "web_hosts = evil.example:80", "web_hosts = a/b"}) {
    ServerConfig other = DefaultConfig();
    EXPECT_FALSE(ApplyIni("[server]\n" + bad + "\n", other, error)) << bad;
  }
}

}  // namespace
}  // namespace quorlane::server
