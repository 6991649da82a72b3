// The two servers as Windows services: names, accounts, data folders under
// ProgramData and the default files written there when missing.
#pragma once

#include "windows_service.h"

namespace quorlane::service {

/// QuorlaneServer: quorlane-server as LocalSystem (it may start and stop the
/// services it allows), configuration and data in ProgramData\Quorlane\Server.
ServiceDefinition SiteServerService();

/// QuorlaneUpdateServer: quorlane-update-server as LocalService, mapping file
/// and log in ProgramData\Quorlane\UpdateServer, on every interface's port 9568.
ServiceDefinition UpdateServerService();

}  // namespace quorlane::service
