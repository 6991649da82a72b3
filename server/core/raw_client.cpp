#include "raw_client.h"

#include <charconv>

#include "frame_parser.h"

namespace quorlane::server {

std::optional<std::string> RawClient::ReadFrame(Duration limit, std::string& error) {
  const auto takeFrame = [](std::string& received) -> std::optional<std::string> {
    if (received.size() < kFrameBegin.size() || received.compare(0, kFrameBegin.size(), kFrameBegin) != 0) {
      return std::nullopt;
    }
    const auto end = received.find(kFrameEnd, kFrameBegin.size());
    if (end == std::string::npos) return std::nullopt;
    std::string body = received.substr(kFrameBegin.size(), end - kFrameBegin.size());
    received.erase(0, end + kFrameEnd.size());
    return body;
  };
  return ReadMessage(takeFrame, "reply", limit, error);
}

std::optional<std::string> RawClient::Request(std::string_view body, Duration limit, std::string& error) {
  std::string frame;
  frame.append(kFrameBegin).append(body).append(kFrameEnd);
  if (!Send(frame, limit, error)) return std::nullopt;
  return ReadFrame(limit, error);
}

std::optional<std::string> RawClient::Payload(std::string_view replyBody, std::string_view tag) {
  const auto at = replyBody.find(tag);
  if (at == std::string_view::npos) return std::nullopt;
  return std::string(replyBody.substr(at + tag.size()));
}

bool SplitHostPort(std::string_view text, std::string& host, std::uint16_t& port) {
  std::string_view portText;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find("]:");
    if (close == std::string_view::npos) return false;
    host = std::string(text.substr(1, close - 1));
    portText = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    host = std::string(text.substr(0, colon));
    portText = text.substr(colon + 1);
  }
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
  if (ec != std::errc() || end != portText.data() + portText.size() || value == 0 || value > 65535 || host.empty()) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace quorlane::server
