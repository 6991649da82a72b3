// The main window: a borderless window filled by one web view that shows the
// assistant page a parameter string names.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "application.h"
#include "edge_browser.h"
#include "win32/unique_resource.h"

namespace talvora {

inline constexpr wchar_t kProgramTitle[] = L"frmTalvora";

/// True on Windows 11: major version 10 or later and build 22000 or later.
[[nodiscard]] bool IsWindows11() noexcept;

/// Writes the RCDATA resource `name` of the program to `path` unless a file
/// is there already. Throws std::system_error when the resource cannot be
/// opened or the file cannot be written.
bool ExtractResourceFile(const std::wstring& path, const std::wstring& name);

class TfrmTalvora {
 public:
  /// Creates the window and runs FormCreate; the window is not shown yet.
  explicit TfrmTalvora(Application& application);
  TfrmTalvora(const TfrmTalvora&) = delete;
  TfrmTalvora& operator=(const TfrmTalvora&) = delete;
  ~TfrmTalvora();

  [[nodiscard]] HWND Handle() const noexcept { return m_window.get(); }
  void Show() noexcept;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void FormCreate();
  void FormDestroy();
  void FormClick();
  void FormKeyDown(WORD& key, bool shift, bool alt, bool ctrl);
  void CallMessage(const COPYDATASTRUCT& data);
  void ApplyParameters(const std::wstring& text);
  void PrepareWebViewRuntime();
  void Timer1Timer();
  void SetTimer1Enabled(bool enabled);
  void EdgeBrowserCreateWebViewCompleted(TEdgeBrowser& sender, HRESULT result);
  void EdgeBrowserNavigationCompleted(TEdgeBrowser& sender, bool isSuccess, std::int32_t webErrorStatus);
  void EdgeBrowserNewWindowRequested(TEdgeBrowser& sender, webview2::ICoreWebView2NewWindowRequestedEventArgs& args);
  void OfferRuntimeInstallation();
  [[nodiscard]] bool InstallerMatchesResource();

  Application& m_application;
  win32::UniqueWindow m_window;
  win32::UniqueGdiObject<HFONT> m_font;

  // Fields in their declared order.
  std::unique_ptr<TEdgeBrowser> EdgeBrowser;
  bool Timer1Enabled = false;  // Timer1: 50 ms, one shot
  std::unique_ptr<std::vector<std::wstring>> StrList;
  std::wstring nCustID;
  std::wstring nProductID;
  std::wstring nTimeStamp;
  std::wstring nAiURL;
  std::wstring nUserDataFolder;
  bool IsNavigationCompleted = false;
  std::wstring EdgeWebview2SetupFile;

  bool m_installationOffered = false;
};

}  // namespace talvora
