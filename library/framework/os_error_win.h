// Turning a failed Windows call into EOSError (code and system message).
#pragma once

#include <windows.h>

#include "framework/errors.h"

namespace quorlane {

[[noreturn]] void RaiseOSError(DWORD errorCode);
/// Raises with GetLastError(); call it on the line right after the failure.
[[noreturn]] void RaiseLastOSError();

}  // namespace quorlane
