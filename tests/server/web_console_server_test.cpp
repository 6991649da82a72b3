// The web console of the real quorlane-server over loopback: a workstation's
// lock shown with its holder and its connection, released durably (across
// kill -9) and audited with the login session; the token file's rights and
// its rotation; networks outside web_allow; /metrics. (The browser test,
// tests/server/web_console_browser_test.py, drives the same pages in Chromium.)
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <thread>

#include "server_process.h"
#include "web_client.h"

namespace quorlane::server::testing {
namespace {

namespace fs = std::filesystem;
using webtest::WebClient;

class WebConsoleServerTest : public ::testing::Test {
 protected:
  void StartServer(const std::vector<std::string>& settings = {}) {
    std::ofstream ini(folder.Path() / "server.ini");
    ini << "[server]\n";
    for (const auto& s : settings) ini << s << "\n";
    ini.close();
    ASSERT_TRUE(server.Start(folder.Path(), {"--config", (folder.Path() / "server.ini").string(), "--data",
                                             (folder.Path() / "data").string()}))
        << server.Output();
    ASSERT_NE(server.WebPort(), 0) << server.Output();
  }
  std::string Token() {
    const RunResult result = RunProgram({(BinFolder() / "quorlane-server").string(), "web-token", "--data",
                                         (folder.Path() / "data").string()});
    EXPECT_EQ(result.status, 0) << result.output;
    return result.output.substr(0, result.output.find('\n'));
  }
  std::unique_ptr<WebClient> LoggedIn() {
    auto web = std::make_unique<WebClient>("127.0.0.1", server.WebPort());
    EXPECT_EQ(web->Post("/login", "token=" + Token()).status, 303);
    return web;
  }
  std::string Audit() {
    std::ifstream in(folder.Path() / "data" / "audit.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempFolder folder;
  ServerProcess server;
};

TEST_F(WebConsoleServerTest, AWorkstationsLockIsShownReleasedDurablyAndAudited) {
  StartServer();
  auto ann = std::make_unique<RawClient>();
  ASSERT_TRUE(server.Connect(*ann));
  // A key holding markup and a Big5 user, as a workstation may send them.
  ASSERT_EQ(Ask(*ann, "[LOCKDB]", "SALES;ann;VM;"), "Y;;;");
  ASSERT_EQ(Ask(*ann, "[LOCKDB]", "<b>x</b>;\xB3\xAF\xA4\x40;PC01;"), "Y;;;");

  auto web = LoggedIn();
  std::string page = web->Get("/locks").body;
  EXPECT_NE(page.find("<td class=\"key\">SALES</td><td class=\"user\">ann</td><td class=\"computer\">VM</td>"),
            std::string::npos) << page;
  EXPECT_NE(page.find("<td class=\"key\">&lt;b&gt;x&lt;/b&gt;</td><td class=\"user\">陳一</td>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"link\">open · 127.0.0.1:"), std::string::npos);
  // The workstation goes away without unlocking: its locks stand out.
  ann.reset();
  for (int i = 0; i < 100 && page.find("gone since") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    page = web->Get("/locks?part=rows").body;
  }
  EXPECT_NE(page.find("<tr class=\"gone\"><td class=\"key\">SALES</td>"), std::string::npos) << page;

  const std::string question = web->Get("/locks/release?key=" + WebClient::UrlEncode("53414c4553")).body;
  EXPECT_NE(question.find("held by <strong>ann</strong> on <strong>VM</strong>"), std::string::npos) << question;
  const auto since = question.find("name=\"since\" value=\"");
  ASSERT_NE(since, std::string::npos);
  const std::string form = "key=53414c4553&user=616e6e&computer=564d&since=" +
                           question.substr(since + 20, question.find('"', since + 20) - since - 20) +
                           "&csrf=" + WebClient::Csrf(question);
  EXPECT_EQ(web->Post("/locks/release", "key=53414c4553&user=616e6e&computer=564d&since=00").status, 403)
      << "without the session's form token";
  EXPECT_NE(web->Post("/locks/release", form).body.find("Released <strong>SALES</strong>"), std::string::npos);

  // Durable before the page said so: a kill -9 right away keeps it released.
  server.Kill();
  StartServer();
  RawClient bob;
  ASSERT_TRUE(server.Connect(bob));
  EXPECT_EQ(Ask(bob, "[LOCKDB]", "SALES;bob;PC02;"), "Y;;;");
  const std::string audit = Audit();
  EXPECT_NE(audit.find("web login peer=127.0.0.1:"), std::string::npos);
  const std::regex released(R"(FORCEUNLOCKDB web session=[0-9a-f]{8} peer=127\.0\.0\.1:\d+ key="SALES" held by )"
                            R"(user="ann" computer="VM" since="[^"]+" result="Y;;;" changed)");
  EXPECT_TRUE(std::regex_search(audit, released)) << audit;
}

TEST_F(WebConsoleServerTest, TheTokenFileIsPrivateAndARotationEndsEverySession) {
  StartServer();
  struct stat st {};
  ASSERT_EQ(::stat((folder.Path() / "data" / "web-login.token").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_uid, ::geteuid());
  const std::string token = Token();
  EXPECT_EQ(token.size(), 43u) << "256 bits, base64url";
  auto web = LoggedIn();
  EXPECT_EQ(web->Get("/locks").status, 200);
  const RunResult rotated = RunProgram({(BinFolder() / "quorlane-server").string(), "web-token", "--rotate", "--data",
                                        (folder.Path() / "data").string()});
  ASSERT_EQ(rotated.status, 0) << rotated.output;
  EXPECT_NE(rotated.output.substr(0, 43), token);
  int status = 200;
  for (int i = 0; i < 60 && status == 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    status = web->Get("/locks").status;
  }
  EXPECT_EQ(status, 303) << "the old session ended within the re-read interval";
  WebClient other("127.0.0.1", server.WebPort());
  EXPECT_EQ(other.Post("/login", "token=" + token).status, 403);
  EXPECT_EQ(other.Post("/login", "token=" + rotated.output.substr(0, 43)).status, 303);
}

TEST_F(WebConsoleServerTest, NetworksOutsideWebAllowCannotConnectAndForeignHostsAreRefused) {
  StartServer({"web_allow = 10.0.0.0/8", "metrics_allow = 10.0.0.0/8"});
  WebClient web("127.0.0.1", server.WebPort());
  const auto reply = web.Get("/login");
  EXPECT_EQ(reply.status, 0) << "closed without an answer";
  server.Kill();
  StartServer();
  WebClient rebound("127.0.0.1", server.WebPort());
  rebound.hostHeader = "attacker.example:" + std::to_string(server.WebPort());
  EXPECT_EQ(rebound.Get("/login").status, 421);
  EXPECT_NE(server.Output().find("web console on 127.0.0.1:"), std::string::npos);
}

TEST_F(WebConsoleServerTest, MetricsCountRequestsLocksAndSyncs) {
  StartServer();
  RawClient client;
  ASSERT_TRUE(server.Connect(client));
  ASSERT_EQ(Ask(client, "[LOCKDB]", "A;u;c;"), "Y;;;");
  ASSERT_EQ(Ask(client, "[LOCKDB]", "B;u;c;"), "Y;;;");
  std::string error;
  ASSERT_TRUE(client.Request("[NOSUCH]", std::chrono::seconds(10), error)) << error;
  WebClient web("127.0.0.1", server.WebPort());
  const auto metrics = web.Get("/metrics");
  ASSERT_EQ(metrics.status, 200);
  for (const char* line : {"quorlane_requests_total{command=\"LOCKDB\"} 2\n", "quorlane_locks_held 2\n",
                           "quorlane_requests_total{command=\"unknown\"} 1\n", "quorlane_connections 1\n",
                           "quorlane_journal_sync_seconds_count 2\n"}) {
    EXPECT_NE(metrics.body.find(line), std::string::npos) << line << metrics.body;
  }
}

}  // namespace
}  // namespace quorlane::server::testing
