#include "localfiles/local_files_win.h"

#include <winternl.h>

#include <atomic>

namespace quorlane::localfiles {
namespace {

using win32::ScopeExit;
using win32::UniqueFile;

constexpr DWORD kCopyPiece = 64 * 1024;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool Fail(DWORD error) {
  ::SetLastError(error);
  return false;
}

// Runs a clean-up step without letting it change the error being reported.
template <typename F>
void KeepingLastError(F&& step) {
  const DWORD error = ::GetLastError();
  step();
  ::SetLastError(error);
}

// The codes that say a file is not there, or that no file of that name can
// be: a delete then has nothing to do.
bool NothingThere(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

std::wstring TemporaryName() {
  static std::atomic<unsigned> serial{0};
  const unsigned value = (::GetCurrentProcessId() * 2654435761u) ^ (::GetTickCount() * 40503u) ^ (serial++ * 97u);
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring name = L"~ql";
  for (int shift = 16; shift >= 0; shift -= 4) name.push_back(kHex[(value >> shift) & 15u]);
  return name + L".tmp";
}

// A new file in the deepest held folder, opened for writing without sharing.
DWORD CreateTemporaryIn(HeldFolders& folder, UniqueFile& file) {
  for (int attempt = 0; attempt < 32; ++attempt) {
    const DWORD error = folder.OpenFile(TemporaryName(), GENERIC_WRITE | DELETE, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, file);
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return error;
  }
  return ERROR_FILE_EXISTS;
}

// A new file beside `path` (the library's own data files), opened for
// writing without sharing.
UniqueFile CreateTemporaryBeside(const std::wstring& path, std::wstring& name) {
  const std::size_t last = path.find_last_of(L"\\:");
  const std::wstring folder = last == std::wstring::npos ? std::wstring() : path.substr(0, last + 1);
  for (int attempt = 0; attempt < 32; ++attempt) {
    name = folder + TemporaryName();
    UniqueFile file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file || (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)) return file;
  }
  return UniqueFile();
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, HANDLE other) {
  BY_HANDLE_FILE_INFORMATION b{};
  return ::GetFileInformationByHandle(other, &b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool SetAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // times of zero stay as they are
  basic.FileAttributes = attributes;
  return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr)) return false;
    if (written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

std::wstring FullPathOf(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  return full;
}

// The length of a full path's root: "C:\", "\\srv\share\", "\\?\C:\",
// "\\?\UNC\srv\share\" (0 for any other form).
std::size_t RootLength(const std::wstring& path) {
  const auto afterNames = [&](std::size_t at, int names) {
    for (int i = 0; i < names; ++i) {
      const std::size_t slash = path.find(L'\\', at);
      if (slash == std::wstring::npos) return path.size();
      at = slash + 1;
    }
    return at;
  };
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return afterNames(8, 2);
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return afterNames(4, 1);
  if (path.rfind(L"\\\\", 0) == 0) return afterNames(2, 2);
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return 3;
  return 0;
}

// A full path as the folder that holds its last name and that name
// ("C:\a\b": "C:\a" and "b"; "C:\b": "C:\" and "b"); false for a root.
bool SplitLastName(const std::wstring& full, std::wstring& folder, std::wstring& name) {
  const std::size_t root = RootLength(full);
  std::wstring path = full;
  while (path.size() > root && path.back() == L'\\') path.pop_back();
  const std::size_t slash = path.find_last_of(L'\\');
  if (path.size() <= root || slash == std::wstring::npos) return false;
  folder = slash < root ? path.substr(0, root) : path.substr(0, slash);
  name = path.substr(slash + 1);
  return true;
}

}  // namespace

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string DeleteLocalFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "Y;";
  if (attributes == INVALID_FILE_ATTRIBUTES && NothingThere(::GetLastError())) return "Y;";
  // Attributes that cannot be read (a link that cannot be resolved, a share
  // that does not answer) do not show the file is gone: the delete says.
  if (::DeleteFileW(path.c_str())) return "Y;";
  const DWORD error = ::GetLastError();
  return NothingThere(error) ? "Y;" : "N;" + std::to_string(error);
}

bool CopyFileContents(const FileLocation& source, const FileLocation& target, BoundaryExit* exit) {
  if (source.names.empty() || target.names.empty()) return Fail(ERROR_INVALID_NAME);
  HeldFolders targetFolders(target.boundary);
  HeldFolders sourceFolders(source.boundary);
  const auto failed = [exit](DWORD error, const HeldFolders& where, bool isSource) {
    if (exit != nullptr && !where.LeftTo().empty()) *exit = {isSource, where.LeftTo()};
    return Fail(error);
  };

  // The target's folder, held from the start down; only its last level is
  // created, and only once the way to it has been checked.
  const std::size_t folderCount = target.names.size() - 1;
  DWORD error = OnTheWay(targetFolders.Start(target.start));
  for (std::size_t i = 0; error == ERROR_SUCCESS && i + 1 < folderCount; ++i) {
    error = OnTheWay(targetFolders.Enter(target.names[i]));
  }
  bool createFolder = false;
  if (error == ERROR_SUCCESS && folderCount > 0) {
    error = targetFolders.Enter(target.names[folderCount - 1]);
    createFolder = error == ERROR_FILE_NOT_FOUND;
    if (createFolder) error = ERROR_SUCCESS;
    if (error == kNotAFolder) error = ERROR_ALREADY_EXISTS;
  }
  if (error != ERROR_SUCCESS) return failed(error, targetFolders, false);
  PauseAfterCheckForTests();
  if (createFolder && (error = targetFolders.Create(target.names[folderCount - 1])) != ERROR_SUCCESS) {
    return failed(error, targetFolders, false);
  }

  // The source, opened without sharing.
  error = OnTheWay(sourceFolders.Start(source.start));
  for (std::size_t i = 0; error == ERROR_SUCCESS && i + 1 < source.names.size(); ++i) {
    error = OnTheWay(sourceFolders.Enter(source.names[i]));
  }
  UniqueFile in;
  if (error == ERROR_SUCCESS) {
    error = sourceFolders.OpenFile(source.names.back(), GENERIC_READ, 0, FILE_OPEN,
                                   FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, in);
  }
  if (error == kIsAFolder) error = ERROR_ACCESS_DENIED;
  if (error != ERROR_SUCCESS) return failed(error, sourceFolders, true);
  LARGE_INTEGER size{};
  FILETIME modified{};
  if (!::GetFileSizeEx(in.get(), &size) || !::GetFileTime(in.get(), nullptr, nullptr, &modified)) return false;

  // An existing target loses read-only, hidden and system, and must be one
  // that could be deleted (in use without delete sharing: 32, like a delete).
  // Its handle takes no part in sharing, so it may be the source itself.
  const std::wstring& name = target.names.back();
  UniqueFile old;
  error = targetFolders.OpenFile(name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN,
                                 FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, old);
  if (error == kIsAFolder) error = ERROR_ACCESS_DENIED;  // a folder is not replaced
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return failed(error, targetFolders, false);
  const bool targetExists = static_cast<bool>(old);
  BY_HANDLE_FILE_INFORMATION oldIdentity{};
  FILE_BASIC_INFO oldBasic{};
  if (targetExists) {
    if (!::GetFileInformationByHandle(old.get(), &oldIdentity) ||
        !::GetFileInformationByHandleEx(old.get(), FileBasicInfo, &oldBasic, sizeof oldBasic)) {
      return false;
    }
    if (!SameFile(oldIdentity, in.get())) {
      UniqueFile deletable;
      error = targetFolders.OpenFile(name, DELETE, kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT,
                                     deletable);
      if (error != ERROR_SUCCESS) return failed(error, targetFolders, false);
    }
  }
  bool replaced = false;
  ScopeExit restoreTarget([&] {
    if (!targetExists || replaced) return;
    KeepingLastError([&] {
      // After a failed rename the name is opened again in the held folder,
      // and only the same file gets its attributes back.
      if (!old) {
        UniqueFile again;
        if (targetFolders.OpenFile(name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN,
                                   FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, again) != ERROR_SUCCESS ||
            !SameFile(oldIdentity, again.get())) {
          return;
        }
        old = std::move(again);
      }
      SetAttributes(old.get(), oldBasic.FileAttributes);
    });
  });
  if (targetExists && !SetAttributes(old.get(), FILE_ATTRIBUTE_ARCHIVE)) return false;

  UniqueFile out;
  if ((error = CreateTemporaryIn(targetFolders, out)) != ERROR_SUCCESS) return failed(error, targetFolders, false);
  bool moved = false;
  ScopeExit removeTemporary([&] {
    if (moved) return;
    KeepingLastError([&] {
      FILE_DISPOSITION_INFO remove{TRUE};
      ::SetFileInformationByHandle(out.get(), FileDispositionInfo, &remove, sizeof remove);
      out.reset();
    });
  });

  std::string buffer(kCopyPiece, '\0');
  for (long long remaining = size.QuadPart; remaining > 0;) {
    const DWORD want = remaining < kCopyPiece ? static_cast<DWORD>(remaining) : kCopyPiece;
    DWORD got = 0;
    if (!::ReadFile(in.get(), buffer.data(), want, &got, nullptr)) return false;
    // The source ended before the size it had when it was opened.
    if (got == 0) return false;
    if (!WriteAll(out.get(), buffer.data(), got)) return false;
    remaining -= got;
  }
  if (!::SetFileTime(out.get(), nullptr, nullptr, &modified) || !::FlushFileBuffers(out.get())) return false;
  in.reset();
  old.reset();  // an open file cannot be replaced
  if ((error = targetFolders.MoveInto(out.get(), name)) != ERROR_SUCCESS) return Fail(error);
  moved = replaced = true;
  return true;
}

bool CopyFileContents(const std::wstring& source, const std::wstring& target) {
  // The target's folder is the path up to its last "\" or ":"; without one
  // there is no folder to create.
  if (target.find_first_of(L"\\/:") == std::wstring::npos) return Fail(ERROR_PATH_NOT_FOUND);
  FileLocation from, to;
  std::wstring folder, name, parent, last;
  const std::wstring targetPath = FullPathOf(target);
  if (targetPath.empty()) return false;
  if (!SplitLastName(targetPath, folder, name)) return Fail(ERROR_ACCESS_DENIED);
  to.names = {name};
  // Held from the target's folder, or from the one above when the folder is
  // the level to create (or a file stands where it should be).
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if ((attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) &&
      SplitLastName(folder, parent, last)) {
    to.start = parent;
    to.names.insert(to.names.begin(), last);
  } else {
    to.start = folder;
  }
  const std::wstring sourcePath = FullPathOf(source);
  if (sourcePath.empty()) return false;
  if (!SplitLastName(sourcePath, from.start, name)) return Fail(ERROR_ACCESS_DENIED);
  from.names = {name};
  return CopyFileContents(from, to);
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    bytes.append(buffer, got);
  }
}

bool ReplaceFileContents(const std::wstring& path, std::string_view bytes) {
  std::wstring temporaryName;
  UniqueFile out = CreateTemporaryBeside(path, temporaryName);
  if (!out) return false;
  bool moved = false;
  ScopeExit removeTemporary([&] {
    KeepingLastError([&] {
      out.reset();
      if (!moved) ::DeleteFileW(temporaryName.c_str());
    });
  });
  for (std::string_view rest = bytes; !rest.empty();) {
    const DWORD piece = rest.size() < kCopyPiece ? static_cast<DWORD>(rest.size()) : kCopyPiece;
    if (!WriteAll(out.get(), rest.data(), piece)) return false;
    rest.remove_prefix(piece);
  }
  if (!::FlushFileBuffers(out.get())) return false;
  out.reset();
  if (!::MoveFileExW(temporaryName.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  moved = true;
  return true;
}

}  // namespace quorlane::localfiles
