// Starts the real quorlane-server as a child process on a loopback port of
// its own choosing (port 0 and --port-file), for tests that talk to it over
// TCP. POSIX only; the Windows build is exercised by its own smoke test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "raw_client.h"

namespace quorlane::server::testing {

/// A fresh folder under the system temp folder, removed at destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  /// Runs quorlane-server with these extra arguments plus --listen
  /// 127.0.0.1:0 and --port-file, and waits (at most 10 s) for the port.
  [[nodiscard]] bool Start(const std::filesystem::path& folder, const std::vector<std::string>& args);
  /// Every file the server started next may write is limited to `bytes`
  /// (RLIMIT_FSIZE), so that writes fail part-way on demand.
  void LimitFileSize(std::uint64_t bytes) { fileSizeLimit_ = bytes; }
  /// SIGKILL, then reaps the child.
  void Kill();
  /// SIGTERM; returns the exit status (nothing when it did not end in 10 s).
  std::optional<int> Terminate();
  /// Waits for the child to end by itself.
  std::optional<int> Wait(std::chrono::milliseconds limit);

  [[nodiscard]] std::uint16_t Port() const noexcept { return port_; }
  /// The web console's port (started on 127.0.0.1:0 unless the arguments
  /// name --web-listen); waits up to 5 s for it, 0 when it never came.
  [[nodiscard]] std::uint16_t WebPort();
  /// The running child's process id (-1 when none).
  [[nodiscard]] pid_t Pid() const noexcept { return pid_; }
  /// Connects a client; fails the calling test when it cannot.
  [[nodiscard]] bool Connect(RawClient& client) const;
  [[nodiscard]] std::string Output() const;

 private:
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  std::uint64_t fileSizeLimit_ = 0;
  std::filesystem::path outputPath_;
  std::filesystem::path webPortFile_;
  std::uint16_t webPort_ = 0;
};

/// Runs a program to completion (at most 20 s) and returns exit status and output.
struct RunResult {
  int status = -1;
  std::string output;
};
/// `input` becomes the program's standard input.
RunResult RunProgram(const std::vector<std::string>& args, const std::string& input = {});

/// The folder the test binaries and quorlane-server live in.
[[nodiscard]] std::filesystem::path BinFolder();

/// One request over `client`; the reply's payload for `tag`, or "(none...)"
/// when no reply came within `limit`.
[[nodiscard]] std::string Ask(RawClient& client, const std::string& tag, const std::string& fields,
                              std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace quorlane::server::testing
