// Running a server of ours as a Windows service: "PROGRAM service install",
// "uninstall" and "run" (the command line the Service Control Manager starts).
// Shared by quorlane-server and quorlane-update-server; Windows only.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quorlane::service {

/// A file the service needs in its data folder, written only when missing.
struct DefaultFile {
  std::string name;
  std::string text;
};

struct ServiceDefinition {
  std::wstring name;         // the service's key name, e.g. L"QuorlaneServer"
  std::wstring displayName;  // shown in the Services console
  std::wstring description;
  std::wstring account;      // empty: LocalSystem
  std::string dataFolder;    // below ProgramData, e.g. "Quorlane\\Server"
  std::vector<DefaultFile> defaultFiles;
  /// The program's own options the service runs with, given the data
  /// folder's full path (ending in a backslash); options given to "service
  /// install" follow them and so override them.
  std::function<std::vector<std::string>(const std::string& dataFolder)> defaultOptions;
};

/// Handles `args` = {"service", "install"|"uninstall"|"run", options...}.
/// "run" calls `run` with the options (the program's usual ones) under the
/// Service Control Manager and `requestStop` when the manager asks the
/// service to stop; `run` must then return soon. Returns the exit status.
int ServiceCommand(const ServiceDefinition& definition, const std::vector<std::string>& args,
                   const std::function<int(const std::vector<std::string>& options)>& run,
                   const std::function<void()>& requestStop);

/// ProgramData's full path + `subfolder` + "\", created when missing.
std::string DataFolder(const std::string& subfolder);

}  // namespace quorlane::service
