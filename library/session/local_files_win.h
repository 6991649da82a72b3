// The library's local file operations on Windows, shared with the Windows
// build of the site server (which answers file requests "like the library's
// local forms"). Paths are wide: the library converts its ANSI texts with the
// ANSI code page first, which is what the ...A functions do, and finds the
// folder delimiters in the wide text, where no DBCS trail byte looks like "\".
//
// Failures leave the Windows error code of the failing step in GetLastError;
// clean-up after a failure never changes it.
#pragma once

#include "win32/unique_resource.h"

#include <functional>
#include <string>
#include <string_view>

namespace quorlane::localfiles {

[[nodiscard]] std::wstring WideFromAnsi(std::string_view text);

/// "Y;" when the file does not exist (a folder is not a file) or was
/// deleted; otherwise "N;" + the Windows error code of the failed delete.
[[nodiscard]] std::string DeleteLocalFile(const std::wstring& path);

/// Extra check of every handle the copy opens (the source, the new file),
/// for callers that must stay inside given folders; false refuses the copy
/// with ERROR_ACCESS_DENIED.
using HandleCheck = std::function<bool(HANDLE)>;

/// Copies `source` over `target`: creates the target's last folder level
/// when missing, clears the attributes of an existing target (so a read-only
/// one is replaced), opens the source without sharing, writes a temporary
/// file beside the target, gives it the source's modification time and only
/// then replaces the target with it. On failure the old target is as it was
/// (attributes included) and no temporary file remains.
[[nodiscard]] bool CopyFileContents(const std::wstring& source, const std::wstring& target,
                                    const HandleCheck& check = {});

/// The whole file; false when it is missing or cannot be read.
[[nodiscard]] bool ReadWholeFile(const std::wstring& path, std::string& bytes);

/// Writes `bytes` to a temporary file beside `path`, flushes it and replaces
/// `path` with it in one step, so a crash leaves the old file or the new one.
[[nodiscard]] bool ReplaceFileContents(const std::wstring& path, std::string_view bytes);

}  // namespace quorlane::localfiles
