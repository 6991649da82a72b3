// The common controls: the report view that grids and list views are shown
// by, a list view with items and sub-items, and a tree view.
//
// The report view is a list view in report mode whose header shows one
// title per column, over rows of cells. What it shows lives in the
// descendant's objects (columns, bands, a dataset, list items); the window's
// columns and rows exist only while the window does, and InitializeWnd
// builds them again from those objects.
//
// Tree nodes and list items own their texts (and a node its children);
// each change is sent on to the window when there is one, a node's window
// item exists only while the window does, and the update brackets of
// TTreeNodes and TListItems turn the window's redraw off once.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/collections.h"
#include "framework/controls.h"
#include "framework/strings.h"

namespace quorlane {

class TCustomListView : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomListView(TComponent* owner);

 protected:
  // What the header and the rows show, asked when the window is built and
  // when the descendant says a part changed.
  [[nodiscard]] virtual int HeaderCount() const = 0;
  [[nodiscard]] virtual std::string HeaderTitle(int index) const = 0;
  [[nodiscard]] virtual int HeaderWidth(int) const { return 64; }
  /// The header's font; null: the control's own.
  [[nodiscard]] virtual const TFont* TitleFont() const { return nullptr; }
  [[nodiscard]] virtual int RowCount() const { return 0; }
  [[nodiscard]] virtual std::string CellText(int, int) const { return {}; }

  // What the descendant says changed; each sends only that part, and only
  // when a window exists.
  void HeaderChanged();
  void HeaderTitleChanged(int index);
  void HeaderFontChanged();
  void RowsChanged();
  void RowChanged(int row);
  /// One row came or went; the others keep their place.
  void RowInserted(int row);
  void RowDeleted(int row);
  /// One cell (column 0: the row's own text).
  void CellChanged(int row, int column);

  void CreateParams(TCreateParams& params) override;
  void InitializeWnd() override;
  void FontChanged() override;

 private:
  void SendHeader();
  void SendRows();
  void Rebuild(bool header);
  int m_shownColumns = 0;
  int m_shownRows = 0;
};

// ---- list view ------------------------------------------------------------

class TListView;

class TListColumn : public TCollectionItem {
  QL_DECLARE_CLASS()
 public:
  using TCollectionItem::TCollectionItem;
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);
  [[nodiscard]] int Width() const noexcept { return m_width; }
  void SetWidth(int width);
  /// Whether the width changed since the last call (the header is rebuilt).
  [[nodiscard]] bool TakeLayoutChange() noexcept { return std::exchange(m_layoutChanged, false); }

 private:
  std::string m_caption;
  int m_width = 80;
  bool m_layoutChanged = false;
};

class TListColumns : public TOwnedCollection {
  QL_DECLARE_CLASS()
 public:
  explicit TListColumns(TListView& view);
  TListColumn& Add() { return static_cast<TListColumn&>(TCollection::Add()); }
  [[nodiscard]] TListColumn& Items(int index) const { return static_cast<TListColumn&>(TCollection::Items(index)); }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TListView& m_view;
};

class TListItem;
class TListItems;

/// The sub-items of a list item: cells 1, 2, ... of its row. A replaced
/// sub-item sends its one cell.
class TListSubItems final : public TStrings {
  QL_DECLARE_CLASS()
 public:
  explicit TListSubItems(TListItem& item) noexcept : m_item(item) {}
  [[nodiscard]] int Count() const noexcept override { return static_cast<int>(m_lines.size()); }
  [[nodiscard]] std::string Get(int index) const override;
  void Put(int index, const std::string& line) override;
  void Insert(int index, const std::string& line) override;
  void Delete(int index) override;
  void Clear() override;

 private:
  TListItem& m_item;
  std::vector<std::string> m_lines;
};

class TListItem : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TListItem(TListItems& owner);
  ~TListItem() override;
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);
  [[nodiscard]] TStrings& SubItems() const noexcept { return *m_subItems; }
  void SetSubItems(const TStrings* lines);
  [[nodiscard]] int Index() const noexcept;
  [[nodiscard]] TListItems& Owner() const noexcept { return m_owner; }

 private:
  friend class TListSubItems;
  /// Cell `column` of this item's row changed; -1: the whole row.
  void CellChanged(int column);
  TListItems& m_owner;
  std::string m_caption;
  std::unique_ptr<TListSubItems> m_subItems;
};

class TListItems : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TListItems(TListView& view) noexcept : m_view(view) {}
  ~TListItems() override;
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(m_items.size()); }
  [[nodiscard]] TListItem& Item(int index) const;
  TListItem& Add();
  void Delete(int index);
  void Clear();
  /// The list view's window stops redrawing until the outermost bracket closes.
  void BeginUpdate();
  void EndUpdate();
  [[nodiscard]] int UpdateCount() const noexcept { return m_updateCount; }
  [[nodiscard]] TListView& Owner() const noexcept { return m_view; }

 private:
  friend class TListItem;
  TListView& m_view;
  std::vector<std::unique_ptr<TListItem>> m_items;
  int m_updateCount = 0;
};

/// A list view in report mode: Columns give the header, each item a row
/// (its caption in column 0, its sub-items in the columns after it).
class TListView : public TCustomListView {
  QL_DECLARE_CLASS()
 public:
  explicit TListView(TComponent* owner);
  ~TListView() override;
  [[nodiscard]] TListColumns& Columns() const noexcept { return *m_columns; }
  [[nodiscard]] TListItems& Items() const noexcept { return *m_items; }

 protected:
  [[nodiscard]] int HeaderCount() const override { return m_columns->Count(); }
  [[nodiscard]] std::string HeaderTitle(int index) const override { return m_columns->Items(index).Caption(); }
  [[nodiscard]] int HeaderWidth(int index) const override { return m_columns->Items(index).Width(); }
  [[nodiscard]] int RowCount() const override { return m_items->Count(); }
  [[nodiscard]] std::string CellText(int row, int column) const override;

 private:
  friend class TListColumns;
  friend class TListItem;
  friend class TListItems;
  void ColumnsUpdated(TCollectionItem* item);
  std::unique_ptr<TListColumns> m_columns;
  std::unique_ptr<TListItems> m_items;
};

// ---- tree view ------------------------------------------------------------

class TCustomTreeView;
class TTreeNodes;

class TTreeNode : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  TTreeNode(TTreeNodes& owner, TTreeNode* parent) noexcept : m_owner(owner), m_parent(parent) {}
  ~TTreeNode() override;
  [[nodiscard]] const std::string& Text() const noexcept { return m_text; }
  void SetText(const std::string& text);
  [[nodiscard]] TTreeNode* Parent() const noexcept { return m_parent; }
  /// Direct children.
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(m_children.size()); }
  [[nodiscard]] TTreeNode& Item(int index) const;
  /// Place in the tree's absolute order (see TTreeNodes::Item).
  [[nodiscard]] int AbsoluteIndex() const;
  [[nodiscard]] bool Expanded() const noexcept { return m_expanded; }
  void SetExpanded(bool expanded);
  [[nodiscard]] TTreeNodes& Owner() const noexcept { return m_owner; }

 private:
  friend class TTreeNodes;
  TTreeNodes& m_owner;
  TTreeNode* m_parent;
  std::vector<std::unique_ptr<TTreeNode>> m_children;
  std::string m_text;
  bool m_expanded = false;
  TreeItemHandle m_item = 0;  // meaningful only while the view has a window
  mutable int m_absoluteIndex = -1;
};

/// The nodes of a tree view. Item(i) and Count() read them in absolute
/// order: every node, collapsed ones included, each parent before its
/// children and those before the parent's next sibling. The order is kept
/// in a list that is rebuilt on the first read after nodes came or went,
/// so a loop from 0 to Count()-1 is linear.
class TTreeNodes : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TTreeNodes(TCustomTreeView& view) noexcept : m_view(view) {}
  ~TTreeNodes() override;
  [[nodiscard]] int Count() const;
  [[nodiscard]] TTreeNode& Item(int absoluteIndex) const;
  /// A new last child of parent (null: a new last root node).
  TTreeNode& AddChild(TTreeNode* parent, const std::string& text);
  /// Deletes the node with everything under it.
  void Delete(TTreeNode& node);
  void Clear();
  /// The tree view's window stops redrawing until the outermost bracket closes.
  void BeginUpdate();
  void EndUpdate();
  [[nodiscard]] int UpdateCount() const noexcept { return m_updateCount; }
  [[nodiscard]] TCustomTreeView& Owner() const noexcept { return m_view; }

 private:
  friend class TTreeNode;
  friend class TCustomTreeView;
  [[nodiscard]] const std::vector<TTreeNode*>& Ordered() const;
  /// Sends node (and what is under it) to the window, after the sibling `after`.
  void SendNode(TTreeNode& node, TreeItemHandle after);
  /// Sends every node to a window just made.
  void SendAll();
  [[nodiscard]] bool WindowShown() const noexcept;
  TCustomTreeView& m_view;
  std::vector<std::unique_ptr<TTreeNode>> m_roots;
  mutable std::vector<TTreeNode*> m_ordered;
  mutable bool m_orderValid = true;
  int m_updateCount = 0;
};

class TCustomTreeView : public TWinControl {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomTreeView(TComponent* owner);
  ~TCustomTreeView() override;
  [[nodiscard]] TTreeNodes& Items() const noexcept { return *m_nodes; }

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitializeWnd() override;

 private:
  friend class TTreeNodes;
  friend class TTreeNode;
  std::unique_ptr<TTreeNodes> m_nodes;
};

class TTreeView : public TCustomTreeView {
  QL_DECLARE_CLASS()
 public:
  using TCustomTreeView::TCustomTreeView;
};

}  // namespace quorlane
