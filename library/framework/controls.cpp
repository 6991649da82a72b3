#include "framework/controls.h"

#include <algorithm>

#include "framework/actnlist.h"
#include <utility>

namespace quorlane {
namespace {

constexpr TPropertyInfo kControlProperties[] = {
    props::Integer<TControl, &TControl::Left, &TControl::SetLeft>("Left"),
    props::Integer<TControl, &TControl::Top, &TControl::SetTop>("Top"),
    props::Integer<TControl, &TControl::Width, &TControl::SetWidth>("Width"),
    props::Integer<TControl, &TControl::Height, &TControl::SetHeight>("Height"),
    props::Boolean<TControl, &TControl::Visible, &TControl::SetVisible>("Visible"),
};

}  // namespace

QL_DEFINE_CLASS(TControl, TComponent, kControlProperties)
QL_DEFINE_CLASS(TWinControl, TControl, {})

// ---- TControl -------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner), m_font(std::make_unique<TFont>()) {
  m_font->OnChange = TNotifyEvent::Of<&TControl::FontChangeHandler>(*this);
}

TControl::~TControl() {
  if (m_action != nullptr) m_action->UnlinkClient(*this);
  if (m_parent != nullptr) std::erase(m_parent->m_controls, this);
}

void TControl::SetHint(const std::string& hint) {
  if (hint == m_hint) return;
  m_hint = hint;
  HintChanged();
}

void TControl::SetAction(TBasicAction* action) {
  if (action == m_action) return;
  if (m_action != nullptr) {
    m_action->UnlinkClient(*this);
    RemoveFreeNotification(*m_action);
  }
  m_action = action;
  if (action == nullptr) return;
  action->LinkClient(*this);
  action->FreeNotification(*this);
  ActionChanged();
}

void TControl::ActionChanged() {
  if (const auto* action = dynamic_cast<const TAction*>(m_action)) {
    SetCaption(action->Caption());
    SetHint(action->Hint());
  }
}

void TControl::Notification(TComponent& component, TOperation operation) {
  TComponent::Notification(component, operation);
  // The action unlinked this control already (see ~TBasicAction).
  if (operation == TOperation::opRemove && &component == m_action) m_action = nullptr;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == m_parent) return;
  for (const TControl* p = parent; p != nullptr; p = p->m_parent) {
    if (p == this) throw Exception("a control cannot be placed inside itself");
  }
  ParentChanging();
  if (m_parent != nullptr) std::erase(m_parent->m_controls, this);
  m_parent = parent;
  if (parent != nullptr) parent->m_controls.push_back(this);
  ParentChanged();
}

void TControl::SetText(const std::string& text) {
  if (text == GetText()) return;
  DoSetText(text);
}

void TControl::SetFont(const TFont* font) {
  if (font == nullptr) throw Exception("invalid property value");
  m_font->Assign(*font);
}

void TControl::SetVisible(bool visible) {
  if (visible == m_visible) return;
  m_visible = visible;
  VisibleChanged();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == m_left && top == m_top && width == m_width && height == m_height) return;
  m_left = left;
  m_top = top;
  m_width = width;
  m_height = height;
  BoundsChanged();
}

// ---- TWinControl ----------------------------------------------------------

TWinControl::~TWinControl() {
  m_inDestructor = true;
  DestroyWindowOnly();
  for (TControl* child : m_controls) child->m_parent = nullptr;
  m_controls.clear();
}

WidgetHandle TWinControl::Handle() {
  HandleNeeded();
  return m_handle;
}

void TWinControl::HandleNeeded() {
  if (m_handle != 0 || m_inDestructor || IsDestroying()) return;
  if (TWinControl* parent = Parent()) {
    parent->HandleNeeded();
    if (parent->m_handle == 0) throw Exception("the parent of " + Name() + " has no window");
    // The parent's window may have brought this one along.
    if (m_handle != 0) return;
  }
  CreateWnd();
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.parent = Parent() != nullptr ? Parent()->m_handle : 0;
  params.text = StoredText();
  params.left = Left();
  params.top = Top();
  params.width = Width();
  params.height = Height();
  params.visible = Visible();
  params.client = this;
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  WidgetSet& widgetSet = CurrentWidgetSet();
  m_handle = widgetSet.CreateHandle(params);
  m_widgetSet = &widgetSet;
  // No half-built window tree: a failure takes the window (and the child
  // windows made so far) away again.
  try {
    InitializeWnd();
    for (TControl* child : m_controls) {
      if (child->Visible() && child->Is<TWinControl>()) static_cast<TWinControl*>(child)->HandleNeeded();
    }
  } catch (...) {
    DestroyWindowOnly();
    throw;
  }
}

void TWinControl::InitializeWnd() {
  if (m_redrawLocks > 0) m_widgetSet->SetRedraw(m_handle, false);
  SendFont();
  if (!Hint().empty()) m_widgetSet->SetHint(m_handle, Hint());
}

void TWinControl::BeginRedrawLock() {
  if (m_redrawLocks++ == 0 && m_handle != 0) Widgets().SetRedraw(m_handle, false);
}

void TWinControl::EndRedrawLock() {
  if (m_redrawLocks == 0) return;
  if (--m_redrawLocks == 0 && m_handle != 0) Widgets().SetRedraw(m_handle, true);
}

void TWinControl::DestroyHandle() {
  if (m_handle == 0) return;
  for (TControl* child : m_controls) {
    if (child->Is<TWinControl>()) static_cast<TWinControl*>(child)->DestroyHandle();
  }
  try {
    FinalizeWnd();
  } catch (...) {
    DestroyWindowOnly();
    throw;
  }
  DestroyWindowOnly();
}

void TWinControl::DestroyWindowOnly() noexcept {
  if (m_handle == 0) return;
  const WidgetHandle handle = std::exchange(m_handle, 0);
  m_widgetSet->DestroyHandle(handle);
  m_sentFont.reset();
  m_sentHeaderFont.reset();
}

void TWinControl::Repaint() {
  if (m_handle != 0) Widgets().Repaint(m_handle);
}

bool TWinControl::PostWindowMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  HandleNeeded();
  if (m_handle == 0) throw Exception("no window to post to: " + Name() + " is being destroyed");
  return Widgets().PostWidgetMessage(m_handle, message, wParam, lParam);
}

TControl& TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw Exception("control index out of bounds");
  return *m_controls[static_cast<std::size_t>(index)];
}

void TWinControl::SendFont() {
  auto font = Font().Reference(*m_widgetSet);
  m_widgetSet->SetFont(m_handle, font->Handle());
  m_sentFont = std::move(font);
}

void TWinControl::SendHeaderFont(const TFont& font) {
  if (m_handle == 0) return;
  auto reference = font.Reference(*m_widgetSet);
  m_widgetSet->SetHeaderFont(m_handle, reference->Handle());
  m_sentHeaderFont = std::move(reference);
}

void TWinControl::DoSetText(const std::string& text) {
  TControl::DoSetText(text);
  if (m_handle != 0) Widgets().SetText(m_handle, text);
}

void TWinControl::FontChanged() {
  if (m_handle != 0) SendFont();
}

void TWinControl::VisibleChanged() {
  if (m_handle != 0) {
    Widgets().ShowHide(m_handle, Visible());
  } else if (Visible() && Parent() != nullptr && Parent()->HandleAllocated()) {
    HandleNeeded();
  }
}

void TWinControl::HintChanged() {
  if (m_handle != 0) Widgets().SetHint(m_handle, Hint());
}

void TWinControl::BoundsChanged() {
  if (m_handle != 0) Widgets().SetBounds(m_handle, Left(), Top(), Width(), Height());
}

void TWinControl::ParentChanging() { DestroyHandle(); }

void TWinControl::ParentChanged() {
  if (Parent() != nullptr && Parent()->HandleAllocated() && Visible()) HandleNeeded();
}

void TWinControl::WidgetNotify(WidgetEvent event) noexcept {
  if (m_handle == 0) return;
  // Nothing may leave through the window procedure.
  try {
    HandleWidgetEvent(event);
  } catch (...) {
  }
}

void TWinControl::WidgetMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) noexcept {
  if (m_handle == 0) return;
  try {
    UserMessage(message, wParam, lParam);
  } catch (...) {
  }
}

void TWinControl::WidgetDestroyed() noexcept {
  m_handle = 0;
  m_sentFont.reset();
  m_sentHeaderFont.reset();
}

}  // namespace quorlane
