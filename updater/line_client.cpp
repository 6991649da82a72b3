#include "line_client.h"

namespace quorlane::updater {

std::optional<std::string> LineClient::ReadLine(Duration limit, std::string& error) {
  const auto takeLine = [](std::string& received) -> std::optional<std::string> {
    const auto lineFeed = received.find('\n');
    if (lineFeed == std::string::npos) return std::nullopt;
    std::string line = received.substr(0, lineFeed);
    received.erase(0, lineFeed + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  };
  return ReadMessage(takeLine, "reply line", limit, error);
}

}  // namespace quorlane::updater
