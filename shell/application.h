// The program as a whole: its hidden application window (the handle kept in
// the instance slot), its title, the message loop and the owner for message
// boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "win32/unique_resource.h"

namespace talvora {

class Application {
 public:
  /// Creates the hidden application window. Its text stays empty so that a
  /// search for the main window's title never finds it.
  explicit Application(HINSTANCE instance);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  [[nodiscard]] HWND Handle() const noexcept { return m_window.get(); }
  [[nodiscard]] HINSTANCE Instance() const noexcept { return m_instance; }

  void SetTitle(std::wstring title) { m_title = std::move(title); }
  [[nodiscard]] const std::wstring& Title() const noexcept { return m_title; }

  /// The window that restores on SC_RESTORE and sees key presses first.
  void SetMainWindow(HWND window) noexcept { m_mainWindow = window; }
  using KeyPreview = std::function<void(WORD key, bool shift, bool alt, bool ctrl)>;
  void SetKeyPreview(KeyPreview preview) { m_keyPreview = std::move(preview); }

  /// Runs the message loop until a quit request; returns its exit code.
  int Run();
  /// Asks the message loop to end once the current handler has returned.
  static void Terminate() noexcept { ::PostQuitMessage(0); }

  /// The owner of a modal box: the active window of this thread, or the
  /// application window when there is none yet.
  [[nodiscard]] HWND MessageBoxOwner() const noexcept;
  /// A box with the application title as caption.
  int MessageBox(const std::wstring& text, UINT flags) const noexcept;
  int MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) const noexcept;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void PreviewKey(const MSG& message);

  HINSTANCE m_instance;
  std::wstring m_title;
  HWND m_mainWindow = nullptr;
  KeyPreview m_keyPreview;
  win32::UniqueWindow m_window;
};

}  // namespace talvora
