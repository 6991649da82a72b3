// Client networks allowed to connect: a list of CIDR blocks (IPv4 and IPv6).
// An IPv4 address seen through an IPv6 socket (::ffff:a.b.c.d) matches the
// IPv4 blocks. Pure logic: addresses are parsed here, not by the platform.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlane::net {

struct IpAddress {
  bool v6 = false;
  std::array<std::uint8_t, 16> bytes{};  ///< IPv4 uses the first 4

  [[nodiscard]] static std::optional<IpAddress> Parse(std::string_view text);
  /// The IPv4 address inside an IPv4-mapped IPv6 address, else itself.
  [[nodiscard]] IpAddress Unmapped() const;
};

struct CidrBlock {
  IpAddress network;
  int prefixLength = 0;

  /// "10.0.0.0/8", "fe80::/10", or a single address ("192.168.1.20").
  [[nodiscard]] static std::optional<CidrBlock> Parse(std::string_view text);
  [[nodiscard]] bool Contains(const IpAddress& address) const;
};

class NetworkFilter {
 public:
  /// Parses a list separated by commas and/or spaces. Returns nothing and
  /// names the bad entry in `error` when an entry is not a block.
  [[nodiscard]] static std::optional<NetworkFilter> Parse(std::string_view list, std::string& error);

  [[nodiscard]] bool Allows(const IpAddress& address) const;
  [[nodiscard]] const std::vector<CidrBlock>& Blocks() const noexcept { return blocks_; }

 private:
  std::vector<CidrBlock> blocks_;
};

}  // namespace quorlane::net
