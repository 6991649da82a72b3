#include "framework/comctrls.h"

#include <algorithm>

namespace quorlane {
namespace {

[[noreturn]] void ThrowListIndex() { throw Exception("list index out of bounds"); }

constexpr TPropertyInfo kListColumnProperties[] = {
    props::Text<TListColumn, &TListColumn::Caption, &TListColumn::SetCaption>("Caption"),
    props::Integer<TListColumn, &TListColumn::Width, &TListColumn::SetWidth>("Width"),
};
constexpr TPropertyInfo kListItemProperties[] = {
    props::Text<TListItem, &TListItem::Caption, &TListItem::SetCaption>("Caption"),
    props::Owned<TListItem, TStrings, &TListItem::SubItems>("SubItems"),
};
constexpr TPropertyInfo kListViewProperties[] = {
    props::Object<TListView, TListColumns, &TListView::Columns>("Columns"),
    props::Object<TListView, TListItems, &TListView::Items>("Items"),
    props::Owned<TListView, TFont, &TControl::Font>("Font"),
    props::Text<TListView, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kTreeNodeProperties[] = {
    props::Text<TTreeNode, &TTreeNode::Text, &TTreeNode::SetText>("Text"),
};
constexpr TPropertyInfo kTreeViewProperties[] = {
    props::Object<TTreeView, TTreeNodes, &TCustomTreeView::Items>("Items"),
    props::Owned<TTreeView, TFont, &TControl::Font>("Font"),
    props::Text<TTreeView, &TControl::Hint, &TControl::SetHint>("Hint"),
};

}  // namespace

QL_DEFINE_CLASS(TCustomListView, TWinControl, {})
QL_DEFINE_CLASS(TListColumn, TCollectionItem, kListColumnProperties)
QL_DEFINE_CLASS(TListColumns, TOwnedCollection, {})
QL_DEFINE_CLASS(TListSubItems, TStrings, {})
QL_DEFINE_CLASS(TListItem, TPersistent, kListItemProperties)
QL_DEFINE_CLASS(TListItems, TPersistent, {})
QL_DEFINE_CLASS(TListView, TCustomListView, kListViewProperties)
QL_DEFINE_CLASS(TTreeNode, TPersistent, kTreeNodeProperties)
QL_DEFINE_CLASS(TTreeNodes, TPersistent, {})
QL_DEFINE_CLASS(TCustomTreeView, TWinControl, {})
QL_DEFINE_CLASS(TTreeView, TCustomTreeView, kTreeViewProperties)

TCustomListView::TCustomListView(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 320, 120); }

void TCustomListView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::ReportView;
  params.text.clear();
}

void TCustomListView::InitializeWnd() {
  TWinControl::InitializeWnd();
  m_shownColumns = 0;
  m_shownRows = 0;
  SendHeader();
  HeaderFontChanged();
  SendRows();
}

void TCustomListView::FontChanged() {
  TWinControl::FontChanged();
  // The header follows the control's font unless it has its own.
  if (TitleFont() == nullptr) HeaderFontChanged();
}

void TCustomListView::SendHeader() {
  WidgetSet& widgets = Widgets();
  while (m_shownColumns > 0) widgets.ColumnDelete(WindowHandle(), --m_shownColumns);
  for (int i = 0; i < HeaderCount(); ++i) {
    widgets.ColumnInsert(WindowHandle(), i, HeaderTitle(i), HeaderWidth(i));
    m_shownColumns = i + 1;
  }
}

void TCustomListView::SendRows() {
  WidgetSet& widgets = Widgets();
  widgets.RowsClear(WindowHandle());
  m_shownRows = 0;
  const int rows = RowCount();
  const int columns = HeaderCount();
  for (int row = 0; row < rows; ++row) {
    widgets.RowInsert(WindowHandle(), row, CellText(row, 0));
    m_shownRows = row + 1;
    for (int column = 1; column < columns; ++column) {
      widgets.CellSetText(WindowHandle(), row, column, CellText(row, column));
    }
  }
}

void TCustomListView::HeaderChanged() {
  // Rows hold one cell per column: they follow the header.
  if (WindowHandle() != 0) Rebuild(true);
}

void TCustomListView::HeaderTitleChanged(int index) {
  if (WindowHandle() == 0) return;
  if (index < 0 || index >= m_shownColumns) return HeaderChanged();
  Widgets().ColumnSetTitle(WindowHandle(), index, HeaderTitle(index));
}

void TCustomListView::HeaderFontChanged() {
  if (WindowHandle() == 0) return;
  const TFont* font = TitleFont();
  SendHeaderFont(font != nullptr ? *font : Font());
}

void TCustomListView::RowsChanged() {
  if (WindowHandle() != 0) Rebuild(false);
}

// The window redraws once, after the whole rebuild (or when an open
// bracket of the descendant closes).
void TCustomListView::Rebuild(bool header) {
  struct RedrawLock {
    TCustomListView& view;
    void BeginUpdate() { view.BeginRedrawLock(); }
    void EndUpdate() { view.EndRedrawLock(); }
  } lock{*this};
  UpdateGuard<RedrawLock> bracket(lock);
  if (header) SendHeader();
  SendRows();
  if (header) HeaderFontChanged();
}

void TCustomListView::RowInserted(int row) {
  if (WindowHandle() == 0) return;
  if (row < 0 || row > m_shownRows || RowCount() != m_shownRows + 1) return RowsChanged();
  Widgets().RowInsert(WindowHandle(), row, CellText(row, 0));
  ++m_shownRows;
  for (int column = 1; column < m_shownColumns; ++column) {
    Widgets().CellSetText(WindowHandle(), row, column, CellText(row, column));
  }
}

void TCustomListView::RowDeleted(int row) {
  if (WindowHandle() == 0) return;
  if (row < 0 || row >= m_shownRows || RowCount() != m_shownRows - 1) return RowsChanged();
  Widgets().RowDelete(WindowHandle(), row);
  --m_shownRows;
}

void TCustomListView::CellChanged(int row, int column) {
  if (WindowHandle() == 0 || column >= m_shownColumns) return;
  if (row < 0 || row >= m_shownRows) return RowsChanged();
  Widgets().CellSetText(WindowHandle(), row, column, CellText(row, column));
}

void TCustomListView::RowChanged(int row) {
  if (WindowHandle() == 0) return;
  if (row < 0 || row >= m_shownRows || RowCount() != m_shownRows) return RowsChanged();
  for (int column = 0; column < HeaderCount(); ++column) {
    Widgets().CellSetText(WindowHandle(), row, column, CellText(row, column));
  }
}

// ---- TListView ------------------------------------------------------------

void TListColumn::SetCaption(const std::string& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  Changed();
}

void TListColumn::SetWidth(int width) {
  if (width == m_width) return;
  m_width = width;
  m_layoutChanged = true;
  Changed();
}

TListColumns::TListColumns(TListView& view)
    : TOwnedCollection(view, TListColumn::StaticClass(), &MakeCollectionItem<TListColumn>), m_view(view) {}

void TListColumns::Update(TCollectionItem* item) { m_view.ColumnsUpdated(item); }

std::string TListSubItems::Get(int index) const {
  if (index < 0 || index >= Count()) ThrowListIndex();
  return m_lines[static_cast<std::size_t>(index)];
}

void TListSubItems::Put(int index, const std::string& line) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  if (m_lines[static_cast<std::size_t>(index)] == line) return;
  m_lines[static_cast<std::size_t>(index)] = line;
  m_item.CellChanged(index + 1);
}

void TListSubItems::Insert(int index, const std::string& line) {
  if (index < 0 || index > Count()) ThrowListIndex();
  m_lines.insert(m_lines.begin() + index, line);
  m_item.CellChanged(-1);
}

void TListSubItems::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  m_lines.erase(m_lines.begin() + index);
  m_item.CellChanged(-1);
}

void TListSubItems::Clear() {
  if (m_lines.empty()) return;
  m_lines.clear();
  m_item.CellChanged(-1);
}

TListItem::TListItem(TListItems& owner) : m_owner(owner), m_subItems(std::make_unique<TListSubItems>(*this)) {}

TListItem::~TListItem() = default;

void TListItem::SetCaption(const std::string& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  CellChanged(0);
}

void TListItem::SetSubItems(const TStrings* lines) {
  if (lines == nullptr) return m_subItems->Clear();
  m_subItems->Assign(*lines);
}

int TListItem::Index() const noexcept {
  const auto& items = m_owner.m_items;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

void TListItem::CellChanged(int column) {
  const int row = Index();
  if (row < 0) return;  // still being added
  TListView& view = m_owner.m_view;
  if (column < 0) return view.RowChanged(row);
  view.CellChanged(row, column);
}

TListItems::~TListItems() = default;

TListItem& TListItems::Item(int index) const {
  if (index < 0 || index >= Count()) ThrowListIndex();
  return *m_items[static_cast<std::size_t>(index)];
}

TListItem& TListItems::Add() {
  m_items.push_back(std::make_unique<TListItem>(*this));
  try {
    m_view.RowInserted(Count() - 1);
  } catch (...) {
    m_items.pop_back();  // not half added: neither shown nor kept
    throw;
  }
  return *m_items.back();
}

void TListItems::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowListIndex();
  std::unique_ptr<TListItem> gone = std::move(m_items[static_cast<std::size_t>(index)]);
  m_items.erase(m_items.begin() + index);
  m_view.RowDeleted(index);
}

void TListItems::Clear() {
  if (m_items.empty()) return;
  // Taken out first: nothing reaches an item that is being freed.
  std::vector<std::unique_ptr<TListItem>> gone = std::move(m_items);
  m_items.clear();
  m_view.RowsChanged();
}

void TListItems::BeginUpdate() {
  ++m_updateCount;
  m_view.BeginRedrawLock();
}

void TListItems::EndUpdate() {
  if (m_updateCount == 0) return;
  --m_updateCount;
  m_view.EndRedrawLock();
}

TListView::TListView(TComponent* owner)
    : TCustomListView(owner),
      m_columns(std::make_unique<TListColumns>(*this)),
      m_items(std::make_unique<TListItems>(*this)) {}

// Nothing reads the items while ~TWinControl destroys the window.
TListView::~TListView() = default;

std::string TListView::CellText(int row, int column) const {
  const TListItem& item = m_items->Item(row);
  if (column == 0) return item.Caption();
  return column - 1 < item.SubItems().Count() ? item.SubItems().Get(column - 1) : std::string();
}

void TListView::ColumnsUpdated(TCollectionItem* item) {
  if (item == nullptr || static_cast<TListColumn*>(item)->TakeLayoutChange()) return HeaderChanged();
  HeaderTitleChanged(item->Index());
}

// ---- TTreeView ------------------------------------------------------------

TTreeNode::~TTreeNode() = default;

void TTreeNode::SetText(const std::string& text) {
  if (text == m_text) return;
  m_text = text;
  if (m_owner.WindowShown() && m_item != 0) {
    m_owner.m_view.Widgets().TreeSetText(m_owner.m_view.WindowHandle(), m_item, text);
  }
}

TTreeNode& TTreeNode::Item(int index) const {
  if (index < 0 || index >= Count()) ThrowListIndex();
  return *m_children[static_cast<std::size_t>(index)];
}

int TTreeNode::AbsoluteIndex() const {
  (void)m_owner.Ordered();
  return m_absoluteIndex;
}

void TTreeNode::SetExpanded(bool expanded) {
  if (expanded == m_expanded) return;
  m_expanded = expanded;
  if (m_owner.WindowShown() && m_item != 0 && !m_children.empty()) {
    m_owner.m_view.Widgets().TreeExpand(m_owner.m_view.WindowHandle(), m_item, expanded);
  }
}

TTreeNodes::~TTreeNodes() = default;

bool TTreeNodes::WindowShown() const noexcept { return m_view.HandleAllocated(); }

const std::vector<TTreeNode*>& TTreeNodes::Ordered() const {
  if (m_orderValid) return m_ordered;
  m_ordered.clear();
  // Depth first, each parent before its children.
  std::vector<TTreeNode*> pending;
  for (auto it = m_roots.rbegin(); it != m_roots.rend(); ++it) pending.push_back(it->get());
  while (!pending.empty()) {
    TTreeNode* node = pending.back();
    pending.pop_back();
    node->m_absoluteIndex = static_cast<int>(m_ordered.size());
    m_ordered.push_back(node);
    for (auto it = node->m_children.rbegin(); it != node->m_children.rend(); ++it) pending.push_back(it->get());
  }
  m_orderValid = true;
  return m_ordered;
}

int TTreeNodes::Count() const { return static_cast<int>(Ordered().size()); }

TTreeNode& TTreeNodes::Item(int absoluteIndex) const {
  const auto& ordered = Ordered();
  if (absoluteIndex < 0 || absoluteIndex >= static_cast<int>(ordered.size())) ThrowListIndex();
  return *ordered[static_cast<std::size_t>(absoluteIndex)];
}

TTreeNode& TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
  if (parent != nullptr && &parent->m_owner != this) throw Exception("the parent node belongs to another tree");
  auto& siblings = parent != nullptr ? parent->m_children : m_roots;
  siblings.push_back(std::make_unique<TTreeNode>(*this, parent));
  TTreeNode& node = *siblings.back();
  node.m_text = text;
  m_orderValid = false;
  if (WindowShown()) {
    const TreeItemHandle after = siblings.size() > 1 ? siblings[siblings.size() - 2]->m_item : 0;
    try {
      SendNode(node, after);
    } catch (...) {
      siblings.pop_back();
      throw;
    }
  }
  return node;
}

void TTreeNodes::SendNode(TTreeNode& node, TreeItemHandle after) {
  WidgetSet& widgets = m_view.Widgets();
  const WidgetHandle window = m_view.WindowHandle();
  node.m_item = widgets.TreeInsert(window, node.m_parent != nullptr ? node.m_parent->m_item : 0, after, node.m_text);
  TreeItemHandle previous = 0;
  for (auto& child : node.m_children) {
    SendNode(*child, previous);
    previous = child->m_item;
  }
  // A window expands only an item that has children.
  if (node.m_expanded && !node.m_children.empty()) widgets.TreeExpand(window, node.m_item, true);
}

void TTreeNodes::SendAll() {
  TreeItemHandle previous = 0;
  for (auto& root : m_roots) {
    SendNode(*root, previous);
    previous = root->m_item;
  }
}

void TTreeNodes::Delete(TTreeNode& node) {
  if (&node.m_owner != this) throw Exception("the node belongs to another tree");
  auto& siblings = node.m_parent != nullptr ? node.m_parent->m_children : m_roots;
  const auto it = std::find_if(siblings.begin(), siblings.end(), [&](const auto& n) { return n.get() == &node; });
  if (it == siblings.end()) return;
  const TreeItemHandle item = node.m_item;
  std::unique_ptr<TTreeNode> gone = std::move(*it);
  siblings.erase(it);
  m_orderValid = false;
  if (WindowShown() && item != 0) m_view.Widgets().TreeDelete(m_view.WindowHandle(), item);
}

void TTreeNodes::Clear() {
  if (m_roots.empty()) return;
  std::vector<std::unique_ptr<TTreeNode>> gone = std::move(m_roots);
  m_roots.clear();
  m_orderValid = false;
  if (WindowShown()) m_view.Widgets().TreeDelete(m_view.WindowHandle(), 0);
}

void TTreeNodes::BeginUpdate() {
  ++m_updateCount;
  m_view.BeginRedrawLock();
}

void TTreeNodes::EndUpdate() {
  if (m_updateCount == 0) return;
  --m_updateCount;
  m_view.EndRedrawLock();
}

TCustomTreeView::TCustomTreeView(TComponent* owner)
    : TWinControl(owner), m_nodes(std::make_unique<TTreeNodes>(*this)) {
  SetBounds(0, 0, 121, 97);
}

// Nothing reads the nodes while ~TWinControl destroys the window.
TCustomTreeView::~TCustomTreeView() = default;

void TCustomTreeView::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::TreeView;
  params.text.clear();
}

void TCustomTreeView::InitializeWnd() {
  TWinControl::InitializeWnd();
  m_nodes->SendAll();
}

}  // namespace quorlane
