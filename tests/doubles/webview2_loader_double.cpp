// WebView2Loader.dll double for the shell's tests. It implements the
// environment, controller and web view of our WebView2 declarations, writes
// a journal of what the shell asked for, and follows a scenario per test.
//
// Environment (inherited from the test through Talvora.exe):
//   TALVORA_DOUBLE_JOURNAL   file the journal lines are appended to (UTF-8)
//   TALVORA_DOUBLE_SCENARIO  file with key=value lines:
//     create=<hr>,<hr>,...   result of creation 1, 2, ... (default 0x0)
//     return=<hr>,...        returned at once by creation 1, 2, ... (0: asynchronous)
//     navigation=complete|none     whether Navigate completes (default complete)
//     navigation_success=1|0
//     new_window=<uri>|<uri>...    new-window requests raised after the first
//                                  completed navigation, one after the other
//     source=<uri>                 what get_Source reports (default: last Navigate)
//
// Journal line: "<milliseconds> <event> key=value ...". Callbacks are
// delivered through the calling thread's message loop, as the runtime does.
//
// Like the runtime, each controller shows a child window in the window it
// was given, placed by its bounds and shown by its visibility. The double
// renders no page: the window paints the address it was asked to open and
// that address's query parameters (the customer, for the assistant's pages),
// under a band that says it is this double, so a screenshot tells which page
// a real web view would show.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com_handler.h"
#include "webview2.h"
#include "win32/unique_resource.h"

#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

#include "wide_text.h"

using namespace webview2;
using talvora::ComPtr;
using testsupport::Utf8;
using testsupport::Wide;

namespace {


std::wstring Env(const wchar_t* name) {
  wchar_t buffer[2048];
  const DWORD n = ::GetEnvironmentVariableW(name, buffer, 2048);
  return (n > 0 && n < 2048) ? std::wstring(buffer, n) : std::wstring{};
}


void Journal(const std::string& line) {
  static const std::wstring path = Env(L"TALVORA_DOUBLE_JOURNAL");
  if (path.empty()) return;
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char stamp[32];
  std::snprintf(stamp, sizeof(stamp), "%.3f ", testsupport::WallClockMs());
  const std::string text = stamp + line + "\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

struct Scenario {
  std::vector<HRESULT> create;
  std::vector<HRESULT> returned;
  bool navigationCompletes = true;
  bool navigationSuccess = true;
  std::vector<std::wstring> newWindows;
  std::wstring source;
  bool sourceSet = false;
};

std::vector<HRESULT> HresultList(const std::string& text) {
  std::vector<HRESULT> list;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(',', start);
    const std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!item.empty()) list.push_back(static_cast<HRESULT>(std::strtoul(item.c_str(), nullptr, 0)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return list;
}

const Scenario& TheScenario() {
  static const Scenario scenario = [] {
    Scenario s;
    const std::wstring path = Env(L"TALVORA_DOUBLE_SCENARIO");
    if (path.empty()) return s;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return s;
    char line[4096];
    while (std::fgets(line, sizeof(line), file)) {
      std::string text(line);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      const auto eq = text.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = text.substr(0, eq);
      const std::string value = text.substr(eq + 1);
      if (key == "create") s.create = HresultList(value);
      if (key == "return") s.returned = HresultList(value);
      if (key == "navigation") s.navigationCompletes = value != "none";
      if (key == "navigation_success") s.navigationSuccess = value != "0";
      if (key == "source") {
        s.source = Wide(value);
        s.sourceSet = true;
      }
      if (key == "new_window") {
        std::size_t start = 0;
        while (start <= value.size()) {
          const std::size_t end = value.find('|', start);
          s.newWindows.push_back(Wide(value.substr(start, end == std::string::npos ? std::string::npos : end - start)));
          if (end == std::string::npos) break;
          start = end + 1;
        }
      }
    }
    std::fclose(file);
    return s;
  }();
  return scenario;
}

HRESULT Nth(const std::vector<HRESULT>& list, unsigned n) { return n - 1 < list.size() ? list[n - 1] : S_OK; }

// Delivers callbacks later through the thread's message loop.
class Dispatcher {
 public:
  static Dispatcher& Instance() {
    static Dispatcher dispatcher;
    return dispatcher;
  }
  void Post(std::function<void()> task) {
    const UINT_PTR id = m_next++;
    m_tasks[id] = std::move(task);
    ::PostMessageW(m_window, WM_APP, id, 0);
  }

 private:
  Dispatcher() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Dispatcher::Proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WebView2DoubleDispatcher";
    ::RegisterClassW(&windowClass);
    m_window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
  }
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
      auto& self = Instance();
      auto found = self.m_tasks.find(wParam);
      if (found != self.m_tasks.end()) {
        auto task = std::move(found->second);
        self.m_tasks.erase(found);
        task();
      }
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  HWND m_window = nullptr;
  UINT_PTR m_next = 1;
  std::map<UINT_PTR, std::function<void()>> m_tasks;
};

extern "C" IMAGE_DOS_HEADER __ImageBase;

/// The lines the page view paints for an address: the address, then each
/// query parameter as "name = value" (raw, as the address carries it).
std::vector<std::wstring> QueryParameters(const std::wstring& address) {
  std::vector<std::wstring> lines;
  const std::size_t query = address.find(L'?');
  if (query == std::wstring::npos) return lines;
  const std::wstring text = address.substr(query + 1, address.find(L'#', query) - query - 1);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L'&', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring item = text.substr(start, end - start);
    const std::size_t eq = item.find(L'=');
    if (!item.empty()) {
      lines.push_back(eq == std::wstring::npos ? item : item.substr(0, eq) + L" = " + item.substr(eq + 1));
    }
    start = end + 1;
  }
  return lines;
}

/// The child window standing in for the runtime's page.
class PageView {
 public:
  PageView(unsigned n, HWND parent) : m_n(n) {
    const HINSTANCE module = reinterpret_cast<HINSTANCE>(&__ImageBase);
    static const bool registered = [module] {
      WNDCLASSW windowClass{};
      windowClass.style = CS_HREDRAW | CS_VREDRAW;  // the text wraps to the width
      windowClass.lpfnWndProc = &PageView::Proc;
      windowClass.hInstance = module;
      windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
      windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
      windowClass.lpszClassName = kClass;
      return ::RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) return;
    m_wide = Fonts(16, 24, 18);
    m_narrow = Fonts(11, 12, 12);
    m_window.reset(::CreateWindowExW(WS_EX_NOPARENTNOTIFY, kClass, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                                     parent, nullptr, module, this));
  }
  PageView(const PageView&) = delete;
  PageView& operator=(const PageView&) = delete;

  void Show(bool visible) {
    if (m_window) ::ShowWindow(m_window.get(), visible ? SW_SHOWNA : SW_HIDE);
  }
  void Place(const RECT& bounds) {
    if (m_window) {
      ::SetWindowPos(m_window.get(), nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                     bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  void Open(const std::wstring& address) {
    m_source = address;
    m_opened = true;
    if (m_window) ::InvalidateRect(m_window.get(), nullptr, TRUE);
  }
  /// The runtime's window goes with its controller.
  void Close() { m_window.reset(); }

 private:
  static constexpr wchar_t kClass[] = L"WebView2DoublePage";

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PageView*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_PAINT) {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(window, &paint);
      try {
        self->Paint(window, dc);
      } catch (...) {
        // Nothing thrown may leave a window procedure; an unpainted page is all that is lost.
      }
      ::EndPaint(window, &paint);
      return 0;
    }
    if (self != nullptr && message == WM_NCDESTROY) {
      // Destroyed with its parent: the owner must not destroy it again.
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      (void)self->m_window.release();
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  struct FontSet {
    win32::UniqueGdiObject<HFONT> title, address, text;
  };
  static win32::UniqueGdiObject<HFONT> Font(int pixels, int weight) {
    return win32::UniqueGdiObject<HFONT>(::CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                                       DEFAULT_PITCH, L"Tahoma"));
  }
  static FontSet Fonts(int title, int address, int text) {
    return {Font(title, FW_BOLD), Font(address, FW_BOLD), Font(text, FW_NORMAL)};
  }

  void Paint(HWND window, HDC dc) const {
    RECT client{};
    ::GetClientRect(window, &client);
    // What was painted, so a script can tell what a screenshot shows.
    Journal("page-painted n=" + std::to_string(m_n) + " size=" + std::to_string(client.right) + "x" +
            std::to_string(client.bottom) + " uri=" + (m_opened ? Utf8(m_source) : std::string("(none)")));
    // A narrow window (the shell's normal state after start-up is 100 pixels
    // wide) gets small type, so the parameters still show.
    const bool narrow = client.right < 400;
    const FontSet& fonts = narrow ? m_narrow : m_wide;
    const int margin = narrow ? 4 : 16;
    ::SetBkMode(dc, TRANSPARENT);
    RECT band{client.left, client.top, client.right, client.top + (narrow ? 20 : 30)};
    const win32::UniqueGdiObject<HBRUSH> bandBrush(::CreateSolidBrush(RGB(0x8B, 0x1A, 0x1A)));
    ::FillRect(dc, &band, bandBrush.get());
    ::SelectObject(dc, fonts.title.get());
    ::SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
    RECT bandText{band.left + margin, band.top, band.right - margin, band.bottom};
    ::DrawTextW(dc, narrow ? L"Test double" : L"WebView2 loader double of the tests: no page is rendered", -1, &bandText,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);

    RECT area{client.left + margin, band.bottom + margin, client.right - margin, client.bottom - margin};
    const auto write = [&](HFONT font, COLORREF colour, const std::wstring& text, int after) {
      ::SelectObject(dc, font);
      ::SetTextColor(dc, colour);
      RECT measured = area;
      const UINT format = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX;
      const int height = ::DrawTextW(dc, text.c_str(), -1, &measured, format | DT_CALCRECT);
      ::DrawTextW(dc, text.c_str(), -1, &area, format);
      area.top += height + after;
    };
    const COLORREF ink = RGB(0x20, 0x20, 0x20);
    const COLORREF muted = RGB(0x60, 0x60, 0x60);
    if (!m_opened) {
      write(fonts.text.get(), muted, L"Asked to open nothing yet.", 0);
      return;
    }
    write(fonts.text.get(), muted, L"Asked to open:", 4);
    write(fonts.address.get(), RGB(0x10, 0x3C, 0x8C), m_source.empty() ? L"(an empty address)" : m_source,
          narrow ? 8 : 14);
    const auto parameters = QueryParameters(m_source);
    if (!parameters.empty()) {
      write(fonts.text.get(), muted, L"Query parameters:", 4);
      for (const auto& line : parameters) write(fonts.text.get(), ink, (narrow ? L"" : L"    ") + line, 2);
    }
  }

  unsigned m_n;
  FontSet m_wide;
  FontSet m_narrow;
  win32::UniqueWindow m_window;  // declared last: destroyed before the fonts it paints with
  std::wstring m_source;
  bool m_opened = false;
};

template <typename Interface>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IidOf<Interface>::value) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --m_references;
    if (left == 0) std::unique_ptr<ComObject>{this};
    return left;
  }
  virtual ~ComObject() = default;

  template <typename T, typename... A>
  static ComPtr<Interface> Make(A&&... args) {
    auto object = std::make_unique<T>(std::forward<A>(args)...);
    return ComPtr<Interface>::Attach(object.release());
  }

 private:
  ULONG m_references = 1;
};

#define NOT_USED_0(name) \
  HRESULT STDMETHODCALLTYPE name() override { return E_NOTIMPL; }
#define NOT_USED(name, ...) \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return E_NOTIMPL; }

class NavigationArgs final : public ComObject<ICoreWebView2NavigationCompletedEventArgs> {
 public:
  explicit NavigationArgs(bool success) : m_success(success) {}
  HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* value) override {
    *value = m_success;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WebErrorStatus(WebErrorStatus* value) override {
    *value = m_success ? 0 : 6;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* value) override {
    *value = 1;
    return S_OK;
  }

 private:
  bool m_success;
};

class NewWindowArgs final : public ComObject<ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  explicit NewWindowArgs(std::wstring uri) : m_uri(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    const std::size_t bytes = (m_uri.size() + 1) * sizeof(wchar_t);
    *uri = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
    if (*uri == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*uri, m_uri.c_str(), bytes);
    return S_OK;
  }
  NOT_USED(put_NewWindow, ICoreWebView2*)
  NOT_USED(get_NewWindow, ICoreWebView2**)
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    handledValue = handled;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override {
    *handled = handledValue;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override {
    *value = TRUE;
    return S_OK;
  }
  NOT_USED(GetDeferral, ICoreWebView2Deferral**)
  NOT_USED(get_WindowFeatures, ICoreWebView2WindowFeatures**)
  BOOL handledValue = FALSE;

 private:
  std::wstring m_uri;
};

bool gNewWindowsRaised = false;

class WebView final : public ComObject<ICoreWebView2> {
 public:
  WebView(unsigned n, HWND parent, std::shared_ptr<PageView> page)
      : m_n(n), m_parent(parent), m_page(std::move(page)) {}
  ~WebView() override { Journal("webview-destroyed n=" + std::to_string(m_n)); }
  void Closed() {
    m_closed = true;
    m_page.reset();
    m_navigationHandlers.clear();
    m_newWindowHandlers.clear();
  }

  NOT_USED(get_Settings, ICoreWebView2Settings**)
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override {
    const std::wstring& source = TheScenario().sourceSet ? TheScenario().source : m_source;
    Journal("get_Source n=" + std::to_string(m_n) + " uri=" + Utf8(source));
    const std::size_t bytes = (source.size() + 1) * sizeof(wchar_t);
    *uri = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
    if (*uri == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*uri, source.c_str(), bytes);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    const HWND root = ::GetAncestor(m_parent, GA_ROOT);
    RECT rect{};
    ::GetWindowRect(root, &rect);
    char where[96];
    std::snprintf(where, sizeof(where), " iconic=%d zoomed=%d window=%ld,%ld,%ld,%ld", ::IsIconic(root) ? 1 : 0,
                  ::IsZoomed(root) ? 1 : 0, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    Journal("navigate n=" + std::to_string(m_n) + " uri=" + Utf8(uri ? uri : L"") + where);
    if (m_closed) return E_UNEXPECTED;
    m_source = uri ? uri : L"";
    if (m_page) m_page->Open(m_source);
    if (!TheScenario().navigationCompletes) return S_OK;
    AddRef();
    auto self = ComPtr<ICoreWebView2>::Attach(this);
    Dispatcher::Instance().Post([this, self] { CompleteNavigation(); });
    return S_OK;
  }
  NOT_USED(NavigateToString, LPCWSTR)
  NOT_USED(add_NavigationStarting, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_NavigationStarting, EventRegistrationToken)
  NOT_USED(add_ContentLoading, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_ContentLoading, EventRegistrationToken)
  NOT_USED(add_SourceChanged, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_SourceChanged, EventRegistrationToken)
  NOT_USED(add_HistoryChanged, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_HistoryChanged, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* handler,
                                                    EventRegistrationToken* token) override {
    Journal("add_NavigationCompleted n=" + std::to_string(m_n));
    token->value = m_nextToken++;
    m_navigationHandlers[token->value] = ComPtr<ICoreWebView2NavigationCompletedEventHandler>::Borrow(handler);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) override {
    Journal("remove_NavigationCompleted n=" + std::to_string(m_n) +
            (m_navigationHandlers.erase(token.value) ? "" : " unknown-token"));
    return S_OK;
  }
  NOT_USED(add_FrameNavigationStarting, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_FrameNavigationStarting, EventRegistrationToken)
  NOT_USED(add_FrameNavigationCompleted, ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*)
  NOT_USED(remove_FrameNavigationCompleted, EventRegistrationToken)
  NOT_USED(add_ScriptDialogOpening, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_ScriptDialogOpening, EventRegistrationToken)
  NOT_USED(add_PermissionRequested, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_PermissionRequested, EventRegistrationToken)
  NOT_USED(add_ProcessFailed, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_ProcessFailed, EventRegistrationToken)
  NOT_USED(AddScriptToExecuteOnDocumentCreated, LPCWSTR, OpaqueHandler*)
  NOT_USED(RemoveScriptToExecuteOnDocumentCreated, LPCWSTR)
  NOT_USED(ExecuteScript, LPCWSTR, OpaqueHandler*)
  NOT_USED(CapturePreview, std::int32_t, IStream*, OpaqueHandler*)
  NOT_USED_0(Reload)
  NOT_USED(PostWebMessageAsJson, LPCWSTR)
  NOT_USED(PostWebMessageAsString, LPCWSTR)
  NOT_USED(add_WebMessageReceived, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_WebMessageReceived, EventRegistrationToken)
  NOT_USED(CallDevToolsProtocolMethod, LPCWSTR, LPCWSTR, OpaqueHandler*)
  NOT_USED(get_BrowserProcessId, UINT32*)
  NOT_USED(get_CanGoBack, BOOL*)
  NOT_USED(get_CanGoForward, BOOL*)
  NOT_USED_0(GoBack)
  NOT_USED_0(GoForward)
  NOT_USED(GetDevToolsProtocolEventReceiver, LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**)
  NOT_USED_0(Stop)
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                   EventRegistrationToken* token) override {
    Journal("add_NewWindowRequested n=" + std::to_string(m_n));
    token->value = m_nextToken++;
    m_newWindowHandlers[token->value] = ComPtr<ICoreWebView2NewWindowRequestedEventHandler>::Borrow(handler);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken token) override {
    Journal("remove_NewWindowRequested n=" + std::to_string(m_n) +
            (m_newWindowHandlers.erase(token.value) ? "" : " unknown-token"));
    return S_OK;
  }
  NOT_USED(add_DocumentTitleChanged, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_DocumentTitleChanged, EventRegistrationToken)
  NOT_USED(get_DocumentTitle, LPWSTR*)
  NOT_USED(AddHostObjectToScript, LPCWSTR, VARIANT*)
  NOT_USED(RemoveHostObjectFromScript, LPCWSTR)
  NOT_USED_0(OpenDevToolsWindow)
  NOT_USED(add_ContainsFullScreenElementChanged, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_ContainsFullScreenElementChanged, EventRegistrationToken)
  NOT_USED(get_ContainsFullScreenElement, BOOL*)
  NOT_USED(add_WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler*, EventRegistrationToken*)
  NOT_USED(remove_WebResourceRequested, EventRegistrationToken)
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR uri, WebResourceContext context) override {
    Journal("filter n=" + std::to_string(m_n) + " uri=" + Utf8(uri ? uri : L"") +
            " context=" + std::to_string(static_cast<int>(context)));
    return S_OK;
  }
  NOT_USED(RemoveWebResourceRequestedFilter, LPCWSTR, WebResourceContext)
  NOT_USED(add_WindowCloseRequested, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_WindowCloseRequested, EventRegistrationToken)

 private:
  void CompleteNavigation() {
    if (m_closed) return;
    Journal("navigation-completed n=" + std::to_string(m_n) + " handlers=" + std::to_string(m_navigationHandlers.size()));
    auto args = ComObject<ICoreWebView2NavigationCompletedEventArgs>::Make<NavigationArgs>(
        TheScenario().navigationSuccess);
    auto handlers = m_navigationHandlers;  // a handler may remove itself
    for (auto& [token, handler] : handlers) handler->Invoke(this, args.get());
    if (!gNewWindowsRaised && !TheScenario().newWindows.empty() && !m_closed) {
      gNewWindowsRaised = true;
      AddRef();
      auto self = ComPtr<ICoreWebView2>::Attach(this);
      Dispatcher::Instance().Post([this, self] { RaiseNewWindows(); });
    }
  }
  void RaiseNewWindows() {
    if (m_closed) {
      gNewWindowsRaised = false;  // raised by the next view that completes a navigation
      return;
    }
    for (const auto& uri : TheScenario().newWindows) {
      auto args = std::make_unique<NewWindowArgs>(uri);
      NewWindowArgs* raw = args.get();
      auto owned = ComPtr<ICoreWebView2NewWindowRequestedEventArgs>::Attach(args.release());
      auto handlers = m_newWindowHandlers;
      for (auto& [token, handler] : handlers) handler->Invoke(this, owned.get());
      Journal("new-window n=" + std::to_string(m_n) + " uri=" + Utf8(uri) + " handled=" +
              (raw->handledValue ? "1" : "0") + " handlers=" + std::to_string(handlers.size()));
    }
  }

  unsigned m_n;
  HWND m_parent;
  std::shared_ptr<PageView> m_page;
  bool m_closed = false;
  std::wstring m_source;
  std::int64_t m_nextToken = 1;
  std::map<std::int64_t, ComPtr<ICoreWebView2NavigationCompletedEventHandler>> m_navigationHandlers;
  std::map<std::int64_t, ComPtr<ICoreWebView2NewWindowRequestedEventHandler>> m_newWindowHandlers;
};

class Controller final : public ComObject<ICoreWebView2Controller> {
 public:
  Controller(unsigned n, HWND parent) : m_n(n), m_page(std::make_shared<PageView>(n, parent)) {
    m_webViewObject = std::make_unique<WebView>(n, parent, m_page).release();
    m_webView = ComPtr<ICoreWebView2>::Attach(m_webViewObject);
  }
  ~Controller() override {
    m_page->Close();
    Journal("controller-destroyed n=" + std::to_string(m_n));
  }

  NOT_USED(get_IsVisible, BOOL*)
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    Journal("put_IsVisible n=" + std::to_string(m_n) + " visible=" + std::to_string(visible));
    m_page->Show(visible != FALSE);
    return S_OK;
  }
  NOT_USED(get_Bounds, RECT*)
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    char text[80];
    std::snprintf(text, sizeof(text), " bounds=%ld,%ld,%ld,%ld", bounds.left, bounds.top, bounds.right, bounds.bottom);
    Journal("put_Bounds n=" + std::to_string(m_n) + text);
    m_page->Place(bounds);
    return S_OK;
  }
  NOT_USED(get_ZoomFactor, double*)
  NOT_USED(put_ZoomFactor, double)
  NOT_USED(add_ZoomFactorChanged, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_ZoomFactorChanged, EventRegistrationToken)
  NOT_USED(SetBoundsAndZoomFactor, RECT, double)
  NOT_USED(MoveFocus, std::int32_t)
  NOT_USED(add_MoveFocusRequested, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_MoveFocusRequested, EventRegistrationToken)
  NOT_USED(add_GotFocus, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_GotFocus, EventRegistrationToken)
  NOT_USED(add_LostFocus, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_LostFocus, EventRegistrationToken)
  NOT_USED(add_AcceleratorKeyPressed, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_AcceleratorKeyPressed, EventRegistrationToken)
  NOT_USED(get_ParentWindow, HWND*)
  NOT_USED(put_ParentWindow, HWND)
  NOT_USED_0(NotifyParentWindowPositionChanged)
  HRESULT STDMETHODCALLTYPE Close() override {
    Journal("close n=" + std::to_string(m_n));
    m_webViewObject->Closed();
    m_page->Close();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** webView) override {
    m_webView->AddRef();
    *webView = m_webView.get();
    return S_OK;
  }

 private:
  unsigned m_n;
  std::shared_ptr<PageView> m_page;
  WebView* m_webViewObject;
  ComPtr<ICoreWebView2> m_webView;
};

class Environment final : public ComObject<ICoreWebView2Environment> {
 public:
  explicit Environment(unsigned n) : m_n(n) {}
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    wchar_t className[64] = L"";
    ::GetClassNameW(parent, className, 64);
    Journal("create-controller n=" + std::to_string(m_n) + " parent=" + Utf8(className));
    auto keep = ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::Borrow(handler);
    const unsigned n = m_n;
    Dispatcher::Instance().Post([keep, n, parent] {
      auto controller = ComObject<ICoreWebView2Controller>::Make<Controller>(n, parent);
      Journal("controller-ready n=" + std::to_string(n));
      keep->Invoke(S_OK, controller.get());
      Journal("controller-handler-returned n=" + std::to_string(n));
    });
    return S_OK;
  }
  NOT_USED(CreateWebResourceResponse, IStream*, int, LPCWSTR, LPCWSTR, ICoreWebView2WebResourceResponse**)
  NOT_USED(get_BrowserVersionString, LPWSTR*)
  NOT_USED(add_NewBrowserVersionAvailable, OpaqueHandler*, EventRegistrationToken*)
  NOT_USED(remove_NewBrowserVersionAvailable, EventRegistrationToken)

 private:
  unsigned m_n;
};

unsigned gCreations = 0;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    LPCWSTR browserExecutableFolder, LPCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  const unsigned n = ++gCreations;
  Journal("create-environment n=" + std::to_string(n) +
          " browserFolder=" + (browserExecutableFolder ? Utf8(browserExecutableFolder) : std::string("(null)")) +
          " userData=" + (userDataFolder ? Utf8(userDataFolder) : std::string("(null)")) +
          " options=" + (options ? "set" : "(null)"));
  const HRESULT returned = Nth(TheScenario().returned, n);
  if (FAILED(returned)) return returned;
  const HRESULT result = Nth(TheScenario().create, n);
  auto keep = ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::Borrow(handler);
  Dispatcher::Instance().Post([keep, n, result] {
    Journal("environment-ready n=" + std::to_string(n) + " hr=" + Hex(result));
    if (FAILED(result)) {
      keep->Invoke(result, nullptr);
    } else {
      auto environment = ComObject<ICoreWebView2Environment>::Make<Environment>(n);
      keep->Invoke(S_OK, environment.get());
    }
    Journal("environment-handler-returned n=" + std::to_string(n));
  });
  return S_OK;
}
