// The service commands: only services the configuration allows by name, and
// only names that can never be read as an option (service_rules.h). The
// answer is exactly "Y" for success or a running service, and "N;" + a reason
// of ours for every refusal and failure.
//
// Backends: the platform's own (systemd through /usr/bin/systemctl, started
// directly with "--" before the unit name; the Service Control Manager on
// Windows), or `service_command ACTION NAME` (ACTION start, stop or status;
// exit status 0 means done or running), also started directly.
#pragma once

#include <string>

#include "server_config.h"
#include "service_rules.h"

namespace quorlane::server {

struct ServiceAnswer {
  std::string payload;  ///< "Y" or "N;reason"
  bool refused = false; ///< not allowed (as opposed to tried and failed)
};

class ServiceControl {
 public:
  explicit ServiceControl(const ServerConfig& config) : config_(config) {}
  [[nodiscard]] ServiceAnswer Run(ServiceAction action, const std::string& name) const;

 private:
  [[nodiscard]] ServiceAnswer RunCommand(ServiceAction action, const std::string& name) const;
  /// The platform's own manager (service_control_posix.cpp / _win32.cpp).
  [[nodiscard]] ServiceAnswer RunNative(ServiceAction action, const std::string& name) const;

  const ServerConfig& config_;
};

}  // namespace quorlane::server
