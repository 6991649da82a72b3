// File commands on Windows. Client paths arrive in the clients' ANSI code
// page, which on a Windows server is the system's own. Every request walks
// its path from the file root down, opening each folder relative to the one
// before it and holding it without delete sharing until the request is done
// (held_path_win.h); a junction or link is followed only to a folder inside
// the root, checked by the final path Windows reports for its handle. Delete
// and copy then answer exactly as the library's local forms (the copy is the
// same code, local_files_win.cpp).
#include <windows.h>
#include <winternl.h>

#include "file_service.h"
#include "localfiles/held_path_win.h"
#include "localfiles/local_files_win.h"
#include "windows_error.h"

namespace quorlane::server {
namespace {

using win32::UniqueFile;

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
  return text;
}

std::string Utf8FromAnsi(std::string_view ansi) { return Utf8FromWide(quorlane::localfiles::WideFromAnsi(ansi)); }

using localfiles::HeldFolders;
using localfiles::OnTheWay;

std::vector<std::wstring> WideNames(const std::vector<std::string>& names) {
  std::vector<std::wstring> wide;
  wide.reserve(names.size());
  for (const auto& name : names) wide.push_back(WideFromUtf8(name));
  return wide;
}

localfiles::FileLocation LocationOf(const FileAccessRules& rules, const FileAccessRules::Resolved& resolved) {
  return {WideFromUtf8(rules.Roots()[resolved.root].ToString()), WideNames(resolved.below), true};
}

std::string LeadsOut(const std::wstring& to) {
  return "a link or junction leads out of the file root (to " + Utf8FromWide(to) + ")";
}

// Holds the folders from the root down to the one that holds the last name.
DWORD WalkToFolderOf(HeldFolders& folders, const localfiles::FileLocation& location, ACCESS_MASK rootAccess = 0) {
  DWORD error = OnTheWay(folders.Start(location.start, rootAccess));
  for (std::size_t i = 0; error == ERROR_SUCCESS && i + 1 < location.names.size(); ++i) {
    error = OnTheWay(folders.Enter(location.names[i]));
  }
  return error;
}

FileAnswer Code(DWORD code, bool sizeInfo = false) {
  return {"N;" + std::to_string(code) + (sizeInfo ? ";" : ""), {}};
}

FileAnswer Refused(std::string reason, bool sizeInfo = false) { return {sizeInfo ? "N;5;" : "N;5", std::move(reason)}; }

}  // namespace

FileAnswer FileService::Delete(std::string_view clientPath) const {
  std::string refusal;
  const auto resolved = rules_.Resolve(Utf8FromAnsi(clientPath), refusal);
  if (!resolved) return Refused(refusal);
  if (resolved->below.empty()) return Refused("a file root itself is not deleted");
  const auto location = LocationOf(rules_, *resolved);
  HeldFolders folders(true);
  DWORD error = WalkToFolderOf(folders, location);
  UniqueFile file;
  if (error == ERROR_SUCCESS) {
    error = folders.OpenFile(location.names.back(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, file);
  }
  if (!folders.LeftTo().empty()) return Refused(LeadsOut(folders.LeftTo()));
  // Not there, no such name, or a folder (which is not a file): nothing to
  // delete. Any other failure is the delete's own: "N;" and its code.
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
      error == localfiles::kIsAFolder) {
    return {"Y;", {}};
  }
  if (error != ERROR_SUCCESS) return Code(error);
  localfiles::PauseAfterCheckForTests();
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
    return Code(::GetLastError());
  }
  return {"Y;", {}};
}

FileAnswer FileService::Copy(std::string_view sourcePath, std::string_view targetPath) const {
  std::string refusal;
  const auto source = rules_.Resolve(Utf8FromAnsi(sourcePath), refusal);
  if (!source) return Refused("source: " + refusal);
  const auto target = rules_.Resolve(Utf8FromAnsi(targetPath), refusal);
  if (!target) return Refused("target: " + refusal);
  if (target->below.empty()) return Refused("target: a file root itself is not replaced");
  if (source->below.empty()) return Code(ERROR_ACCESS_DENIED);  // a folder is not copied
  localfiles::BoundaryExit exit;
  if (localfiles::CopyFileContents(LocationOf(rules_, *source), LocationOf(rules_, *target), &exit)) return {"Y;", {}};
  const DWORD error = ::GetLastError();
  if (!exit.to.empty()) return Refused((exit.source ? "source: " : "target: ") + LeadsOut(exit.to));
  return Code(error);
}

FileAnswer FileService::SizeInfo(std::string_view clientPath, std::string_view patternAnsi) const {
  const std::string pattern = Utf8FromAnsi(patternAnsi);
  if (pattern.find_first_of("/\\") != std::string::npos) return Code(winerror::kInvalidName, true);
  std::string refusal;
  const auto resolved = rules_.Resolve(Utf8FromAnsi(clientPath), refusal);
  if (!resolved) return Refused(refusal, true);
  const auto location = LocationOf(rules_, *resolved);
  // A folder is held open for listing; a file is opened for its size.
  HeldFolders folders(true);
  DWORD error = WalkToFolderOf(folders, location, location.names.empty() ? FILE_LIST_DIRECTORY : 0);
  bool isFolder = location.names.empty();
  UniqueFile file;
  if (error == ERROR_SUCCESS && !isFolder) {
    error = folders.Enter(location.names.back(), FILE_LIST_DIRECTORY);
    isFolder = error == ERROR_SUCCESS;
    if (error == localfiles::kNotAFolder) {
      error = folders.OpenFile(location.names.back(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               FILE_OPEN, FILE_NON_DIRECTORY_FILE, file);
    }
  }
  if (!folders.LeftTo().empty()) return Refused(LeadsOut(folders.LeftTo()), true);
  if (error != ERROR_SUCCESS) return Code(error, true);
  localfiles::PauseAfterCheckForTests();
  if (!isFolder) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return Code(::GetLastError(), true);
    const bool match = MatchesWildcard(pattern, resolved->below.back());
    return {"Y;" + std::to_string(match ? size.QuadPart : 0) + ";" + (match ? "1" : "0") + ";", {}};
  }
  // Listed through the held folder's handle, never by its path again.
  std::vector<ULONGLONG> buffer(64 * 1024 / sizeof(ULONGLONG));
  unsigned long long bytes = 0, files = 0;
  for (FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;; kind = FileFullDirectoryInfo) {
    if (!::GetFileInformationByHandleEx(folders.Deepest(), kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG)))) {
      if (::GetLastError() == ERROR_NO_MORE_FILES) break;
      return Code(::GetLastError(), true);
    }
    const auto* entry = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto& found = *reinterpret_cast<const FILE_FULL_DIR_INFO*>(entry);
      const bool countable = (found.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
      if (countable &&
          MatchesWildcard(pattern, Utf8FromWide(std::wstring(found.FileName, found.FileNameLength / sizeof(wchar_t))))) {
        bytes += static_cast<unsigned long long>(found.EndOfFile.QuadPart);
        ++files;
      }
      if (found.NextEntryOffset == 0) break;
      entry += found.NextEntryOffset;
    }
  }
  return {"Y;" + std::to_string(bytes) + ";" + std::to_string(files) + ";", {}};
}

}  // namespace quorlane::server
