#include "http_message.h"

namespace quorlane::server::web {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] == '%' && i + 2 < text.size() &&
               HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view PathOf(std::string_view target) { return target.substr(0, target.find('?')); }

std::map<std::string, std::string> ParseForm(std::string_view text) {
  std::map<std::string, std::string> fields;
  while (!text.empty()) {
    const auto amp = text.find('&');
    const std::string_view pair = text.substr(0, amp);
    text.remove_prefix(amp == std::string_view::npos ? text.size() : amp + 1);
    if (pair.empty()) continue;
    const auto eq = pair.find('=');
    fields.emplace(UrlDecode(pair.substr(0, eq)),
                   eq == std::string_view::npos ? std::string() : UrlDecode(pair.substr(eq + 1)));
  }
  return fields;
}

std::map<std::string, std::string> ParseQuery(std::string_view target) {
  const auto mark = target.find('?');
  return mark == std::string_view::npos ? std::map<std::string, std::string>{} : ParseForm(target.substr(mark + 1));
}

std::optional<std::string> CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const auto semicolon = header.find(';');
    const std::string_view pair = Trim(header.substr(0, semicolon));
    header.remove_prefix(semicolon == std::string_view::npos ? header.size() : semicolon + 1);
    const auto eq = pair.find('=');
    if (eq != std::string_view::npos && Trim(pair.substr(0, eq)) == name) return std::string(Trim(pair.substr(eq + 1)));
  }
  return std::nullopt;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    switch (c) {
      case '&': out.append("&amp;"); break;
      case '<': out.append("&lt;"); break;
      case '>': out.append("&gt;"); break;
      case '"': out.append("&quot;"); break;
      case '\'': out.append("&#39;"); break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string HexEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0xF]);
  }
  return out;
}

std::optional<std::string> HexDecode(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
  }
  return out;
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) noexcept {
  // The loop runs over `a` (the secret's length is not a secret); a length
  // mismatch still walks every byte.
  unsigned difference = a.size() == b.size() ? 0u : 1u;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto other = i < b.size() ? static_cast<unsigned char>(b[i]) : static_cast<unsigned char>(0);
    difference |= static_cast<unsigned>(static_cast<unsigned char>(a[i]) ^ other);
  }
  return difference == 0;
}

}  // namespace quorlane::server::web
