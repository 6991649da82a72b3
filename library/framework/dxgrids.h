// The band grids: TdxTreeList and TdxDBGrid, each with three fonts of its
// own (bands, column headers, preview) and a collection of bands whose
// items carry a caption and no font. A TdxDBGrid also has columns bound to
// dataset fields, each with its summary footer format.
//
// Shown as report views: a TdxDBGrid with columns shows one header cell per
// column (its caption, in HeaderFont) over the records; a tree list, or a
// grid without columns, shows one header cell per band (in BandFont). A
// report view has one header row, so bands and columns are not both drawn.
#pragma once

#include <memory>
#include <string>

#include "framework/dbgrids.h"

namespace quorlane {

class TdxTreeListBand : public TCollectionItem {
  QL_DECLARE_CLASS()
 public:
  using TCollectionItem::TCollectionItem;
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);
  [[nodiscard]] int Width() const noexcept { return m_width; }
  void SetWidth(int width);

 private:
  std::string m_caption;
  int m_width = 120;
};

class TCustomdxTreeList;

/// Bands or columns of a band grid: every change reaches the grid's header.
class TdxGridCollection : public TOwnedCollection {
  QL_DECLARE_CLASS()
 public:
  TdxGridCollection(TCustomdxTreeList& grid, const TClassInfo& itemClass, ItemFactory factory);

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TCustomdxTreeList& m_grid;
};

class TdxTreeListBands : public TdxGridCollection {
  QL_DECLARE_CLASS()
 public:
  explicit TdxTreeListBands(TCustomdxTreeList& grid);
  TdxTreeListBand& Add() { return static_cast<TdxTreeListBand&>(TCollection::Add()); }
  [[nodiscard]] TdxTreeListBand& Items(int index) const {
    return static_cast<TdxTreeListBand&>(TCollection::Items(index));
  }
};

class TCustomdxTreeList : public TCustomListView {
  QL_DECLARE_CLASS()
 public:
  explicit TCustomdxTreeList(TComponent* owner);
  ~TCustomdxTreeList() override;

  [[nodiscard]] TFont& BandFont() const noexcept { return *m_bandFont; }
  [[nodiscard]] TFont& HeaderFont() const noexcept { return *m_headerFont; }
  [[nodiscard]] TFont& PreviewFont() const noexcept { return *m_previewFont; }
  [[nodiscard]] TdxTreeListBands& Bands() const noexcept { return *m_bands; }

 protected:
  /// Columns shown instead of the bands; none here.
  [[nodiscard]] virtual int ColumnCount() const { return 0; }
  [[nodiscard]] virtual std::string ColumnCaption(int) const { return {}; }
  [[nodiscard]] virtual int ColumnWidth(int) const { return 64; }

  [[nodiscard]] int HeaderCount() const override;
  [[nodiscard]] std::string HeaderTitle(int index) const override;
  [[nodiscard]] int HeaderWidth(int index) const override;
  [[nodiscard]] const TFont* TitleFont() const override;

 private:
  friend class TdxGridCollection;
  void PartChanged(TCollectionItem* item);
  void HeaderFontChangeHandler(TObject&) { HeaderFontChanged(); }
  std::unique_ptr<TFont> m_bandFont;
  std::unique_ptr<TFont> m_headerFont;
  std::unique_ptr<TFont> m_previewFont;
  std::unique_ptr<TdxTreeListBands> m_bands;
};

class TdxTreeList : public TCustomdxTreeList {
  QL_DECLARE_CLASS()
 public:
  using TCustomdxTreeList::TCustomdxTreeList;
};

class TdxDBGridColumn : public TCollectionItem {
  QL_DECLARE_CLASS()
 public:
  using TCollectionItem::TCollectionItem;
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& caption);
  [[nodiscard]] const std::string& FieldName() const noexcept { return m_fieldName; }
  void SetFieldName(const std::string& name);
  [[nodiscard]] const std::string& SummaryFooterFormat() const noexcept { return m_summaryFooterFormat; }
  void SetSummaryFooterFormat(const std::string& format) { m_summaryFooterFormat = format; }
  [[nodiscard]] int Width() const noexcept { return m_width; }
  void SetWidth(int width);

 private:
  std::string m_caption;
  std::string m_fieldName;
  std::string m_summaryFooterFormat;
  int m_width = 64;
};

class TdxDBGridColumns : public TdxGridCollection {
  QL_DECLARE_CLASS()
 public:
  explicit TdxDBGridColumns(TCustomdxTreeList& grid);
  TdxDBGridColumn& Add() { return static_cast<TdxDBGridColumn&>(TCollection::Add()); }
  [[nodiscard]] TdxDBGridColumn& Items(int index) const {
    return static_cast<TdxDBGridColumn&>(TCollection::Items(index));
  }
};

class TdxDBGrid : public TCustomdxTreeList {
  QL_DECLARE_CLASS()
 public:
  explicit TdxDBGrid(TComponent* owner);
  ~TdxDBGrid() override;
  [[nodiscard]] TdxDBGridColumns& Columns() const noexcept { return *m_columns; }
  [[nodiscard]] int ColumnCount() const override { return m_columns->Count(); }
  [[nodiscard]] TDataSource* DataSource() const noexcept { return m_link.DataSource(); }
  void SetDataSource(TDataSource* source);

 protected:
  [[nodiscard]] std::string ColumnCaption(int index) const override { return m_columns->Items(index).Caption(); }
  [[nodiscard]] int ColumnWidth(int index) const override { return m_columns->Items(index).Width(); }
  [[nodiscard]] int RowCount() const override;
  [[nodiscard]] std::string CellText(int row, int column) const override;
  void Notification(TComponent& component, TOperation operation) override;

 private:
  std::unique_ptr<TdxDBGridColumns> m_columns;
  TGridDataLink m_link;
};

}  // namespace quorlane
