// Addresses as the servers and their admin commands write them: a numeric
// address and a port ("127.0.0.1:4000", "[::]:4000"), or for a client a
// host name and a port. Platform-free.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlane::net {

struct ListenAddress {
  std::string host;  ///< numeric IPv4 or IPv6 address, without brackets
  std::uint16_t port = 0;

  /// "127.0.0.1:4000", "0.0.0.0:0", "[::]:4000".
  [[nodiscard]] static std::optional<ListenAddress> Parse(std::string_view text);
  [[nodiscard]] std::string ToString() const;
};

/// "host:port" or "[v6]:port" into its parts (the port 1 to 65535).
[[nodiscard]] bool SplitHostPort(std::string_view text, std::string& host, std::uint16_t& port);

}  // namespace quorlane::net
