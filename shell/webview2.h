// Our own declarations of the WebView2 interfaces the shell uses, with every
// IID in this one place. Methods are declared in exact vtable slot order
// (x86, __stdcall); slots the shell never calls still have to be present so
// that the later ones land at the right offset. No virtual destructors: they
// would add vtable slots.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <unknwn.h>

#include <cstdint>

// COM interfaces have no virtual destructor by design (it would add a vtable
// slot); objects are freed through Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace webview2 {

struct EventRegistrationToken {
  std::int64_t value;
};
static_assert(sizeof(EventRegistrationToken) == 8 && alignof(EventRegistrationToken) == 8);

enum WebResourceContext : std::int32_t {
  kWebResourceContextAll = 0,
  kWebResourceContextImage = 3,
};
using WebErrorStatus = std::int32_t;

// Interfaces that only travel as pointers here.
struct ICoreWebView2Settings;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2WindowFeatures;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2EnvironmentOptions;
using OpaqueHandler = IUnknown;

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2WebResourceRequestedEventArgs;

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* result) = 0;
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* result) = 0;
};

struct ICoreWebView2NavigationCompletedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs* args) = 0;
};

struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};

struct ICoreWebView2WebResourceRequestedEventHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2WebResourceRequestedEventArgs* args) = 0;
};

struct ICoreWebView2Deferral : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Complete() = 0;
};

struct ICoreWebView2Environment : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;        // 3
  virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int statusCode, LPCWSTR reasonPhrase,
                                                              LPCWSTR headers,
                                                              ICoreWebView2WebResourceResponse** response) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) = 0;                  // 5
  virtual HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(OpaqueHandler* eventHandler,
                                                                   EventRegistrationToken* token) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken token) = 0;  // 7
};

struct ICoreWebView2Controller : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) = 0;                                 // 3
  virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;                                  // 4
  virtual HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) = 0;                                       // 5
  virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;                                        // 6
  virtual HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) = 0;                             // 7
  virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;                              // 8
  virtual HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(OpaqueHandler* eventHandler,
                                                          EventRegistrationToken* token) = 0;           // 9
  virtual HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken token) = 0;         // 10
  virtual HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) = 0;         // 11
  virtual HRESULT STDMETHODCALLTYPE MoveFocus(std::int32_t reason) = 0;                                 // 12
  virtual HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(OpaqueHandler* eventHandler,
                                                           EventRegistrationToken* token) = 0;          // 13
  virtual HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken token) = 0;        // 14
  virtual HRESULT STDMETHODCALLTYPE add_GotFocus(OpaqueHandler* eventHandler, EventRegistrationToken* token) = 0;  // 15
  virtual HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken token) = 0;                  // 16
  virtual HRESULT STDMETHODCALLTYPE add_LostFocus(OpaqueHandler* eventHandler, EventRegistrationToken* token) = 0;  // 17
  virtual HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken token) = 0;                 // 18
  virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(OpaqueHandler* eventHandler,
                                                              EventRegistrationToken* token) = 0;       // 19
  virtual HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken token) = 0;     // 20
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) = 0;                           // 21
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) = 0;                            // 22
  virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;                            // 23
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                                        // 24
  virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;                 // 25
};

struct ICoreWebView2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;                 // 3
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;                                        // 4
  virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;                                          // 5
  virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;                          // 6
  virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken t) = 0;            // 8
  virtual HRESULT STDMETHODCALLTYPE add_ContentLoading(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 9
  virtual HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken t) = 0;                // 10
  virtual HRESULT STDMETHODCALLTYPE add_SourceChanged(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken t) = 0;                 // 12
  virtual HRESULT STDMETHODCALLTYPE add_HistoryChanged(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken t) = 0;                // 14
  virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* h,
                                                            EventRegistrationToken* t) = 0;             // 15
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken t) = 0;           // 16
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 17
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken t) = 0;       // 18
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* h,
                                                                 EventRegistrationToken* t) = 0;        // 19
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventRegistrationToken t) = 0;      // 20
  virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken t) = 0;           // 22
  virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken t) = 0;           // 24
  virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 25
  virtual HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken t) = 0;                 // 26
  virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(LPCWSTR javaScript, OpaqueHandler* h) = 0;  // 27
  virtual HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) = 0;             // 28
  virtual HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR javaScript, OpaqueHandler* h) = 0;            // 29
  virtual HRESULT STDMETHODCALLTYPE CapturePreview(std::int32_t imageFormat, IStream* imageStream,
                                                   OpaqueHandler* h) = 0;                               // 30
  virtual HRESULT STDMETHODCALLTYPE Reload() = 0;                                                       // 31
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) = 0;                 // 32
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) = 0;             // 33
  virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 34
  virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken t) = 0;            // 35
  virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(LPCWSTR methodName, LPCWSTR parametersAsJson,
                                                               OpaqueHandler* h) = 0;                   // 36
  virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;                            // 37
  virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;                                 // 38
  virtual HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) = 0;                           // 39
  virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;                                                       // 40
  virtual HRESULT STDMETHODCALLTYPE GoForward() = 0;                                                    // 41
  virtual HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(
      LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) = 0;                    // 42
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;                                                         // 43
  virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* h,
                                                           EventRegistrationToken* t) = 0;              // 44
  virtual HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken t) = 0;            // 45
  virtual HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 46
  virtual HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventRegistrationToken t) = 0;          // 47
  virtual HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) = 0;                               // 48
  virtual HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR name, VARIANT* object) = 0;           // 49
  virtual HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR name) = 0;                       // 50
  virtual HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() = 0;                                           // 51
  virtual HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(OpaqueHandler* h,
                                                                         EventRegistrationToken* t) = 0;  // 52
  virtual HRESULT STDMETHODCALLTYPE remove_ContainsFullScreenElementChanged(EventRegistrationToken t) = 0;  // 53
  virtual HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* containsFullScreenElement) = 0;  // 54
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* h,
                                                             EventRegistrationToken* t) = 0;            // 55
  virtual HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken t) = 0;          // 56
  virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR uri,
                                                                  WebResourceContext resourceContext) = 0;  // 57
  virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(LPCWSTR uri,
                                                                     WebResourceContext resourceContext) = 0;  // 58
  virtual HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(OpaqueHandler* h, EventRegistrationToken* t) = 0;  // 59
  virtual HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventRegistrationToken t) = 0;          // 60
};

struct ICoreWebView2NavigationCompletedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* isSuccess) = 0;                                 // 3
  virtual HRESULT STDMETHODCALLTYPE get_WebErrorStatus(WebErrorStatus* webErrorStatus) = 0;             // 4
  virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;                         // 5
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;                                           // 3
  virtual HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) = 0;                        // 4
  virtual HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) = 0;                       // 5
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;                                      // 6
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;                                     // 7
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;                     // 8
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;                  // 9
  virtual HRESULT STDMETHODCALLTYPE get_WindowFeatures(ICoreWebView2WindowFeatures** value) = 0;        // 10
};

struct ICoreWebView2WebResourceRequestedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) = 0;         // 3
  virtual HRESULT STDMETHODCALLTYPE get_Response(ICoreWebView2WebResourceResponse** response) = 0;      // 4
  virtual HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) = 0;       // 5
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;                  // 6
  virtual HRESULT STDMETHODCALLTYPE get_ResourceContext(WebResourceContext* context) = 0;               // 7
};

/// The loader's entry point, taken by name from WebView2Loader.dll.
using CreateEnvironmentWithOptionsFn = HRESULT(STDAPICALLTYPE*)(
    LPCWSTR browserExecutableFolder, LPCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

// Every IID in one place. __uuidof on hand-declared interfaces does not link
// under mingw, so QueryInterface compares against these through IidOf<T>.
inline constexpr GUID IID_ICoreWebView2Environment = {
    0xb96d755e, 0x0319, 0x4e92, {0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc}};
inline constexpr GUID IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler = {
    0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
inline constexpr GUID IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler = {
    0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
inline constexpr GUID IID_ICoreWebView2Controller = {
    0x4d00c0d1, 0x9434, 0x4eb6, {0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f}};
inline constexpr GUID IID_ICoreWebView2 = {
    0x76eceacb, 0x0462, 0x4d94, {0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e}};
inline constexpr GUID IID_ICoreWebView2NavigationCompletedEventHandler = {
    0xd33a35bf, 0x1c49, 0x4f98, {0x93, 0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c}};
inline constexpr GUID IID_ICoreWebView2NavigationCompletedEventArgs = {
    0x30d68b7d, 0x20d9, 0x4752, {0xa9, 0xca, 0xec, 0x84, 0x48, 0xfb, 0xb5, 0xc1}};
inline constexpr GUID IID_ICoreWebView2NewWindowRequestedEventHandler = {
    0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
inline constexpr GUID IID_ICoreWebView2NewWindowRequestedEventArgs = {
    0x34acb11c, 0xfc37, 0x4418, {0x91, 0x32, 0xf9, 0xc2, 0x1d, 0x1e, 0xaf, 0xb9}};
inline constexpr GUID IID_ICoreWebView2Deferral = {
    0xc10e7f7b, 0xb585, 0x46f0, {0xa6, 0x23, 0x8b, 0xef, 0xbf, 0x3e, 0x4e, 0xe0}};
inline constexpr GUID IID_ICoreWebView2WebResourceRequestedEventHandler = {
    0xab00b74c, 0x15f1, 0x4646, {0x80, 0xe8, 0xe7, 0x63, 0x41, 0xd2, 0x5d, 0x71}};
inline constexpr GUID IID_ICoreWebView2WebResourceRequestedEventArgs = {
    0x453e667f, 0x12c7, 0x49d4, {0xbe, 0x6d, 0xdd, 0xbe, 0x79, 0x56, 0xf5, 0x7a}};

template <typename Interface>
struct IidOf;
#define WEBVIEW2_IID_OF(I) \
  template <>              \
  struct IidOf<I> {        \
    static constexpr const GUID& value = IID_##I; \
  }
WEBVIEW2_IID_OF(ICoreWebView2Environment);
WEBVIEW2_IID_OF(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler);
WEBVIEW2_IID_OF(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler);
WEBVIEW2_IID_OF(ICoreWebView2Controller);
WEBVIEW2_IID_OF(ICoreWebView2);
WEBVIEW2_IID_OF(ICoreWebView2NavigationCompletedEventHandler);
WEBVIEW2_IID_OF(ICoreWebView2NavigationCompletedEventArgs);
WEBVIEW2_IID_OF(ICoreWebView2NewWindowRequestedEventHandler);
WEBVIEW2_IID_OF(ICoreWebView2NewWindowRequestedEventArgs);
WEBVIEW2_IID_OF(ICoreWebView2Deferral);
WEBVIEW2_IID_OF(ICoreWebView2WebResourceRequestedEventHandler);
WEBVIEW2_IID_OF(ICoreWebView2WebResourceRequestedEventArgs);
#undef WEBVIEW2_IID_OF

/// HRESULTs the shell tells apart.
inline constexpr HRESULT kRuntimeNotFound = static_cast<HRESULT>(0x80070002);  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
inline constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005);             // E_FAIL, also: loader not loadable

}  // namespace webview2

#pragma GCC diagnostic pop
