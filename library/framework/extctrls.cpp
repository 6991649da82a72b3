#include "framework/extctrls.h"

namespace quorlane {
namespace {
constexpr TPropertyInfo kBoundLabelProperties[] = {
    props::Text<TBoundLabel, &TControl::Caption, &TControl::SetCaption>("Caption"),
    props::Owned<TBoundLabel, TFont, &TControl::Font>("Font"),
    props::Text<TBoundLabel, &TControl::Hint, &TControl::SetHint>("Hint"),
};
constexpr TPropertyInfo kLabeledEditProperties[] = {
    props::Text<TLabeledEdit, &TControl::Text, &TControl::SetText>("Text"),
    props::Object<TLabeledEdit, TBoundLabel, &TCustomLabeledEdit::EditLabel>("EditLabel"),
    props::Owned<TLabeledEdit, TFont, &TControl::Font>("Font"),
    props::Text<TLabeledEdit, &TControl::Hint, &TControl::SetHint>("Hint"),
};
}  // namespace

QL_DEFINE_CLASS(TBoundLabel, TCustomLabel, kBoundLabelProperties)
QL_DEFINE_CLASS(TCustomLabeledEdit, TCustomEdit, {})
QL_DEFINE_CLASS(TLabeledEdit, TCustomLabeledEdit, kLabeledEditProperties)

TCustomLabeledEdit::TCustomLabeledEdit(TComponent* owner)
    : TCustomEdit(owner), m_label(&TComponent::Create<TBoundLabel>(*this)) {
  m_label->SetName("SubLabel");
  PlaceLabel();
}

void TCustomLabeledEdit::PlaceLabel() {
  m_label->SetBounds(Left(), Top() - m_label->Height() - kLabelSpacing, Width(), m_label->Height());
}

void TCustomLabeledEdit::BoundsChanged() {
  TCustomEdit::BoundsChanged();
  PlaceLabel();
}

void TCustomLabeledEdit::VisibleChanged() {
  TCustomEdit::VisibleChanged();
  m_label->SetVisible(Visible());
}

void TCustomLabeledEdit::ParentChanged() {
  TCustomEdit::ParentChanged();
  m_label->SetParent(Parent());
}

}  // namespace quorlane
