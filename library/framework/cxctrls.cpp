#include "framework/cxctrls.h"

namespace quorlane {
namespace {
constexpr TPropertyInfo kCheckBoxPropertiesProperties[] = {
    props::Text<TcxCheckBoxProperties, &TcxCheckBoxProperties::Caption, &TcxCheckBoxProperties::SetCaption>(
        "Caption"),
};
constexpr TPropertyInfo kCheckBoxProperties[] = {
    props::Object<TcxCheckBox, TcxCheckBoxProperties, &TcxCheckBox::Properties>("Properties"),
    props::Owned<TcxCheckBox, TFont, &TControl::Font>("Font"),
    props::Text<TcxCheckBox, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kComboBoxPropertiesProperties[] = {
    props::Owned<TcxComboBoxProperties, TStrings, &TcxComboBoxProperties::Items>("Items"),
};
constexpr TPropertyInfo kComboBoxProperties[] = {
    props::Text<TcxComboBox, &TControl::Text, &TControl::SetText>("Text"),
    props::Object<TcxComboBox, TcxComboBoxProperties, &TcxComboBox::Properties>("Properties"),
    props::Integer<TcxComboBox, &TCustomListControl::ItemIndex, &TCustomListControl::SetItemIndex>("ItemIndex"),
    props::Owned<TcxComboBox, TFont, &TControl::Font>("Font"),
    props::Text<TcxComboBox, &TControl::Hint, &TControl::SetHint>("Hint"),
};
}  // namespace

QL_DEFINE_CLASS(TcxCheckBoxProperties, TPersistent, kCheckBoxPropertiesProperties)
QL_DEFINE_CLASS(TcxCheckBox, TWinControl, kCheckBoxProperties)
QL_DEFINE_CLASS(TcxComboBoxProperties, TPersistent, kComboBoxPropertiesProperties)
QL_DEFINE_CLASS(TcxComboBox, TCustomComboBox, kComboBoxProperties)

std::string TcxCheckBoxProperties::Caption() const { return m_box.Caption(); }

void TcxCheckBoxProperties::SetCaption(const std::string& caption) { m_box.SetCaption(caption); }

TcxCheckBox::TcxCheckBox(TComponent* owner)
    : TWinControl(owner), m_properties(std::make_unique<TcxCheckBoxProperties>(*this)) {
  SetBounds(0, 0, 121, 21);
}

TcxCheckBox::~TcxCheckBox() = default;

void TcxCheckBox::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::CheckBox;
}

TStrings& TcxComboBoxProperties::Items() const noexcept { return m_box.Items(); }

TcxComboBox::TcxComboBox(TComponent* owner)
    : TCustomComboBox(owner), m_properties(std::make_unique<TcxComboBoxProperties>(*this)) {}

TcxComboBox::~TcxComboBox() = default;

}  // namespace quorlane
