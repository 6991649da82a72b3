// Paths that stay what was checked. A file request opens every folder of its
// path from a starting folder down, each one relative to the folder before it
// (NtCreateFile with the held folder as root directory, never a path string
// again), and keeps each open without delete sharing until the request is
// done: meanwhile no folder on the way can be renamed, removed or replaced by
// a junction or link. Files are then opened, changed, renamed and listed
// through handles relative to the deepest held folder.
//
// With a boundary (the site server's file roots) every folder and file is
// checked by the final path Windows reports for its handle: a junction or
// link is followed only to a folder inside the first folder, and then every
// folder from there down to where it led is held instead. Without a boundary
// (the library's standalone copy) links are followed as Windows follows them.
#pragma once

#include "win32/unique_resource.h"

#include <string>
#include <vector>

namespace quorlane::localfiles {

/// The error a folder step reports when the name is a file, not a folder.
inline constexpr DWORD kNotAFolder = ERROR_DIRECTORY;
/// The error a file step reports when the name is a folder, not a file.
inline constexpr DWORD kIsAFolder = 336;  // ERROR_DIRECTORY_NOT_SUPPORTED

/// A step's error as Windows reports it for a folder on the way to a file
/// (a missing folder or a file in its place: ERROR_PATH_NOT_FOUND).
[[nodiscard]] DWORD OnTheWay(DWORD error);

/// Where a file lies: the folder a walk starts from, opened by its path, and
/// the names below it, the last one being the file's own.
struct FileLocation {
  std::wstring start;
  std::vector<std::wstring> names;
  bool boundary = false;  ///< links that lead out of `start` are refused
};

class HeldFolders {
 public:
  explicit HeldFolders(bool boundary) : boundary_(boundary) {}

  /// Opens the first folder by its path and holds it. Every step answers
  /// ERROR_SUCCESS or a Windows error code. `extraAccess`: FILE_LIST_DIRECTORY
  /// for a folder that is listed.
  [[nodiscard]] DWORD Start(const std::wstring& folder, ACCESS_MASK extraAccess = 0);
  /// Opens the folder `name` inside the deepest held one and holds it.
  [[nodiscard]] DWORD Enter(const std::wstring& name, ACCESS_MASK extraAccess = 0);
  /// Creates the folder `name` inside the deepest held one and holds it.
  [[nodiscard]] DWORD Create(const std::wstring& name);
  /// Opens (or creates, by `disposition`) the file `name` inside the deepest
  /// held folder with NtCreateFile's access, sharing and options; with a
  /// boundary, a file that lies outside it is closed again and refused.
  [[nodiscard]] DWORD OpenFile(const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                               ULONG options, win32::UniqueFile& file);
  /// Renames `file` (opened with DELETE) to `name` in the deepest held
  /// folder, replacing a file of that name.
  [[nodiscard]] DWORD MoveInto(HANDLE file, const std::wstring& name) const;

  [[nodiscard]] HANDLE Deepest() const { return chain_.back().handle.get(); }
  /// Where a link or junction led out of the boundary (then the step that
  /// met it answered ERROR_ACCESS_DENIED); empty otherwise.
  [[nodiscard]] const std::wstring& LeftTo() const { return leftTo_; }

 private:
  struct Held {
    win32::UniqueFile handle;
    std::wstring finalPath;  ///< only kept with a boundary
  };
  DWORD Hold(win32::UniqueFile folder, const std::wstring& name);

  bool boundary_;
  std::vector<Held> chain_;
  std::vector<std::wstring> pending_;  ///< names still to enter, last first (links add theirs)
  int linkHops_ = 0;
  std::wstring leftTo_;
};

/// A test seam between checking a request's paths and acting on them: when
/// QUORLANE_TEST_PAUSE_AFTER_CHECK names a pair of events "NAME.checked"
/// and "NAME.go" that a test made, sets the first and waits for the second
/// (at most 10 s), so the test can try to swap the checked paths meanwhile.
/// Does nothing otherwise.
void PauseAfterCheckForTests();

}  // namespace quorlane::localfiles
