// The server's settings: defaults, the INI file that overrides them, and the
// command-line overrides. Pure parsing; no file or socket is touched here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/listen_address.h"
#include "net/network_filter.h"

namespace quorlane::server {

/// Who carries out the service commands: the platform's own manager (the
/// Service Control Manager on Windows, systemd on Linux), a program of the
/// administrator's (`service_command ACTION NAME`), or nobody.
enum class ServiceBackend { Scm, Systemd, Command, None };

[[nodiscard]] std::string_view ServiceBackendName(ServiceBackend backend);

struct ServerConfig {
  net::ListenAddress listen{"127.0.0.1", 4000};
  std::string dataFolder = "quorlane-data";
  std::string allowText = "127.0.0.0/8 ::1/128";
  net::NetworkFilter allow;
  std::size_t maxRequestBytes = 1024 * 1024;
  std::size_t maxConnections = 1024;
  unsigned frameTimeoutSeconds = 30;
  std::string auditLog = "audit.log";  ///< relative paths are inside the data folder
  bool logToConsole = true;
  /// Folders below which file requests act (none: every file request is refused).
  std::vector<std::string> fileRoots;
  /// "WINDOWS-PREFIX => FOLDER": how clients' Windows paths reach the server's folders.
  std::vector<std::string> pathMaps;
  /// Services the service commands may act on (none: every one is refused).
  std::vector<std::string> allowedServices;
#ifdef _WIN32
  ServiceBackend serviceBackend = ServiceBackend::Scm;
#else
  ServiceBackend serviceBackend = ServiceBackend::Systemd;
#endif
  std::string serviceCommand;
  unsigned serviceTimeoutSeconds = 10;

  // The web console (pages and /metrics) on a listener of its own.
  /// Nothing: no console (web_listen empty).
  std::optional<net::ListenAddress> webListen = net::ListenAddress{"127.0.0.1", 4080};
  std::string webAllowText = "127.0.0.0/8 ::1/128";  ///< who may connect to it at all
  net::NetworkFilter webAllow;
  std::string metricsAllowText = "127.0.0.0/8 ::1/128";  ///< who may read /metrics (no login)
  net::NetworkFilter metricsAllow;
  /// Host names the pages answer to besides the listener's own address.
  std::vector<std::string> webHosts{"localhost"};
  /// The workstations' ANSI code page, for showing keys, users and computers.
  unsigned webCodePage = 950;
};

/// Defaults with the filter parsed.
[[nodiscard]] ServerConfig DefaultConfig();

/// Applies the INI text (section [server]; "#" and ";" start comment lines;
/// keys are case-insensitive) to `config`. Returns false and fills `error`
/// ("line 3: ...") for an unknown key or a bad value.
[[nodiscard]] bool ApplyIni(std::string_view text, ServerConfig& config, std::string& error);

/// Checks what single settings cannot: the service command's presence, the
/// file roots and mappings for this server's kind of paths.
[[nodiscard]] bool CheckConfig(const ServerConfig& config, std::string& error);

/// Applies one setting by its INI name; used by the INI reader and by tests.
/// file_root, path_map and allow_service add to what earlier lines gave.
[[nodiscard]] bool ApplySetting(std::string_view key, std::string_view value, ServerConfig& config,
                                std::string& error);

}  // namespace quorlane::server
