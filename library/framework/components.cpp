#include "framework/components.h"

#include <algorithm>

namespace quorlane {

QL_DEFINE_CLASS(TPersistent, TObject, {})

void TPersistent::Assign(const TPersistent& source) {
  throw Exception("cannot assign a " + source.ClassName() + " to a " + ClassName());
}

namespace {
constexpr TPropertyInfo kComponentProperties[] = {
    props::Text<TComponent, &TComponent::Name, &TComponent::SetName>("Name"),
    props::Integer<TComponent, &TComponent::Tag, &TComponent::SetTag>("Tag"),
};
}  // namespace
QL_DEFINE_CLASS(TComponent, TPersistent, kComponentProperties)

TComponent::~TComponent() {
  m_destroying = true;
  // Each one is told once; it drops its own link to this component first.
  while (!m_freeNotifies.empty()) {
    TComponent* other = m_freeNotifies.back();
    m_freeNotifies.pop_back();
    other->RemoveFreeNotification(*this);
    other->Notification(*this, TOperation::opRemove);
  }
  while (!m_components.empty()) {
    std::unique_ptr<TComponent> last = std::move(m_components.back());
    m_components.pop_back();
    last->m_destroying = true;
    last.reset();
  }
}

void TComponent::Notification(TComponent&, TOperation) {}

void TComponent::FreeNotification(TComponent& component) {
  if (&component == this) return;
  if (std::find(m_freeNotifies.begin(), m_freeNotifies.end(), &component) == m_freeNotifies.end()) {
    m_freeNotifies.push_back(&component);
  }
  if (std::find(component.m_freeNotifies.begin(), component.m_freeNotifies.end(), this) ==
      component.m_freeNotifies.end()) {
    component.m_freeNotifies.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent& component) noexcept {
  std::erase(m_freeNotifies, &component);
  std::erase(component.m_freeNotifies, this);
}

void TComponent::InsertComponent(std::unique_ptr<TComponent> component) {
  component->m_owner = this;
  m_components.push_back(std::move(component));
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent& component) {
  auto it = std::find_if(m_components.begin(), m_components.end(),
                         [&](const std::unique_ptr<TComponent>& c) { return c.get() == &component; });
  if (it == m_components.end()) return nullptr;
  std::unique_ptr<TComponent> result = std::move(*it);
  m_components.erase(it);
  result->m_owner = nullptr;
  return result;
}

TComponent& TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw Exception("component index out of bounds");
  return *m_components[static_cast<std::size_t>(index)];
}

int TComponent::ComponentIndex() const noexcept {
  if (m_owner == nullptr) return -1;
  for (int i = 0; i < m_owner->ComponentCount(); ++i) {
    if (m_owner->m_components[static_cast<std::size_t>(i)].get() == this) return i;
  }
  return -1;
}

void TComponent::BeginLoading() noexcept {
  ++m_loading;
  for (auto& c : m_components) c->BeginLoading();
}

void TComponent::EndLoading() {
  if (m_loading == 0) return;
  for (auto& c : m_components) c->EndLoading();
  if (--m_loading == 0) Loaded();
}

}  // namespace quorlane
