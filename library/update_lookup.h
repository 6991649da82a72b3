// GetAppSelfUpdURL's exchange with the vendor's update server: a blocking
// connection of its own per call, one request line, one reply line. It pumps
// no window messages and keeps nothing between calls.
#pragma once

#include <cstdint>
#include <string>

namespace quorlane::update {

/// The update server's host name, fixed when the library is built.
[[nodiscard]] const char* HostName() noexcept;

struct Lookup {
  enum class Outcome {
    Reply,        ///< a line arrived, or the server fell silent (empty reply)
    Unreachable,  ///< no connection: name not resolved, refused, time limit, socket error
    Failed,       ///< after connecting: closed before a line, socket error, line too long
  };
  Outcome outcome = Outcome::Failed;
  std::string reply;
};

/// Connects to host:port (IPv4), sends the request line for `identifier`
/// and reads the reply line within the time limits of update_reply.h.
[[nodiscard]] Lookup LookUp(const std::string& host, std::uint16_t port, const std::string& identifier);

}  // namespace quorlane::update
