#include "reply_frame.h"

namespace quorlane {
namespace {

constexpr std::string_view kBegin = "[BEGIN]";
constexpr std::string_view kEnd = "[END]";

bool BeginsWithBegin(std::string_view text) { return text.substr(0, kBegin.size()) == kBegin; }

// Characters 8 to q - 1 (counting from 1) of `text`, where q is the position
// of "[END]": the text between the two markers.
std::string BetweenMarkers(std::string_view text, std::size_t endIndex) {
  if (endIndex <= kBegin.size()) return {};
  return std::string(text.substr(kBegin.size(), endIndex - kBegin.size()));
}

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

ReplyAssembler::ChunkResult ReplyAssembler::ClientSocketRead(std::string_view chunk) {
  std::string joined;
  if (!m_receiving) {
    if (!m_heldStart.empty()) {
      joined = m_heldStart;
      joined.append(chunk);
      m_heldStart.clear();
      chunk = joined;
    }
    if (chunk.size() < kBegin.size() && kBegin.substr(0, chunk.size()) == chunk) {
      m_heldStart.assign(chunk);
      return ChunkResult::Consumed;
    }
  }
  if (BeginsWithBegin(chunk)) {
    m_receiving = true;
    m_replyStarted = true;
  }
  if (!m_receiving) return ChunkResult::Consumed;
  if (m_receivedData.size() + chunk.size() > kMaxReplyBytes && chunk.find(kEnd) == std::string_view::npos) {
    // Too large to be a reply of ours; it counts as finished and empty.
    m_receivedData.clear();
    m_receiving = false;
    return ChunkResult::Overflow;
  }
  AppendReceivedData(chunk);
  if (m_receiving && m_receivedData.size() > kMaxReplyBytes) {
    m_receivedData.clear();
    m_receiving = false;
    return ChunkResult::Overflow;
  }
  return ChunkResult::Consumed;
}

void ReplyAssembler::AppendReceivedData(std::string_view chunk) {
  // What is held holds no "[END]" (it would have been cut there), so only
  // the new bytes and a marker straddling the join need searching: a reply
  // dribbled a byte at a time costs linear time, not quadratic.
  const std::size_t searchFrom = m_receivedData.size() >= kEnd.size() ? m_receivedData.size() - (kEnd.size() - 1) : 0;
  const std::size_t p = chunk.find(kEnd);
  if (BeginsWithBegin(chunk) && p != std::string_view::npos) {
    // A complete frame in one chunk replaces whatever was being assembled.
    m_receivedData = BetweenMarkers(chunk, p);
    m_receiving = false;
  } else {
    m_receivedData.append(chunk);
  }
  if (m_receiving) {
    const std::size_t q = m_receivedData.find(kEnd, searchFrom);
    if (q != std::string::npos) {
      m_receivedData = BetweenMarkers(m_receivedData, q);
      m_receiving = false;
    }
  }
}

void ReplyAssembler::ResetForSend() {
  m_receiving = false;
  m_replyStarted = false;
  m_receivedData.clear();
  m_heldStart.clear();
}

void ReplyAssembler::ConnectionClosed() {
  if (m_receiving) m_receivedData.clear();
  m_receiving = false;
  m_replyStarted = false;
  m_heldStart.clear();
}

std::string ReplyAssembler::TakePayload(std::string_view tag) {
  if (m_receiving || tag.empty()) return {};
  const std::size_t at = m_receivedData.find(tag);
  if (at == std::string::npos) return {};
  m_receivedData.erase(0, at + tag.size());
  return m_receivedData;
}

std::vector<std::string> SplitFields(std::string_view text, std::string_view separator) {
  std::vector<std::string> fields;
  if (separator.empty()) {
    if (!text.empty()) fields.emplace_back(text);
    return fields;
  }
  for (std::size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator)) {
    fields.emplace_back(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
  if (!text.empty()) fields.emplace_back(text);
  return fields;
}

std::string TrimText(std::string_view text) {
  while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool IsBlankText(std::string_view text) { return TrimText(text).empty(); }

bool IsDottedAddressText(std::string_view server) {
  for (char c : server) {
    if (c != '.' && (c < '0' || c > '9')) return false;
  }
  return true;
}

std::string FrameRequest(std::string_view body) {
  std::string frame(kBegin);
  frame.append(body);
  frame.append(kEnd);
  return frame;
}

std::string RequestBody(std::string_view tag, const std::vector<std::string>& fields) {
  std::string body(tag);
  for (const auto& field : fields) {
    body.append(field);
    body.push_back(';');
  }
  return body;
}

}  // namespace quorlane
