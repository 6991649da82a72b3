// The real quorlane-server over loopback: lock semantics on the wire,
// durability across kill -9, a damaged journal, refused networks, limits
// (oversized, slow and garbage senders), many connections, admin commands.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <regex>
#include <memory>
#include <thread>

#include "server_process.h"

namespace quorlane::server::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

class SiteServerTest : public ::testing::Test {
 protected:
  void StartServer(const std::vector<std::string>& settings = {}) {
    std::ofstream(folder.Path() / "server.ini") << "[server]\nlog_to_console = yes\n" << [&] {
      std::string text;
      for (const auto& s : settings) text += s + "\n";
      return text;
    }();
    ASSERT_TRUE(server.Start(folder.Path(), {"--config", (folder.Path() / "server.ini").string(), "--data",
                                             (folder.Path() / "data").string()}))
        << server.Output();
  }
  std::unique_ptr<RawClient> Client() {
    auto client = std::make_unique<RawClient>();
    EXPECT_TRUE(server.Connect(*client));
    return client;
  }
  std::string Audit() {
    std::ifstream in(folder.Path() / "data" / "audit.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  /// Lines other than lock changes reach the file within a quarter second.
  bool AuditHas(const std::string& text) {
    for (int i = 0; i < 100; ++i) {
      if (Audit().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(milliseconds(20));
    }
    ADD_FAILURE() << "audit log lacks " << text << "\n" << Audit();
    return false;
  }

  TempFolder folder;
  ServerProcess server;
};

TEST_F(SiteServerTest, LockCommandsAnswerWithTheHolderAndTheirOwnTag) {
  StartServer();
  auto ann = Client();
  auto bob = Client();
  EXPECT_EQ(Ask(*ann, "[LOCKDB]", "db1;ann;PC01;"), "Y;;;");
  const std::string refused = Ask(*bob, "[LOCKDB]", "db1;bob;PC02;");
  ASSERT_EQ(refused.substr(0, 11), "N;ann;PC01;");
  const std::string start = refused.substr(11);
  // "yyyy/m/d hh:nn;"
  EXPECT_TRUE(std::regex_match(start, std::regex(R"(\d{4}/[1-9]\d?/[1-9]\d? \d\d:\d\d;)"))) << start;
  EXPECT_EQ(Ask(*bob, "[CHECKDBLOCK]", "db1;bob;PC02;"), "Y;ann;PC01;" + start);
  EXPECT_EQ(Ask(*bob, "[UNLOCKDB]", "db1;bob;PC02;"), "N;ann;PC01;" + start);
  EXPECT_EQ(Ask(*ann, "[LOCKDB]", "db1;ann;PC01;"), "Y;;;");
  EXPECT_EQ(Ask(*ann, "[UNLOCKDB]", "db1;ann;PC01;"), "Y;;;");
  EXPECT_EQ(Ask(*bob, "[CHECKDBLOCK]", "db1;bob;PC02;"), "N;;;");
  EXPECT_EQ(Ask(*bob, "[UNLOCKDB]", "db1;bob;PC02;"), "Y;;;");
  EXPECT_EQ(Ask(*ann, "[LOCKDB]", "a;b;ann;PC01;"), "Y;;;");
  EXPECT_EQ(Ask(*bob, "[CHECKDBLOCK]", "a;b;bob;PC02;"), "Y;ann;PC01;" + start);
  EXPECT_EQ(Ask(*bob, "[FORCEUNLOCKDB]", "a;b;bob;PC02;"), "Y;;;");
  EXPECT_EQ(Ask(*ann, "[CHECKDBLOCK]", "a;b;ann;PC01;"), "N;;;");

  const std::string audit = Audit();
  EXPECT_TRUE(AuditHas("LOCKDB peer=127.0.0.1:"));
  EXPECT_NE(audit.find("user=\"bob\" computer=\"PC02\" key=\"a;b\" result=\"Y;;;\" changed"), std::string::npos)
      << audit;
  EXPECT_TRUE(AuditHas("connect peer=127.0.0.1:"));
}

TEST_F(SiteServerTest, UnknownTagGetsTheErrorTagAndTheConnectionStaysUsable) {
  StartServer();
  auto client = Client();
  std::string error;
  const auto reply = client->Request("[RENAMEFILE]c:\\x.txt;", seconds(5), error);
  ASSERT_TRUE(reply) << error;
  EXPECT_EQ(reply->find("[RENAMEFILE]"), std::string::npos) << *reply;
  EXPECT_EQ(reply->rfind("[QLERROR]", 0), 0u) << *reply;
  EXPECT_EQ(Ask(*client, "[LOCKDB]", "db1;"), "(no tag: [QLERROR]missing fields;)");
  EXPECT_EQ(Ask(*client, "[CHECKDBLOCK]", "db1;u;c;"), "N;;;");
  const auto untagged = client->Request("no tag at all", seconds(5), error);
  ASSERT_TRUE(untagged) << error;
  EXPECT_EQ(untagged->rfind("[QLERROR]", 0), 0u);
  EXPECT_EQ(Ask(*client, "[LOCKDB]", "db1;u;c;"), "Y;;;");
}

TEST_F(SiteServerTest, RequestsSplitIntoSingleBytesOrSentTogetherGetOneReplyEach) {
  StartServer();
  auto client = Client();
  std::string error;
  const std::string frame = "[BEGIN][LOCKDB]split;u;c;[END]";
  for (const char ch : frame) {
    ASSERT_TRUE(client->Send(std::string(1, ch), seconds(5), error)) << error;
    std::this_thread::sleep_for(milliseconds(2));
  }
  auto reply = client->ReadFrame(seconds(5), error);
  ASSERT_TRUE(reply) << error;
  EXPECT_EQ(*reply, "[LOCKDB]Y;;;");
  ASSERT_TRUE(client->Send("[BEGIN][CHECKDBLOCK]split;x;y;[END][BEGIN][UNLOCKDB]split;u;c;[END]"
                           "[BEGIN][CHECKDBLOCK]split;x;y;[END]",
                           seconds(5), error));
  reply = client->ReadFrame(seconds(5), error);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->substr(0, 19), "[CHECKDBLOCK]Y;u;c;");
  EXPECT_EQ(client->ReadFrame(seconds(5), error).value_or(""), "[UNLOCKDB]Y;;;");
  EXPECT_EQ(client->ReadFrame(seconds(5), error).value_or(""), "[CHECKDBLOCK]N;;;");
}

TEST_F(SiteServerTest, NothingGrantedOrReleasedIsLostByKillMinusNine) {
  StartServer();
  constexpr int kClients = 8;
  constexpr int kKeysPerClient = 40;
  std::vector<std::string> held, released;
  std::mutex mutex;
  std::vector<std::thread> threads;
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      RawClient client;
      if (!server.Connect(client)) return;
      for (int k = 0; k < kKeysPerClient; ++k) {
        const std::string key = "db-" + std::to_string(c) + "-" + std::to_string(k);
        const std::string who = ";user" + std::to_string(c) + ";PC" + std::to_string(c) + ";";
        if (Ask(client, "[LOCKDB]", key + who) != "Y;;;") continue;
        if (k % 3 == 0 && Ask(client, "[UNLOCKDB]", key + who) == "Y;;;") {
          std::lock_guard lock(mutex);
          released.push_back(key);
        } else {
          std::lock_guard lock(mutex);
          held.push_back(key);
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_EQ(held.size() + released.size(), static_cast<std::size_t>(kClients * kKeysPerClient));
  server.Kill();

  ASSERT_TRUE(server.Start(folder.Path(), {"--config", (folder.Path() / "server.ini").string(), "--data",
                                           (folder.Path() / "data").string()}));
  auto client = Client();
  for (const auto& key : held) {
    EXPECT_EQ(Ask(*client, "[CHECKDBLOCK]", key + ";x;y;").substr(0, 2), "Y;") << key;
  }
  for (const auto& key : released) EXPECT_EQ(Ask(*client, "[CHECKDBLOCK]", key + ";x;y;"), "N;;;") << key;
}

TEST_F(SiteServerTest, AJournalThatCannotBeWrittenRefusesChangesAndKeepsAnswering) {
  server.LimitFileSize(64 * 1024);
  StartServer();
  auto client = Client();
  EXPECT_EQ(Ask(*client, "[LOCKDB]", "db1;ann;PC01;"), "N;;;");
  EXPECT_EQ(Ask(*client, "[CHECKDBLOCK]", "db1;ann;PC01;"), "N;;;");
  EXPECT_FALSE(server.Wait(milliseconds(200)).has_value());
  EXPECT_NE(server.Output().find("changes refused until"), std::string::npos) << server.Output();
}

TEST_F(SiteServerTest, RestartKeepsTheStartTimeAndSkipsADamagedJournalTail) {
  StartServer();
  std::string start;
  {
    auto client = Client();
    ASSERT_EQ(Ask(*client, "[LOCKDB]", "db1;ann;PC01;"), "Y;;;");
    start = Ask(*client, "[CHECKDBLOCK]", "db1;x;y;");
  }
  ASSERT_EQ(server.Terminate(), 0);
  // A record torn by a crash in the middle of a write, then junk.
  std::ofstream(folder.Path() / "data" / "locks.journal", std::ios::app | std::ios::binary)
      << std::string("QJ\x30\x00\x00\x00\x11\x22", 8) << "GARBAGE";
  ASSERT_TRUE(server.Start(folder.Path(), {"--config", (folder.Path() / "server.ini").string(), "--data",
                                           (folder.Path() / "data").string()}));
  auto client = Client();
  EXPECT_EQ(Ask(*client, "[CHECKDBLOCK]", "db1;x;y;"), start);
  EXPECT_EQ(Ask(*client, "[LOCKDB]", "db2;ann;PC01;"), "Y;;;");
  EXPECT_NE(server.Output().find("15 bytes skipped"), std::string::npos) << server.Output();
  bool savedAside = false;
  for (const auto& entry : fs::directory_iterator(folder.Path() / "data")) {
    savedAside |= entry.path().filename().string().rfind("locks.journal.bad-", 0) == 0 &&
                  fs::file_size(entry.path()) == 15;
  }
  EXPECT_TRUE(savedAside);
  // The journal was rewritten without the bad tail: a second restart is clean.
  server.Kill();
  ASSERT_TRUE(server.Start(folder.Path(), {"--config", (folder.Path() / "server.ini").string(), "--data",
                                           (folder.Path() / "data").string()}));
  auto again = Client();
  EXPECT_EQ(Ask(*again, "[CHECKDBLOCK]", "db2;x;y;").substr(0, 11), "Y;ann;PC01;");
  EXPECT_EQ(server.Output().find("bytes skipped", server.Output().rfind("store:") - 200), std::string::npos);
}

TEST_F(SiteServerTest, ConnectionsFromOutsideTheAllowedNetworksAreClosedAndLogged) {
  StartServer({"allow = 10.0.0.0/8 192.168.0.0/16"});
  auto client = Client();
  std::string error;
  (void)client->Send("[BEGIN][LOCKDB]db1;u;c;[END]", seconds(2), error);
  EXPECT_FALSE(client->ReadFrame(seconds(3), error));
  EXPECT_TRUE(AuditHas("refused peer=127.0.0.1:"));
}

TEST_F(SiteServerTest, OversizedGarbageAndUnfinishedFramesDisconnectTheirSender) {
  StartServer({"max_request_bytes = 1024", "frame_timeout_seconds = 1"});
  std::string error;
  {
    auto big = Client();
    (void)big->Send("[BEGIN][LOCKDB]" + std::string(4096, 'k'), seconds(2), error);
    EXPECT_TRUE(big->WaitClosed(seconds(5)));
  }
  {
    auto garbage = Client();
    (void)garbage->Send("GET / HTTP/1.1\r\n\r\n", seconds(2), error);
    EXPECT_TRUE(garbage->WaitClosed(seconds(5)));
  }
  auto idle = Client();
  {
    auto slow = Client();
    ASSERT_TRUE(slow->Send("[BEGIN][LOCKDB]db1;u;", seconds(2), error));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(slow->WaitClosed(seconds(5)));
    EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds(700));
  }
  // A connection that sends nothing has no time limit.
  EXPECT_EQ(Ask(*idle, "[CHECKDBLOCK]", "db1;u;c;"), "N;;;");
  EXPECT_TRUE(AuditHas("reason=request larger than 1024 bytes"));
  EXPECT_TRUE(AuditHas("reason=bytes outside a frame"));
  EXPECT_TRUE(AuditHas("reason=frame not completed within 1 s"));
}

TEST_F(SiteServerTest, ServesManyConnectionsAtOnceAndRefusesThoseOverTheLimit) {
  StartServer({"max_connections = 200"});
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < 200; ++i) clients.push_back(Client());
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(Ask(*clients[i], "[LOCKDB]", "k" + std::to_string(i) + ";u" + std::to_string(i) + ";c;"), "Y;;;");
  }
  auto extra = Client();
  EXPECT_TRUE(extra->WaitClosed(seconds(5)));
  clients.pop_back();
  // The freed slot is reusable once the server has seen the close.
  std::string answer;
  for (int attempt = 0; attempt < 50 && answer != "N;;;"; ++attempt) {
    std::this_thread::sleep_for(milliseconds(20));
    auto again = Client();
    answer = Ask(*again, "[CHECKDBLOCK]", "k199x;u;c;");
  }
  EXPECT_EQ(answer, "N;;;");
  EXPECT_EQ(Ask(*clients[0], "[CHECKDBLOCK]", "k199;x;y;").substr(0, 8), "Y;u199;c");
  EXPECT_TRUE(AuditHas("too many connections (200)"));
}

TEST_F(SiteServerTest, AdminCommandsListAndReleaseLocks) {
  StartServer();
  auto client = Client();
  ASSERT_EQ(Ask(*client, "[LOCKDB]", "db;1;ann;PC01;"), "Y;;;");
  const std::string connect = "127.0.0.1:" + std::to_string(server.Port());
  const std::string program = (BinFolder() / "quorlane-server").string();
  auto listed = RunProgram({program, "locks", "--connect", connect});
  EXPECT_EQ(listed.status, 0) << listed.output;
  EXPECT_EQ(listed.output.rfind("\"db;1\" \"ann\" \"PC01\" \"", 0), 0u) << listed.output;
  auto offline = RunProgram({program, "locks", "--data", (folder.Path() / "data").string()});
  EXPECT_EQ(offline.output, listed.output);
  auto released = RunProgram({program, "release", "db;1", "--connect", connect});
  EXPECT_EQ(released.status, 0) << released.output;
  EXPECT_NE(released.output.find("held by \"ann\" on \"PC01\""), std::string::npos) << released.output;
  EXPECT_EQ(Ask(*client, "[CHECKDBLOCK]", "db;1;x;y;"), "N;;;");
  EXPECT_TRUE(AuditHas("FORCEUNLOCKDB peer=127.0.0.1:"));
}

TEST_F(SiteServerTest, StopsCleanlyOnSigtermAndRefusesASecondServerOnItsDataFolder) {
  StartServer();
  ServerProcess second;
  TempFolder other;
  EXPECT_FALSE(second.Start(other.Path(), {"--data", (folder.Path() / "data").string()}));
  EXPECT_NE(second.Output().find("another server is using this data folder"), std::string::npos)
      << second.Output();
  auto client = Client();
  EXPECT_EQ(Ask(*client, "[LOCKDB]", "db1;u;c;"), "Y;;;");
  EXPECT_EQ(server.Terminate(), 0);
  EXPECT_TRUE(client->WaitClosed(seconds(2)));
  EXPECT_TRUE(AuditHas("stopped"));
}

TEST(SiteServerCommandLine, RefusesBadConfigurationWithStatusTwo) {
  TempFolder folder;
  std::ofstream(folder.Path() / "bad.ini") << "[server]\nallow = 300.1.1.1/8\n";
  const std::string program = (BinFolder() / "quorlane-server").string();
  const auto result = RunProgram({program, "--config", (folder.Path() / "bad.ini").string()});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("line 2: allow"), std::string::npos) << result.output;
  EXPECT_EQ(RunProgram({program, "--help"}).status, 0);
  EXPECT_EQ(RunProgram({program, "--bogus"}).status, 2);
}

}  // namespace
}  // namespace quorlane::server::testing
