// Stands in for the programs the shell starts: registered as the handler of
// web addresses in the test prefix, and embedded as the runtime installer in
// the Talvora.exe the tests run. Appends one line per start to the file named
// by LAUNCH_RECORDER_LOG: "<own path>\t<command line>" (UTF-8).
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t log[1024];
  const DWORD n = ::GetEnvironmentVariableW(L"LAUNCH_RECORDER_LOG", log, 1024);
  if (n == 0 || n >= 1024) return 1;
  wchar_t self[1024];
  const DWORD selfLength = ::GetModuleFileNameW(nullptr, self, 1024);
  const std::wstring line = std::wstring(self, selfLength) + L"\t" + ::GetCommandLineW() + L"\n";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
  // Appends are atomic enough for one line; retry while another start holds the file.
  for (int attempt = 0; attempt < 50; ++attempt) {
    HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      ::CloseHandle(file);
      return 0;
    }
    ::Sleep(20);
  }
  return 1;
}
