#include "localfiles/held_path_win.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace quorlane::localfiles {
namespace {

using win32::UniqueFile;
using win32::UniqueHandle;

// ntstatus.h clashes with windows.h; these are the few this file tells apart.
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);
constexpr NTSTATUS kStatusInvalidDeviceRequest = static_cast<NTSTATUS>(0xC0000010L);
constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022L);
constexpr NTSTATUS kStatusObjectNameInvalid = static_cast<NTSTATUS>(0xC0000033L);
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BAL);
constexpr NTSTATUS kStatusNotSupported = static_cast<NTSTATUS>(0xC00000BBL);
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103L);

// Read or traverse access makes a handle take part in sharing checks (one
// with attribute access alone does not); without FILE_SHARE_DELETE nobody can
// then rename or remove the folder. Traversing is what a path needs; a folder
// that grants listing but not traversing is held by listing instead.
constexpr ACCESS_MASK kHoldAccess[] = {FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                       FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE};
constexpr ULONG kHoldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// As many links as a Linux path walk follows.
constexpr int kMaxLinkHops = 40;

DWORD ErrorOf(NTSTATUS status) {
  if (status == kStatusFileIsADirectory) return kIsAFolder;
  if (status == kStatusNotADirectory) return kNotAFolder;
  return ::RtlNtStatusToDosError(status);
}

NTSTATUS OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, UniqueFile& opened) {
  // One name, one step: a name that is itself a path would be resolved
  // past the checks.
  if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/") != std::wstring::npos) {
    return kStatusObjectNameInvalid;
  }
  const std::size_t bytes = name.size() * sizeof(wchar_t);
  if (bytes > 0xFFFE) return kStatusObjectNameInvalid;
  UNICODE_STRING text{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), const_cast<PWSTR>(name.data())};
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status = ::NtCreateFile(&handle, access | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                         share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (NT_SUCCESS(status)) opened.reset(handle);
  return status;
}

NTSTATUS OpenFolderRelative(HANDLE parent, const std::wstring& name, ACCESS_MASK extraAccess, ULONG disposition,
                            UniqueFile& opened) {
  NTSTATUS status = kStatusAccessDenied;
  for (const ACCESS_MASK access : kHoldAccess) {
    status = OpenRelative(parent, name, access | extraAccess, kHoldSharing, disposition, FILE_DIRECTORY_FILE, opened);
    if (status != kStatusAccessDenied) break;
  }
  return status;
}

// As GetFinalPathNameByHandleW gives it ("\\?\C:\x", "\\?\UNC\srv\share\x").
std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(n + 1);
  }
  return {};
}

// "C:\x" and "\\srv\share\x" for the audit log.
std::wstring Displayed(const std::wstring& finalPath) {
  if (finalPath.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + finalPath.substr(7);
  if (finalPath.rfind(L"\\\\?\\", 0) == 0) return finalPath.substr(4);
  return finalPath;
}

// File names compare without regard to case, as Windows looks them up.
bool SameName(const wchar_t* a, const wchar_t* b, std::size_t length) {
  return ::CompareStringOrdinal(a, static_cast<int>(length), b, static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && SameName(a.data(), b.data(), a.size());
}

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
  return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L'\\' + name;
}

// The names of `path` below `folder`, when it lies inside it (or is it).
bool NamesBelow(const std::wstring& path, const std::wstring& folder, std::vector<std::wstring>& names) {
  names.clear();
  if (SamePath(path, folder)) return true;
  const std::wstring prefix = !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
  if (path.size() <= prefix.size() || !SameName(path.data(), prefix.data(), prefix.size())) return false;
  for (std::size_t at = prefix.size(); at < path.size();) {
    const std::size_t slash = std::min(path.find(L'\\', at), path.size());
    if (slash > at) names.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return true;
}

bool IsFolder(HANDLE handle) {
  FILE_BASIC_INFO info{};
  return ::GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info) &&
         (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

DWORD OnTheWay(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == kNotAFolder ? ERROR_PATH_NOT_FOUND : error;
}

DWORD HeldFolders::Start(const std::wstring& folder, ACCESS_MASK extraAccess) {
  chain_.clear();
  leftTo_.clear();
  linkHops_ = 0;
  UniqueFile opened;
  for (const ACCESS_MASK access : kHoldAccess) {
    opened.reset(::CreateFileW(folder.c_str(), access | extraAccess, kHoldSharing, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (opened || ::GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  if (!opened) return ::GetLastError();
  if (!IsFolder(opened.get())) return kNotAFolder;
  return Hold(std::move(opened), {});
}

DWORD HeldFolders::Enter(const std::wstring& name, ACCESS_MASK extraAccess) {
  if (chain_.empty()) return ERROR_INVALID_HANDLE;
  pending_.assign(1, name);
  for (bool first = true; !pending_.empty(); first = false) {
    const std::wstring next = std::move(pending_.back());
    pending_.pop_back();
    UniqueFile folder;
    const NTSTATUS status = OpenFolderRelative(Deepest(), next, pending_.empty() ? extraAccess : 0, FILE_OPEN, folder);
    // Only `name` itself is reported missing; a folder missing on the way a
    // link led to is a missing path.
    if (!NT_SUCCESS(status)) return first ? ErrorOf(status) : OnTheWay(ErrorOf(status));
    if (const DWORD error = Hold(std::move(folder), next)) return error;
  }
  return ERROR_SUCCESS;
}

DWORD HeldFolders::Create(const std::wstring& name) {
  if (chain_.empty()) return ERROR_INVALID_HANDLE;
  UniqueFile folder;
  const NTSTATUS status = OpenFolderRelative(Deepest(), name, 0, FILE_CREATE, folder);
  if (!NT_SUCCESS(status)) return ErrorOf(status);
  return Hold(std::move(folder), name);
}

DWORD HeldFolders::Hold(UniqueFile folder, const std::wstring& name) {
  if (!boundary_) {
    chain_.push_back({std::move(folder), {}});
    return ERROR_SUCCESS;
  }
  std::wstring finalPath = FinalPathOf(folder.get());
  if (finalPath.empty()) return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_ACCESS_DENIED;
  if (chain_.empty() || SamePath(finalPath, Joined(chain_.back().finalPath, name))) {
    chain_.push_back({std::move(folder), std::move(finalPath)});
    return ERROR_SUCCESS;
  }
  // A junction or link (or another spelling of the name, such as a short
  // one): followed only into the boundary, and then held from there down.
  std::vector<std::wstring> names;
  if (!NamesBelow(finalPath, chain_.front().finalPath, names)) {
    leftTo_ = Displayed(finalPath);
    return ERROR_ACCESS_DENIED;
  }
  if (++linkHops_ > kMaxLinkHops) return ERROR_CANT_RESOLVE_FILENAME;
  chain_.resize(1);
  pending_.insert(pending_.end(), names.rbegin(), names.rend());
  return ERROR_SUCCESS;
}

DWORD HeldFolders::OpenFile(const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                            ULONG options, UniqueFile& file) {
  file.reset();
  if (chain_.empty()) return ERROR_INVALID_HANDLE;
  const NTSTATUS status = OpenRelative(Deepest(), name, access, share, disposition, options, file);
  if (!NT_SUCCESS(status)) return ErrorOf(status);
  if (!boundary_) return ERROR_SUCCESS;
  const std::wstring finalPath = FinalPathOf(file.get());
  std::vector<std::wstring> names;
  if (finalPath.empty() ||
      (!SamePath(finalPath, Joined(chain_.back().finalPath, name)) && !NamesBelow(finalPath, chain_.front().finalPath, names))) {
    const DWORD error = finalPath.empty() ? ::GetLastError() : ERROR_ACCESS_DENIED;
    if (!finalPath.empty()) leftTo_ = Displayed(finalPath);
    file.reset();
    return error != ERROR_SUCCESS ? error : ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

DWORD HeldFolders::MoveInto(HANDLE file, const std::wstring& name) const {
  if (chain_.empty()) return ERROR_INVALID_HANDLE;
  const auto rename = [file](HANDLE folder, const std::wstring& newName) {
    const std::size_t bytes = newName.size() * sizeof(wchar_t);
    std::vector<ULONGLONG> storage((offsetof(FILE_RENAME_INFORMATION, FileName) + bytes) / sizeof(ULONGLONG) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(storage.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = folder;
    info->FileNameLength = static_cast<ULONG>(bytes);
    std::memcpy(info->FileName, newName.data(), bytes);
    IO_STATUS_BLOCK io{};
    return ::NtSetInformationFile(file, &io, info, static_cast<ULONG>(storage.size() * sizeof(ULONGLONG)),
                                  FileRenameInformation);
  };
  NTSTATUS status = rename(Deepest(), name);
  if (status == kStatusInvalidParameter || status == kStatusNotSupported || status == kStatusInvalidDeviceRequest) {
    // A file system that cannot rename relative to a folder handle (some
    // network redirectors): the held folder named by its final path is the
    // same folder, as no folder on it from the start down can change.
    std::wstring folder = FinalPathOf(Deepest());
    if (folder.rfind(L"\\\\?\\", 0) != 0) return ERROR_PATH_NOT_FOUND;
    folder[1] = L'?';  // "\\?\C:\x" is "\??\C:\x" in the object namespace
    status = rename(nullptr, Joined(folder, name));
  }
  return NT_SUCCESS(status) ? ERROR_SUCCESS : ErrorOf(status);
}

void PauseAfterCheckForTests() {
  wchar_t name[128];
  const DWORD length = ::GetEnvironmentVariableW(L"QUORLANE_TEST_PAUSE_AFTER_CHECK", name, 128);
  if (length == 0 || length >= 100) return;
  const std::wstring base(name, length);
  const UniqueHandle checked(::OpenEventW(EVENT_MODIFY_STATE, FALSE, (base + L".checked").c_str()));
  const UniqueHandle go(::OpenEventW(SYNCHRONIZE, FALSE, (base + L".go").c_str()));
  if (!checked || !go) return;
  const DWORD error = ::GetLastError();
  ::SetEvent(checked.get());
  ::WaitForSingleObject(go.get(), 10000);
  ::SetLastError(error);
}

}  // namespace quorlane::localfiles
