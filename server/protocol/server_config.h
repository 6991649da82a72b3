// The server's settings: defaults, the INI file that overrides them, and the
// command-line overrides. Pure parsing; no file or socket is touched here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "network_filter.h"

namespace quorlane::server {

struct ListenAddress {
  std::string host;  ///< numeric IPv4 or IPv6 address, without brackets
  std::uint16_t port = 0;

  /// "127.0.0.1:4000", "0.0.0.0:0", "[::]:4000".
  [[nodiscard]] static std::optional<ListenAddress> Parse(std::string_view text);
  [[nodiscard]] std::string ToString() const;
};

struct ServerConfig {
  ListenAddress listen{"127.0.0.1", 4000};
  std::string dataFolder = "quorlane-data";
  std::string allowText = "127.0.0.0/8 ::1/128";
  NetworkFilter allow;
  std::size_t maxRequestBytes = 1024 * 1024;
  std::size_t maxConnections = 1024;
  unsigned frameTimeoutSeconds = 30;
  std::string auditLog = "audit.log";  ///< relative paths are inside the data folder
  bool logToConsole = true;
};

/// Defaults with the filter parsed.
[[nodiscard]] ServerConfig DefaultConfig();

/// Applies the INI text (section [server]; "#" and ";" start comment lines;
/// keys are case-insensitive) to `config`. Returns false and fills `error`
/// ("line 3: ...") for an unknown key or a bad value.
[[nodiscard]] bool ApplyIni(std::string_view text, ServerConfig& config, std::string& error);

/// Applies one setting by its INI name; used by the INI reader and by tests.
[[nodiscard]] bool ApplySetting(std::string_view key, std::string_view value, ServerConfig& config,
                                std::string& error);

}  // namespace quorlane::server
