#include "framework/forms.h"

#include <algorithm>

namespace quorlane {
namespace {

constexpr TPropertyInfo kFormProperties[] = {
    props::Text<TForm, &TControl::Caption, &TControl::SetCaption>("Caption"),
    props::Owned<TForm, TFont, &TControl::Font>("Font"),
    props::Text<TForm, &TControl::Hint, &TControl::SetHint>("Hint"),
    props::Event("OnShow"),
};

constexpr TPropertyInfo kFrameProperties[] = {
    props::Owned<TFrame, TFont, &TControl::Font>("Font"),
    props::Text<TFrame, &TControl::Hint, &TControl::SetHint>("Hint"),
};

}  // namespace

QL_DEFINE_CLASS(TCustomForm, TWinControl, {})
QL_DEFINE_CLASS(TForm, TCustomForm, kFormProperties)
QL_DEFINE_CLASS(TCustomFrame, TWinControl, {})
QL_DEFINE_CLASS(TFrame, TCustomFrame, kFrameProperties)

TScreen& Screen() noexcept {
  static TScreen screen;
  return screen;
}

TCustomForm& TScreen::Forms(int index) const {
  if (index < 0 || index >= FormCount()) throw Exception("form index out of bounds");
  return *m_forms[static_cast<std::size_t>(index)];
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  SetVisible(false);
  SetBounds(0, 0, 640, 480);
  Screen().m_forms.push_back(this);
}

TCustomForm::~TCustomForm() { std::erase(Screen().m_forms, this); }

void TCustomForm::SetOnShow(TNotifyEvent handler) {
  if (auto* old = dynamic_cast<TComponent*>(m_onShow.Target()); old != nullptr && old != this) {
    RemoveFreeNotification(*old);
  }
  m_onShow = handler;
  if (auto* target = dynamic_cast<TComponent*>(handler.Target()); target != nullptr && target != this) {
    target->FreeNotification(*this);
  }
}

void TCustomForm::Notification(TComponent& component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == TOperation::opRemove && m_onShow.Target() == &component) m_onShow = {};
}

void TCustomForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::Form;
  // Shown only by VisibleChanged, after OnShow and once the children exist.
  params.visible = false;
}

void TCustomForm::VisibleChanged() {
  if (!Visible()) {
    if (HandleAllocated()) Widgets().ShowHide(WindowHandle(), false);
    return;
  }
  HandleNeeded();
  m_onShow(*this);
  // OnShow may have hidden the form again.
  if (Visible() && HandleAllocated()) Widgets().ShowHide(WindowHandle(), true);
}

void TCustomForm::HandleWidgetEvent(WidgetEvent event) {
  if (event == WidgetEvent::CloseRequested) Close();
}

TCustomFrame::TCustomFrame(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 320, 240); }

void TCustomFrame::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.kind = WidgetKind::Frame;
  params.text.clear();
}

}  // namespace quorlane
