// The Service Control Manager: start and stop wait (within the service
// timeout) until the service runs or has stopped.
#include <windows.h>

#include <chrono>
#include <thread>

#include "service_control.h"

namespace quorlane::server {
namespace {

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_) ::CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  [[nodiscard]] SC_HANDLE Get() const { return handle_; }
  [[nodiscard]] explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

ServiceAnswer ServiceControl::RunNative(ServiceAction action, const std::string& name) const {
  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return {"N;cannot open the service manager (Windows error " + std::to_string(::GetLastError()) + ")"};
  ServiceHandle service(
      ::OpenServiceW(manager.Get(), Wide(name).c_str(), SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return {"N;no such service"};
    return {"N;cannot open the service (Windows error " + std::to_string(error) + ")"};
  }
  SERVICE_STATUS status{};
  DWORD wanted = SERVICE_RUNNING;
  if (action == ServiceAction::Start) {
    if (!::StartServiceW(service.Get(), 0, nullptr) && ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
      return {"N;cannot start (Windows error " + std::to_string(::GetLastError()) + ")"};
    }
  } else if (action == ServiceAction::Stop) {
    wanted = SERVICE_STOPPED;
    if (!::ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) && ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
      return {"N;cannot stop (Windows error " + std::to_string(::GetLastError()) + ")"};
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(config_.serviceTimeoutSeconds);
  for (;;) {
    if (!::QueryServiceStatus(service.Get(), &status)) {
      return {"N;cannot query (Windows error " + std::to_string(::GetLastError()) + ")"};
    }
    if (status.dwCurrentState == wanted) return {"Y"};
    if (action == ServiceAction::Status) return {"N;not running"};
    if (std::chrono::steady_clock::now() >= deadline) return {"N;timed out"};
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace quorlane::server
