#include "uTalvora.h"

#include <shellapi.h>

#include <cstring>
#include <stdexcept>

#include "parameter_string.h"

namespace talvora {

namespace {

constexpr wchar_t kFormClass[] = L"TfrmTalvora";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 50;
constexpr int kDesignWidth = 310;
constexpr int kDesignHeight = 301;
constexpr wchar_t kInstallerResource[] = L"MicrosoftEdgeWebview2Setup";

constexpr wchar_t kInstallCaption[] = L"[Sorvik智能客服] MicrosoftEdgeWebview 組件安裝提示";
constexpr wchar_t kInstallQuestion[] = L"找不到 Microsoft Edge Webview 組件，現在是否進行在線安裝？";
constexpr wchar_t kInstallInformation[] =
    L"請確保網絡連接正常，安裝完成後請重新開啟 [Sorvik小幫手]。\r\n"
    L"點擊 [確定] 按鈕開始進行在線安裝 Microsoft Edge Webview";
constexpr wchar_t kDebugCreateCompleted[] = L"EdgeBrowser OnCreateWebViewCompleted";

/// A Windows call that failed, with the system's error code, as thrown
/// inside this unit and turned into an error box by FormCreate.
class WindowsFailure : public std::runtime_error {
 public:
  WindowsFailure(DWORD code, std::wstring what)
      : std::runtime_error("Windows call failed"), m_code(code), m_what(std::move(what)) {}
  [[nodiscard]] std::wstring Describe() const {
    std::wstring text = m_what;
    LPWSTR description = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, m_code,
        0, reinterpret_cast<LPWSTR>(&description), 0, nullptr);
    if (length > 0 && description != nullptr) {
      std::wstring system(description, length);
      while (!system.empty() && (system.back() == L'\n' || system.back() == L'\r' || system.back() == L' ')) {
        system.pop_back();
      }
      text += L" " + system;
    } else {
      text += L" System error " + std::to_wstring(m_code) + L".";
    }
    if (description != nullptr) ::LocalFree(description);
    return text;
  }

 private:
  DWORD m_code;
  std::wstring m_what;
};

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring EnvironmentValue(const wchar_t* name) {
  std::wstring value(256, L'\0');
  DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  if (length >= value.size()) {
    value.resize(length);
    length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  }
  value.resize(length < value.size() ? length : 0);
  return value;
}

// Creates the folder and every missing parent; failures are left to the
// write that follows.
void CreateFolderTree(const std::wstring& folder) {
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == L'\\' || folder[i] == L'/') {
      const std::wstring prefix = folder.substr(0, i);
      if (!prefix.empty() && prefix.back() != L':' && prefix.back() != L'\\') ::CreateDirectoryW(prefix.c_str(), nullptr);
    }
  }
}

struct ResourceBytes {
  const void* data = nullptr;
  DWORD size = 0;
};

ResourceBytes FindRcData(const std::wstring& name) {
  const HRSRC resource = ::FindResourceW(nullptr, name.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (resource == nullptr) throw WindowsFailure(::GetLastError(), L"Resource " + name + L" not found.");
  const HGLOBAL loaded = ::LoadResource(nullptr, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) throw WindowsFailure(::GetLastError(), L"Resource " + name + L" cannot be read.");
  return {data, ::SizeofResource(nullptr, resource)};
}

// Writes the bytes to `path`; a write that fails leaves no partial file.
void WriteWholeFile(const std::wstring& path, const ResourceBytes& bytes) {
  win32::UniqueFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw WindowsFailure(::GetLastError(), L"Cannot create file \"" + path + L"\".");
  const auto* next = static_cast<const char*>(bytes.data);
  DWORD left = bytes.size;
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteFile(file.get(), next, left, &written, nullptr) || written == 0) {
      const DWORD error = ::GetLastError();
      file.reset();
      ::DeleteFileW(path.c_str());
      throw WindowsFailure(error, L"Cannot write file \"" + path + L"\".");
    }
    next += written;
    left -= written;
  }
}

// True when the open file holds exactly `bytes`.
bool FileHolds(HANDLE file, const ResourceBytes& bytes) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart != bytes.size) return false;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  const auto* expected = static_cast<const char*>(bytes.data);
  char buffer[16384];
  DWORD offset = 0;
  while (offset < bytes.size) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) || got == 0) return false;
    if (got > bytes.size - offset || std::memcmp(buffer, expected + offset, got) != 0) return false;
    offset += got;
  }
  return true;
}

int ScaledForWindow(int designPixels, UINT dpi) { return ::MulDiv(designPixels, static_cast<int>(dpi), 96); }

UINT SystemDpi() {
  using GetDpiForSystemFn = UINT(WINAPI*)();
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  const auto getDpi = user32 ? reinterpret_cast<GetDpiForSystemFn>(
                                   reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForSystem")))
                             : nullptr;
  const UINT dpi = getDpi ? getDpi() : 96;
  return dpi != 0 ? dpi : 96;
}

// Lets a second start at normal integrity reach an elevated first instance.
void AllowCopyDataThroughUipi(HWND window) {
  using ChangeFilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  const auto change = user32 ? reinterpret_cast<ChangeFilterFn>(
                                   reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilterEx")))
                             : nullptr;
  if (change != nullptr) change(window, WM_COPYDATA, 1 /* MSGFLT_ALLOW */, nullptr);
}

struct PopupSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchPopup(HWND candidate, LPARAM context) {
  auto* search = reinterpret_cast<PopupSearch*>(context);
  if (::GetWindow(candidate, GW_OWNER) == search->owner && ::IsWindowVisible(candidate) &&
      ::IsWindowEnabled(candidate)) {
    search->found = candidate;
    return FALSE;
  }
  return TRUE;
}

// A visible, enabled window of this thread owned by `owner` (a modal box).
HWND VisibleEnabledPopupOf(HWND owner) {
  PopupSearch search{owner, nullptr};
  ::EnumThreadWindows(::GetCurrentThreadId(), &MatchPopup, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

bool IsWindows11() noexcept {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = 284;
  static_assert(sizeof(OSVERSIONINFOEXW) == 284);
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return false;
  return version.dwMajorVersion >= 10u && version.dwBuildNumber >= 22000u;
}

bool ExtractResourceFile(const std::wstring& path, const std::wstring& name) {
  if (FileExists(path)) return true;
  WriteWholeFile(path, FindRcData(name));
  const bool result = true;
  if (!FileExists(path)) {
    const std::wstring text = L"處理內部資源" + FileNamePart(path) + L"發生錯誤，程式將無法正常執行！";
    ::MessageBoxW(::GetActiveWindow(), text.c_str(), kProgramTitle, MB_OK);
  }
  return result;
}

TfrmTalvora::TfrmTalvora(Application& application) : m_application(application) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &TfrmTalvora::WindowProc;
  windowClass.hInstance = application.Instance();
  windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hIcon = ::LoadIconW(application.Instance(), MAKEINTRESOURCEW(1));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kFormClass;
  ::RegisterClassExW(&windowClass);

  const UINT dpi = SystemDpi();
  const int width = ScaledForWindow(kDesignWidth, dpi);
  const int height = ScaledForWindow(kDesignHeight, dpi);
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  // Owned by the application window, so that a second start finds this
  // window's message boxes as the application window's last active pop-up;
  // WS_EX_APPWINDOW keeps the taskbar button on this window.
  m_window.reset(::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kFormClass, kProgramTitle,
                                   WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, left,
                                   top, width, height, application.Handle(), nullptr, application.Instance(), this));
  if (!m_window) throw WindowsFailure(::GetLastError(), L"Cannot create the main window.");
  AllowCopyDataThroughUipi(m_window.get());

  m_font.reset(::CreateFontW(-ScaledForWindow(12, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Segoe UI"));
  RECT client{};
  ::GetClientRect(m_window.get(), &client);
  EdgeBrowser = std::make_unique<TEdgeBrowser>(application.Instance(), m_window.get(), client);
  ::SendMessageW(EdgeBrowser->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
  EdgeBrowser->OnCreateWebViewCompleted = [this](TEdgeBrowser& sender, HRESULT result) {
    EdgeBrowserCreateWebViewCompleted(sender, result);
  };
  EdgeBrowser->OnNavigationCompleted = [this](TEdgeBrowser& sender, bool isSuccess, std::int32_t status) {
    EdgeBrowserNavigationCompleted(sender, isSuccess, status);
  };
  EdgeBrowser->OnNewWindowRequested = [this](TEdgeBrowser& sender,
                                             webview2::ICoreWebView2NewWindowRequestedEventArgs& args) {
    EdgeBrowserNewWindowRequested(sender, args);
  };

  m_application.SetMainWindow(m_window.get());
  m_application.SetKeyPreview([this](WORD key, bool shift, bool alt, bool ctrl) { FormKeyDown(key, shift, alt, ctrl); });
  FormCreate();
}

TfrmTalvora::~TfrmTalvora() {
  m_application.SetKeyPreview(nullptr);
  m_application.SetMainWindow(nullptr);
  if (m_window) {
    ::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, 0);
    FormDestroy();
  }
  // The web view goes before the window that hosts it.
  EdgeBrowser.reset();
  m_window.reset();
}

void TfrmTalvora::Show() noexcept {
  ::ShowWindow(m_window.get(), SW_SHOWNORMAL);
  ::UpdateWindow(m_window.get());
  ::SetForegroundWindow(m_window.get());
}

LRESULT CALLBACK TfrmTalvora::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TfrmTalvora*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages before the window's object is complete, and after, go to the default.
  if (self == nullptr || !self->m_window || !self->EdgeBrowser) {
    if (message == WM_COPYDATA) return 0;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT TfrmTalvora::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND window = m_window.get();
  switch (message) {
    case WM_COPYDATA:
      if (lParam != 0) CallMessage(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return 0;
    case WM_TIMER:
      if (wParam == kTimer1) {
        Timer1Timer();
        return 0;
      }
      break;
    case WM_SIZE:
      EdgeBrowser->Refit();
      return 0;
    case WM_LBUTTONUP:
      FormClick();
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::KillTimer(window, kTimer1);
      Application::Terminate();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void TfrmTalvora::FormCreate() {
  StrList = std::make_unique<std::vector<std::wstring>>();
  try {
    PrepareWebViewRuntime();
  } catch (const WindowsFailure& failure) {
    // Aborts the rest of the creation: the parameter is not applied.
    m_application.MessageBox(failure.Describe(), MB_OK | MB_ICONERROR);
    return;
  }
  ApplyParameters(CommandLineArgument(::GetCommandLineW(), 1));
}

void TfrmTalvora::FormDestroy() { StrList.reset(); }

void TfrmTalvora::FormClick() { EdgeBrowser->Reinitialise(); }

void TfrmTalvora::FormKeyDown(WORD& key, bool shift, bool alt, bool ctrl) {
  if (ctrl && alt && !shift && key == 82 && IsWindows11()) EdgeBrowser->Reinitialise();
}

void TfrmTalvora::PrepareWebViewRuntime() {
  const RuntimePaths paths = RuntimePathsFor(EnvironmentValue(L"ALLUSERSPROFILE"));
  nUserDataFolder = paths.userDataFolder;
  EdgeBrowser->SetUserDataFolder(nUserDataFolder);
  // Read again, as the folder for the installer.
  EdgeWebview2SetupFile = RuntimePathsFor(EnvironmentValue(L"ALLUSERSPROFILE")).installerFolder;
  CreateFolderTree(EdgeWebview2SetupFile);
  EdgeWebview2SetupFile += L"MicrosoftEdgeWebview2Setup.exe";
  if (!FileExists(EdgeWebview2SetupFile)) ExtractResourceFile(EdgeWebview2SetupFile, kInstallerResource);
}

void TfrmTalvora::ApplyParameters(const std::wstring& text) {
  win32::ScopeExit refit([this] { EdgeBrowser->Refit(); });
  ParameterValues values;
  if (!IsBlankParameter(text)) {
    *StrList = ParameterLines(text);
    values = ReadParameters(text);
  }
  if (values.custId != nCustID || values.productId != nProductID || values.aiUrl != nAiURL) {
    nCustID = values.custId;
    nProductID = values.productId;
    nTimeStamp = values.timeStamp;
    nAiURL = values.aiUrl;
    EdgeBrowser->Navigate(NavigationAddress(nAiURL));
  }
  if (IsWindows11()) EdgeBrowser->Reinitialise();
}

void TfrmTalvora::CallMessage(const COPYDATASTRUCT& data) {
  ApplyParameters(CopyDataText(data.lpData, data.cbData));
  const HWND window = m_window.get();
  constexpr UINT flags = SWP_NOOWNERZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE;
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags);
  win32::ScopeExit notTopmost([window] { ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, flags); });
  ::SetForegroundWindow(window);
  if (::IsIconic(window) || ::IsZoomed(window)) ::ShowWindow(window, SW_SHOWNORMAL);
  // While a modal box is open the window is disabled: the box the second
  // start brought forward must stay in front, not the window behind it.
  if (!::IsWindowEnabled(window)) {
    const HWND popup = VisibleEnabledPopupOf(window);
    if (popup != nullptr) ::SetForegroundWindow(popup);
  }
}

void TfrmTalvora::SetTimer1Enabled(bool enabled) {
  Timer1Enabled = enabled;
  if (enabled) {
    ::SetTimer(m_window.get(), kTimer1, kTimer1Interval, nullptr);
  } else {
    ::KillTimer(m_window.get(), kTimer1);
  }
}

void TfrmTalvora::Timer1Timer() {
  SetTimer1Enabled(false);
  const HWND window = m_window.get();
  if (::IsIconic(window) || ::IsZoomed(window)) ::ShowWindow(window, SW_SHOWNORMAL);
  RECT bounds{};
  ::GetWindowRect(window, &bounds);
  ::SetWindowPos(window, nullptr, 0, 0, 100, bounds.bottom - bounds.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(window, SW_SHOWMAXIMIZED);
}

void TfrmTalvora::EdgeBrowserNavigationCompleted(TEdgeBrowser& /*sender*/, bool /*isSuccess*/,
                                                 std::int32_t /*webErrorStatus*/) {
  if (IsNavigationCompleted) return;
  EdgeBrowser->Reinitialise();
  SetTimer1Enabled(true);
  IsNavigationCompleted = true;
}

void TfrmTalvora::EdgeBrowserCreateWebViewCompleted(TEdgeBrowser& sender, HRESULT result) {
  ::OutputDebugStringW(kDebugCreateCompleted);
  if (SUCCEEDED(result)) {
    sender.AddWebResourceRequestedFilter(L"*", webview2::kWebResourceContextImage);
    return;
  }
  if (result == webview2::kRuntimeNotFound || result == webview2::kFail) OfferRuntimeInstallation();
}

void TfrmTalvora::OfferRuntimeInstallation() {
  // Several creations can fail in a row (Windows 11 starts two); the user is
  // asked once, and the program is ending after that anyway.
  if (m_installationOffered) return;
  m_installationOffered = true;
  const int answer = m_application.MessageBox(kInstallQuestion, kInstallCaption, MB_YESNO | MB_ICONQUESTION);
  if (answer != IDYES) {
    Application::Terminate();
    return;
  }
  m_application.MessageBox(kInstallInformation, kInstallCaption, MB_OK | MB_ICONINFORMATION);
  Application::Terminate();
  // The shared folder is writable by every user: run only our own bytes, and
  // keep others from swapping the file until the installer has started.
  win32::UniqueFile guard;
  try {
    const ResourceBytes embedded = FindRcData(kInstallerResource);
    guard.reset(::CreateFileW(EdgeWebview2SetupFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!guard || !FileHolds(guard.get(), embedded)) {
      guard.reset();
      WriteWholeFile(EdgeWebview2SetupFile, embedded);
      guard.reset(::CreateFileW(EdgeWebview2SetupFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!guard || !FileHolds(guard.get(), embedded)) return;
    }
  } catch (const WindowsFailure&) {
    return;  // not starting anything is the safe outcome; nothing is reported
  }
  ::ShellExecuteW(m_window.get(), L"open", EdgeWebview2SetupFile.c_str(), nullptr, nullptr, SW_SHOW);
}

void TfrmTalvora::EdgeBrowserNewWindowRequested(TEdgeBrowser& /*sender*/,
                                                webview2::ICoreWebView2NewWindowRequestedEventArgs& args) {
  LPWSTR uri = nullptr;
  const std::wstring address = SUCCEEDED(args.get_Uri(&uri)) ? TakeCoTaskString(uri) : std::wstring{};
  args.put_Handled(TRUE);
  if (IsExternallyOpenable(address)) {
    ::ShellExecuteW(m_window.get(), L"open", address.c_str(), nullptr, nullptr, SW_SHOW);
  }
}

}  // namespace talvora
