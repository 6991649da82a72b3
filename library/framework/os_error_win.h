// Turning a failed Windows call into EOSError (code and system message).
#pragma once

#include <windows.h>

#include <string_view>

#include "framework/errors.h"

namespace quorlane {

[[noreturn]] void RaiseOSError(DWORD errorCode);
/// The same, the message led by what failed ("Unable to write to C:\x.ini: ...").
[[noreturn]] void RaiseOSError(DWORD errorCode, std::string_view what);
/// Raises with GetLastError(); call it on the line right after the failure.
[[noreturn]] void RaiseLastOSError();

}  // namespace quorlane
