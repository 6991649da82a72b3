// The commands the site server answers, one row each: its tag, where it runs
// (on the network thread or on a worker of a lane), how long its client waits
// for the answer, and what carries it out. A new command is one row; what
// happens to each command's requests is counted in one place.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "commands.h"
#include "request.h"
#include "site_requests.h"

namespace quorlane::server {

class SiteServer;
class Session;

struct CommandRow {
  CommandInfo info;
  /// On the network thread: the reply frame (locks, the lock listing).
  std::string (SiteServer::*answer)(const Request& request, Session& session, std::uint64_t& neededSeq);
  /// On a worker of the lane: the job that yields the reply frame.
  SiteRequests::Job (SiteRequests::*prepare)(const Request& request, const std::string& peer);
};

[[nodiscard]] std::span<const CommandRow> Commands() noexcept;
/// The row of `tag`; nullptr for a tag this server does not know.
[[nodiscard]] const CommandRow* FindCommand(std::string_view tag) noexcept;

/// What became of one command's requests. Counted on the network thread and
/// on the workers alike.
struct CommandFigures {
  std::atomic<std::uint64_t> received{0};
  std::atomic<std::uint64_t> notStarted{0};  ///< the client's limit passed before it could start
  std::atomic<std::uint64_t> late{0};        ///< ready after the client's limit: not answered
};

}  // namespace quorlane::server
