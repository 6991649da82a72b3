#include "net/listen_address.h"

#include <cctype>
#include <charconv>

#include "net/network_filter.h"

namespace quorlane::net {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<ListenAddress> ListenAddress::Parse(std::string_view text) {
  text = Trim(text);
  ListenAddress address;
  std::string_view portText;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find("]:");
    if (close == std::string_view::npos) return std::nullopt;
    address.host = std::string(text.substr(1, close - 1));
    portText = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || text.find(':') != colon) return std::nullopt;
    address.host = std::string(text.substr(0, colon));
    portText = text.substr(colon + 1);
  }
  if (!IpAddress::Parse(address.host)) return std::nullopt;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
  if (ec != std::errc() || end != portText.data() + portText.size() || value > 65535) return std::nullopt;
  address.port = static_cast<std::uint16_t>(value);
  return address;
}

std::string ListenAddress::ToString() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
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

}  // namespace quorlane::net
