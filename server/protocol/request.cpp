#include "request.h"

#include "frame_parser.h"

namespace quorlane::server {

std::optional<Request> SplitRequest(std::string_view body) {
  if (body.empty() || body.front() != '[') return std::nullopt;
  const auto close = body.find(']');
  if (close == std::string_view::npos || close == 1) return std::nullopt;
  return Request{body.substr(0, close + 1), body.substr(close + 1)};
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  while (!text.empty()) {
    const auto sep = text.find(';');
    if (sep == std::string_view::npos) {
      fields.push_back(text);
      break;
    }
    fields.push_back(text.substr(0, sep));
    text.remove_prefix(sep + 1);
  }
  return fields;
}

std::optional<LockFields> ParseLockFields(std::string_view text) {
  const auto fields = SplitFields(text);
  if (fields.size() < 3) return std::nullopt;
  LockFields result;
  result.user = fields[fields.size() - 2];
  result.computer = fields[fields.size() - 1];
  for (std::size_t i = 0; i + 2 < fields.size(); ++i) {
    if (i > 0) result.key.push_back(';');
    result.key.append(fields[i]);
  }
  return result;
}

std::string ReplyFrame(std::string_view tag, std::string_view payload) {
  std::string frame;
  frame.reserve(kFrameBegin.size() + tag.size() + payload.size() + kFrameEnd.size());
  frame.append(kFrameBegin).append(tag).append(payload).append(kFrameEnd);
  return frame;
}

}  // namespace quorlane::server
