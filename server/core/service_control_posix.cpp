// systemd: "systemctl start|stop -- UNIT" and "systemctl is-active --quiet --
// UNIT", started directly (no shell) from a fixed path.
#include <unistd.h>

#include "platform/platform.h"
#include "service_control.h"

namespace quorlane::server {

ServiceAnswer ServiceControl::RunNative(ServiceAction action, const std::string& name) const {
  const char* systemctl = ::access("/usr/bin/systemctl", X_OK) == 0 ? "/usr/bin/systemctl" : "/bin/systemctl";
  std::vector<std::string> argv{systemctl};
  switch (action) {
    case ServiceAction::Start: argv.insert(argv.end(), {"start", "--", name}); break;
    case ServiceAction::Stop: argv.insert(argv.end(), {"stop", "--", name}); break;
    case ServiceAction::Status: argv.insert(argv.end(), {"is-active", "--quiet", "--", name}); break;
  }
  std::string error;
  const int status = platform::RunProgram(argv, std::chrono::seconds(config_.serviceTimeoutSeconds), error);
  if (status == 0) return {"Y"};
  if (status == -1) return {"N;systemctl cannot be started"};
  if (status == -2) return {"N;timed out"};
  if (action == ServiceAction::Status) return {"N;not running"};
  return {"N;systemctl failed with status " + std::to_string(status)};
}

}  // namespace quorlane::server
