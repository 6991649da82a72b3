// The Windows widget set: real windows with the standard controls, the
// A functions throughout (texts are the objects' ANSI bytes).
//
// Binding: every window we make has a Binding with its object, found through
// a table of the widget set's own (a window property costs a round trip to
// the server under Wine, ten microseconds a look-up). Forms and panels are of
// our own class and are bound at WM_NCCREATE from lpParam; system controls
// are bound right after CreateWindowEx and subclassed then. WM_NCDESTROY
// restores a subclassed procedure, unbinds, tells the object and frees the
// Binding, also when the window dies with its parent. Notifications that a control
// sends its parent (WM_COMMAND) are reflected to the control's object;
// messages of the application's range (WM_USER and up) that reach a window
// of our own class go to its object.
//
// Hints: each top-level window gets one tooltip control on first need; a
// window with a hint is a tool of it, and the mouse messages of our windows
// are relayed to it (TTM_RELAYEVENT), so no other code subclasses them.
// Nothing thrown leaves a window procedure: the objects' callbacks never raise.
#include "win32/unique_resource.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "framework/errors.h"
#include "framework/graphics_win.h"
#include "framework/os_error_win.h"
#include "framework/widgetset.h"

namespace quorlane {
namespace {

constexpr char kContainerClass[] = "QuorlaneContainer";
/// A combo box's height at creation includes its drop-down list.
constexpr int kDropDownHeight = 200;

struct Binding {
  WidgetClient* client = nullptr;
  WidgetKind kind = WidgetKind::Panel;
  WNDPROC previous = nullptr;  // a subclassed system control's own procedure
  HFONT font = nullptr;        // what WM_GETFONT answers for our own class
  HWND tooltip = nullptr;      // a top-level window's tooltip control (destroyed with it)
  bool hasTip = false;         // this window is a tool of its top-level window's tooltip
  bool settingText = false;    // our own SetText: no TextEdited
  // Set while CreateWindowExA runs: the creator owns the binding until the
  // window exists, also when creation fails after WM_NCCREATE and the window
  // is destroyed before CreateWindowExA returns.
  bool creating = false;
};

HWND AsWindow(WidgetHandle handle) noexcept { return reinterpret_cast<HWND>(handle); }

// The windows of every thread that makes some; guarded for hosts with more
// than one user-interface thread, never held while a window procedure runs.
struct Bindings {
  std::mutex lock;
  std::unordered_map<HWND, Binding*> byWindow;
};
Bindings& AllBindings() noexcept {
  static Bindings bindings;
  return bindings;
}

Binding* BindingOf(HWND window) noexcept {
  Bindings& all = AllBindings();
  const std::lock_guard<std::mutex> guard(all.lock);
  const auto it = all.byWindow.find(window);
  return it == all.byWindow.end() ? nullptr : it->second;
}

bool Bind(HWND window, Binding* binding) noexcept {
  try {
    Bindings& all = AllBindings();
    const std::lock_guard<std::mutex> guard(all.lock);
    all.byWindow[window] = binding;
    return true;
  } catch (...) {
    return false;
  }
}

void Unbind(HWND window) noexcept {
  Bindings& all = AllBindings();
  const std::lock_guard<std::mutex> guard(all.lock);
  all.byWindow.erase(window);
}

HINSTANCE CodeModule() noexcept {
  static const char anchor = 0;
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, &anchor,
                     &module);
  return module;
}

void Notify(Binding* binding, WidgetEvent event) noexcept {
  if (binding != nullptr && binding->client != nullptr) binding->client->WidgetNotify(event);
}

void Reflect(HWND child, UINT code) noexcept {
  Binding* binding = BindingOf(child);
  if (binding == nullptr) return;
  switch (binding->kind) {
    case WidgetKind::Edit:
    case WidgetKind::Memo:
      if (code == EN_CHANGE && !binding->settingText) Notify(binding, WidgetEvent::TextEdited);
      break;
    case WidgetKind::ListBox:
      if (code == LBN_SELCHANGE) Notify(binding, WidgetEvent::SelectionChanged);
      break;
    case WidgetKind::ComboBox:
      if (code == CBN_SELCHANGE) Notify(binding, WidgetEvent::SelectionChanged);
      if (code == CBN_EDITCHANGE && !binding->settingText) Notify(binding, WidgetEvent::TextEdited);
      break;
    case WidgetKind::Button:
      if (code == BN_CLICKED) Notify(binding, WidgetEvent::Clicked);
      break;
    default:
      break;
  }
}

void PaintPanel(HWND window, const Binding& binding) noexcept {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) return;
  RECT area;
  GetClientRect(window, &area);
  DrawEdge(dc, &area, BDR_RAISEDINNER, BF_RECT);
  char text[512];
  const int length = GetWindowTextA(window, text, static_cast<int>(sizeof text));
  HGDIOBJ previous = binding.font != nullptr ? SelectObject(dc, binding.font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, text, length, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (previous != nullptr) SelectObject(dc, previous);
  EndPaint(window, &paint);
}

HWND TooltipOf(HWND window) noexcept {
  const Binding* root = BindingOf(GetAncestor(window, GA_ROOT));
  return root != nullptr ? root->tooltip : nullptr;
}

void RelayMouse(HWND window, const Binding* binding, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (binding == nullptr || !binding->hasTip || message < WM_MOUSEFIRST || message > WM_MOUSELAST) return;
  HWND tooltip = TooltipOf(window);
  if (tooltip == nullptr) return;
  MSG relayed{window, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
  const DWORD at = GetMessagePos();
  relayed.pt = {static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  SendMessageA(tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* binding = static_cast<Binding*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    if (binding == nullptr || !Bind(window, binding)) return FALSE;
  }
  Binding* binding = BindingOf(window);
  RelayMouse(window, binding, message, wParam, lParam);
  if (message >= WM_USER && message <= 0xBFFF) {
    if (binding != nullptr && binding->client != nullptr) {
      binding->client->WidgetMessage(message, static_cast<std::uintptr_t>(wParam), static_cast<std::intptr_t>(lParam));
    }
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      if (lParam != 0) {
        Reflect(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
      }
      break;
    case WM_SETFONT:
      if (binding != nullptr) binding->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam) != 0) InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return binding != nullptr ? reinterpret_cast<LRESULT>(binding->font) : 0;
    case WM_CLOSE:
      if (binding != nullptr && binding->kind == WidgetKind::Form) {
        Notify(binding, WidgetEvent::CloseRequested);
        return 0;
      }
      break;
    case WM_PAINT:
      if (binding != nullptr && binding->kind == WidgetKind::Panel) {
        PaintPanel(window, *binding);
        return 0;
      }
      break;
    case WM_NCDESTROY: {
      Unbind(window);
      // A window that dies inside its own creation never was its client's.
      if (binding != nullptr && !binding->creating) {
        const std::unique_ptr<Binding> owned(binding);
        if (binding->client != nullptr) binding->client->WidgetDestroyed();
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  Binding* binding = BindingOf(window);
  if (binding == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  RelayMouse(window, binding, message, wParam, lParam);
  const WNDPROC previous = binding->previous;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    Unbind(window);
    const std::unique_ptr<Binding> owned(binding);
    if (binding->client != nullptr) binding->client->WidgetDestroyed();
  }
  return CallWindowProcA(previous, window, message, wParam, lParam);
}

void RegisterContainerClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &ContainerProc;
  windowClass.hInstance = CodeModule();
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = kContainerClass;
  if (RegisterClassExA(&windowClass) == 0) {
    const DWORD error = GetLastError();
    if (error != ERROR_CLASS_ALREADY_EXISTS) RaiseOSError(error);
    // Left behind by an earlier copy of this module at another address:
    // its procedure is gone, so the class is made again.
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(CodeModule(), kContainerClass, &existing) && existing.lpfnWndProc != &ContainerProc) {
      UnregisterClassA(kContainerClass, CodeModule());
      if (RegisterClassExA(&windowClass) == 0) RaiseLastOSError();
    }
  }
  registered = true;
}

void EnsureCommonControls() {
  static bool ready = false;
  if (ready) return;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES};
  if (!InitCommonControlsEx(&controls)) throw Exception("the common controls could not be initialised");
  ready = true;
}

struct WindowStyle {
  const char* className;
  DWORD style;
  DWORD exStyle;
  bool ownClass;
};

WindowStyle StyleOf(WidgetKind kind) noexcept {
  constexpr DWORD child = WS_CHILD | WS_CLIPSIBLINGS;
  switch (kind) {
    case WidgetKind::Form:
      return {kContainerClass, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, true};
    case WidgetKind::Panel:
      return {kContainerClass, child | WS_CLIPCHILDREN, 0, true};
    case WidgetKind::Label:
      return {"STATIC", child | SS_LEFT, 0, false};
    case WidgetKind::Button:
      return {"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0, false};
    case WidgetKind::Edit:
      return {"EDIT", child | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, false};
    case WidgetKind::Memo:
      return {"EDIT", child | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
              WS_EX_CLIENTEDGE, false};
    case WidgetKind::ListBox:
      return {"LISTBOX", child | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE,
              false};
    case WidgetKind::ComboBox:
      return {"COMBOBOX", child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, false};
    case WidgetKind::ReportView:
      return {WC_LISTVIEWA, child | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, WS_EX_CLIENTEDGE,
              false};
    case WidgetKind::Frame:
      return {kContainerClass, child | WS_CLIPCHILDREN | WS_TABSTOP, WS_EX_CONTROLPARENT, true};
    case WidgetKind::CheckBox:
      return {"BUTTON", child | WS_TABSTOP | BS_AUTOCHECKBOX, 0, false};
    case WidgetKind::TreeView:
      return {WC_TREEVIEWA, child | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
              WS_EX_CLIENTEDGE, false};
  }
  return {kContainerClass, child, 0, true};
}

int WindowHeight(WidgetKind kind, int height) noexcept {
  return kind == WidgetKind::ComboBox ? height + kDropDownHeight : height;
}

const Binding& RequireBinding(HWND window) {
  const Binding* binding = BindingOf(window);
  if (binding == nullptr) throw Exception("not a window of this toolkit");
  return *binding;
}

bool IsListBox(HWND window) {
  const WidgetKind kind = RequireBinding(window).kind;
  if (kind != WidgetKind::ListBox && kind != WidgetKind::ComboBox) throw Exception("not a list window");
  return kind == WidgetKind::ListBox;
}

void RequireReportView(HWND window) {
  if (RequireBinding(window).kind != WidgetKind::ReportView) throw Exception("not a report view");
}

void RequireTreeView(HWND window) {
  if (RequireBinding(window).kind != WidgetKind::TreeView) throw Exception("not a tree view");
}

HTREEITEM AsTreeItem(TreeItemHandle item) noexcept { return reinterpret_cast<HTREEITEM>(item); }

// The tooltip of a top-level window, made on first need; the system
// destroys it with the window it belongs to.
HWND NeedTooltip(HWND window) {
  HWND root = GetAncestor(window, GA_ROOT);
  Binding* rootBinding = BindingOf(root);
  if (rootBinding == nullptr) throw Exception("not a window of this toolkit");
  if (rootBinding->tooltip != nullptr) return rootBinding->tooltip;
  EnsureCommonControls();
  HWND tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_NOANIMATE | TTS_NOFADE,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, root, nullptr,
                                 CodeModule(), nullptr);
  if (tooltip == nullptr) RaiseLastOSError();
  rootBinding->tooltip = tooltip;
  return tooltip;
}

TOOLINFOA ToolOf(HWND tooltipOwner, HWND window, const std::string* text) noexcept {
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = tooltipOwner;
  tool.uId = reinterpret_cast<UINT_PTR>(window);
  tool.lpszText = text != nullptr ? const_cast<char*>(text->c_str()) : nullptr;
  return tool;
}

void CheckListResult(LRESULT result) {
  // LB_ERR / CB_ERR (-1), LB_ERRSPACE / CB_ERRSPACE (-2)
  if (result < 0) throw Exception("the list window refused the change");
}

void SendFont(HWND window, FontHandle font) noexcept {
  SendMessageA(window, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  if (IsWindowVisible(window)) InvalidateRect(window, nullptr, TRUE);
}

class WindowsWidgetSet final : public WidgetSet {
 public:
  WidgetHandle CreateHandle(const TCreateParams& params) override {
    const WindowStyle style = StyleOf(params.kind);
    const bool topLevel = params.kind == WidgetKind::Form;
    if (!topLevel && params.parent == 0) throw Exception("a control needs a parent window");
    if (style.ownClass) RegisterContainerClass();
    if (params.kind == WidgetKind::ReportView || params.kind == WidgetKind::TreeView) EnsureCommonControls();

    auto binding = std::make_unique<Binding>();
    binding->client = params.client;
    binding->kind = params.kind;
    binding->creating = true;
    const DWORD visible = params.visible ? WS_VISIBLE : 0;
    HWND window = CreateWindowExA(style.exStyle, style.className, params.text.c_str(), style.style | visible,
                                  params.left, params.top, params.width, WindowHeight(params.kind, params.height),
                                  AsWindow(params.parent),
                                  topLevel ? nullptr : reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), CodeModule(),
                                  style.ownClass ? binding.get() : nullptr);
    // A failed creation may have bound the binding at WM_NCCREATE and unbound
    // it at WM_NCDESTROY; either way it is still ours and goes with `binding`.
    if (window == nullptr) RaiseOSError(GetLastError());
    binding->creating = false;
    if (style.ownClass) {
      (void)binding.release();  // the window frees it at WM_NCDESTROY
    } else {
      if (!Bind(window, binding.get())) {
        DestroyWindow(window);
        throw Exception("no memory to bind a window");
      }
      Binding& bound = *binding.release();
      bound.previous = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc)));
      if (params.kind == WidgetKind::ReportView) {
        SendMessageA(window, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
      }
    }
    return reinterpret_cast<WidgetHandle>(window);
  }

  void DestroyHandle(WidgetHandle handle) noexcept override { DestroyWindow(AsWindow(handle)); }

  void SetText(WidgetHandle handle, const std::string& text) override {
    HWND window = AsWindow(handle);
    Binding* binding = BindingOf(window);
    if (binding != nullptr) binding->settingText = true;
    const BOOL done = SetWindowTextA(window, text.c_str());
    if (binding != nullptr) binding->settingText = false;
    if (!done) throw Exception("the window refused its text");
    if (binding != nullptr && binding->kind == WidgetKind::Panel && IsWindowVisible(window)) {
      InvalidateRect(window, nullptr, TRUE);
    }
  }

  std::string GetText(WidgetHandle handle) override {
    HWND window = AsWindow(handle);
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
  }

  // A window that is not on the screen is not painted now: it is painted
  // with its new font when it appears. (Asking every window to redraw at
  // once costs tens of microseconds each under Wine.)
  void SetFont(WidgetHandle handle, FontHandle font) override { SendFont(AsWindow(handle), font); }

  void SetHeaderFont(WidgetHandle handle, FontHandle font) override {
    HWND header = reinterpret_cast<HWND>(SendMessageA(AsWindow(handle), LVM_GETHEADER, 0, 0));
    if (header != nullptr) SendFont(header, font);
  }

  void ShowHide(WidgetHandle handle, bool visible) override {
    ShowWindow(AsWindow(handle), visible ? SW_SHOW : SW_HIDE);
  }

  void SetBounds(WidgetHandle handle, int left, int top, int width, int height) override {
    HWND window = AsWindow(handle);
    const Binding& binding = RequireBinding(window);
    if (!SetWindowPos(window, nullptr, left, top, width, WindowHeight(binding.kind, height),
                      SWP_NOZORDER | SWP_NOACTIVATE)) {
      RaiseLastOSError();
    }
  }

  void Repaint(WidgetHandle handle) override {
    InvalidateRect(AsWindow(handle), nullptr, TRUE);
    UpdateWindow(AsWindow(handle));
  }

  void SetRedraw(WidgetHandle handle, bool redraw) override {
    HWND window = AsWindow(handle);
    SendMessageA(window, WM_SETREDRAW, redraw ? TRUE : FALSE, 0);
    if (redraw && IsWindowVisible(window)) {
      RedrawWindow(window, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
  }

  bool PostWidgetMessage(WidgetHandle handle, unsigned message, std::uintptr_t wParam,
                         std::intptr_t lParam) override {
    return PostMessageA(AsWindow(handle), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != 0;
  }

  void SetHint(WidgetHandle handle, const std::string& hint) override {
    HWND window = AsWindow(handle);
    Binding* binding = BindingOf(window);
    if (binding == nullptr) throw Exception("not a window of this toolkit");
    if (hint.empty() && !binding->hasTip) return;
    HWND tooltip = NeedTooltip(window);
    HWND owner = GetAncestor(window, GA_ROOT);
    TOOLINFOA tool = ToolOf(owner, window, &hint);
    if (hint.empty()) {
      SendMessageA(tooltip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
      binding->hasTip = false;
    } else if (binding->hasTip) {
      SendMessageA(tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
      if (!SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool))) {
        throw Exception("the tooltip refused a tool");
      }
      binding->hasTip = true;
    }
  }

  void ListInsert(WidgetHandle handle, int index, const std::string& line) override {
    HWND window = AsWindow(handle);
    CheckListResult(SendMessageA(window, IsListBox(window) ? LB_INSERTSTRING : CB_INSERTSTRING,
                                 static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(line.c_str())));
  }

  void ListDelete(WidgetHandle handle, int index) override {
    HWND window = AsWindow(handle);
    CheckListResult(
        SendMessageA(window, IsListBox(window) ? LB_DELETESTRING : CB_DELETESTRING, static_cast<WPARAM>(index), 0));
  }

  void ListClear(WidgetHandle handle) override {
    HWND window = AsWindow(handle);
    SendMessageA(window, IsListBox(window) ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
  }

  void ListSetSelection(WidgetHandle handle, int index) override {
    HWND window = AsWindow(handle);
    // Both answer "error" for -1 although they clear the selection.
    SendMessageA(window, IsListBox(window) ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }

  int ListGetSelection(WidgetHandle handle) override {
    HWND window = AsWindow(handle);
    return static_cast<int>(SendMessageA(window, IsListBox(window) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0));
  }

  void ColumnInsert(WidgetHandle handle, int index, const std::string& title, int width) override {
    HWND window = AsWindow(handle);
    RequireReportView(window);
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(title.c_str());
    column.cx = width;
    column.iSubItem = index;
    if (SendMessageA(window, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)) < 0) {
      throw Exception("the report view refused a column");
    }
  }

  void ColumnSetTitle(WidgetHandle handle, int index, const std::string& title) override {
    HWND window = AsWindow(handle);
    RequireReportView(window);
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<char*>(title.c_str());
    if (!SendMessageA(window, LVM_SETCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column))) {
      throw Exception("the report view refused a column title");
    }
  }

  void ColumnDelete(WidgetHandle handle, int index) override {
    HWND window = AsWindow(handle);
    RequireReportView(window);
    SendMessageA(window, LVM_DELETECOLUMN, static_cast<WPARAM>(index), 0);
  }

  void RowInsert(WidgetHandle handle, int index, const std::string& text) override {
    HWND window = AsWindow(handle);
    RequireReportView(window);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    if (SendMessageA(window, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
      throw Exception("the report view refused a row");
    }
  }

  void CellSetText(WidgetHandle handle, int row, int column, const std::string& text) override {
    HWND window = AsWindow(handle);
    RequireReportView(window);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    if (!SendMessageA(window, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item))) {
      throw Exception("the report view refused a cell");
    }
  }

  void RowDelete(WidgetHandle handle, int index) override {
    HWND window = AsWindow(handle);
    RequireReportView(window);
    SendMessageA(window, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
  }

  void RowsClear(WidgetHandle handle) override {
    HWND window = AsWindow(handle);
    RequireReportView(window);
    SendMessageA(window, LVM_DELETEALLITEMS, 0, 0);
  }

  TreeItemHandle TreeInsert(WidgetHandle handle, TreeItemHandle parent, TreeItemHandle after,
                            const std::string& text) override {
    HWND window = AsWindow(handle);
    RequireTreeView(window);
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent != 0 ? AsTreeItem(parent) : TVI_ROOT;
    insert.hInsertAfter = after != 0 ? AsTreeItem(after) : TVI_FIRST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(text.c_str());
    const LRESULT item = SendMessageA(window, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
    if (item == 0) throw Exception("the tree view refused an item");
    return static_cast<TreeItemHandle>(item);
  }

  void TreeSetText(WidgetHandle handle, TreeItemHandle item, const std::string& text) override {
    HWND window = AsWindow(handle);
    RequireTreeView(window);
    TVITEMA change{};
    change.mask = TVIF_TEXT;
    change.hItem = AsTreeItem(item);
    change.pszText = const_cast<char*>(text.c_str());
    if (!SendMessageA(window, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&change))) {
      throw Exception("the tree view refused an item's text");
    }
  }

  void TreeDelete(WidgetHandle handle, TreeItemHandle item) override {
    HWND window = AsWindow(handle);
    RequireTreeView(window);
    SendMessageA(window, TVM_DELETEITEM, 0, item != 0 ? reinterpret_cast<LPARAM>(AsTreeItem(item))
                                                     : reinterpret_cast<LPARAM>(TVI_ROOT));
  }

  void TreeExpand(WidgetHandle handle, TreeItemHandle item, bool expanded) override {
    HWND window = AsWindow(handle);
    RequireTreeView(window);
    SendMessageA(window, TVM_EXPAND, expanded ? TVE_EXPAND : TVE_COLLAPSE, reinterpret_cast<LPARAM>(AsTreeItem(item)));
  }

  FontHandle CreateFontHandle(const TFontData& font) override { return NewGdiFont(font); }
  void DestroyFontHandle(FontHandle font) noexcept override { FreeGdiFont(font); }
};

}  // namespace

WidgetSet* PlatformWidgetSet() noexcept {
  static WindowsWidgetSet widgetSet;
  return &widgetSet;
}

}  // namespace quorlane
