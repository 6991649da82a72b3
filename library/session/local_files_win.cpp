#include "local_files_win.h"

#include <atomic>

namespace quorlane::localfiles {
namespace {

using win32::ScopeExit;
using win32::UniqueFile;

constexpr DWORD kCopyPiece = 64 * 1024;

bool IsFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Runs a clean-up step without letting it change the error being reported.
template <typename F>
void KeepingLastError(F&& step) {
  const DWORD error = ::GetLastError();
  step();
  ::SetLastError(error);
}

// The index just past the target's last "\" or ":" (0 when it has none).
std::size_t NameStart(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L"\\:");
  return last == std::wstring::npos ? 0 : last + 1;
}

// The target's folder: up to its last "\" or ":", without a trailing "\"
// unless that follows a drive or another "\" (so "C:\" stays a root).
std::wstring FolderOf(const std::wstring& path) {
  const std::size_t start = NameStart(path);
  if (start == 0) return {};
  const std::size_t last = start - 1;
  if (last >= 1 && path[last] == L'\\' && path[last - 1] != L'\\' && path[last - 1] != L':') {
    return path.substr(0, last);
  }
  return path.substr(0, last + 1);
}

// A new file beside `target`, opened for writing without sharing.
UniqueFile CreateTemporaryBeside(const std::wstring& target, std::wstring& name) {
  static std::atomic<unsigned> serial{0};
  const std::wstring folder = target.substr(0, NameStart(target));
  for (int attempt = 0; attempt < 32; ++attempt) {
    const unsigned value = (::GetCurrentProcessId() * 2654435761u) ^ (::GetTickCount() * 40503u) ^ (serial++ * 97u);
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring suffix = L"~ql";
    for (int shift = 16; shift >= 0; shift -= 4) suffix.push_back(kHex[(value >> shift) & 15u]);
    name = folder + suffix + L".tmp";
    UniqueFile file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file || (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)) return file;
  }
  return UniqueFile();
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

}  // namespace

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string DeleteLocalFile(const std::wstring& path) {
  if (!IsFile(::GetFileAttributesW(path.c_str()))) return "Y;";
  if (::DeleteFileW(path.c_str())) return "Y;";
  return "N;" + std::to_string(::GetLastError());
}

bool CopyFileContents(const std::wstring& source, const std::wstring& target, const HandleCheck& check) {
  const auto refuse = [] {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  };
  // Only the last folder level is created.
  const std::wstring folder = FolderOf(target);
  const DWORD folderAttributes = ::GetFileAttributesW(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES || (folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) return false;
  }
  if (!IsFile(::GetFileAttributesW(source.c_str()))) return false;

  // An existing target loses read-only, hidden and system, and must be one
  // that could be deleted (in use without delete sharing: 32, like a delete).
  const DWORD targetAttributes = ::GetFileAttributesW(target.c_str());
  const bool targetExists = IsFile(targetAttributes);
  ScopeExit restoreTarget([&] {
    if (targetExists) KeepingLastError([&] { ::SetFileAttributesW(target.c_str(), targetAttributes); });
  });
  if (targetExists) {
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    UniqueFile deletable(::CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!deletable) return false;
  }

  UniqueFile in(::CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
  if (!in) return false;
  if (check && !check(in.get())) return refuse();
  LARGE_INTEGER size{};
  FILETIME modified{};
  if (!::GetFileSizeEx(in.get(), &size) || !::GetFileTime(in.get(), nullptr, nullptr, &modified)) return false;

  std::wstring temporaryName;
  UniqueFile out = CreateTemporaryBeside(target, temporaryName);
  if (!out) return false;
  bool moved = false;
  ScopeExit removeTemporary([&] {
    KeepingLastError([&] {
      out.reset();
      if (!moved) ::DeleteFileW(temporaryName.c_str());
    });
  });
  if (check && !check(out.get())) return refuse();

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
  out.reset();
  in.reset();
  if (!::MoveFileExW(temporaryName.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  moved = true;
  restoreTarget.release();
  return true;
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
