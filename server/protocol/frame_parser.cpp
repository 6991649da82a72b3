#include "frame_parser.h"

#include <algorithm>

namespace quorlane::server {

FrameParser::FrameParser(std::size_t maxFrameBytes)
    : maxFrameBytes_(std::max(maxFrameBytes, kFrameBegin.size() + kFrameEnd.size())) {}

FrameParser::Result FrameParser::Feed(std::string_view input) {
  if (error_ != Error::None) return {Status::Error, 0};
  if (body_.capacity() > 4096) std::string().swap(body_); else body_.clear();
  // A frame that was handed out last time is finished; release a large
  // buffer so an idle connection does not keep the memory of its biggest request.
  if (!inFrame_ && pending_.capacity() > 4096) std::string().swap(pending_);

  std::size_t used = 0;
  // The opening marker is checked byte by byte, so garbage is refused as soon
  // as it can no longer be the start of "[BEGIN]".
  while (used < input.size() && pending_.size() < kFrameBegin.size()) {
    if (input[used] != kFrameBegin[pending_.size()]) {
      error_ = Error::NotAFrame;
      pending_.clear();
      inFrame_ = false;
      return {Status::Error, used};
    }
    pending_.push_back(input[used++]);
    inFrame_ = true;
  }
  if (used == input.size()) return {Status::NeedMore, used};

  // Search for "[END]" only in what is new, plus the few bytes before it
  // that could hold the start of a marker split across reads.
  const std::size_t bodyStart = kFrameBegin.size();
  const std::size_t searchFrom =
      std::max(bodyStart, pending_.size() >= kFrameEnd.size() - 1 ? pending_.size() - (kFrameEnd.size() - 1) : 0);
  const std::size_t room = maxFrameBytes_ - pending_.size();
  const std::size_t take = std::min(input.size() - used, room);
  pending_.append(input.substr(used, take));

  const std::size_t end = pending_.find(kFrameEnd, searchFrom);
  if (end == std::string::npos) {
    if (take < input.size() - used || pending_.size() >= maxFrameBytes_) {
      error_ = Error::TooLarge;
      pending_.clear();
      inFrame_ = false;
      return {Status::Error, used + take};
    }
    return {Status::NeedMore, used + take};
  }
  const std::size_t frameEnd = end + kFrameEnd.size();
  // Bytes behind this frame's "[END]" belong to the next one; hand them back.
  const std::size_t unusedTail = pending_.size() - frameEnd;
  body_.assign(pending_, bodyStart, end - bodyStart);
  pending_.clear();
  inFrame_ = false;
  return {Status::Frame, used + take - unusedTail};
}

}  // namespace quorlane::server
