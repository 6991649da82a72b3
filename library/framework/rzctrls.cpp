#include "framework/rzctrls.h"

namespace quorlane {
namespace {

constexpr TPropertyInfo kRzLabelProperties[] = {
    props::Text<TRzLabel, &TControl::Caption, &TControl::SetCaption>("Caption"),
    props::Owned<TRzLabel, TFont, &TControl::Font>("Font"),
    props::Text<TRzLabel, &TControl::Hint, &TControl::SetHint>("Hint"),
};
// Caption and Font come from TRzLabel; the caption shows the field's value.
constexpr TPropertyInfo kRzDBLabelProperties[] = {
    props::Object<TRzDBLabel, TDataSource, &TRzDBLabel::DataSource, &TRzDBLabel::SetDataSource>("DataSource"),
    props::Text<TRzDBLabel, &TRzDBLabel::DataField, &TRzDBLabel::SetDataField>("DataField"),
};
constexpr TPropertyInfo kRzPanelProperties[] = {
    props::Text<TRzPanel, &TControl::Caption, &TControl::SetCaption>("Caption"),
    props::Owned<TRzPanel, TFont, &TControl::Font>("Font"),
    props::Text<TRzPanel, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kRzComboBoxProperties[] = {
    props::Text<TRzComboBox, &TControl::Text, &TControl::SetText>("Text"),
    props::Owned<TRzComboBox, TStrings, &TCustomListControl::Items>("Items"),
    props::Integer<TRzComboBox, &TCustomListControl::ItemIndex, &TCustomListControl::SetItemIndex>("ItemIndex"),
    props::Owned<TRzComboBox, TFont, &TControl::Font>("Font"),
    props::Text<TRzComboBox, &TControl::Hint, &TControl::SetHint>("Hint"),
};

}  // namespace

QL_DEFINE_CLASS(TRzLabel, TCustomLabel, kRzLabelProperties)
QL_DEFINE_CLASS(TRzDBLabel, TRzLabel, kRzDBLabelProperties)
QL_DEFINE_CLASS(TRzPanel, TCustomPanel, kRzPanelProperties)
QL_DEFINE_CLASS(TRzComboBox, TCustomComboBox, kRzComboBoxProperties)

TRzDBLabel::TRzDBLabel(TComponent* owner) : TRzLabel(owner) {}

TRzDBLabel::~TRzDBLabel() = default;

void TRzDBLabel::SetDataSource(TDataSource* source) {
  if (source == m_link.DataSource()) return;
  if (TDataSource* old = m_link.DataSource()) RemoveFreeNotification(*old);
  m_link.SetDataSource(source);
  if (source != nullptr) source->FreeNotification(*this);
  ShowFieldValue();
}

void TRzDBLabel::SetDataField(const std::string& field) {
  if (field == m_dataField) return;
  m_dataField = field;
  ShowFieldValue();
}

void TRzDBLabel::Notification(TComponent& component, TOperation operation) {
  TRzLabel::Notification(component, operation);
  if (operation == TOperation::opRemove && &component == m_link.DataSource()) m_link.SetDataSource(nullptr);
}

void TRzDBLabel::ShowFieldValue() {
  const TDataSet* dataSet = m_link.DataSet();
  const TField* field = (dataSet != nullptr && dataSet->Active()) ? dataSet->FindField(m_dataField) : nullptr;
  SetText(field != nullptr ? field->AsString() : std::string());
}

void TRzDBLabel::TLabelLink::DataEvent(TDataEvent) { m_label.ShowFieldValue(); }

}  // namespace quorlane
