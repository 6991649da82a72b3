// What the server knows of each command besides how it is carried out:
// where it runs and how long its client waits for the answer. The client
// gives up after that limit and its next request on the same connection
// takes the first complete frame that arrives, so an answer the client no
// longer waits for must never be sent: it would be read as the answer to the
// next request. The table of commands is server/core/command_table.cpp.
#pragma once

#include <chrono>
#include <string_view>

namespace quorlane::server {

/// Where a request is carried out.
enum class CommandLane {
  Network,  ///< at once, on the network thread (locks, the lock listing)
  Files,    ///< on a worker thread of the file lane (copy, delete, sizes)
  Short,    ///< on a worker thread of its own lane (VAT list, key, services), never behind a file job
};

struct CommandInfo {
  std::string_view tag;   ///< "[LOCKDB]", brackets included
  std::string_view name;  ///< the tag without brackets, for log lines
  CommandLane lane;
  std::chrono::seconds clientLimit;  ///< how long the client waits for the answer
};

/// The time after which an answer to a request received at `received` is no
/// longer sent (nor the request started): the client's limit less a safety
/// margin of one second for the way back and the client's own polling. Test
/// builds may shrink every limit (QUORLANE_TEST_CLIENT_LIMIT_PERCENT).
[[nodiscard]] std::chrono::steady_clock::time_point AnswerDeadline(const CommandInfo& command,
                                                                   std::chrono::steady_clock::time_point received);

/// The part of the limit the server uses (the limit less the margin, scaled for tests).
[[nodiscard]] std::chrono::milliseconds UsableLimit(const CommandInfo& command);

}  // namespace quorlane::server
