// A small blocking client of the update protocol with time limits, for the
// admin commands and the tests: connect, send bytes, read one line.
#pragma once

#include <optional>
#include <string>

#include "net/blocking_client.h"

namespace quorlane::updater {

class LineClient : public net::BlockingClient {
 public:
  /// The next line without its LF (and a CR before it); nothing when the
  /// connection ends or the limit passes first.
  [[nodiscard]] std::optional<std::string> ReadLine(Duration limit, std::string& error);
};

}  // namespace quorlane::updater
