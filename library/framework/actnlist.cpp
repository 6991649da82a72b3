#include "framework/actnlist.h"

#include <algorithm>

#include "framework/controls.h"

namespace quorlane {
namespace {
constexpr TPropertyInfo kActionProperties[] = {
    props::Text<TAction, &TAction::Caption, &TAction::SetCaption>("Caption"),
    props::Text<TAction, &TAction::Hint, &TAction::SetHint>("Hint"),
    props::Event("OnExecute"),
};
}  // namespace

QL_DEFINE_CLASS(TBasicAction, TComponent, {})
QL_DEFINE_CLASS(TAction, TBasicAction, kActionProperties)

TBasicAction::~TBasicAction() {
  for (TControl* client : std::exchange(m_clients, {})) client->m_action = nullptr;
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(*this);
  return true;
}

void TBasicAction::ClientsChanged() {
  // A client may unlink itself while it follows the change.
  const std::vector<TControl*> clients = m_clients;
  for (TControl* client : clients) {
    if (std::find(m_clients.begin(), m_clients.end(), client) != m_clients.end()) client->ActionChanged();
  }
}

void TBasicAction::Notification(TComponent& component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove) std::erase(m_clients, &component);
}

void TBasicAction::LinkClient(TControl& control) {
  if (std::find(m_clients.begin(), m_clients.end(), &control) == m_clients.end()) m_clients.push_back(&control);
}

void TBasicAction::UnlinkClient(TControl& control) noexcept { std::erase(m_clients, &control); }

void TAction::SetCaption(const std::string& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  ClientsChanged();
}

void TAction::SetHint(const std::string& hint) {
  if (hint == m_hint) return;
  m_hint = hint;
  ClientsChanged();
}

}  // namespace quorlane
