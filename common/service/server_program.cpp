#include "service/server_program.h"

#include <atomic>
#include <csignal>

#include "platform/platform.h"

namespace quorlane::service {
namespace {

std::atomic<bool> gStopRequested{false};

}  // namespace

void RequestStop() noexcept { gStopRequested = true; }

int RunServerProgram(int argc, char** argv, [[maybe_unused]] ServiceDefinition (*definition)(),
                     ProgramMain programMain) {
  const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef _WIN32
  if (!args.empty() && args[0] == "service") {
    // The Service Control Manager's stop request ends the server like a
    // closing console does.
    return ServiceCommand(definition(), args, programMain, [] { RequestStop(); });
  }
#endif
  return programMain(args);
}

ServerLoop::ServerLoop(asio::io_context& io, audit::AuditLog& log) : io_(io), log_(log), signals_(io), flushTimer_(io) {
  ErrorCode ignored;
  signals_.add(SIGINT, ignored);
  signals_.add(SIGTERM, ignored);
}

void ServerLoop::OnHangUp(std::function<void()> handler) {
  onHangUp_ = std::move(handler);
#ifdef SIGHUP
  ErrorCode ignored;
  signals_.add(SIGHUP, ignored);
#endif
}

bool ServerLoop::WritePortFile(const std::string& path, std::uint16_t port, std::string& error) {
  return platform::ReplaceFileContents(path, std::to_string(port) + "\n", platform::FileAccess::Shared, error) !=
         platform::Replacement::Failed;
}

void ServerLoop::Run(std::function<void()> stop) {
  stop_ = std::move(stop);
  platform::OnConsoleClose([] { RequestStop(); });
  WaitForSignal();
  ScheduleFlush();
  // Returns once Finish() has stopped the server and the two waits above.
  io_.run();
}

void ServerLoop::WaitForSignal() {
  signals_.async_wait([this](const ErrorCode& ec, int number) {
    if (ec) return;
#ifdef SIGHUP
    if (number == SIGHUP) {
      onHangUp_();
      WaitForSignal();
      return;
    }
#endif
    Finish("signal " + std::to_string(number) + " received; stopping");
  });
}

void ServerLoop::ScheduleFlush() {
  flushTimer_.expires_after(std::chrono::milliseconds(250));
  flushTimer_.async_wait([this](const ErrorCode& ec) {
    if (ec) return;
    log_.Flush();
    if (gStopRequested) {
      Finish("console closing; stopping");
      return;
    }
    ScheduleFlush();
  });
}

void ServerLoop::Finish(const std::string& why) {
  if (finished_) return;
  finished_ = true;
  log_.Line(why);
  if (stop_) stop_();
  ErrorCode ignored;
  signals_.cancel(ignored);
  flushTimer_.cancel();
}

}  // namespace quorlane::service
