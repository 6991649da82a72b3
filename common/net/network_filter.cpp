#include "net/network_filter.h"

#include <charconv>

namespace quorlane::net {
namespace {

std::optional<int> ParseNumber(std::string_view text, int base, int max) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > max) return std::nullopt;
  return value;
}

bool ParseV4(std::string_view text, std::uint8_t* out) {
  for (int i = 0; i < 4; ++i) {
    const auto dot = text.find('.');
    const std::string_view part = i < 3 ? text.substr(0, dot) : text;
    if ((i < 3 && dot == std::string_view::npos) || part.empty() || part.size() > 3) return false;
    for (const char c : part) {
      if (c < '0' || c > '9') return false;
    }
    const auto value = ParseNumber(part, 10, 255);
    if (!value) return false;
    out[i] = static_cast<std::uint8_t>(*value);
    if (i < 3) text.remove_prefix(dot + 1);
  }
  return true;
}

bool ParseGroups(std::string_view text, std::vector<std::uint16_t>& groups, bool allowV4Tail) {
  if (text.empty()) return true;
  while (true) {
    const auto colon = text.find(':');
    const std::string_view part = text.substr(0, colon);
    if (colon == std::string_view::npos && allowV4Tail && part.find('.') != std::string_view::npos) {
      std::uint8_t v4[4];
      if (!ParseV4(part, v4)) return false;
      groups.push_back(static_cast<std::uint16_t>(v4[0] << 8 | v4[1]));
      groups.push_back(static_cast<std::uint16_t>(v4[2] << 8 | v4[3]));
      return true;
    }
    for (const char c : part) {
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    }
    const auto value = ParseNumber(part, 16, 0xFFFF);
    if (!value) return false;
    groups.push_back(static_cast<std::uint16_t>(*value));
    if (colon == std::string_view::npos) return true;
    text.remove_prefix(colon + 1);
  }
}

bool ParseV6(std::string_view text, std::uint8_t* out) {
  std::vector<std::uint16_t> head, tail;
  const auto gap = text.find("::");
  if (gap == std::string_view::npos) {
    if (!ParseGroups(text, head, true) || head.size() != 8) return false;
  } else {
    if (text.find("::", gap + 1) != std::string_view::npos) return false;
    if (!ParseGroups(text.substr(0, gap), head, false) || !ParseGroups(text.substr(gap + 2), tail, true)) {
      return false;
    }
    if (head.size() + tail.size() > 7) return false;
    head.resize(8 - tail.size(), 0);
    head.insert(head.end(), tail.begin(), tail.end());
  }
  for (int i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(head[i] >> 8);
    out[2 * i + 1] = static_cast<std::uint8_t>(head[i] & 0xFF);
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<IpAddress> IpAddress::Parse(std::string_view text) {
  IpAddress address;
  if (text.find(':') != std::string_view::npos) {
    // Zone indexes ("fe80::1%eth0") name an interface, not part of the address.
    text = text.substr(0, text.find('%'));
    address.v6 = true;
    if (!ParseV6(text, address.bytes.data())) return std::nullopt;
  } else if (!ParseV4(text, address.bytes.data())) {
    return std::nullopt;
  }
  return address;
}

IpAddress IpAddress::Unmapped() const {
  if (!v6) return *this;
  for (int i = 0; i < 10; ++i) {
    if (bytes[i] != 0) return *this;
  }
  if (bytes[10] != 0xFF || bytes[11] != 0xFF) return *this;
  IpAddress v4;
  for (int i = 0; i < 4; ++i) v4.bytes[i] = bytes[12 + i];
  return v4;
}

std::optional<CidrBlock> CidrBlock::Parse(std::string_view text) {
  text = Trim(text);
  const auto slash = text.find('/');
  auto address = IpAddress::Parse(text.substr(0, slash));
  if (!address) return std::nullopt;
  const int maxPrefix = address->v6 ? 128 : 32;
  int prefix = maxPrefix;
  if (slash != std::string_view::npos) {
    const std::string_view digits = text.substr(slash + 1);
    for (const char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
    }
    const auto value = ParseNumber(digits, 10, maxPrefix);
    if (!value) return std::nullopt;
    prefix = *value;
  }
  CidrBlock block{address->Unmapped(), prefix};
  if (address->v6 && !block.network.v6) block.prefixLength = prefix >= 96 ? prefix - 96 : 0;
  return block;
}

bool CidrBlock::Contains(const IpAddress& candidate) const {
  const IpAddress address = candidate.Unmapped();
  if (address.v6 != network.v6) return false;
  int bits = prefixLength;
  for (std::size_t i = 0; bits > 0; ++i, bits -= 8) {
    const std::uint8_t mask = bits >= 8 ? 0xFF : static_cast<std::uint8_t>(0xFF << (8 - bits));
    if ((address.bytes[i] & mask) != (network.bytes[i] & mask)) return false;
  }
  return true;
}

std::optional<NetworkFilter> NetworkFilter::Parse(std::string_view list, std::string& error) {
  NetworkFilter filter;
  std::size_t at = 0;
  while (at <= list.size()) {
    const auto next = list.find_first_of(", \t", at);
    const std::string_view entry = list.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);
    if (!entry.empty()) {
      auto block = CidrBlock::Parse(entry);
      if (!block) {
        error = "not a network: \"" + std::string(entry) + "\"";
        return std::nullopt;
      }
      filter.blocks_.push_back(*block);
    }
    if (next == std::string_view::npos) break;
    at = next + 1;
  }
  return filter;
}

bool NetworkFilter::Allows(const IpAddress& address) const {
  for (const auto& block : blocks_) {
    if (block.Contains(address)) return true;
  }
  return false;
}

}  // namespace quorlane::net
