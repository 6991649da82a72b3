#include "edge_browser.h"

#include "parameter_string.h"

namespace talvora {

namespace {
constexpr wchar_t kEdgeBrowserClass[] = L"TalvoraEdgeBrowser";
}

TEdgeBrowser::TEdgeBrowser(HINSTANCE instance, HWND parent, RECT bounds) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &TEdgeBrowser::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kEdgeBrowserClass;
  ::RegisterClassExW(&windowClass);
  m_window.reset(::CreateWindowExW(0, kEdgeBrowserClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP,
                                   bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                                   parent, nullptr, instance, this));
}

TEdgeBrowser::~TEdgeBrowser() {
  CloseWebView();
  m_environment.reset();
  // The window goes before the loader: the runtime's child windows live in it.
  m_window.reset();
}

LRESULT CALLBACK TEdgeBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TEdgeBrowser*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_SIZE:
      if (self != nullptr) self->UpdateBounds();
      break;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void TEdgeBrowser::Navigate(const std::wstring& address) {
  if (m_webView) {
    m_webView->Navigate(address.c_str());
    return;
  }
  if (!IsBlankParameter(address)) m_rememberedAddress = address;
  if (!m_creationStarted) StartCreation();
}

void TEdgeBrowser::Reinitialise() {
  if (m_webView) {
    LPWSTR source = nullptr;
    if (SUCCEEDED(m_webView->get_Source(&source))) {
      m_rememberedAddress = TakeCoTaskString(source);
    } else {
      ::CoTaskMemFree(source);
    }
  }
  CloseWebView();
  StartCreation();
}

void TEdgeBrowser::Refit() {
  const HWND parent = ::GetParent(m_window.get());
  RECT client{};
  if (parent == nullptr || !::GetClientRect(parent, &client)) return;
  ::SetWindowPos(m_window.get(), nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
  UpdateBounds();
}

void TEdgeBrowser::AddWebResourceRequestedFilter(const std::wstring& uriPattern,
                                                 webview2::WebResourceContext context) {
  if (m_webView) m_webView->AddWebResourceRequestedFilter(uriPattern.c_str(), context);
}

void TEdgeBrowser::StartCreation() {
  m_creationStarted = true;
  const unsigned generation = ++m_generation;
  if (!m_loader) m_loader.reset(::LoadLibraryW(L"WebView2Loader.dll"));
  const auto create = m_loader ? reinterpret_cast<webview2::CreateEnvironmentWithOptionsFn>(reinterpret_cast<void*>(
                                     ::GetProcAddress(m_loader.get(), "CreateCoreWebView2EnvironmentWithOptions")))
                               : nullptr;
  if (create == nullptr) {
    CreationFailed(generation, webview2::kFail);
    return;
  }
  // The loader may report a failure by its return value, through the handler,
  // or both; only the first report of a creation counts.
  auto reported = std::make_shared<bool>(false);
  auto handler = EnvironmentCompletedHandler::Make(
      [this, generation, reported](HRESULT result, webview2::ICoreWebView2Environment* environment) -> HRESULT {
        if (*reported) return S_OK;
        *reported = true;
        if (FAILED(result) || environment == nullptr) {
          CreationFailed(generation, FAILED(result) ? result : E_POINTER);
          return S_OK;
        }
        if (generation == m_generation) m_environment = ComPtr<webview2::ICoreWebView2Environment>::Borrow(environment);
        auto controllerHandler = ControllerCompletedHandler::Make(
            [this, generation](HRESULT controllerResult, webview2::ICoreWebView2Controller* controller) -> HRESULT {
              if (FAILED(controllerResult) || controller == nullptr) {
                CreationFailed(generation, FAILED(controllerResult) ? controllerResult : E_POINTER);
              } else {
                ControllerCreated(generation, controller);
              }
              return S_OK;
            });
        const HRESULT started = environment->CreateCoreWebView2Controller(m_window.get(), controllerHandler.get());
        if (FAILED(started)) CreationFailed(generation, started);
        return S_OK;
      });
  const HRESULT started = create(nullptr, m_userDataFolder.c_str(), nullptr, handler.get());
  if (FAILED(started) && !*reported) {
    *reported = true;
    CreationFailed(generation, started);
  }
}

void TEdgeBrowser::CreationFailed(unsigned /*generation*/, HRESULT result) {
  if (OnCreateWebViewCompleted) OnCreateWebViewCompleted(*this, result);
}

void TEdgeBrowser::ControllerCreated(unsigned generation, webview2::ICoreWebView2Controller* controller) {
  auto adopted = ComPtr<webview2::ICoreWebView2Controller>::Borrow(controller);
  if (generation != m_generation) {
    // Superseded by a later creation: report it, then let it go.
    if (OnCreateWebViewCompleted) OnCreateWebViewCompleted(*this, S_OK);
    adopted->Close();
    return;
  }
  CloseWebView();
  m_controller = adopted;
  if (FAILED(m_controller->get_CoreWebView2(m_webView.put())) || !m_webView) {
    m_controller->Close();
    m_controller.reset();
    m_webView.reset();
    if (OnCreateWebViewCompleted) OnCreateWebViewCompleted(*this, E_NOINTERFACE);
    return;
  }
  UpdateBounds();
  m_controller->put_IsVisible(TRUE);
  if (OnCreateWebViewCompleted) OnCreateWebViewCompleted(*this, S_OK);
  // The handler may have re-created or closed the view meanwhile.
  if (generation != m_generation || !m_webView) return;
  AttachHandlers();
  if (!m_rememberedAddress.empty()) m_webView->Navigate(m_rememberedAddress.c_str());
}

void TEdgeBrowser::AttachHandlers() {
  auto navigationCompleted = NavigationCompletedHandler::Make(
      [this](webview2::ICoreWebView2*, webview2::ICoreWebView2NavigationCompletedEventArgs* args) -> HRESULT {
        BOOL success = FALSE;
        webview2::WebErrorStatus status = 0;
        if (args != nullptr) {
          args->get_IsSuccess(&success);
          args->get_WebErrorStatus(&status);
        }
        if (OnNavigationCompleted) OnNavigationCompleted(*this, success != FALSE, status);
        return S_OK;
      });
  auto newWindowRequested = NewWindowRequestedHandler::Make(
      [this](webview2::ICoreWebView2*, webview2::ICoreWebView2NewWindowRequestedEventArgs* args) -> HRESULT {
        if (args != nullptr && OnNewWindowRequested) OnNewWindowRequested(*this, *args);
        return S_OK;
      });
  m_webView->add_NavigationCompleted(navigationCompleted.get(), &m_navigationCompletedToken);
  m_webView->add_NewWindowRequested(newWindowRequested.get(), &m_newWindowRequestedToken);
  m_handlersAttached = true;
}

void TEdgeBrowser::CloseWebView() {
  // 1. detach our handlers, 2. close the controller, 3. let go of both.
  if (m_webView && m_handlersAttached) {
    m_webView->remove_NavigationCompleted(m_navigationCompletedToken);
    m_webView->remove_NewWindowRequested(m_newWindowRequestedToken);
  }
  m_handlersAttached = false;
  if (m_controller) m_controller->Close();
  m_webView.reset();
  m_controller.reset();
}

void TEdgeBrowser::UpdateBounds() {
  if (!m_controller) return;
  RECT bounds{};
  ::GetClientRect(m_window.get(), &bounds);
  m_controller->put_Bounds(bounds);
}

}  // namespace talvora
