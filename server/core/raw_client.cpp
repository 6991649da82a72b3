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

}  // namespace quorlane::server
