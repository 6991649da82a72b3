// TDBGrid: a data grid shown as a report view, one column per item of its
// Columns collection (header: each column's Title.Caption) and one row per
// record of the dataset its DataSource connects it to.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "framework/collections.h"
#include "framework/comctrls.h"
#include "framework/db.h"

namespace quorlane {

/// A grid's link to its dataset: rows follow the records while the
/// dataset's controls are enabled.
class TGridDataLink final : public TDataLink {
 public:
  TGridDataLink(std::function<void()> rowsChanged, std::function<void()> currentRowChanged)
      : m_rowsChanged(std::move(rowsChanged)), m_currentRowChanged(std::move(currentRowChanged)) {}
  /// The text of one stored value; empty when the link is inactive or the
  /// dataset has no such field.
  [[nodiscard]] std::string Text(int record, const std::string& fieldName) const;
  [[nodiscard]] int RecordCount() const noexcept;

 protected:
  void DataEvent(TDataEvent event) override;

 private:
  std::function<void()> m_rowsChanged;
  std::function<void()> m_currentRowChanged;
  bool m_wasActive = false;
};

class TColumn;

class TColumnTitle : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TColumnTitle(TColumn& column);
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);
  [[nodiscard]] TFont& Font() const noexcept { return *m_font; }
  void SetFont(const TFont* font);
  void Assign(const TPersistent& source) override;

 private:
  void FontChanged(TObject&);
  TColumn& m_column;
  std::string m_caption;
  std::unique_ptr<TFont> m_font;
};

class TColumn : public TCollectionItem {
  QL_DECLARE_CLASS()
 public:
  explicit TColumn(TCollection& collection);
  [[nodiscard]] const std::string& FieldName() const noexcept { return m_fieldName; }
  void SetFieldName(const std::string& name);
  [[nodiscard]] int Width() const noexcept { return m_width; }
  void SetWidth(int width);
  [[nodiscard]] TColumnTitle& Title() const noexcept { return *m_title; }
  /// Whether the field or width changed since the last call (the grid then
  /// rebuilds its header and rows, not only the title).
  [[nodiscard]] bool TakeLayoutChange() noexcept { return std::exchange(m_layoutChanged, false); }

 private:
  friend class TColumnTitle;
  bool m_layoutChanged = false;
  std::string m_fieldName;
  int m_width = 64;
  std::unique_ptr<TColumnTitle> m_title;
};

class TDBGrid;

class TDBGridColumns : public TOwnedCollection {
  QL_DECLARE_CLASS()
 public:
  explicit TDBGridColumns(TDBGrid& grid);
  TColumn& Add() { return static_cast<TColumn&>(TCollection::Add()); }
  [[nodiscard]] TColumn& Items(int index) const { return static_cast<TColumn&>(TCollection::Items(index)); }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TDBGrid& m_grid;
};

class TDBGrid : public TCustomListView {
  QL_DECLARE_CLASS()
 public:
  explicit TDBGrid(TComponent* owner);
  ~TDBGrid() override;
  [[nodiscard]] TDBGridColumns& Columns() const noexcept { return *m_columns; }
  [[nodiscard]] TDataSource* DataSource() const noexcept { return m_link.DataSource(); }
  void SetDataSource(TDataSource* source);

 protected:
  [[nodiscard]] int HeaderCount() const override { return m_columns->Count(); }
  [[nodiscard]] std::string HeaderTitle(int index) const override;
  [[nodiscard]] int HeaderWidth(int index) const override;
  /// A report view's header has one font: the first column title's.
  [[nodiscard]] const TFont* TitleFont() const override;
  [[nodiscard]] int RowCount() const override { return m_link.RecordCount(); }
  [[nodiscard]] std::string CellText(int row, int column) const override;
  void Notification(TComponent& component, TOperation operation) override;

 private:
  friend class TDBGridColumns;
  void ColumnsUpdated(TCollectionItem* item);
  std::unique_ptr<TDBGridColumns> m_columns;
  TGridDataLink m_link;
};

}  // namespace quorlane
