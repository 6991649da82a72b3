#include "request.h"

#include "frame_parser.h"

#include <utility>

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
  // As SplitFields would split it, without building the list: the last
  // field's ";" is dropped, then the last two ";" divide key, user and
  // computer (the key keeps its own ";" as they came).
  if (text.empty()) return std::nullopt;
  if (text.back() == ';') text.remove_suffix(1);
  const auto last = text.rfind(';');
  if (last == std::string_view::npos || last == 0) return std::nullopt;
  const auto second = text.rfind(';', last - 1);
  if (second == std::string_view::npos) return std::nullopt;
  LockFields result;
  result.key = text.substr(0, second);
  result.user = text.substr(second + 1, last - second - 1);
  result.computer = text.substr(last + 1);
  return result;
}

namespace {

bool LooksAbsolute(std::string_view path) {
  if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/')) return true;
  return path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

}  // namespace

std::string JoinedFields(std::string_view fields) {
  if (!fields.empty() && fields.back() == ';') fields.remove_suffix(1);
  return std::string(fields);
}

std::optional<std::pair<std::string, std::string>> SplitCopyFields(std::string_view fields) {
  const std::string text = JoinedFields(fields);
  std::optional<std::pair<std::string, std::string>> found;
  for (std::size_t at = text.find(';'); at != std::string::npos; at = text.find(';', at + 1)) {
    std::string source = text.substr(0, at), target = text.substr(at + 1);
    if (!LooksAbsolute(source) || !LooksAbsolute(target)) continue;
    if (found) return std::nullopt;
    found.emplace(std::move(source), std::move(target));
  }
  if (!found) {
    // Not two absolute paths: the first ";" separates them, and the path
    // rules refuse whatever is not a path.
    const auto at = text.find(';');
    if (at == std::string::npos) return std::make_pair(text, std::string());
    return std::make_pair(text.substr(0, at), text.substr(at + 1));
  }
  return found;
}

std::string ReplyFrame(std::string_view tag, std::string_view payload) {
  std::string frame;
  frame.reserve(kFrameBegin.size() + tag.size() + payload.size() + kFrameEnd.size());
  frame.append(kFrameBegin).append(tag).append(payload).append(kFrameEnd);
  return frame;
}

}  // namespace quorlane::server
