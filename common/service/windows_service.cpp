// Windows service entry points of the servers (see windows_service.h).
#include "service/windows_service.h"

#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <exception>

namespace quorlane::service {
namespace {

// Handles of the Service Control Manager; the empty value is null.
struct ServiceHandle {
  SC_HANDLE handle = nullptr;
  explicit ServiceHandle(SC_HANDLE h) : handle(h) {}
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() {
    if (handle) ::CloseServiceHandle(handle);
  }
  explicit operator bool() const { return handle != nullptr; }
};

std::wstring Widen(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int n =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

int Fail(const char* what) {
  const DWORD error = ::GetLastError();
  std::fprintf(stderr, "service: %s failed (error %lu)\n", what, static_cast<unsigned long>(error));
  return 1;
}

// One argument as CommandLineToArgvW reads it back: quotes where needed,
// backslashes doubled only before a quote.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// Writes each default file that does not exist yet; an existing one, edited
// or not, is never touched.
bool WriteDefaults(const ServiceDefinition& definition, const std::string& folder) {
  for (const DefaultFile& file : definition.defaultFiles) {
    const std::string path = folder + file.name;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      std::fprintf(stderr, "service: cannot create %s (error %lu)\n", path.c_str(), ::GetLastError());
      return false;
    }
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, file.text.data(), static_cast<DWORD>(file.text.size()), &written, nullptr) &&
                    ::FlushFileBuffers(h);
    ::CloseHandle(h);
    if (!ok || written != file.text.size()) {
      ::DeleteFileA(path.c_str());
      std::fprintf(stderr, "service: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

// A service that runs under an account of its own may change its data folder.
bool GrantFolder(const std::string& folder, const std::wstring& account) {
  if (account.empty()) return true;
  PACL oldAcl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldAcl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  access.Trustee.TrusteeType = TRUSTEE_IS_USER;
  std::wstring name = account;
  access.Trustee.ptstrName = name.data();
  PACL newAcl = nullptr;
  DWORD result = ::SetEntriesInAclW(1, &access, oldAcl, &newAcl);
  if (result == ERROR_SUCCESS) {
    std::string path = folder;
    result = ::SetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                     newAcl, nullptr);
    ::LocalFree(newAcl);
  }
  ::LocalFree(descriptor);
  return result == ERROR_SUCCESS;
}

int Install(const ServiceDefinition& definition, const std::vector<std::string>& extraOptions) {
  const std::string folder = DataFolder(definition.dataFolder);
  if (folder.empty()) return Fail("creating the data folder");
  if (!WriteDefaults(definition, folder)) return 1;
  if (!GrantFolder(folder, definition.account)) {
    std::fprintf(stderr, "service: note: could not grant %s access to %s\n", Narrow(definition.account).c_str(),
                 folder.c_str());
  }
  std::wstring command = Quoted(OwnPath()) + L" service run";
  std::vector<std::string> options = definition.defaultOptions(folder);
  options.insert(options.end(), extraOptions.begin(), extraOptions.end());
  for (const std::string& option : options) command += L" " + Quoted(Widen(option));

  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT));
  if (!manager) return Fail("opening the Service Control Manager (run as an administrator)");
  const wchar_t* account = definition.account.empty() ? nullptr : definition.account.c_str();
  ServiceHandle service(::CreateServiceW(manager.handle, definition.name.c_str(), definition.displayName.c_str(),
                                         SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                         SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, account,
                                         nullptr));
  if (!service && ::GetLastError() == ERROR_SERVICE_EXISTS) {
    // Installing again (an update) keeps the service and points it here.
    service.handle = ::OpenServiceW(manager.handle, definition.name.c_str(), SERVICE_ALL_ACCESS);
    if (!service || !::ChangeServiceConfigW(service.handle, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                            SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, account,
                                            nullptr, definition.displayName.c_str())) {
      return Fail("updating the service");
    }
  }
  if (!service) return Fail("creating the service");

  std::wstring description = definition.description;
  SERVICE_DESCRIPTIONW text{description.data()};
  ::ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_DESCRIPTION, &text);
  // Recovery: restart after a crash or an exit with an error, 5 s, 10 s,
  // then 60 s after each further failure; the count starts again after a day.
  SC_ACTION actions[3] = {{SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 10000}, {SC_ACTION_RESTART, 60000}};
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = 24 * 60 * 60;
  failure.cActions = 3;
  failure.lpsaActions = actions;
  if (!::ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) {
    return Fail("setting the recovery actions");
  }
  SERVICE_FAILURE_ACTIONS_FLAG onErrorExit{TRUE};
  ::ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onErrorExit);
  std::printf("installed service %s (data in %s)\n", Narrow(definition.name).c_str(), folder.c_str());
  return 0;
}

int Uninstall(const ServiceDefinition& definition) {
  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return Fail("opening the Service Control Manager (run as an administrator)");
  ServiceHandle service(
      ::OpenServiceW(manager.handle, definition.name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) {
    if (::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return Fail("opening the service");
    std::printf("service %s is not installed\n", Narrow(definition.name).c_str());
    return 0;
  }
  SERVICE_STATUS status{};
  if (::ControlService(service.handle, SERVICE_CONTROL_STOP, &status)) {
    for (int i = 0; i < 300 && status.dwCurrentState != SERVICE_STOPPED; ++i) {
      ::Sleep(100);
      if (!::QueryServiceStatus(service.handle, &status)) break;
    }
  }
  if (!::DeleteService(service.handle) && ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
    return Fail("deleting the service");
  }
  std::printf("removed service %s; its data stays in %s\n", Narrow(definition.name).c_str(),
              DataFolder(definition.dataFolder).c_str());
  return 0;
}

// What ServiceMain needs: the dispatcher takes a plain function.
struct Running {
  const ServiceDefinition* definition = nullptr;
  const std::function<int(const std::vector<std::string>&)>* run = nullptr;
  const std::function<void()>* requestStop = nullptr;
  std::vector<std::string> options;
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  std::atomic<DWORD> checkPoint{0};
};
Running gRunning;

void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHint = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  if (exitCode != NO_ERROR) {
    status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
  }
  status.dwCheckPoint = (state == SERVICE_RUNNING || state == SERVICE_STOPPED) ? 0 : ++gRunning.checkPoint;
  status.dwWaitHint = waitHint;
  ::SetServiceStatus(gRunning.statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, NO_ERROR, 10000);
      try {
        (*gRunning.requestStop)();
      } catch (...) {
      }
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  gRunning.statusHandle =
      ::RegisterServiceCtrlHandlerExW(gRunning.definition->name.c_str(), ControlHandler, nullptr);
  if (!gRunning.statusHandle) return;
  Report(SERVICE_START_PENDING, NO_ERROR, 10000);
  int exitCode = 1;
  try {
    // Relative paths of the configuration resolve in the data folder, not
    // in the system folder services start in.
    const std::string folder = DataFolder(gRunning.definition->dataFolder);
    if (!folder.empty() && WriteDefaults(*gRunning.definition, folder)) {
      ::SetCurrentDirectoryA(folder.c_str());
      Report(SERVICE_RUNNING);
      exitCode = (*gRunning.run)(gRunning.options);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "service: %s\n", e.what());
  } catch (...) {
  }
  // A non-zero status counts as a failure: the recovery actions restart it.
  Report(SERVICE_STOPPED, static_cast<DWORD>(exitCode));
}

}  // namespace

std::string DataFolder(const std::string& subfolder) {
  char base[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base))) {
    return {};
  }
  std::string path = base;
  std::size_t start = 0;
  while (start <= subfolder.size()) {
    const std::size_t end = std::min(subfolder.find('\\', start), subfolder.size());
    path += "\\" + subfolder.substr(start, end - start);
    if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    start = end + 1;
  }
  return path + "\\";
}

int ServiceCommand(const ServiceDefinition& definition, const std::vector<std::string>& args,
                   const std::function<int(const std::vector<std::string>& options)>& run,
                   const std::function<void()>& requestStop) {
  const std::string action = args.size() >= 2 ? args[1] : std::string();
  const std::vector<std::string> options(args.begin() + std::min<std::size_t>(args.size(), 2), args.end());
  if (action == "install") return Install(definition, options);
  if (action == "uninstall") return Uninstall(definition);
  if (action != "run") {
    std::fprintf(stderr, "usage: service install [OPTION...] | service uninstall | service run [OPTION...]\n");
    return 2;
  }
  gRunning.definition = &definition;
  gRunning.run = &run;
  gRunning.requestStop = &requestStop;
  gRunning.options = options;
  std::wstring name = definition.name;
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) {
    if (::GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      std::fprintf(stderr,
                   "service run: only the Service Control Manager starts this; to run in a console, leave out "
                   "\"service run\"\n");
      return 2;
    }
    return Fail("starting the service dispatcher");
  }
  return 0;
}

}  // namespace quorlane::service
