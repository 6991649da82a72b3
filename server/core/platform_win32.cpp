#include <windows.h>

#include <mutex>

#include "platform.h"

namespace quorlane::server {
namespace {

std::string LastError(const std::string& what, const std::string& path) {
  return what + " " + path + ": Windows error " + std::to_string(::GetLastError());
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

bool WriteAll(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    DWORD written = 0;
    const DWORD chunk = data.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(data.size());
    if (!::WriteFile(file, data.data(), chunk, &written, nullptr)) return false;
    data.remove_prefix(written);
  }
  return true;
}

}  // namespace

struct AppendFile::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string path;
};

AppendFile::AppendFile() : impl_(std::make_unique<Impl>()) {}
AppendFile::~AppendFile() { Close(); }

bool AppendFile::Open(const std::string& path, std::string& error) {
  Close();
  impl_->file = ::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (impl_->file == INVALID_HANDLE_VALUE) return error = LastError("cannot open", path), false;
  impl_->path = path;
  return true;
}

bool AppendFile::Append(std::string_view data, std::string& error) {
  if (!WriteAll(impl_->file, data)) return error = LastError("cannot write", impl_->path), false;
  return true;
}

bool AppendFile::Sync(std::string& error) {
  if (!::FlushFileBuffers(impl_->file)) return error = LastError("cannot sync", impl_->path), false;
  return true;
}

void AppendFile::Close() noexcept {
  if (impl_ && impl_->file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(impl_->file);
    impl_->file = INVALID_HANDLE_VALUE;
  }
}

bool AppendFile::IsOpen() const noexcept { return impl_->file != INVALID_HANDLE_VALUE; }

struct FolderLock::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
};

FolderLock::FolderLock() : impl_(std::make_unique<Impl>()) {}
FolderLock::~FolderLock() {
  if (impl_->file != INVALID_HANDLE_VALUE) ::CloseHandle(impl_->file);
}

bool FolderLock::Acquire(const std::string& path, std::string& error) {
  // No sharing at all: a second server fails to open the file.
  impl_->file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (impl_->file == INVALID_HANDLE_VALUE) {
    error = "another server is using this data folder (" + path + " is locked)";
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out, std::string& error, bool missingIsEmpty) {
  out.clear();
  // Sharing delete too, so the server may replace its journal while an
  // admin command reads it.
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if ((code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) && missingIsEmpty) return true;
    return error = "cannot open " + path + ": Windows error " + std::to_string(code), false;
  }
  char buffer[65536];
  bool ok = true;
  while (true) {
    DWORD n = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      ok = false;
      error = LastError("cannot read", path);
      break;
    }
    if (n == 0) break;
    out.append(buffer, n);
  }
  ::CloseHandle(file);
  return ok;
}

bool WriteFileDurably(const std::string& path, std::string_view data, std::string& error) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return error = LastError("cannot create", path), false;
  bool ok = WriteAll(file, data) && ::FlushFileBuffers(file);
  if (!ok) error = LastError("cannot write", path);
  ::CloseHandle(file);
  return ok;
}

bool ReplaceFileDurably(const std::string& source, const std::string& target, std::string& error) {
  if (!::MoveFileExW(Wide(source).c_str(), Wide(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return error = LastError("cannot rename onto", target), false;
  }
  return true;
}

bool MakeFolder(const std::string& path, std::string& error) {
  if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return true;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  }
  return error = LastError("cannot create folder", path), false;
}

std::tm LocalTime(std::time_t when) {
  std::tm result{};
  ::localtime_s(&result, &when);
  return result;
}

void RaiseOpenFileLimit() {}

namespace {
std::mutex gCloseMutex;
std::function<void()> gOnClose;

BOOL WINAPI ConsoleHandler(DWORD event) {
  if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) return FALSE;
  std::function<void()> onClose;
  {
    std::lock_guard lock(gCloseMutex);
    onClose = gOnClose;
  }
  if (onClose) onClose();
  // Windows ends the process when this handler returns; give the server a
  // moment to close its files. Every granted lock is already on disk.
  ::Sleep(2000);
  return TRUE;
}
}  // namespace

void OnConsoleClose(std::function<void()> onClose) {
  {
    std::lock_guard lock(gCloseMutex);
    gOnClose = std::move(onClose);
  }
  ::SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!::GetComputerNameA(name, &size)) return "none";
  return std::string(name, size);
}

}  // namespace quorlane::server
