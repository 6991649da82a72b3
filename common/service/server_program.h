// How a server program of ours runs, for quorlane-server and
// quorlane-update-server alike: main() hands "PROGRAM service ..." to the
// Windows service scaffolding and everything else to the program's own main;
// once the server listens, the loop writes the port file, runs until a
// signal, the console closing or the Service Control Manager asks it to
// stop, and flushes the log every quarter second meanwhile.
#pragma once

#include "net/asio.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "log/audit_log.h"
#include "service/windows_service.h"

namespace quorlane::service {

using ProgramMain = int (*)(const std::vector<std::string>& args);

/// The process's main(): on Windows "service install|uninstall|run ..." runs
/// as `definition` (whose "run" calls `programMain` under the Service Control
/// Manager); everything else, and every argument on other systems, goes to
/// `programMain` directly.
int RunServerProgram(int argc, char** argv, ServiceDefinition (*definition)(), ProgramMain programMain);

/// Asks the running loop to stop, from any thread (a console handler, the
/// Service Control Manager's); the loop notices within a quarter second.
void RequestStop() noexcept;

class ServerLoop {
 public:
  ServerLoop(asio::io_context& io, audit::AuditLog& log);
  ServerLoop(const ServerLoop&) = delete;
  ServerLoop& operator=(const ServerLoop&) = delete;

  /// SIGHUP (POSIX systems) calls `handler`; without one, SIGHUP keeps its
  /// default action.
  void OnHangUp(std::function<void()> handler);
  /// Writes `port` (decimal and a newline) to `path` in one step, so that a
  /// reader never sees half of it; false with `error` when it cannot.
  [[nodiscard]] static bool WritePortFile(const std::string& path, std::uint16_t port, std::string& error);
  /// Runs the io_context until a stop is asked for; then calls `stop`, which
  /// must end whatever keeps the io_context busy (the listener, the
  /// connections), and returns when run() does.
  void Run(std::function<void()> stop);

 private:
  void WaitForSignal();
  void ScheduleFlush();
  void Finish(const std::string& why);

  asio::io_context& io_;
  audit::AuditLog& log_;
  asio::signal_set signals_;
  asio::steady_timer flushTimer_;
  std::function<void()> onHangUp_;
  std::function<void()> stop_;
  bool finished_ = false;
};

}  // namespace quorlane::service
