#include "service_control.h"

#include <algorithm>

#include "platform/platform.h"

namespace quorlane::server {

ServiceAnswer ServiceControl::Run(ServiceAction action, const std::string& name) const {
  if (!IsSafeServiceName(name)) return {"N;not a plain service name", true};
  if (std::find(config_.allowedServices.begin(), config_.allowedServices.end(), name) == config_.allowedServices.end()) {
    return {"N;service not allowed", true};
  }
  switch (config_.serviceBackend) {
    case ServiceBackend::None: return {"N;service control is off", true};
    case ServiceBackend::Command: return RunCommand(action, name);
    case ServiceBackend::Scm:
    case ServiceBackend::Systemd: return RunNative(action, name);
  }
  return {"N;service control is off", true};
}

ServiceAnswer ServiceControl::RunCommand(ServiceAction action, const std::string& name) const {
  std::string error;
  const int status = platform::RunProgram({config_.serviceCommand, std::string(ServiceActionWord(action)), name},
                                std::chrono::seconds(config_.serviceTimeoutSeconds), error);
  if (status == 0) return {"Y"};
  if (status == -1) return {"N;the service command cannot be started"};
  if (status == -2) return {"N;timed out"};
  if (action == ServiceAction::Status) return {"N;not running"};
  return {"N;failed with status " + std::to_string(status)};
}

}  // namespace quorlane::server
