#include "fake_widgetset.h"

#include <algorithm>

#include "framework/errors.h"

namespace quorlane::testing {

FakeWidgetSet::FakeWidgetSet() : m_previous(SetWidgetSet(this)) {}

FakeWidgetSet::~FakeWidgetSet() { SetWidgetSet(m_previous); }

const FakeWindow& FakeWidgetSet::Window(WidgetHandle handle) const {
  const auto it = m_windows.find(handle);
  if (it == m_windows.end()) throw Exception("fake: no window " + std::to_string(handle));
  return it->second;
}

const TFontData& FakeWidgetSet::Font(FontHandle font) const {
  const auto it = m_fonts.find(font);
  if (it == m_fonts.end()) throw Exception("fake: no font " + std::to_string(font));
  return it->second;
}

int FakeWidgetSet::Calls(const std::string& operation) const {
  const auto it = m_calls.find(operation);
  return it == m_calls.end() ? 0 : it->second;
}

FakeWindow& FakeWidgetSet::Mutable(WidgetHandle handle, const char* operation) {
  ++m_calls[operation];
  const auto it = m_windows.find(handle);
  if (it == m_windows.end()) throw Exception(std::string("fake: ") + operation + " on a window that is gone");
  return it->second;
}

void FakeWidgetSet::UserTypes(WidgetHandle handle, const std::string& text) {
  FakeWindow& window = m_windows.at(handle);
  window.text = text;
  window.client->WidgetNotify(WidgetEvent::TextEdited);
}

void FakeWidgetSet::UserSelects(WidgetHandle handle, int index) {
  FakeWindow& window = m_windows.at(handle);
  window.selection = index;
  if (window.kind == WidgetKind::ComboBox) window.text = window.lines.at(static_cast<std::size_t>(index));
  window.client->WidgetNotify(WidgetEvent::SelectionChanged);
}

void FakeWidgetSet::UserCloses(WidgetHandle handle) { m_windows.at(handle).client->WidgetNotify(WidgetEvent::CloseRequested); }

void FakeWidgetSet::UserClicks(WidgetHandle handle) { m_windows.at(handle).client->WidgetNotify(WidgetEvent::Clicked); }

WidgetHandle FakeWidgetSet::CreateHandle(const TCreateParams& params) {
  ++m_calls["CreateHandle"];
  if (failNextCreate == params.kind) {
    failNextCreate.reset();
    throw Exception("fake: creation refused");
  }
  if (params.kind != WidgetKind::Form && !Exists(params.parent)) throw Exception("fake: a control needs a parent");
  const WidgetHandle handle = m_nextWindow++;
  FakeWindow& window = m_windows[handle];
  window.kind = params.kind;
  window.parent = params.parent;
  window.client = params.client;
  window.text = params.text;
  window.visible = params.visible;
  window.left = params.left;
  window.top = params.top;
  window.width = params.width;
  window.height = params.height;
  created.push_back(params.kind);
  return handle;
}

void FakeWidgetSet::DestroyHandle(WidgetHandle handle) noexcept {
  ++m_calls["DestroyHandle"];
  DestroyTree(handle);
}

// Children first, as WM_NCDESTROY reaches them before their parent.
void FakeWidgetSet::DestroyTree(WidgetHandle handle) noexcept {
  std::vector<WidgetHandle> children;
  for (const auto& [child, window] : m_windows) {
    if (window.parent == handle) children.push_back(child);
  }
  for (const WidgetHandle child : children) DestroyTree(child);
  const auto it = m_windows.find(handle);
  if (it == m_windows.end()) return;
  WidgetClient* client = it->second.client;
  m_windows.erase(it);
  if (client != nullptr) client->WidgetDestroyed();
}

void FakeWidgetSet::SetText(WidgetHandle handle, const std::string& text) { Mutable(handle, "SetText").text = text; }

std::string FakeWidgetSet::GetText(WidgetHandle handle) { return Mutable(handle, "GetText").text; }

void FakeWidgetSet::SetFont(WidgetHandle handle, FontHandle font) {
  (void)Font(font);
  Mutable(handle, "SetFont").font = font;
}

void FakeWidgetSet::SetHeaderFont(WidgetHandle handle, FontHandle font) {
  (void)Font(font);
  Mutable(handle, "SetHeaderFont").headerFont = font;
}

void FakeWidgetSet::ShowHide(WidgetHandle handle, bool visible) { Mutable(handle, "ShowHide").visible = visible; }

void FakeWidgetSet::SetBounds(WidgetHandle handle, int left, int top, int width, int height) {
  FakeWindow& window = Mutable(handle, "SetBounds");
  window.left = left;
  window.top = top;
  window.width = width;
  window.height = height;
}

void FakeWidgetSet::Repaint(WidgetHandle handle) { (void)Mutable(handle, "Repaint"); }

void FakeWidgetSet::SetRedraw(WidgetHandle handle, bool redraw) { Mutable(handle, "SetRedraw").redraw = redraw; }

bool FakeWidgetSet::PostWidgetMessage(WidgetHandle handle, unsigned message, std::uintptr_t, std::intptr_t) {
  (void)Mutable(handle, "PostWidgetMessage");
  posted.emplace_back(handle, message);
  return true;
}

void FakeWidgetSet::SetHint(WidgetHandle handle, const std::string& hint) { Mutable(handle, "SetHint").hint = hint; }

void FakeWidgetSet::ListInsert(WidgetHandle handle, int index, const std::string& line) {
  FakeWindow& window = Mutable(handle, "ListInsert");
  window.lines.insert(window.lines.begin() + index, line);
  if (window.selection >= index) ++window.selection;
}

void FakeWidgetSet::ListDelete(WidgetHandle handle, int index) {
  FakeWindow& window = Mutable(handle, "ListDelete");
  window.lines.erase(window.lines.begin() + index);
  if (window.selection == index) {
    window.selection = -1;
  } else if (window.selection > index) {
    --window.selection;
  }
}

void FakeWidgetSet::ListClear(WidgetHandle handle) {
  FakeWindow& window = Mutable(handle, "ListClear");
  window.lines.clear();
  window.selection = -1;
  if (window.kind == WidgetKind::ComboBox) window.text.clear();
}

void FakeWidgetSet::ListSetSelection(WidgetHandle handle, int index) {
  FakeWindow& window = Mutable(handle, "ListSetSelection");
  window.selection = index;
  if (window.kind == WidgetKind::ComboBox) {
    window.text = index >= 0 ? window.lines.at(static_cast<std::size_t>(index)) : std::string();
  }
}

int FakeWidgetSet::ListGetSelection(WidgetHandle handle) { return Mutable(handle, "ListGetSelection").selection; }

void FakeWidgetSet::ColumnInsert(WidgetHandle handle, int index, const std::string& title, int) {
  FakeWindow& window = Mutable(handle, "ColumnInsert");
  window.columns.insert(window.columns.begin() + index, title);
}

void FakeWidgetSet::ColumnSetTitle(WidgetHandle handle, int index, const std::string& title) {
  Mutable(handle, "ColumnSetTitle").columns.at(static_cast<std::size_t>(index)) = title;
}

void FakeWidgetSet::ColumnDelete(WidgetHandle handle, int index) {
  FakeWindow& window = Mutable(handle, "ColumnDelete");
  window.columns.erase(window.columns.begin() + index);
}

void FakeWidgetSet::RowInsert(WidgetHandle handle, int index, const std::string& text) {
  FakeWindow& window = Mutable(handle, "RowInsert");
  window.rows.insert(window.rows.begin() + index, std::vector<std::string>{text});
}

void FakeWidgetSet::CellSetText(WidgetHandle handle, int row, int column, const std::string& text) {
  auto& cells = Mutable(handle, "CellSetText").rows.at(static_cast<std::size_t>(row));
  if (cells.size() <= static_cast<std::size_t>(column)) cells.resize(static_cast<std::size_t>(column) + 1);
  cells[static_cast<std::size_t>(column)] = text;
}

void FakeWidgetSet::RowDelete(WidgetHandle handle, int index) {
  FakeWindow& window = Mutable(handle, "RowDelete");
  window.rows.erase(window.rows.begin() + index);
}

void FakeWidgetSet::RowsClear(WidgetHandle handle) { Mutable(handle, "RowsClear").rows.clear(); }

namespace {
using TreeItems = std::vector<FakeWindow::TreeItem>;
TreeItems::iterator FindItem(TreeItems& items, TreeItemHandle item) {
  const auto it = std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.item == item; });
  if (it == items.end()) throw Exception("fake: no tree item " + std::to_string(item));
  return it;
}
// Past the item and everything under it.
TreeItems::iterator EndOfSubtree(TreeItems& items, TreeItems::iterator at) {
  std::vector<TreeItemHandle> open{at->item};
  for (++at; at != items.end(); ++at) {
    while (!open.empty() && open.back() != at->parent) open.pop_back();
    if (open.empty()) break;
    open.push_back(at->item);
  }
  return at;
}
}  // namespace

// Items are kept in the window's order, so the test can read it off.
TreeItemHandle FakeWidgetSet::TreeInsert(WidgetHandle handle, TreeItemHandle parent, TreeItemHandle after,
                                         const std::string& text) {
  TreeItems& items = Mutable(handle, "TreeInsert").treeItems;
  TreeItems::iterator at;
  if (after != 0) {
    at = EndOfSubtree(items, FindItem(items, after));
  } else if (parent != 0) {
    at = FindItem(items, parent) + 1;
  } else {
    at = items.begin();
  }
  const TreeItemHandle item = m_nextTreeItem++;
  items.insert(at, FakeWindow::TreeItem{item, parent, text, false});
  return item;
}

void FakeWidgetSet::TreeSetText(WidgetHandle handle, TreeItemHandle item, const std::string& text) {
  TreeItems& items = Mutable(handle, "TreeSetText").treeItems;
  FindItem(items, item)->text = text;
}

void FakeWidgetSet::TreeDelete(WidgetHandle handle, TreeItemHandle item) {
  TreeItems& items = Mutable(handle, "TreeDelete").treeItems;
  if (item == 0) return items.clear();
  const auto first = FindItem(items, item);
  items.erase(first, EndOfSubtree(items, first));
}

void FakeWidgetSet::TreeExpand(WidgetHandle handle, TreeItemHandle item, bool expanded) {
  TreeItems& items = Mutable(handle, "TreeExpand").treeItems;
  FindItem(items, item)->expanded = expanded;
}

FontHandle FakeWidgetSet::CreateFontHandle(const TFontData& font) {
  ++m_calls["CreateFontHandle"];
  const FontHandle handle = m_nextFont++;
  m_fonts[handle] = font;
  return handle;
}

void FakeWidgetSet::DestroyFontHandle(FontHandle font) noexcept {
  ++m_calls["DestroyFontHandle"];
  m_fonts.erase(font);
}

}  // namespace quorlane::testing
