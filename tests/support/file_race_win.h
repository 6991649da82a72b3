// For tests of checked paths: links made the way the system under the tests
// can make them, and the pause a file request takes between checking its
// paths and acting on them when a test asks for it (the seam
// PauseAfterCheckForTests in library/session/held_path_win.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "win32/unique_resource.h"

namespace testsupport {

/// A symbolic link at `link` to `target` (a folder or a file, which need not
/// exist), removed again (the link, not what it leads to) when the object
/// goes. Windows makes it with CreateSymbolicLinkW (developer mode or the
/// privilege). Wine 8 cannot: CreateSymbolicLinkW reports success and makes
/// nothing, and FSCTL_SET_REPARSE_POINT (a junction) fails with 50. There the
/// link is made on the Linux side, by /bin/ln, and Wine follows it like a
/// link or junction; so is it removed, as Wine cannot remove a link to a
/// folder, nor one it cannot resolve.
class Link {
 public:
  Link(std::wstring link, const std::wstring& target) : link_(std::move(link)) {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    folder_ = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (::CreateSymbolicLinkW(link_.c_str(), target.c_str(), (folder_ ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | kUnprivileged) &&
        ::GetFileAttributesW(link_.c_str()) != INVALID_FILE_ATTRIBUTES) {
      made_ = Made::ByWindows;
    } else if (RunOnLinux("ln -s -- '" + UnixPath(target) + "' '" + UnixPath(link_) + "'")) {
      made_ = Made::OnLinux;
    }
  }
  ~Link() {
    if (made_ == Made::ByWindows) {
      folder_ ? ::RemoveDirectoryW(link_.c_str()) : ::DeleteFileW(link_.c_str());
    } else if (made_ == Made::OnLinux) {
      RunOnLinux("if [ -L '" + UnixPath(link_) + "' ]; then rm -f -- '" + UnixPath(link_) + "'; fi");
    }
  }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  [[nodiscard]] explicit operator bool() const { return made_ != Made::Not; }

 private:
  enum class Made { Not, ByWindows, OnLinux };

  // Wine's name on the Linux side for a Windows path (empty on Windows).
  static std::string UnixPath(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(path.c_str()) : nullptr;
    const std::string text = name != nullptr ? name : "";
    if (name != nullptr) ::HeapFree(::GetProcessHeap(), 0, name);
    return text;
  }

  // Runs a shell command on the Linux side and waits (at most 5 s) until it
  // has succeeded: Wine starts Linux programs without a process handle to
  // wait on, so the command leaves a marker file behind.
  bool RunOnLinux(const std::string& command) const {
    const std::wstring marker = link_ + L".done";
    const std::string markerName = UnixPath(marker);
    if (markerName.empty() || command.find("''") != std::string::npos) return false;
    const std::string shell = "/bin/sh -c \"" + command + " && : > '" + markerName + "'\"";
    std::wstring line(shell.begin(), shell.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info)) {
      return false;
    }
    // Wine starts a Linux program without a process handle, and what it
    // leaves where the thread's handle goes is none (closing it would close
    // some other handle of this process): only a real process's are owned.
    const win32::UniqueHandle process(info.hProcess);
    const win32::UniqueHandle thread(process ? info.hThread : nullptr);
    for (int i = 0; i < 250; ++i) {
      if (::DeleteFileW(marker.c_str())) return true;
      ::Sleep(20);
    }
    return false;
  }

  std::wstring link_;
  bool folder_ = false;
  Made made_ = Made::Not;
};

/// While one lives, the next file request that reaches the seam (in this
/// process, or in a server started after EnableInChildren) pauses there and
/// `whilePaused` runs on a thread of its own; then the request goes on.
class PauseAfterCheck {
 public:
  static const std::wstring& Name() {
    static const std::wstring name = L"quorlane-test-pause-" + std::to_wstring(::GetCurrentProcessId());
    return name;
  }
  /// Sets the variable the seam reads, for this process and the programs it starts.
  static void Enable() { ::SetEnvironmentVariableW(L"QUORLANE_TEST_PAUSE_AFTER_CHECK", Name().c_str()); }

  explicit PauseAfterCheck(std::function<void()> whilePaused)
      : checked_(::CreateEventW(nullptr, FALSE, FALSE, (Name() + L".checked").c_str())),
        go_(::CreateEventW(nullptr, FALSE, FALSE, (Name() + L".go").c_str())),
        stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    Enable();
    thread_ = std::thread([this, whilePaused = std::move(whilePaused)] {
      const HANDLE events[] = {checked_.get(), stop_.get()};
      if (::WaitForMultipleObjects(2, events, FALSE, 30000) == WAIT_OBJECT_0) {
        reached_ = true;
        whilePaused();
      }
      ::SetEvent(go_.get());
    });
  }
  ~PauseAfterCheck() {
    ::SetEvent(stop_.get());
    thread_.join();
  }
  PauseAfterCheck(const PauseAfterCheck&) = delete;
  PauseAfterCheck& operator=(const PauseAfterCheck&) = delete;

  /// Whether a request paused (and `whilePaused` ran). Read it after the request.
  [[nodiscard]] bool Reached() const { return reached_; }

 private:
  win32::UniqueHandle checked_, go_, stop_;
  std::atomic<bool> reached_{false};
  std::thread thread_;
};

}  // namespace testsupport
