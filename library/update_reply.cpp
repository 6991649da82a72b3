#include "update_reply.h"

namespace quorlane::update {
namespace {

// 無法連上主機:%s, port %s
constexpr std::string_view kUnreachableFormat = "\xB5\x4C\xAA\x6B\xB3\x73\xA4\x57\xA5\x44\xBE\xF7:%s, port %s";

}  // namespace

std::string RequestLine(std::string_view identifier) {
  std::string line;
  line.reserve(identifier.size() + 6);
  line.append("A1;").append(identifier).append(";\r\n");
  return line;
}

ReplyLineReader::Status ReplyLineReader::Feed(std::string_view bytes) {
  if (m_status != Status::NeedMore) return m_status;
  const std::size_t lineFeed = bytes.find('\n');
  const std::size_t taken = lineFeed == std::string_view::npos ? bytes.size() : lineFeed;
  // Never hold more than the limit, however much one read brought.
  if (m_received.size() + taken > kMaxReplyBytes) return m_status = Status::TooLong;
  m_received.append(bytes.substr(0, taken));
  if (lineFeed != std::string_view::npos) m_status = Status::Line;
  return m_status;
}

std::string ReplyLineReader::Line() const {
  if (m_status != Status::Line) return {};
  std::string_view line = m_received;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return std::string(line);
}

std::string ReplyResult(std::string_view reply) {
  std::string result;
  result.reserve(reply.size() + 8);
  result.append("1,,").append(reply).append("[END]");
  return result;
}

std::string UnreachableMessage(std::string_view host, std::string_view port) {
  std::string message;
  std::string_view format = kUnreachableFormat;
  const std::string_view arguments[] = {host, port};
  for (const std::string_view argument : arguments) {
    const std::size_t at = format.find("%s");
    message.append(format.substr(0, at)).append(argument);
    format.remove_prefix(at + 2);
  }
  message.append(format);
  return message;
}

}  // namespace quorlane::update
