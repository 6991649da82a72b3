// The library's local file operations on Windows, shared with the Windows
// build of the site server (which answers file requests "like the library's
// local forms"). Paths are wide: the library converts its ANSI texts with the
// ANSI code page first, which is what the ...A functions do, and finds the
// folder delimiters in the wide text, where no DBCS trail byte looks like "\".
//
// Failures leave the Windows error code of the failing step in GetLastError;
// clean-up after a failure never changes it.
#pragma once

#include "localfiles/held_path_win.h"
#include "win32/unique_resource.h"

#include <string>
#include <string_view>

namespace quorlane::localfiles {

[[nodiscard]] std::wstring WideFromAnsi(std::string_view text);

/// "Y;" when the file does not exist (a folder is not a file) or was
/// deleted; otherwise "N;" + the Windows error code of the failed delete.
/// Only "not found" (2, 3) and "no such name can exist" (123) mean nothing to
/// delete: a file whose attributes cannot be read is still tried.
[[nodiscard]] std::string DeleteLocalFile(const std::wstring& path);

/// Set by a copy that a link or junction led out of a boundary.
struct BoundaryExit {
  bool source = false;  ///< the source's path left (else the target's)
  std::wstring to;      ///< where it led; empty while no link led out
};

/// Copies `source` over `target`: creates the target's last folder level
/// when missing, opens the source without sharing, clears the attributes of
/// an existing target (so a read-only one is replaced; one in use without
/// delete sharing fails with 32, like a delete), writes a temporary file
/// beside the target, gives it the source's modification time and only then
/// replaces the target with it. On failure the old target is as it was
/// (attributes included) and no temporary file remains.
///
/// Every step acts through handles opened relative to folders held from the
/// locations' starts down (held_path_win.h): what was checked is what the
/// copy reads, changes and replaces.
[[nodiscard]] bool CopyFileContents(const FileLocation& source, const FileLocation& target,
                                    BoundaryExit* exit = nullptr);

/// The library's form: the source's walk starts at its folder, the target's
/// at its folder, or at the folder above when that is the level to create.
[[nodiscard]] bool CopyFileContents(const std::wstring& source, const std::wstring& target);

/// The whole file; false when it is missing or cannot be read.
[[nodiscard]] bool ReadWholeFile(const std::wstring& path, std::string& bytes);

/// Writes `bytes` to a temporary file beside `path`, flushes it and replaces
/// `path` with it in one step, so a crash leaves the old file or the new one.
[[nodiscard]] bool ReplaceFileContents(const std::wstring& path, std::string_view bytes);

}  // namespace quorlane::localfiles
