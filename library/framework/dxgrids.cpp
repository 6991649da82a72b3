#include "framework/dxgrids.h"

namespace quorlane {
namespace {

constexpr TPropertyInfo kBandProperties[] = {
    props::Text<TdxTreeListBand, &TdxTreeListBand::Caption, &TdxTreeListBand::SetCaption>("Caption"),
    props::Integer<TdxTreeListBand, &TdxTreeListBand::Width, &TdxTreeListBand::SetWidth>("Width"),
};
constexpr TPropertyInfo kColumnProperties[] = {
    props::Text<TdxDBGridColumn, &TdxDBGridColumn::Caption, &TdxDBGridColumn::SetCaption>("Caption"),
    props::Text<TdxDBGridColumn, &TdxDBGridColumn::FieldName, &TdxDBGridColumn::SetFieldName>("FieldName"),
    props::Text<TdxDBGridColumn, &TdxDBGridColumn::SummaryFooterFormat,
                &TdxDBGridColumn::SetSummaryFooterFormat>("SummaryFooterFormat"),
    props::Integer<TdxDBGridColumn, &TdxDBGridColumn::Width, &TdxDBGridColumn::SetWidth>("Width"),
};

// What both band grids publish, in one order.
#define QL_DX_TREE_LIST_PROPERTIES(Class)                                        \
  props::Owned<Class, TFont, &TControl::Font>("Font"),                           \
      props::Owned<Class, TFont, &TCustomdxTreeList::BandFont>("BandFont"),      \
      props::Owned<Class, TFont, &TCustomdxTreeList::HeaderFont>("HeaderFont"),  \
      props::Owned<Class, TFont, &TCustomdxTreeList::PreviewFont>("PreviewFont"), \
      props::Object<Class, TdxTreeListBands, &TCustomdxTreeList::Bands>("Bands")

constexpr TPropertyInfo kTreeListProperties[] = {QL_DX_TREE_LIST_PROPERTIES(TdxTreeList)};
constexpr TPropertyInfo kDBGridProperties[] = {
    QL_DX_TREE_LIST_PROPERTIES(TdxDBGrid),
    props::Object<TdxDBGrid, TdxDBGridColumns, &TdxDBGrid::Columns>("Columns"),
    props::Object<TdxDBGrid, TDataSource, &TdxDBGrid::DataSource, &TdxDBGrid::SetDataSource>("DataSource"),
};
#undef QL_DX_TREE_LIST_PROPERTIES

}  // namespace

QL_DEFINE_CLASS(TdxTreeListBand, TCollectionItem, kBandProperties)
QL_DEFINE_CLASS(TdxGridCollection, TOwnedCollection, {})
QL_DEFINE_CLASS(TdxTreeListBands, TdxGridCollection, {})
QL_DEFINE_CLASS(TCustomdxTreeList, TCustomListView, {})
QL_DEFINE_CLASS(TdxTreeList, TCustomdxTreeList, kTreeListProperties)
QL_DEFINE_CLASS(TdxDBGridColumn, TCollectionItem, kColumnProperties)
QL_DEFINE_CLASS(TdxDBGridColumns, TdxGridCollection, {})
QL_DEFINE_CLASS(TdxDBGrid, TCustomdxTreeList, kDBGridProperties)

void TdxTreeListBand::SetCaption(const std::string& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  Changed();
}

void TdxTreeListBand::SetWidth(int width) {
  if (width == m_width) return;
  m_width = width;
  Changed();
}

void TdxDBGridColumn::SetCaption(const std::string& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  Changed();
}

void TdxDBGridColumn::SetFieldName(const std::string& name) {
  if (name == m_fieldName) return;
  m_fieldName = name;
  // The rows show the new field.
  Collection().BeginUpdate();
  Collection().EndUpdate();
}

void TdxDBGridColumn::SetWidth(int width) {
  if (width == m_width) return;
  m_width = width;
  Collection().BeginUpdate();
  Collection().EndUpdate();
}

TdxGridCollection::TdxGridCollection(TCustomdxTreeList& grid, const TClassInfo& itemClass, ItemFactory factory)
    : TOwnedCollection(grid, itemClass, factory), m_grid(grid) {}

void TdxGridCollection::Update(TCollectionItem* item) { m_grid.PartChanged(item); }

TdxTreeListBands::TdxTreeListBands(TCustomdxTreeList& grid)
    : TdxGridCollection(grid, TdxTreeListBand::StaticClass(), &MakeCollectionItem<TdxTreeListBand>) {}

TdxDBGridColumns::TdxDBGridColumns(TCustomdxTreeList& grid)
    : TdxGridCollection(grid, TdxDBGridColumn::StaticClass(), &MakeCollectionItem<TdxDBGridColumn>) {}

// ---- TCustomdxTreeList ----------------------------------------------------

TCustomdxTreeList::TCustomdxTreeList(TComponent* owner)
    : TCustomListView(owner),
      m_bandFont(std::make_unique<TFont>()),
      m_headerFont(std::make_unique<TFont>()),
      m_previewFont(std::make_unique<TFont>()),
      m_bands(std::make_unique<TdxTreeListBands>(*this)) {
  m_bandFont->OnChange = TNotifyEvent::Of<&TCustomdxTreeList::HeaderFontChangeHandler>(*this);
  m_headerFont->OnChange = TNotifyEvent::Of<&TCustomdxTreeList::HeaderFontChangeHandler>(*this);
}

TCustomdxTreeList::~TCustomdxTreeList() = default;

int TCustomdxTreeList::HeaderCount() const { return ColumnCount() > 0 ? ColumnCount() : m_bands->Count(); }

std::string TCustomdxTreeList::HeaderTitle(int index) const {
  return ColumnCount() > 0 ? ColumnCaption(index) : m_bands->Items(index).Caption();
}

int TCustomdxTreeList::HeaderWidth(int index) const {
  return ColumnCount() > 0 ? ColumnWidth(index) : m_bands->Items(index).Width();
}

const TFont* TCustomdxTreeList::TitleFont() const {
  return ColumnCount() > 0 ? m_headerFont.get() : m_bandFont.get();
}

// A caption changes one header cell when that cell shows it; anything else
// (items added or removed, a field or width) builds the header again.
void TCustomdxTreeList::PartChanged(TCollectionItem* item) {
  const bool showsColumns = ColumnCount() > 0;
  const bool isColumn = item != nullptr && item->Is<TdxDBGridColumn>();
  if (item == nullptr) return HeaderChanged();
  if (isColumn == showsColumns) HeaderTitleChanged(item->Index());
}

// ---- TdxDBGrid ------------------------------------------------------------

TdxDBGrid::TdxDBGrid(TComponent* owner)
    : TCustomdxTreeList(owner),
      m_columns(std::make_unique<TdxDBGridColumns>(*this)),
      m_link([this] { RowsChanged(); },
             [this] {
               const TDataSet* dataSet = m_link.DataSet();
               RowChanged(dataSet != nullptr ? dataSet->RecNo() - 1 : -1);
             }) {}

TdxDBGrid::~TdxDBGrid() = default;

void TdxDBGrid::SetDataSource(TDataSource* source) {
  if (source == m_link.DataSource()) return;
  if (TDataSource* old = m_link.DataSource()) RemoveFreeNotification(*old);
  m_link.SetDataSource(source);
  if (source != nullptr) source->FreeNotification(*this);
  RowsChanged();
}

void TdxDBGrid::Notification(TComponent& component, TOperation operation) {
  TCustomdxTreeList::Notification(component, operation);
  if (operation == TOperation::opRemove && &component == m_link.DataSource()) m_link.SetDataSource(nullptr);
}

int TdxDBGrid::RowCount() const { return m_columns->Count() > 0 ? m_link.RecordCount() : 0; }

std::string TdxDBGrid::CellText(int row, int column) const {
  return m_link.Text(row, m_columns->Items(column).FieldName());
}

}  // namespace quorlane
