#include "server_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "client_path.h"
#include "service_rules.h"

namespace quorlane::server {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

template <typename T>
bool ParseUnsigned(std::string_view text, T min, T max, T& out) {
  unsigned long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) return false;
  out = static_cast<T>(value);
  return true;
}

bool ParseBool(std::string_view text, bool& out) {
  const std::string v = Lower(text);
  if (v == "yes" || v == "true" || v == "on" || v == "1") return out = true, true;
  if (v == "no" || v == "false" || v == "off" || v == "0") return out = false, true;
  return false;
}

}  // namespace

std::string_view ServiceBackendName(ServiceBackend backend) {
  switch (backend) {
    case ServiceBackend::Scm: return "scm";
    case ServiceBackend::Systemd: return "systemd";
    case ServiceBackend::Command: return "command";
    case ServiceBackend::None: return "none";
  }
  return "?";
}

ServerConfig DefaultConfig() {
  ServerConfig config;
  std::string error;
  config.allow = *net::NetworkFilter::Parse(config.allowText, error);
  config.webAllow = *net::NetworkFilter::Parse(config.webAllowText, error);
  config.metricsAllow = *net::NetworkFilter::Parse(config.metricsAllowText, error);
  return config;
}

bool ApplySetting(std::string_view rawKey, std::string_view rawValue, ServerConfig& config, std::string& error) {
  const std::string key = Lower(Trim(rawKey));
  const std::string_view value = Trim(rawValue);
  if (key == "listen") {
    auto address = net::ListenAddress::Parse(value);
    if (!address) return error = "listen: expected ADDRESS:PORT with a numeric address", false;
    config.listen = *address;
  } else if (key == "data") {
    if (value.empty()) return error = "data: the data folder must not be empty", false;
    config.dataFolder = std::string(value);
  } else if (key == "allow") {
    auto filter = net::NetworkFilter::Parse(value, error);
    if (!filter) return error = "allow: " + error, false;
    config.allow = std::move(*filter);
    config.allowText = std::string(value);
  } else if (key == "max_request_bytes") {
    if (!ParseUnsigned<std::size_t>(value, 64, std::size_t{64} * 1024 * 1024, config.maxRequestBytes)) {
      return error = "max_request_bytes: expected a number from 64 to 67108864", false;
    }
  } else if (key == "max_connections") {
    if (!ParseUnsigned<std::size_t>(value, 1, 1000000, config.maxConnections)) {
      return error = "max_connections: expected a number from 1 to 1000000", false;
    }
  } else if (key == "frame_timeout_seconds") {
    if (!ParseUnsigned<unsigned>(value, 1, 3600, config.frameTimeoutSeconds)) {
      return error = "frame_timeout_seconds: expected a number from 1 to 3600", false;
    }
  } else if (key == "audit_log") {
    config.auditLog = std::string(value);
  } else if (key == "log_to_console") {
    if (!ParseBool(value, config.logToConsole)) return error = "log_to_console: expected yes or no", false;
  } else if (key == "file_root") {
    if (value.empty()) return error = "file_root: expected a folder", false;
    config.fileRoots.emplace_back(value);
    if (!FileAccessRules::Build(config.fileRoots, {}, kServerUsesWindowsPaths, error)) {
      config.fileRoots.pop_back();
      return false;
    }
  } else if (key == "path_map") {
    config.pathMaps.emplace_back(value);
    if (!FileAccessRules::Build({}, config.pathMaps, kServerUsesWindowsPaths, error)) {
      config.pathMaps.pop_back();
      return false;
    }
  } else if (key == "allow_service") {
    std::string_view rest = value;
    while (!rest.empty()) {
      const auto comma = rest.find(',');
      const std::string_view name = Trim(rest.substr(0, comma));
      rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
      if (name.empty()) continue;
      if (!IsSafeServiceName(name)) {
        return error = "allow_service: \"" + std::string(name) +
                       "\" is not a plain service name (letters, digits, _ . @ : -)", false;
      }
      config.allowedServices.emplace_back(name);
    }
  } else if (key == "service_backend") {
    const std::string v = Lower(value);
    if (v == "command") {
      config.serviceBackend = ServiceBackend::Command;
    } else if (v == "none") {
      config.serviceBackend = ServiceBackend::None;
    } else if (v == "scm" && kServerUsesWindowsPaths) {
      config.serviceBackend = ServiceBackend::Scm;
    } else if (v == "systemd" && !kServerUsesWindowsPaths) {
      config.serviceBackend = ServiceBackend::Systemd;
    } else {
      return error = kServerUsesWindowsPaths ? "service_backend: expected scm, command or none"
                                             : "service_backend: expected systemd, command or none", false;
    }
  } else if (key == "service_command") {
    config.serviceCommand = std::string(value);
  } else if (key == "service_timeout_seconds") {
    if (!ParseUnsigned<unsigned>(value, 1, 11, config.serviceTimeoutSeconds)) {
      return error = "service_timeout_seconds: expected a number from 1 to 11 (clients wait 12 s)", false;
    }
  } else if (key == "web_listen") {
    if (value.empty()) {
      config.webListen.reset();
    } else {
      auto address = net::ListenAddress::Parse(value);
      if (!address) return error = "web_listen: expected ADDRESS:PORT with a numeric address, or nothing", false;
      config.webListen = *address;
    }
  } else if (key == "web_allow" || key == "metrics_allow") {
    auto filter = net::NetworkFilter::Parse(value, error);
    if (!filter) return error = key + ": " + error, false;
    (key == "web_allow" ? config.webAllow : config.metricsAllow) = std::move(*filter);
    (key == "web_allow" ? config.webAllowText : config.metricsAllowText) = std::string(value);
  } else if (key == "web_hosts") {
    config.webHosts.clear();
    std::string_view rest = value;
    while (!rest.empty()) {
      const auto separator = rest.find_first_of(", ");
      const std::string_view name = Trim(rest.substr(0, separator));
      rest.remove_prefix(separator == std::string_view::npos ? rest.size() : separator + 1);
      if (name.empty()) continue;
      if (name.find_first_of(":/[]@") != std::string_view::npos) {
        return error = "web_hosts: \"" + std::string(name) + "\" is not a host name (no port, no path)", false;
      }
      config.webHosts.push_back(Lower(name));
    }
  } else if (key == "web_code_page") {
    if (value != "950" && value != "936" && value != "1252") {
      return error = "web_code_page: expected 950 (Big5), 936 (GBK) or 1252", false;
    }
    config.webCodePage = static_cast<unsigned>(std::stoul(std::string(value)));
  } else {
    return error = "unknown setting \"" + std::string(Trim(rawKey)) + "\"", false;
  }
  return true;
}

bool CheckConfig(const ServerConfig& config, std::string& error) {
  if (config.serviceBackend == ServiceBackend::Command && config.serviceCommand.empty()) {
    return error = "service_backend = command needs service_command = PROGRAM", false;
  }
  if (!config.serviceCommand.empty() && !(config.serviceCommand.front() == '/' ||
                                          (config.serviceCommand.size() > 2 && config.serviceCommand[1] == ':'))) {
    return error = "service_command: give the program's absolute path", false;
  }
  return FileAccessRules::Build(config.fileRoots, config.pathMaps, kServerUsesWindowsPaths, error).has_value();
}

bool ApplyIni(std::string_view text, ServerConfig& config, std::string& error) {
  std::string section;
  int lineNumber = 0;
  while (!text.empty()) {
    const auto eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    ++lineNumber;
    line = Trim(line);
    if (lineNumber == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line = Trim(line.substr(3));
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    if (line.front() == '[') {
      if (line.back() != ']') return error = where + "unterminated section name", false;
      section = Lower(Trim(line.substr(1, line.size() - 2)));
      if (section != "server") return error = where + "unknown section [" + section + "]", false;
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return error = where + "expected key = value", false;
    if (section != "server") return error = where + "setting outside the [server] section", false;
    std::string detail;
    if (!ApplySetting(line.substr(0, eq), line.substr(eq + 1), config, detail)) return error = where + detail, false;
  }
  return true;
}

}  // namespace quorlane::server
