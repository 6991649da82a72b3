// The web-view control: a child window that hosts one WebView2 controller.
//
// Lifecycle: empty -> creating -> ready, and back to creating on
// Reinitialise. Every creation ends in exactly one OnCreateWebViewCompleted
// (also when the loader cannot be loaded, or the loader fails at once); only
// after that handler has run are the event handlers attached and the
// remembered address opened. A creation that was superseded by a later one
// still reports its result, but its controller is closed, not kept.
//
// Threading: the UI thread only; WebView2 calls back through its message loop.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "com_handler.h"
#include "webview2.h"
#include "win32/unique_resource.h"

namespace talvora {

class TEdgeBrowser {
 public:
  using CreateCompletedEvent = std::function<void(TEdgeBrowser& sender, HRESULT result)>;
  using NavigationCompletedEvent = std::function<void(TEdgeBrowser& sender, bool isSuccess, std::int32_t status)>;
  using NewWindowRequestedEvent =
      std::function<void(TEdgeBrowser& sender, webview2::ICoreWebView2NewWindowRequestedEventArgs& args)>;

  TEdgeBrowser(HINSTANCE instance, HWND parent, RECT bounds);
  TEdgeBrowser(const TEdgeBrowser&) = delete;
  TEdgeBrowser& operator=(const TEdgeBrowser&) = delete;
  ~TEdgeBrowser();

  [[nodiscard]] HWND Handle() const noexcept { return m_window.get(); }

  CreateCompletedEvent OnCreateWebViewCompleted;
  NavigationCompletedEvent OnNavigationCompleted;
  NewWindowRequestedEvent OnNewWindowRequested;

  /// Passed to every creation; set before the first one.
  void SetUserDataFolder(std::wstring folder) { m_userDataFolder = std::move(folder); }

  /// Opens `address` in the web view; before it exists, starts the first
  /// creation (once) and remembers a non-blank address for its completion.
  void Navigate(const std::wstring& address);
  /// Remembers the current address, closes the web view and creates a new one.
  void Reinitialise();
  /// Fits the control to its parent's whole client area again.
  void Refit();
  /// Adds a web-resource-requested filter to the web view, when there is one.
  void AddWebResourceRequestedFilter(const std::wstring& uriPattern, webview2::WebResourceContext context);

  [[nodiscard]] bool WebViewExists() const noexcept { return static_cast<bool>(m_webView); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void StartCreation();
  void CreationFailed(unsigned generation, HRESULT result);
  void ControllerCreated(unsigned generation, webview2::ICoreWebView2Controller* controller);
  void AttachHandlers();
  void CloseWebView();
  void UpdateBounds();

  win32::UniqueWindow m_window;
  win32::UniqueModule m_loader;
  std::wstring m_userDataFolder;
  std::wstring m_rememberedAddress;
  bool m_creationStarted = false;
  unsigned m_generation = 0;  // of the latest creation; older completions are superseded
  ComPtr<webview2::ICoreWebView2Environment> m_environment;
  ComPtr<webview2::ICoreWebView2Controller> m_controller;
  ComPtr<webview2::ICoreWebView2> m_webView;
  webview2::EventRegistrationToken m_navigationCompletedToken{};
  webview2::EventRegistrationToken m_newWindowRequestedToken{};
  bool m_handlersAttached = false;
};

}  // namespace talvora
