#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <mutex>

#include "platform/platform.h"

namespace quorlane::platform {
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

struct JournalFile::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string path;
};

JournalFile::JournalFile() : impl_(std::make_unique<Impl>()) {}
JournalFile::~JournalFile() { Close(); }

bool JournalFile::Open(const std::string& path, std::uint64_t validBytes, std::string& error) {
  Close();
  impl_->file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (impl_->file == INVALID_HANDLE_VALUE) return error = LastError("cannot open", path), false;
  impl_->path = path;
  // Appending behind a zero tail (space a Linux server reserved) would put
  // records where a scan no longer looks: cut it off first.
  LARGE_INTEGER size{};
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(validBytes);
  if (!::GetFileSizeEx(impl_->file, &size) || !::SetFilePointerEx(impl_->file, end, nullptr, FILE_BEGIN)) {
    return error = LastError("cannot position in", path), false;
  }
  if (size.QuadPart > end.QuadPart && (!::SetEndOfFile(impl_->file) || !::FlushFileBuffers(impl_->file))) {
    return error = LastError("cannot shorten", path), false;
  }
  return true;
}

bool JournalFile::WriteDurably(std::string_view data, std::string& error) {
  if (!WriteAll(impl_->file, data)) return error = LastError("cannot write", impl_->path), false;
  if (!::FlushFileBuffers(impl_->file)) return error = LastError("cannot sync", impl_->path), false;
  return true;
}

void JournalFile::Close(bool) noexcept {
  if (impl_ && impl_->file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(impl_->file);
    impl_->file = INVALID_HANDLE_VALUE;
  }
}

bool JournalFile::IsOpen() const noexcept { return impl_->file != INVALID_HANDLE_VALUE; }

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

namespace {

// A security descriptor that grants the account this process runs as, and
// nobody else (or, with `administrators`, also SYSTEM and the Administrators
// group), full access (protected: nothing inherited from the folder).
class PrivateSecurity {
 public:
  explicit PrivateSecurity(bool administrators = false) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    wchar_t* sid = nullptr;
    if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")" +
                                (administrators ? L"(A;;FA;;;SY)(A;;FA;;;BA)" : L"");
      ::LocalFree(sid);
      ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr);
    }
    ::CloseHandle(token);
  }
  ~PrivateSecurity() {
    if (descriptor_) ::LocalFree(descriptor_);
  }
  PrivateSecurity(const PrivateSecurity&) = delete;
  PrivateSecurity& operator=(const PrivateSecurity&) = delete;
  [[nodiscard]] SECURITY_ATTRIBUTES* Attributes() {
    if (!descriptor_) return nullptr;
    attributes_ = {sizeof(attributes_), descriptor_, FALSE};
    return &attributes_;
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// One argument as CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

}  // namespace

namespace {

std::string RandomHex() {
  static std::atomic<unsigned long long> serial{0};
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  unsigned long long value = static_cast<unsigned long long>(counter.QuadPart) * 0x9E3779B97F4A7C15ull;
  value ^= (serial++ + 1) * 0xC2B2AE3D27D4EB4Full ^ (static_cast<unsigned long long>(::GetTickCount()) << 32);
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", value);
  return text;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

struct TemporaryFile::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
};

TemporaryFile::TemporaryFile() : impl_(std::make_unique<Impl>()) {}

TemporaryFile::~TemporaryFile() {
  if (impl_->file == INVALID_HANDLE_VALUE) return;
  if (!renamed_) {
    // Deleted through the handle that nobody else could open meanwhile.
    FILE_DISPOSITION_INFO disposition{TRUE};
    ::SetFileInformationByHandle(impl_->file, FileDispositionInfo, &disposition, sizeof disposition);
  }
  ::CloseHandle(impl_->file);
}

bool TemporaryFile::Create(const std::string& target, FileAccess access, std::string& error) {
  target_ = target;
  PrivateSecurity security(access == FileAccess::Administrators);
  SECURITY_ATTRIBUTES* attributes = nullptr;
  if (access != FileAccess::Shared) {
    attributes = security.Attributes();
    if (!attributes) return error = "cannot build a private access list: Windows error " + std::to_string(::GetLastError()), false;
  }
  for (int attempt = 0; attempt < 16; ++attempt) {
    path_ = target + ".tmp-" + std::to_string(::GetCurrentProcessId()) + "-" + RandomHex();
    // No sharing at all, from creation to rename: no other process can open,
    // delete or rename it meanwhile.
    HANDLE file = ::CreateFileW(Wide(path_).c_str(), GENERIC_WRITE | DELETE, 0, attributes, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      impl_->file = file;
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return error = LastError("cannot create", path_), false;
    }
  }
  return error = "cannot create a temporary file beside " + target + ": every name tried was taken", false;
}

bool TemporaryFile::WriteDurably(std::string_view data, std::string& error) {
  if (!WriteAll(impl_->file, data) || !::FlushFileBuffers(impl_->file)) return error = LastError("cannot write", path_), false;
  return true;
}

Replacement TemporaryFile::ReplaceTarget(std::string& error) {
  const std::wstring target = Wide(target_);
  std::string buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t), '\0');
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, target.data(), target.size() * sizeof(wchar_t));
  if (!::SetFileInformationByHandle(impl_->file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
    return error = LastError("cannot rename onto", target_), Replacement::Failed;
  }
  renamed_ = true;
  if (!::FlushFileBuffers(impl_->file)) return error = LastError("cannot sync", target_), Replacement::NotDurable;
  return Replacement::Done;
}

int RemoveAbandonedTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(Wide(target + ".tmp-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // One that a process is writing is open without sharing: the delete fails.
    if (::DeleteFileW((Wide(folder) + L"\\" + found.cFileName).c_str())) ++removed;
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return removed;
}

bool IsPrivateFile(const std::string&, std::string&) { return true; }

// RtlGenRandom (advapi32's SystemFunction036): the system's secure random
// source, declared here as mingw's headers name it only under another macro.
extern "C" BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);

bool SecureRandom(unsigned char* buffer, std::size_t size) noexcept {
  while (size > 0) {
    const ULONG chunk = size > 0x10000 ? 0x10000u : static_cast<ULONG>(size);
    if (!SystemFunction036(buffer, chunk)) return false;
    buffer += chunk;
    size -= chunk;
  }
  return true;
}

void IgnoreFileSizeSignal() {}

int RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit, std::string& error) {
  if (argv.empty()) return error = "no program", -1;
  std::wstring commandLine;
  for (const auto& arg : argv) {
    if (!commandLine.empty()) commandLine.push_back(L' ');
    commandLine += QuoteArgument(Wide(arg));
  }
  // No handle of the server's (client connections, the listening socket,
  // its files) is inherited; the program runs without a console.
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const BOOL started = ::CreateProcessW(Wide(argv[0]).c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  const DWORD startError = ::GetLastError();
  if (!started) return error = "cannot start " + argv[0] + ": Windows error " + std::to_string(startError), -1;
  ::CloseHandle(info.hThread);
  int result = -2;
  if (::WaitForSingleObject(info.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0) {
    DWORD code = 1;
    ::GetExitCodeProcess(info.hProcess, &code);
    result = static_cast<int>(code);
  } else {
    ::TerminateProcess(info.hProcess, 1);
    ::WaitForSingleObject(info.hProcess, 5000);
    error = argv[0] + " did not finish within " + std::to_string(limit.count()) + " ms";
  }
  ::CloseHandle(info.hProcess);
  return result;
}

std::string ReadStandardInput(const std::string& prompt, bool secret) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!::GetConsoleMode(input, &mode)) {
    // Redirected input arrives byte for byte (no CR LF translation).
    _setmode(_fileno(stdin), _O_BINARY);
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  std::fputs(prompt.c_str(), stderr);
  if (secret) ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  std::getline(std::cin, line);
  if (secret) {
    ::SetConsoleMode(input, mode);
    std::fputc('\n', stderr);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace quorlane::platform
