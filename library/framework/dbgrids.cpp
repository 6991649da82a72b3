#include "framework/dbgrids.h"

namespace quorlane {
namespace {

constexpr TPropertyInfo kColumnTitleProperties[] = {
    props::Text<TColumnTitle, &TColumnTitle::Caption, &TColumnTitle::SetCaption>("Caption"),
    props::Owned<TColumnTitle, TFont, &TColumnTitle::Font>("Font"),
};
constexpr TPropertyInfo kColumnProperties[] = {
    props::Text<TColumn, &TColumn::FieldName, &TColumn::SetFieldName>("FieldName"),
    props::Owned<TColumn, TColumnTitle, &TColumn::Title>("Title"),
    props::Integer<TColumn, &TColumn::Width, &TColumn::SetWidth>("Width"),
};
constexpr TPropertyInfo kDBGridProperties[] = {
    props::Object<TDBGrid, TDBGridColumns, &TDBGrid::Columns>("Columns"),
    props::Object<TDBGrid, TDataSource, &TDBGrid::DataSource, &TDBGrid::SetDataSource>("DataSource"),
    props::Owned<TDBGrid, TFont, &TControl::Font>("Font"),
    props::Text<TDBGrid, &TControl::Hint, &TControl::SetHint>("Hint"),
};

}  // namespace

QL_DEFINE_CLASS(TColumnTitle, TPersistent, kColumnTitleProperties)
QL_DEFINE_CLASS(TColumn, TCollectionItem, kColumnProperties)
QL_DEFINE_CLASS(TDBGridColumns, TOwnedCollection, {})
QL_DEFINE_CLASS(TDBGrid, TCustomListView, kDBGridProperties)

// ---- TGridDataLink --------------------------------------------------------

std::string TGridDataLink::Text(int record, const std::string& fieldName) const {
  const TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || !dataSet->Active()) return {};
  const auto value = dataSet->Value(record, dataSet->FieldDefIndex(fieldName));
  return value ? *value : std::string();
}

int TGridDataLink::RecordCount() const noexcept {
  const TDataSet* dataSet = DataSet();
  return (dataSet != nullptr && dataSet->Active()) ? dataSet->RecordCount() : 0;
}

void TGridDataLink::DataEvent(TDataEvent event) {
  switch (event) {
    case TDataEvent::deDataSetChange:
      m_wasActive = Active();
      m_rowsChanged();
      break;
    case TDataEvent::deUpdateState:
      if (Active() != m_wasActive) {
        m_wasActive = Active();
        m_rowsChanged();
      }
      break;
    case TDataEvent::deRecordChange:
      m_currentRowChanged();
      break;
    default:
      break;
  }
}

// ---- columns --------------------------------------------------------------

TColumnTitle::TColumnTitle(TColumn& column) : m_column(column), m_font(std::make_unique<TFont>()) {
  m_font->OnChange = TNotifyEvent::Of<&TColumnTitle::FontChanged>(*this);
}

void TColumnTitle::SetCaption(const std::string& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  m_column.Changed();
}

void TColumnTitle::SetFont(const TFont* font) {
  if (font == nullptr) throw Exception("invalid property value");
  m_font->Assign(*font);
}

void TColumnTitle::Assign(const TPersistent& source) {
  if (!source.Is<TColumnTitle>()) return TPersistent::Assign(source);
  const auto& other = static_cast<const TColumnTitle&>(source);
  m_font->Assign(other.Font());
  SetCaption(other.Caption());
}

void TColumnTitle::FontChanged(TObject&) { m_column.Changed(); }

TColumn::TColumn(TCollection& collection)
    : TCollectionItem(collection), m_title(std::make_unique<TColumnTitle>(*this)) {}

void TColumn::SetFieldName(const std::string& name) {
  if (name == m_fieldName) return;
  m_fieldName = name;
  m_layoutChanged = true;
  Changed();
}

void TColumn::SetWidth(int width) {
  if (width == m_width) return;
  m_width = width;
  m_layoutChanged = true;
  Changed();
}

TDBGridColumns::TDBGridColumns(TDBGrid& grid)
    : TOwnedCollection(grid, TColumn::StaticClass(), &MakeCollectionItem<TColumn>), m_grid(grid) {}

void TDBGridColumns::Update(TCollectionItem* item) { m_grid.ColumnsUpdated(item); }

// ---- TDBGrid --------------------------------------------------------------

TDBGrid::TDBGrid(TComponent* owner)
    : TCustomListView(owner),
      m_columns(std::make_unique<TDBGridColumns>(*this)),
      m_link([this] { RowsChanged(); },
             [this] {
               const TDataSet* dataSet = m_link.DataSet();
               RowChanged(dataSet != nullptr ? dataSet->RecNo() - 1 : -1);
             }) {}

TDBGrid::~TDBGrid() = default;

void TDBGrid::SetDataSource(TDataSource* source) {
  if (source == m_link.DataSource()) return;
  if (TDataSource* old = m_link.DataSource()) RemoveFreeNotification(*old);
  m_link.SetDataSource(source);
  if (source != nullptr) source->FreeNotification(*this);
  RowsChanged();
}

void TDBGrid::Notification(TComponent& component, TOperation operation) {
  TCustomListView::Notification(component, operation);
  // The source let this grid's link go already (see ~TDataSource).
  if (operation == TOperation::opRemove && &component == m_link.DataSource()) m_link.SetDataSource(nullptr);
}

std::string TDBGrid::HeaderTitle(int index) const { return m_columns->Items(index).Title().Caption(); }

int TDBGrid::HeaderWidth(int index) const { return m_columns->Items(index).Width(); }

const TFont* TDBGrid::TitleFont() const {
  return m_columns->Count() > 0 ? &m_columns->Items(0).Title().Font() : nullptr;
}

std::string TDBGrid::CellText(int row, int column) const {
  return m_link.Text(row, m_columns->Items(column).FieldName());
}

void TDBGrid::ColumnsUpdated(TCollectionItem* item) {
  if (item == nullptr || static_cast<TColumn*>(item)->TakeLayoutChange()) return HeaderChanged();
  const int index = item->Index();
  HeaderTitleChanged(index);
  if (index == 0) HeaderFontChanged();
}

}  // namespace quorlane
