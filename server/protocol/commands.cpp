#include "commands.h"

#include <array>
#include <cstdlib>

namespace quorlane::server {
namespace {

using std::chrono::seconds;

constexpr std::array kCommands = {
    CommandInfo{"[LOCKDB]", "LOCKDB", CommandLane::Network, seconds(12)},
    CommandInfo{"[UNLOCKDB]", "UNLOCKDB", CommandLane::Network, seconds(12)},
    CommandInfo{"[FORCEUNLOCKDB]", "FORCEUNLOCKDB", CommandLane::Network, seconds(12)},
    CommandInfo{"[CHECKDBLOCK]", "CHECKDBLOCK", CommandLane::Network, seconds(12)},
    CommandInfo{"[QLLISTLOCKS]", "QLLISTLOCKS", CommandLane::Network, seconds(30)},
    CommandInfo{"[DELETEFILE]", "DELETEFILE", CommandLane::Files, seconds(30)},
    CommandInfo{"[COPYFILE]", "COPYFILE", CommandLane::Files, seconds(30)},
    CommandInfo{"[FILESIZEINFO]", "FILESIZEINFO", CommandLane::Files, seconds(20)},
    CommandInfo{"[STARTTHESERVICE]", "STARTTHESERVICE", CommandLane::Short, seconds(12)},
    CommandInfo{"[STOPTHESERVICE]", "STOPTHESERVICE", CommandLane::Short, seconds(12)},
    CommandInfo{"[THESERVICESTARTED]", "THESERVICESTARTED", CommandLane::Short, seconds(12)},
    CommandInfo{"[GetVATList]", "GetVATList", CommandLane::Short, seconds(12)},
    CommandInfo{"[SaveVATList]", "SaveVATList", CommandLane::Short, seconds(20)},
    CommandInfo{"[GETTAXATIONKEY]", "GETTAXATIONKEY", CommandLane::Short, seconds(12)},
};

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

const CommandInfo* FindCommand(std::string_view tag) noexcept {
  for (const auto& command : kCommands) {
    if (command.tag == tag) return &command;
  }
  return nullptr;
}

std::chrono::milliseconds UsableLimit(const CommandInfo& command) {
  const auto usable = std::chrono::duration_cast<std::chrono::milliseconds>(command.clientLimit) - kMargin;
  return usable * LimitPercent() / 100;
}

std::chrono::steady_clock::time_point AnswerDeadline(const CommandInfo& command,
                                                     std::chrono::steady_clock::time_point received) {
  return received + UsableLimit(command);
}

}  // namespace quorlane::server
