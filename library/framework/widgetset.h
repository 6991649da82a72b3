// The seam between the controls and the windows that show them. Controls
// hold opaque handles and call these operations; widgetset_win.cpp makes
// real windows with the standard Windows controls, and the tests link a
// recording fake that keeps each window's state in memory.
//
// Texts cross the seam as the objects' own bytes (ANSI: the backend uses the
// A functions, so a window shows them through the process's ANSI code page).
// Every operation except the destroy calls may raise Exception or EOSError.
// One thread at a time: the thread that owns the windows.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace quorlane {

/// A window of the backend; 0 is none.
using WidgetHandle = std::uintptr_t;
/// A font object of the backend (an HFONT under Windows); 0 is none.
using FontHandle = std::uintptr_t;
/// An item of a tree view's window (an HTREEITEM); valid while the window is.
using TreeItemHandle = std::uintptr_t;

enum class WidgetKind : std::uint8_t {
  Form,        // top-level window of our own class
  Panel,       // child container of our own class that shows its caption
  Label,       // STATIC
  Button,      // BUTTON
  Edit,        // single-line EDIT
  Memo,        // multi-line EDIT
  ListBox,     // LISTBOX
  ComboBox,    // COMBOBOX, drop-down with an edit field
  ReportView,  // list view in report mode: a header of columns over rows of cells
  Frame,       // child container of our own class that draws nothing of its own
  CheckBox,    // BUTTON with a check mark
  TreeView,    // tree view with lines and buttons
};

/// What a window tells its object.
enum class WidgetEvent : std::uint8_t {
  TextEdited,        // the user changed the text (not our own SetText)
  SelectionChanged,  // the user picked another line
  Clicked,
  CloseRequested,    // the user asked a form to close
};

/// The object behind a window. Called on the window's thread; never raises.
class WidgetClient {
 public:
  virtual void WidgetNotify(WidgetEvent event) noexcept = 0;
  /// The window is gone (destroyed by us or with its parent): the handle and
  /// everything sent to it are free to release.
  virtual void WidgetDestroyed() noexcept = 0;
  /// A message of the application's own range (WM_USER and up) reached a
  /// window of our own class (forms, panels, frames).
  virtual void WidgetMessage(unsigned /*message*/, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) noexcept {}

 protected:
  ~WidgetClient() = default;
};

struct TCreateParams {
  WidgetKind kind = WidgetKind::Panel;
  WidgetHandle parent = 0;
  std::string text;
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = false;
  WidgetClient* client = nullptr;
};

/// A font as the backend builds it.
struct TFontData {
  std::string name;
  int charset = 1;
  int height = -11;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  friend auto operator<=>(const TFontData&, const TFontData&) = default;
};

class WidgetSet {
 public:
  virtual ~WidgetSet() = default;

  [[nodiscard]] virtual WidgetHandle CreateHandle(const TCreateParams& params) = 0;
  /// Destroys the window and its child windows (each client hears WidgetDestroyed).
  virtual void DestroyHandle(WidgetHandle handle) noexcept = 0;
  virtual void SetText(WidgetHandle handle, const std::string& text) = 0;
  /// The window's text as it holds it now: read only to take back what the
  /// user typed.
  [[nodiscard]] virtual std::string GetText(WidgetHandle handle) = 0;
  virtual void SetFont(WidgetHandle handle, FontHandle font) = 0;
  /// The font of a report view's header.
  virtual void SetHeaderFont(WidgetHandle handle, FontHandle font) = 0;
  virtual void ShowHide(WidgetHandle handle, bool visible) = 0;
  virtual void SetBounds(WidgetHandle handle, int left, int top, int width, int height) = 0;
  virtual void Repaint(WidgetHandle handle) = 0;
  /// Off while a list changes under an update bracket; on again redraws once.
  virtual void SetRedraw(WidgetHandle handle, bool redraw) = 0;
  [[nodiscard]] virtual bool PostWidgetMessage(WidgetHandle handle, unsigned message, std::uintptr_t wParam,
                                              std::intptr_t lParam) = 0;
  /// The tip shown while the mouse rests on the window; empty: none.
  virtual void SetHint(WidgetHandle handle, const std::string& hint) = 0;

  // List boxes and combo boxes: lines by index, the selected line (-1: none).
  virtual void ListInsert(WidgetHandle handle, int index, const std::string& line) = 0;
  virtual void ListDelete(WidgetHandle handle, int index) = 0;
  virtual void ListClear(WidgetHandle handle) = 0;
  virtual void ListSetSelection(WidgetHandle handle, int index) = 0;
  [[nodiscard]] virtual int ListGetSelection(WidgetHandle handle) = 0;

  // Report views: header columns, and rows whose cell 0 is the row's text.
  virtual void ColumnInsert(WidgetHandle handle, int index, const std::string& title, int width) = 0;
  virtual void ColumnSetTitle(WidgetHandle handle, int index, const std::string& title) = 0;
  virtual void ColumnDelete(WidgetHandle handle, int index) = 0;
  virtual void RowInsert(WidgetHandle handle, int index, const std::string& text) = 0;
  virtual void CellSetText(WidgetHandle handle, int row, int column, const std::string& text) = 0;
  virtual void RowDelete(WidgetHandle handle, int index) = 0;
  virtual void RowsClear(WidgetHandle handle) = 0;

  // Tree views: items under a parent item (0: the root level).
  /// Inserts an item after the sibling `after` (0: as the first child).
  [[nodiscard]] virtual TreeItemHandle TreeInsert(WidgetHandle handle, TreeItemHandle parent, TreeItemHandle after,
                                                  const std::string& text) = 0;
  virtual void TreeSetText(WidgetHandle handle, TreeItemHandle item, const std::string& text) = 0;
  /// Deletes the item with everything under it; 0 deletes every item.
  virtual void TreeDelete(WidgetHandle handle, TreeItemHandle item) = 0;
  virtual void TreeExpand(WidgetHandle handle, TreeItemHandle item, bool expanded) = 0;

  // Fonts: named so no <windows.h> macro (CreateFont) renames them.
  [[nodiscard]] virtual FontHandle CreateFontHandle(const TFontData& font) = 0;
  virtual void DestroyFontHandle(FontHandle font) noexcept = 0;
};

/// The widget set the controls use: the platform's (the Windows one in the
/// Windows build) unless a test installed another. Raises Exception when
/// there is none (the native build without a fake).
[[nodiscard]] WidgetSet& CurrentWidgetSet();
/// Installs a widget set (null: the platform's again) and returns the one
/// that was installed. Windows and fonts keep the set they were made by.
WidgetSet* SetWidgetSet(WidgetSet* widgetSet) noexcept;
/// The platform's widget set, or null where there is none.
[[nodiscard]] WidgetSet* PlatformWidgetSet() noexcept;

}  // namespace quorlane
