#include "application.h"

namespace talvora {

namespace {
constexpr wchar_t kApplicationClass[] = L"TalvoraApplication";
}

Application::Application(HINSTANCE instance) : m_instance(instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &Application::WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kApplicationClass;
  ::RegisterClassExW(&windowClass);
  // Top-level (not message-only) so that it can own the main window and so
  // that its last active pop-up is the one a second start brings forward.
  m_window.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kApplicationClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   instance, this));
}

LRESULT CALLBACK Application::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Application*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE) {
    // Restores the program only when it is minimised; the main window gets
    // back the state it had before.
    if (self != nullptr && self->m_mainWindow != nullptr && ::IsIconic(self->m_mainWindow)) {
      ::ShowWindow(self->m_mainWindow, SW_RESTORE);
    }
    return 0;
  }
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void Application::PreviewKey(const MSG& message) {
  if (!m_keyPreview || m_mainWindow == nullptr) return;
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return;
  if (message.hwnd != m_mainWindow && !::IsChild(m_mainWindow, message.hwnd)) return;
  const bool shift = ::GetKeyState(VK_SHIFT) < 0;
  const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
  const bool alt = ::GetKeyState(VK_MENU) < 0 || (message.message == WM_SYSKEYDOWN && (message.lParam & (1 << 29)));
  m_keyPreview(static_cast<WORD>(message.wParam), shift, alt, ctrl);
}

int Application::Run() {
  MSG message{};
  while (true) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    try {
      PreviewKey(message);
    } catch (...) {
      // A failing key handler must not end the program.
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

HWND Application::MessageBoxOwner() const noexcept {
  const HWND active = ::GetActiveWindow();
  return active != nullptr ? active : m_window.get();
}

int Application::MessageBox(const std::wstring& text, UINT flags) const noexcept {
  return MessageBox(text, m_title, flags);
}

int Application::MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) const noexcept {
  return ::MessageBoxW(MessageBoxOwner(), text.c_str(), caption.c_str(), flags);
}

}  // namespace talvora
