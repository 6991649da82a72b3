#include "framework/os_error_win.h"

#include <string>

namespace quorlane {

namespace {
std::string SystemMessage(DWORD errorCode) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      errorCode, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message;
  if (length != 0 && text != nullptr) {
    message.assign(text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
  }
  if (message.empty()) message = "System error " + std::to_string(errorCode);
  return message;
}
}  // namespace

void RaiseOSError(DWORD errorCode) { throw EOSError(errorCode, SystemMessage(errorCode)); }

void RaiseOSError(DWORD errorCode, std::string_view what) {
  throw EOSError(errorCode, std::string(what) + ": " + SystemMessage(errorCode));
}

void RaiseLastOSError() {
  const DWORD errorCode = GetLastError();
  RaiseOSError(errorCode);
}

}  // namespace quorlane
