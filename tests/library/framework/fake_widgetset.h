// A widget set that keeps each window's state in memory and counts the
// calls it gets, for tests of how windows follow their objects. It behaves
// as the Windows controls do where the toolkit relies on it: destroying a
// window destroys its children first, a list's selection moves with the
// lines, and taking a combo box's selection away empties its edit field.
// Installed for the lifetime of the object.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/widgetset.h"

namespace quorlane::testing {

struct FakeWindow {
  WidgetKind kind = WidgetKind::Panel;
  WidgetHandle parent = 0;
  WidgetClient* client = nullptr;
  std::string text;
  bool visible = false;
  bool redraw = true;
  int left = 0, top = 0, width = 0, height = 0;
  FontHandle font = 0;
  FontHandle headerFont = 0;
  std::vector<std::string> lines;
  int selection = -1;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  std::string hint;
  /// Tree items in the window's order: each parent before its children.
  struct TreeItem {
    TreeItemHandle item = 0;
    TreeItemHandle parent = 0;
    std::string text;
    bool expanded = false;
  };
  std::vector<TreeItem> treeItems;
};

class FakeWidgetSet final : public WidgetSet {
 public:
  FakeWidgetSet();
  ~FakeWidgetSet() override;
  FakeWidgetSet(const FakeWidgetSet&) = delete;
  FakeWidgetSet& operator=(const FakeWidgetSet&) = delete;

  [[nodiscard]] const FakeWindow& Window(WidgetHandle handle) const;
  [[nodiscard]] bool Exists(WidgetHandle handle) const { return m_windows.count(handle) != 0; }
  [[nodiscard]] int WindowCount() const { return static_cast<int>(m_windows.size()); }
  [[nodiscard]] const TFontData& Font(FontHandle font) const;
  [[nodiscard]] int LiveFonts() const { return static_cast<int>(m_fonts.size()); }
  /// How often an operation was called ("CreateHandle", "SetText", ...).
  [[nodiscard]] int Calls(const std::string& operation) const;
  void ResetCalls() { m_calls.clear(); }
  /// The kinds of the windows created, in creation order.
  std::vector<WidgetKind> created;
  /// Creating a window of this kind fails once.
  std::optional<WidgetKind> failNextCreate;

  // What a user does: the window changes, then tells its object.
  void UserTypes(WidgetHandle handle, const std::string& text);
  void UserSelects(WidgetHandle handle, int index);
  void UserCloses(WidgetHandle handle);
  void UserClicks(WidgetHandle handle);

  WidgetHandle CreateHandle(const TCreateParams& params) override;
  void DestroyHandle(WidgetHandle handle) noexcept override;
  void SetText(WidgetHandle handle, const std::string& text) override;
  std::string GetText(WidgetHandle handle) override;
  void SetFont(WidgetHandle handle, FontHandle font) override;
  void SetHeaderFont(WidgetHandle handle, FontHandle font) override;
  void ShowHide(WidgetHandle handle, bool visible) override;
  void SetBounds(WidgetHandle handle, int left, int top, int width, int height) override;
  void Repaint(WidgetHandle handle) override;
  void SetRedraw(WidgetHandle handle, bool redraw) override;
  bool PostWidgetMessage(WidgetHandle handle, unsigned message, std::uintptr_t wParam,
                         std::intptr_t lParam) override;
  void SetHint(WidgetHandle handle, const std::string& hint) override;
  void ListInsert(WidgetHandle handle, int index, const std::string& line) override;
  void ListDelete(WidgetHandle handle, int index) override;
  void ListClear(WidgetHandle handle) override;
  void ListSetSelection(WidgetHandle handle, int index) override;
  int ListGetSelection(WidgetHandle handle) override;
  void ColumnInsert(WidgetHandle handle, int index, const std::string& title, int width) override;
  void ColumnSetTitle(WidgetHandle handle, int index, const std::string& title) override;
  void ColumnDelete(WidgetHandle handle, int index) override;
  void RowInsert(WidgetHandle handle, int index, const std::string& text) override;
  void CellSetText(WidgetHandle handle, int row, int column, const std::string& text) override;
  void RowDelete(WidgetHandle handle, int index) override;
  void RowsClear(WidgetHandle handle) override;
  TreeItemHandle TreeInsert(WidgetHandle handle, TreeItemHandle parent, TreeItemHandle after,
                            const std::string& text) override;
  void TreeSetText(WidgetHandle handle, TreeItemHandle item, const std::string& text) override;
  void TreeDelete(WidgetHandle handle, TreeItemHandle item) override;
  void TreeExpand(WidgetHandle handle, TreeItemHandle item, bool expanded) override;
  FontHandle CreateFontHandle(const TFontData& font) override;
  void DestroyFontHandle(FontHandle font) noexcept override;

  /// Messages posted, in order.
  std::vector<std::pair<WidgetHandle, unsigned>> posted;

 private:
  FakeWindow& Mutable(WidgetHandle handle, const char* operation);
  void DestroyTree(WidgetHandle handle) noexcept;
  std::map<WidgetHandle, FakeWindow> m_windows;
  std::map<FontHandle, TFontData> m_fonts;
  std::map<std::string, int> m_calls;
  WidgetHandle m_nextWindow = 0x100;
  FontHandle m_nextFont = 0x9000;
  TreeItemHandle m_nextTreeItem = 0x5000;
  WidgetSet* m_previous = nullptr;
};

}  // namespace quorlane::testing
