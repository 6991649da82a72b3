// Runs the real Talvora.exe under Wine for a test: a private staging folder
// with the loader double, a scenario, the double's journal, the launch
// recorder's log, the Windows version, and helpers that find and drive the
// shell's windows and message boxes from outside.
#pragma once

#include "folders_win.h"
#include "wide_text.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win32/unique_resource.h"

namespace shelltest {

using testsupport::Utf8;
std::wstring ReadWholeFileW(const std::wstring& path, bool* exists = nullptr);  // as UTF-8 decoded text
std::string ReadBytes(const std::wstring& path, bool* exists = nullptr);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
using testsupport::RemoveTree;

/// Polls `condition` every 20 ms until it holds or `timeoutMs` passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

/// Puts the prefix's Windows version back as it was when constructed.
class WindowsVersionGuard {
 public:
  WindowsVersionGuard();
  ~WindowsVersionGuard();
  WindowsVersionGuard(const WindowsVersionGuard&) = delete;
  WindowsVersionGuard& operator=(const WindowsVersionGuard&) = delete;

 private:
  struct Saved {
    std::wstring name;
    DWORD type;
    std::string data;
    bool present;
  };
  std::vector<Saved> m_saved;
};

/// Makes GetVersionExW report 10.0.<build> to programs that declare Windows 10.
void SetWindowsBuild(DWORD build);

/// The RCDATA resource `name` of an executable file, read without running it.
std::string ResourceOf(const std::wstring& executable, const wchar_t* name);

struct JournalLine {
  double timeMs = 0;
  std::string event;  // first word
  std::string text;   // the whole line after the time
};

class Stage {
 public:
  explicit Stage(const std::string& testName);
  ~Stage();

  void WithoutLoader();
  void UseShippedExecutable();
  void Scenario(const std::string& text);
  void UnsetAllUsersProfile() { m_unsetProfile = true; }

  [[nodiscard]] const std::wstring& Folder() const { return m_folder; }
  [[nodiscard]] std::wstring Executable() const { return m_folder + L"bin\\Talvora.exe"; }
  [[nodiscard]] std::wstring Profile() const { return m_folder + L"profile"; }
  [[nodiscard]] std::wstring InstallerFile() const {
    return Profile() + L"\\EdgeUserDataFolder\\MicrosoftEdgeWebview2Setup.exe";
  }

  /// Starts Talvora.exe with the raw argument text appended to its quoted path.
  HANDLE Start(const std::wstring& argumentText, const std::wstring& currentFolder = L"");
  /// Starts, waits for the end and returns the exit code (or STILL_ACTIVE on timeout).
  DWORD RunToEnd(const std::wstring& argumentText, DWORD timeoutMs);

  [[nodiscard]] std::vector<JournalLine> Journal() const;
  [[nodiscard]] int Count(const std::string& linePrefix) const;
  bool WaitForJournal(const std::string& linePrefix, int count, DWORD timeoutMs) const;
  [[nodiscard]] std::vector<std::string> Launches() const;  // recorder lines

  /// The main window ("frmTalvora"), waiting up to `timeoutMs` for it.
  HWND MainWindow(DWORD timeoutMs = 5000) const;
  [[nodiscard]] static int CountMainWindows();

 private:
  void SetEnvironment() const;
  std::wstring m_folder;
  bool m_unsetProfile = false;
  std::vector<win32::UniqueHandle> m_processes;
};

/// A message box by caption, its text, and a click on one of its buttons.
HWND FindMessageBox(const std::wstring& caption, DWORD timeoutMs);
std::wstring MessageBoxText(HWND box);
void ClickButton(HWND box, int id);

}  // namespace shelltest
