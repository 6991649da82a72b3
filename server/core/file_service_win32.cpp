// File commands on Windows. Client paths arrive in the clients' ANSI code
// page, which on a Windows server is the system's own. Links, junctions and
// mount points are checked on the handles the commands open: the final path
// Windows reports for each must lie inside the root's own final path. Delete
// and copy then answer exactly as the library's local forms (the same code,
// local_files_win.cpp).
#include <windows.h>

#include "file_service.h"
#include "local_files_win.h"
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

// "\\?\C:\x" → "C:\x", "\\?\UNC\srv\share" → "\\srv\share", letters lower-cased.
std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(1024, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  if (n >= path.size()) {
    path.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
  }
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    path = L"\\" + path.substr(7);
  } else if (path.rfind(L"\\\\?\\", 0) == 0) {
    path = path.substr(4);
  }
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  for (auto& c : path) c = static_cast<wchar_t>(::towlower(c));
  return path;
}

// The root as Windows resolves it now, and the test every handle must pass.
class RootCheck {
 public:
  bool Open(const LocalPath& root) {
    UniqueFile handle(::CreateFileW(WideFromUtf8(root.ToString()).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return false;
    rootFinal_ = FinalPathOf(handle.get());
    return !rootFinal_.empty();
  }
  [[nodiscard]] bool Inside(HANDLE handle) const {
    const std::wstring path = FinalPathOf(handle);
    if (path.empty()) return false;
    if (path == rootFinal_) return true;
    const std::wstring prefix = rootFinal_.back() == L'\\' ? rootFinal_ : rootFinal_ + L"\\";
    return path.rfind(prefix, 0) == 0;
  }

 private:
  std::wstring rootFinal_;
};

// Holds the deepest existing folder on the way to `path` open (so it cannot
// be renamed or replaced meanwhile) once it was found inside the root.
bool ExistingAncestorInside(const std::wstring& path, const RootCheck& root, UniqueFile& held) {
  std::wstring folder = path;
  for (;;) {
    const std::size_t slash = folder.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 2) return false;
    folder.resize(slash == 2 ? 3 : slash);  // keep "C:\" a root
    held.reset(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (held) return root.Inside(held.get());
    if (slash == 2) return false;
  }
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
  const std::wstring path = WideFromUtf8(resolved->local.ToString());
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {"Y;", {}};
  RootCheck root;
  if (!root.Open(rules_.Roots()[resolved->root])) return Code(::GetLastError());
  // Deleted through a handle whose final path was checked: a junction on the
  // way cannot redirect the delete after the check.
  UniqueFile file(::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileAnswer{"Y;", {}} : Code(error);
  }
  if (!root.Inside(file.get())) return Refused("a link or junction leads out of the file root");
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
  RootCheck sourceRoot, targetRoot;
  if (!sourceRoot.Open(rules_.Roots()[source->root]) || !targetRoot.Open(rules_.Roots()[target->root])) {
    return Code(::GetLastError());
  }
  const std::wstring targetWide = WideFromUtf8(target->local.ToString());
  UniqueFile heldFolder;
  if (!ExistingAncestorInside(targetWide, targetRoot, heldFolder)) {
    if (!heldFolder) return Code(ERROR_PATH_NOT_FOUND);
    return Refused("target: a link or junction leads out of the file root");
  }
  bool leftRoot = false;
  const auto check = [&](HANDLE handle) {
    const bool inside = sourceRoot.Inside(handle) || targetRoot.Inside(handle);
    leftRoot |= !inside;
    return inside;
  };
  if (quorlane::localfiles::CopyFileContents(WideFromUtf8(source->local.ToString()), targetWide, check)) {
    return {"Y;", {}};
  }
  const DWORD error = ::GetLastError();
  if (leftRoot) return Refused("a link or junction leads out of the file root");
  return Code(error);
}

FileAnswer FileService::SizeInfo(std::string_view clientPath, std::string_view patternAnsi) const {
  const std::string pattern = Utf8FromAnsi(patternAnsi);
  if (pattern.find_first_of("/\\") != std::string::npos) return Code(winerror::kInvalidName, true);
  std::string refusal;
  const auto resolved = rules_.Resolve(Utf8FromAnsi(clientPath), refusal);
  if (!resolved) return Refused(refusal, true);
  RootCheck root;
  if (!root.Open(rules_.Roots()[resolved->root])) return Code(::GetLastError(), true);
  const std::wstring path = WideFromUtf8(resolved->local.ToString());
  UniqueFile handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return Code(::GetLastError(), true);
  if (!root.Inside(handle.get())) return Refused("a link or junction leads out of the file root", true);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle.get(), &info)) return Code(::GetLastError(), true);
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    const std::string name = resolved->below.empty() ? std::string() : resolved->below.back();
    const bool match = MatchesWildcard(pattern, name);
    const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return {"Y;" + std::to_string(match ? size : 0) + ";" + (match ? "1" : "0") + ";", {}};
  }
  WIN32_FIND_DATAW found{};
  const std::wstring all = path.back() == L'\\' ? path + L"*" : path + L"\\*";
  HANDLE search = ::FindFirstFileW(all.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return Code(::GetLastError(), true);
  unsigned long long bytes = 0, files = 0;
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (!MatchesWildcard(pattern, Utf8FromWide(found.cFileName))) continue;
    bytes += (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    ++files;
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return {"Y;" + std::to_string(bytes) + ";" + std::to_string(files) + ";", {}};
}

}  // namespace quorlane::server
