#include "request_line.h"

namespace quorlane::updater {

RequestLineReader::Status RequestLineReader::Feed(std::string_view bytes) {
  if (m_status != Status::NeedMore) return m_status;
  const std::size_t lineFeed = bytes.find('\n');
  const std::size_t taken = lineFeed == std::string_view::npos ? bytes.size() : lineFeed;
  if (m_line.size() + taken > m_maxBytes) {
    m_line.clear();
    return m_status = Status::TooLong;
  }
  m_line.append(bytes.substr(0, taken));
  if (lineFeed != std::string_view::npos) m_status = Status::Line;
  return m_status;
}

std::string_view RequestLineReader::Line() const noexcept {
  if (m_status != Status::Line) return {};
  std::string_view line = m_line;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

Request ClassifyLine(std::string_view line) noexcept {
  constexpr std::string_view kPrefix = "A1;";
  // "A1;" + identifier + ";": the identifier is everything between, so an
  // identifier that holds ";" arrives whole. "A1;" alone is no look-up.
  if (line.size() > kPrefix.size() && line.substr(0, kPrefix.size()) == kPrefix && line.back() == ';') {
    return {Request::Kind::Lookup, line.substr(kPrefix.size(), line.size() - kPrefix.size() - 1)};
  }
  if (line == kReloadLine) return {Request::Kind::Reload, {}};
  return {};
}

}  // namespace quorlane::updater
