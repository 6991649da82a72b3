// A small blocking client of the site-server protocol with time limits, for
// the admin commands, the probe tool and the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/blocking_client.h"

namespace quorlane::server {

class RawClient : public net::BlockingClient {
 public:
  /// Reads until a whole reply frame has arrived; returns the text between
  /// "[BEGIN]" and "[END]". Nothing on time-out, close or error.
  [[nodiscard]] std::optional<std::string> ReadFrame(Duration limit, std::string& error);
  /// Sends "[BEGIN]" + body + "[END]" and reads the reply frame.
  [[nodiscard]] std::optional<std::string> Request(std::string_view body, Duration limit, std::string& error);

  /// The payload of a reply body for a tag: what follows its first occurrence.
  [[nodiscard]] static std::optional<std::string> Payload(std::string_view replyBody, std::string_view tag);
};

}  // namespace quorlane::server
