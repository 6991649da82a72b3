#include "update_map.h"

#include "request_line.h"

namespace quorlane::updater {
namespace {

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) noexcept {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      const int high = HexDigit(text[i + 2]);
      const int low = HexDigit(text[i + 3]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// Bytes a request or reply line cannot carry.
bool HoldsLineBreakOrNul(std::string_view text) noexcept {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<UpdateMap> UpdateMap::Parse(std::string_view text, std::string& error) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
  UpdateMap map;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const auto fail = [&](const std::string& what) {
      error = "line " + std::to_string(number) + ": " + what;
      return std::nullopt;
    };
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return fail("no \"=\" between identifier and address");
    std::string identifier = Unescape(Trim(line.substr(0, equals)));
    std::string address = Unescape(Trim(line.substr(equals + 1)));
    if (identifier.empty()) return fail("empty identifier");
    if (HoldsLineBreakOrNul(identifier) || HoldsLineBreakOrNul(address)) {
      return fail("CR, LF or NUL in an identifier or address");
    }
    if (identifier.size() > kMaxIdentifierBytes) {
      return fail("identifier longer than " + std::to_string(kMaxIdentifierBytes) + " bytes");
    }
    if (address.size() > kMaxAddressBytes) {
      return fail("address longer than " + std::to_string(kMaxAddressBytes) + " bytes");
    }
    if (!map.m_entries.emplace(std::move(identifier), std::move(address)).second) {
      return fail("identifier listed twice");
    }
  }
  return map;
}

const std::string* UpdateMap::Find(std::string_view identifier) const {
  const auto it = m_entries.find(std::string(identifier));
  return it == m_entries.end() ? nullptr : &it->second;
}

}  // namespace quorlane::updater
