#include "commands.h"

#include <cstdlib>

namespace quorlane::server {
namespace {

constexpr std::chrono::milliseconds kMargin{1000};

// Test-only: QUORLANE_TEST_CLIENT_LIMIT_PERCENT=N scales every limit (and the
// margin) to N percent, so tests can outlast a limit in a second or two.
long LimitPercent() {
  static const long percent = [] {
    const char* text = std::getenv("QUORLANE_TEST_CLIENT_LIMIT_PERCENT");
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 && value <= 100 ? value : 100;
  }();
  return percent;
}

}  // namespace

std::chrono::milliseconds UsableLimit(const CommandInfo& command) {
  const auto usable = std::chrono::duration_cast<std::chrono::milliseconds>(command.clientLimit) - kMargin;
  return usable * LimitPercent() / 100;
}

std::chrono::steady_clock::time_point AnswerDeadline(const CommandInfo& command,
                                                     std::chrono::steady_clock::time_point received) {
  return received + UsableLimit(command);
}

}  // namespace quorlane::server
