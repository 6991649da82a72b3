#include "server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace quorlane::server::testing {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::random_device random;
  path_ = fs::temp_directory_path() / ("quorlane-server-test-" + std::to_string(::getpid()) + "-" +
                                       std::to_string(random()));
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path BinFolder() {
  char self[4096] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return fs::path(std::string(self, n > 0 ? static_cast<std::size_t>(n) : 0)).parent_path();
}

namespace {

pid_t Spawn(const std::vector<std::string>& args, const fs::path& output, const char* input = "/dev/null") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::optional<int> Reap(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ServerProcess::~ServerProcess() { Kill(); }

bool ServerProcess::Start(const fs::path& folder, const std::vector<std::string>& args) {
  const fs::path portFile = folder / "port";
  std::error_code ec;
  fs::remove(portFile, ec);
  outputPath_ = folder / "server-output.txt";
  // QUORLANE_TEST_SERVER runs another build (the long reliability runs use
  // the release build); by default the one beside the tests.
  const char* other = std::getenv("QUORLANE_TEST_SERVER");
  const std::string program = other && *other ? std::string(other) : (BinFolder() / "quorlane-server").string();
  std::vector<std::string> argv{program, "--listen", "127.0.0.1:0",
                                "--port-file", portFile.string()};
  // The web console on a port of its own choosing too (never the fixed 4080).
  webPortFile_ = folder / "web-port";
  fs::remove(webPortFile_, ec);
  webPort_ = 0;
  if (std::find(args.begin(), args.end(), "--web-listen") == args.end()) {
    argv.insert(argv.end(), {"--web-listen", "127.0.0.1:0", "--web-port-file", webPortFile_.string()});
  }
  argv.insert(argv.end(), args.begin(), args.end());
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  if (fileSizeLimit_ > 0) {
    // Inherited by the child; this process writes no files meanwhile.
    rlimit limited = saved;
    limited.rlim_cur = fileSizeLimit_;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  pid_ = Spawn(argv, outputPath_);
  if (fileSizeLimit_ > 0) ::setrlimit(RLIMIT_FSIZE, &saved);
  if (pid_ < 0) return false;
  for (int i = 0; i < 1000; ++i) {
    const std::string text = ReadFile(portFile);
    if (!text.empty() && text.back() == '\n') {
      port_ = static_cast<std::uint16_t>(std::stoi(text));
      return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::uint16_t ServerProcess::WebPort() {
  for (int i = 0; webPort_ == 0 && i < 500; ++i) {
    const std::string text = ReadFile(webPortFile_);
    if (!text.empty() && text.back() == '\n') {
      webPort_ = static_cast<std::uint16_t>(std::stoi(text));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return webPort_;
}

void ServerProcess::Kill() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGKILL);
  Reap(pid_, std::chrono::seconds(10));
  pid_ = -1;
}

std::optional<int> ServerProcess::Terminate() {
  if (pid_ < 0) return std::nullopt;
  ::kill(pid_, SIGTERM);
  auto status = Reap(pid_, std::chrono::seconds(10));
  if (status) pid_ = -1;
  return status;
}

std::optional<int> ServerProcess::Wait(std::chrono::milliseconds limit) {
  if (pid_ < 0) return std::nullopt;
  auto status = Reap(pid_, limit);
  if (status) pid_ = -1;
  return status;
}

bool ServerProcess::Connect(RawClient& client) const {
  std::string error;
  return client.Connect("127.0.0.1", port_, std::chrono::seconds(5), error);
}

std::string ServerProcess::Output() const { return ReadFile(outputPath_); }

RunResult RunProgram(const std::vector<std::string>& args, const std::string& input) {
  char name[] = "/tmp/quorlane-run-XXXXXX";
  const int fd = ::mkstemp(name);
  ::close(fd);
  char inputName[] = "/tmp/quorlane-input-XXXXXX";
  const int inputFd = ::mkstemp(inputName);
  if (inputFd >= 0) {
    const ssize_t written = ::write(inputFd, input.data(), input.size());
    static_cast<void>(written);  // a short input shows in the test's own checks
    ::close(inputFd);
  }
  RunResult result;
  const pid_t pid = Spawn(args, name, inputName);
  if (pid >= 0) {
    auto status = Reap(pid, std::chrono::seconds(20));
    if (!status) {
      ::kill(pid, SIGKILL);
      Reap(pid, std::chrono::seconds(5));
    }
    result.status = status.value_or(-1);
  }
  result.output = ReadFile(name);
  ::unlink(name);
  ::unlink(inputName);
  return result;
}

std::string Ask(RawClient& client, const std::string& tag, const std::string& fields, std::chrono::milliseconds limit) {
  std::string error;
  const auto reply = client.Request(tag + fields, limit, error);
  if (!reply) return "(none: " + error + ")";
  const auto payload = RawClient::Payload(*reply, tag);
  return payload ? *payload : "(no tag: " + *reply + ")";
}

}  // namespace quorlane::server::testing
