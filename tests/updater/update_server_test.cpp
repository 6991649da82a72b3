// The real quorlane-update-server over loopback: answers from its mapping,
// reloads that keep a good mapping, the limits (over-long, silent and slow
// clients, connection counts), the default start and the command line.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "line_client.h"
#include "server_process.h"

extern char** environ;

namespace quorlane::updater {
namespace {

namespace fs = std::filesystem;
using server::testing::BinFolder;
using server::testing::RunProgram;
using std::chrono::milliseconds;
using std::chrono::seconds;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class UpdateServerTest : public ::testing::Test {
 protected:
  ~UpdateServerTest() override { Stop(); }

  fs::path Path(const std::string& name) const { return folder_.Path() / name; }
  void WriteMap(const std::string& text) const { std::ofstream(Path("map.txt"), std::ios::binary) << text; }
  static std::string Program() { return (BinFolder() / "quorlane-update-server").string(); }
  server::testing::RunResult Command(std::vector<std::string> args) const {
    args.insert(args.begin(), Program());
    return RunProgram(args);
  }

  /// Spawns the server with its output in `output`; it has started once
  /// `output` says "listening on" (false when it ended or took 2 s).
  bool Spawn(const std::vector<std::string>& args, const fs::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const std::string program = Program();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; pid_ > 0 && i < 200; ++i) {
      if (ReadFile(output).find("listening on") != std::string::npos) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
  }
  /// On a port of its own choosing, logging to server.log.
  ::testing::AssertionResult Start(std::vector<std::string> args) {
    const std::vector<std::string> common{"--listen", "127.0.0.1:0", "--port-file", Path("port").string(),
                                          "--log", Path("server.log").string()};
    args.insert(args.begin(), common.begin(), common.end());
    if (!Spawn(args, Path("output.txt"))) return ::testing::AssertionFailure() << ReadFile(Path("output.txt"));
    for (int i = 0; i < 200; ++i) {  // the port file follows the first log line
      const std::string port = ReadFile(Path("port"));
      if (!port.empty() && port.back() == '\n') {
        port_ = static_cast<std::uint16_t>(std::stoi(port));
        return ::testing::AssertionSuccess();
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return ::testing::AssertionFailure() << "no port file";
  }
  /// The exit status after `signal`, or after SIGKILL (nothing) when it
  /// did not end within 10 s.
  std::optional<int> Stop(int signal = SIGKILL) {
    if (pid_ <= 0) return std::nullopt;
    ::kill(pid_, signal);
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return signal == SIGKILL ? std::nullopt : Stop(SIGKILL);
  }

  /// One look-up as the library does it; "(none: ...)" when no line came.
  std::string Ask(const std::string& line) const {
    LineClient client;
    std::string error;
    if (!client.Connect("127.0.0.1", port_, seconds(5), error) || !client.Send(line, seconds(5), error)) {
      return "(none: " + error + ")";
    }
    const auto reply = client.ReadLine(seconds(5), error);
    if (!reply) return "(none: " + error + ")";
    return client.WaitClosed(seconds(5)) ? *reply : "(not closed) " + *reply;
  }
  std::string Lookup(const std::string& id) const { return Ask("A1;" + id + ";\r\n"); }

  /// The log file holds `text` within a few seconds (it is written at least
  /// every quarter second).
  ::testing::AssertionResult LogHas(const std::string& text) const {
    std::string log;
    for (int i = 0; i < 150; ++i) {
      log = ReadFile(Path("server.log"));
      if (log.find(text) != std::string::npos) return ::testing::AssertionSuccess();
      std::this_thread::sleep_for(milliseconds(20));
    }
    return ::testing::AssertionFailure() << "log lacks " << text << "\n" << log;
  }

  server::testing::TempFolder folder_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

TEST_F(UpdateServerTest, AnswersFromTheMappingAndWithEmptyLinesOtherwiseLoggingEachRequest) {
  const std::string longest(16384, 'u');
  WriteMap("SALES = https://updates.example/sales.exe\nA\\x3Bb = semi\nBIG = " + longest + "\n");
  ASSERT_TRUE(Start({"--map", Path("map.txt").string()}));
  EXPECT_EQ(Lookup("BIG"), longest);
  EXPECT_EQ(Lookup("SALES"), "https://updates.example/sales.exe");
  EXPECT_EQ(Ask("A1;SALES;\n"), "https://updates.example/sales.exe") << "LF alone ends a line too";
  EXPECT_EQ(Lookup("A;b"), "semi") << "an identifier may hold \";\"";
  EXPECT_EQ(Lookup("sales"), "");
  EXPECT_EQ(Lookup(""), "");
  EXPECT_EQ(Ask("GET / HTTP/1.0\r\n\r\n"), "");
  EXPECT_EQ(Ask("QL-ADMIN RELOAD\r\n").rfind("reload", 0), 0u) << "from this computer";
  EXPECT_TRUE(LogHas("lookup peer=127.0.0.1:"));
  EXPECT_TRUE(LogHas(" id=\"SALES\" answer=\"https://updates.example/sales.exe\""));
  EXPECT_TRUE(LogHas(" id=\"sales\" unknown"));
  EXPECT_TRUE(LogHas(" line=\"GET / HTTP/1.0\" answered with an empty line"));
}

TEST_F(UpdateServerTest, ReloadKeepsTheOldMappingWhenTheNewFileIsBad) {
  WriteMap("APP = one\n");
  ASSERT_TRUE(Start({"--map", Path("map.txt").string()}));
  ASSERT_EQ(Lookup("APP"), "one");

  WriteMap("APP = two\n");
  ::kill(pid_, SIGHUP);
  EXPECT_TRUE(LogHas("reloaded " + Path("map.txt").string() + ": 1 entries (requested by SIGHUP)"));
  EXPECT_EQ(Lookup("APP"), "two");

  WriteMap("APP = three\nbroken line\n");
  ::kill(pid_, SIGHUP);
  EXPECT_TRUE(LogHas("line 2: no \"=\" between identifier and address; keeping the previous mapping (1 entries)"));
  EXPECT_EQ(Lookup("APP"), "two");
  const std::string connect = "127.0.0.1:" + std::to_string(port_);
  const auto refused = Command({"reload", "--connect", connect});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("reload failed: "), std::string::npos) << refused.output;
  EXPECT_EQ(Lookup("APP"), "two");

  WriteMap("APP = four\nOTHER = x\n");
  const auto reloaded = Command({"reload", "--connect", connect});
  EXPECT_EQ(reloaded.status, 0) << reloaded.output;
  EXPECT_NE(reloaded.output.find(": 2 entries"), std::string::npos) << reloaded.output;
  EXPECT_EQ(Lookup("APP"), "four");
  const auto lookup = Command({"lookup", "OTHER", "--connect", connect});
  EXPECT_EQ(lookup.output, "x\n");
}

// A socket from a loopback source address of the test's choosing.
int Dial(const char* source, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  ::inet_pton(AF_INET, source, &from.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

/// Milliseconds until the server closes `fd` (reading and dropping what
/// comes), or nothing within the limit.
std::optional<long> ClosedAfter(int fd, milliseconds limit, std::string* received = nullptr) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const auto left = limit - std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      if (received) received->append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count();
  }
}

TEST_F(UpdateServerTest, DisconnectsOverLongSilentAndSlowClientsWithoutAnAnswer) {
  ASSERT_TRUE(Start({"--idle-seconds", "1", "--request-seconds", "2"}));
  const int longLine = Dial("127.0.0.1", port_);
  ASSERT_GE(longLine, 0);
  const std::string tooLong = "A1;" + std::string(16384, 'x');
  EXPECT_EQ(::send(longLine, tooLong.data(), tooLong.size(), MSG_NOSIGNAL), static_cast<ssize_t>(tooLong.size()));
  std::string received;
  EXPECT_TRUE(ClosedAfter(longLine, seconds(5), &received));
  EXPECT_EQ(received, "") << "no answer to an over-long line";

  const int silent = Dial("127.0.0.1", port_);
  ASSERT_GE(silent, 0);
  ::send(silent, "A1;pa", 5, MSG_NOSIGNAL);
  const auto silentFor = ClosedAfter(silent, seconds(5), &received);
  ASSERT_TRUE(silentFor);
  EXPECT_GE(*silentFor, 700);
  EXPECT_EQ(received, "");

  // Never silent for a second, yet never done: the request limit ends it.
  const int slow = Dial("127.0.0.1", port_);
  ASSERT_GE(slow, 0);
  std::optional<long> slowFor;
  for (int i = 0; i < 20 && !slowFor; ++i) {
    ::send(slow, "x", 1, MSG_NOSIGNAL);
    slowFor = ClosedAfter(slow, milliseconds(300));
  }
  EXPECT_TRUE(slowFor) << "a trickling client stays past the request limit";
  for (int fd : {longLine, silent, slow}) ::close(fd);
  EXPECT_TRUE(LogHas("refused peer=127.0.0.1:"));
  EXPECT_TRUE(LogHas(": request line over 16384 bytes"));
  EXPECT_TRUE(LogHas(": silent for 1 s"));
  EXPECT_TRUE(LogHas(": no whole request line within 2 s"));
  EXPECT_EQ(Lookup(""), "") << "still serving";
}

TEST_F(UpdateServerTest, RefusesConnectionsBeyondTheTotalAndPerAddressLimits) {
  WriteMap("APP = one\n");
  ASSERT_TRUE(Start({"--map", Path("map.txt").string(), "--max-connections", "4", "--max-per-address", "2"}));
  const int a1 = Dial("127.0.0.1", port_);
  const int a2 = Dial("127.0.0.1", port_);
  const int b1 = Dial("127.0.0.2", port_);
  EXPECT_EQ(Lookup("APP").rfind("(none: ", 0), 0u) << "third from 127.0.0.1";
  const int c1 = Dial("127.0.0.3", port_);
  const int d1 = Dial("127.0.0.4", port_);
  EXPECT_TRUE(ClosedAfter(d1, seconds(5))) << "fifth in all";
  for (int fd : {a1, a2, b1, c1}) EXPECT_FALSE(ClosedAfter(fd, milliseconds(50))) << "the first four stay";
  ::close(a1);
  ::close(d1);
  std::string answer;
  for (int i = 0; i < 100 && answer != "one"; ++i) {  // until the server has seen a1 go
    answer = Lookup("APP");
    if (answer != "one") std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_EQ(answer, "one");
  for (int fd : {a2, b1, c1}) ::close(fd);
  // Refusals are logged at most once a second; the rest are counted.
  EXPECT_TRUE(LogHas("refused peer=127.0.0.1:"));
  EXPECT_TRUE(LogHas(": too many connections from 127.0.0.1 (2)"));
  EXPECT_TRUE(LogHas("1 more connections refused at the limits"));
}

TEST_F(UpdateServerTest, CommandLineHelpChecksAndRefusals) {
  const auto help = Command({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("quorlane-update-server lookup IDENTIFIER"), std::string::npos);
  WriteMap("A = 1\nB\n");
  const auto check = Command({"check-map", Path("map.txt").string()});
  EXPECT_EQ(check.status, 2);
  EXPECT_NE(check.output.find("map.txt: line 2: no \"=\""), std::string::npos) << check.output;
  const auto start = Command({"--listen", "127.0.0.1:0", "--map", Path("map.txt").string()});
  EXPECT_EQ(start.status, 2) << "a bad mapping refuses to start";
  EXPECT_NE(start.output.find("cannot use the mapping file"), std::string::npos) << start.output;
  EXPECT_EQ(Command({"--listen", "localhost:9568"}).status, 2);
  EXPECT_EQ(Command({"--max-connections", "0"}).status, 2);
  WriteMap("A = 1\n");
  EXPECT_EQ(Command({"check-map", Path("map.txt").string()}).output, Path("map.txt").string() + ": 1 entries\n");
}

// Without arguments: loopback, the library's port, an empty mapping. The
// port is fixed, so CTest runs this alone among the tests that use it; a
// port held by someone else is waited for, within limits.
TEST_F(UpdateServerTest, WithoutArgumentsServesLoopbackPort9568WithAnEmptyMapping) {
  const fs::path output = Path("default.txt");
  for (int attempt = 0; attempt < 30 && !Spawn({}, output); ++attempt) std::this_thread::sleep_for(seconds(1));
  ASSERT_GT(pid_, 0) << ReadFile(output);
  port_ = 9568;
  EXPECT_EQ(Lookup("SALES"), "");
  EXPECT_EQ(Stop(SIGTERM), std::optional<int>(0));
  const std::string log = ReadFile(output);
  EXPECT_NE(log.find("listening on 127.0.0.1:9568, no mapping file: every identifier gets an empty line"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" lookup peer=127.0.0.1:"), std::string::npos) << "logs to standard error";
}

}  // namespace
}  // namespace quorlane::updater
