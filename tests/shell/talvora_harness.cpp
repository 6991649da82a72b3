#include "talvora_harness.h"

#include <gtest/gtest.h>

#include <cctype>

#include "child_process.h"

namespace shelltest {


std::string ReadBytes(const std::wstring& path, bool* exists) {
  win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (exists) *exists = static_cast<bool>(file);
  std::string bytes;
  if (!file) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

std::wstring ReadWholeFileW(const std::wstring& path, bool* exists) {
  const std::string bytes = ReadBytes(path, exists);
  if (bytes.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), size);
  return out;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (int round = 0; round < 100000; ++round) {
    if (condition()) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(20);
  }
  return false;
}

namespace {
constexpr const wchar_t* kVersionValues[] = {L"CurrentMajorVersionNumber", L"CurrentMinorVersionNumber",
                                             L"CurrentVersion", L"CurrentBuildNumber", L"CurrentBuild"};
}

WindowsVersionGuard::WindowsVersionGuard() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  for (const wchar_t* name : kVersionValues) {
    Saved saved{name, 0, {}, false};
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
      saved.data.resize(size);
      saved.present = ::RegQueryValueExW(key, name, nullptr, &saved.type,
                                         reinterpret_cast<BYTE*>(saved.data.data()), &size) == ERROR_SUCCESS;
    }
    m_saved.push_back(saved);
  }
  ::RegCloseKey(key);
}

WindowsVersionGuard::~WindowsVersionGuard() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  for (const auto& saved : m_saved) {
    if (saved.present) {
      ::RegSetValueExW(key, saved.name.c_str(), 0, saved.type, reinterpret_cast<const BYTE*>(saved.data.data()),
                       static_cast<DWORD>(saved.data.size()));
    } else {
      ::RegDeleteValueW(key, saved.name.c_str());
    }
  }
  ::RegCloseKey(key);
}

void SetWindowsBuild(DWORD build) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const DWORD major = 10, minor = 0;
  ::RegSetValueExW(key, L"CurrentMajorVersionNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&major), sizeof(major));
  ::RegSetValueExW(key, L"CurrentMinorVersionNumber", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&minor), sizeof(minor));
  // Wine takes the major and minor version from this text.
  const std::wstring version = L"10.0";
  const std::wstring number = std::to_wstring(build);
  ::RegSetValueExW(key, L"CurrentVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>((version.size() + 1) * 2));
  ::RegSetValueExW(key, L"CurrentBuildNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>(number.c_str()),
                   static_cast<DWORD>((number.size() + 1) * 2));
  ::RegSetValueExW(key, L"CurrentBuild", 0, REG_SZ, reinterpret_cast<const BYTE*>(number.c_str()),
                   static_cast<DWORD>((number.size() + 1) * 2));
  ::RegCloseKey(key);
}

std::string ResourceOf(const std::wstring& executable, const wchar_t* name) {
  win32::UniqueModule module(::LoadLibraryExW(executable.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return {};
  const HRSRC resource = ::FindResourceW(module.get(), name, MAKEINTRESOURCEW(10));
  if (!resource) return {};
  const HGLOBAL loaded = ::LoadResource(module.get(), resource);
  const char* data = static_cast<const char*>(::LockResource(loaded));
  return data ? std::string(data, ::SizeofResource(module.get(), resource)) : std::string{};
}

namespace {

void CopyInto(const std::wstring& from, const std::wstring& to) {
  ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << Utf8(from) << " error " << ::GetLastError();
}

void RegisterRecorderFor(const wchar_t* scheme, const std::wstring& recorder) {
  const std::wstring base = std::wstring(scheme) + L"\\shell\\open\\command";
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, base.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    const std::wstring command = L"\"" + recorder + L"\" \"%1\"";
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                     static_cast<DWORD>((command.size() + 1) * 2));
    ::RegCloseKey(key);
  }
  HKEY schemeKey = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, scheme, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &schemeKey, nullptr) ==
      ERROR_SUCCESS) {
    ::RegSetValueExW(schemeKey, L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 2);
    ::RegCloseKey(schemeKey);
  }
}

int gStageCounter = 0;

}  // namespace

Stage::Stage(const std::string& testName) {
  std::wstring safeName;
  for (char c : testName) safeName.push_back(std::isalnum(static_cast<unsigned char>(c)) ? static_cast<wchar_t>(c) : L'_');
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  m_folder = std::wstring(temp) + L"talvora-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(++gStageCounter) + L"-" + safeName + L"\\";
  RemoveTree(m_folder.substr(0, m_folder.size() - 1));
  ::CreateDirectoryW(m_folder.c_str(), nullptr);
  ::CreateDirectoryW((m_folder + L"bin").c_str(), nullptr);
  ::CreateDirectoryW(Profile().c_str(), nullptr);
  const std::wstring built = testsupport::ProgramFolder();
  CopyInto(built + L"talvora-under-test\\Talvora.exe", Executable());
  CopyInto(built + L"talvora-under-test\\WebView2Loader.dll", m_folder + L"bin\\WebView2Loader.dll");
  // The browser: every scheme the shell might hand on, refused ones included.
  const std::wstring recorder = built + L"launch_recorder.exe";
  for (const wchar_t* scheme : {L"http", L"https", L"mailto", L"talvoratest"}) RegisterRecorderFor(scheme, recorder);
  Scenario("");
}

Stage::~Stage() {
  // Ends what is still running: politely first, then by force.
  for (HWND window = ::FindWindowW(nullptr, L"frmTalvora"); window != nullptr;
       window = ::FindWindowW(nullptr, L"frmTalvora")) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (!WaitUntil([window] { return !::IsWindow(window); }, 3000)) break;
  }
  for (auto& process : m_processes) {
    if (::WaitForSingleObject(process.get(), 3000) == WAIT_TIMEOUT) {
      ::TerminateProcess(process.get(), 99);
      ::WaitForSingleObject(process.get(), 3000);
    }
  }
  if (!::testing::Test::HasFailure()) RemoveTree(m_folder.substr(0, m_folder.size() - 1));
}

void Stage::WithoutLoader() { ::DeleteFileW((m_folder + L"bin\\WebView2Loader.dll").c_str()); }

void Stage::UseShippedExecutable() { CopyInto(testsupport::ProgramFolder() + L"Talvora.exe", Executable()); }

void Stage::Scenario(const std::string& text) { WriteBytes(m_folder + L"scenario.txt", text); }

void Stage::SetEnvironment() const {
  ::SetEnvironmentVariableW(L"TALVORA_DOUBLE_JOURNAL", (m_folder + L"journal.txt").c_str());
  ::SetEnvironmentVariableW(L"TALVORA_DOUBLE_SCENARIO", (m_folder + L"scenario.txt").c_str());
  ::SetEnvironmentVariableW(L"LAUNCH_RECORDER_LOG", (m_folder + L"launches.txt").c_str());
  ::SetEnvironmentVariableW(L"ALLUSERSPROFILE", m_unsetProfile ? nullptr : Profile().c_str());
}

HANDLE Stage::Start(const std::wstring& argumentText, const std::wstring& currentFolder) {
  SetEnvironment();
  std::wstring line = L"\"" + Executable() + L"\"";
  if (!argumentText.empty()) line += L" " + argumentText;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const std::wstring folder = currentFolder.empty() ? m_folder : currentFolder;
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info)) {
    ADD_FAILURE() << "cannot start Talvora.exe: " << ::GetLastError();
    return nullptr;
  }
  ::CloseHandle(info.hThread);
  m_processes.emplace_back(info.hProcess);
  return info.hProcess;
}

DWORD Stage::RunToEnd(const std::wstring& argumentText, DWORD timeoutMs) {
  const HANDLE process = Start(argumentText);
  if (process == nullptr) return static_cast<DWORD>(-1);
  if (::WaitForSingleObject(process, timeoutMs) == WAIT_TIMEOUT) return STILL_ACTIVE;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  return code;
}

std::vector<JournalLine> Stage::Journal() const {
  std::vector<JournalLine> lines;
  const std::string bytes = ReadBytes(m_folder + L"journal.txt");
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    const std::string line = bytes.substr(start, end - start);
    start = end + 1;
    const auto space = line.find(' ');
    if (space == std::string::npos) continue;
    JournalLine entry;
    entry.timeMs = std::atof(line.substr(0, space).c_str());
    entry.text = line.substr(space + 1);
    entry.event = entry.text.substr(0, entry.text.find(' '));
    lines.push_back(entry);
  }
  return lines;
}

int Stage::Count(const std::string& linePrefix) const {
  int count = 0;
  for (const auto& line : Journal()) count += line.text.rfind(linePrefix, 0) == 0 ? 1 : 0;
  return count;
}

bool Stage::WaitForJournal(const std::string& linePrefix, int count, DWORD timeoutMs) const {
  return WaitUntil([&] { return Count(linePrefix) >= count; }, timeoutMs);
}

std::vector<std::string> Stage::Launches() const {
  std::vector<std::string> lines;
  const std::string bytes = ReadBytes(m_folder + L"launches.txt");
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(bytes.substr(start, end - start));
  }
  return lines;
}

HWND Stage::MainWindow(DWORD timeoutMs) const {
  HWND window = nullptr;
  // Visible means its creation handler has run.
  WaitUntil([&] { return (window = ::FindWindowW(nullptr, L"frmTalvora")) != nullptr && ::IsWindowVisible(window); },
            timeoutMs);
  return window;
}

namespace {
BOOL CALLBACK CountTitled(HWND window, LPARAM counter) {
  wchar_t title[64] = L"";
  ::GetWindowTextW(window, title, 64);
  if (std::wstring(title) == L"frmTalvora") ++*reinterpret_cast<int*>(counter);
  return TRUE;
}
}  // namespace

int Stage::CountMainWindows() {
  int count = 0;
  ::EnumWindows(&CountTitled, reinterpret_cast<LPARAM>(&count));
  return count;
}

HWND FindMessageBox(const std::wstring& caption, DWORD timeoutMs) {
  HWND box = nullptr;
  // The dialog exists before its texts and buttons are filled in; it is only
  // shown once they are, so wait for a visible box with its message in place.
  const bool ready = WaitUntil(
      [&] {
        box = ::FindWindowW(L"#32770", caption.c_str());
        const HWND message = box ? ::GetDlgItem(box, 65535) : nullptr;
        return box && ::IsWindowVisible(box) && message && ::GetWindowTextLengthW(message) > 0;
      },
      timeoutMs);
  return ready ? box : nullptr;
}

std::wstring MessageBoxText(HWND box) {
  wchar_t text[1024] = L"";
  ::GetWindowTextW(::GetDlgItem(box, 65535), text, 1024);
  return text;
}

void ClickButton(HWND box, int id) { ::SendMessageW(::GetDlgItem(box, id), BM_CLICK, 0, 0); }

}  // namespace shelltest
