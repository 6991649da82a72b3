#include "framework/collections.h"

namespace quorlane {

QL_DEFINE_CLASS(TCollectionItem, TPersistent, {})
QL_DEFINE_CLASS(TCollection, TPersistent, {})
QL_DEFINE_CLASS(TOwnedCollection, TCollection, {})

int TCollectionItem::Index() const noexcept {
  const auto& items = m_collection->m_items;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

void TCollectionItem::Changed() { m_collection->Changed(this); }

// The destructor runs after the derived collection's members are gone, so
// it must not reach Update: the items go without telling anyone.
TCollection::~TCollection() {
  m_clearing = true;
  while (!m_items.empty()) {
    std::unique_ptr<TCollectionItem> last = std::move(m_items.back());
    m_items.pop_back();
  }
}

TCollectionItem& TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) throw Exception("collection index out of bounds");
  return *m_items[static_cast<std::size_t>(index)];
}

TCollectionItem& TCollection::Add() {
  m_items.push_back(m_factory(*this));
  TCollectionItem& item = *m_items.back();
  Changed(nullptr);
  return item;
}

void TCollection::Delete(int index) {
  if (index < 0 || index >= Count()) throw Exception("collection index out of bounds");
  std::unique_ptr<TCollectionItem> item = std::move(m_items[static_cast<std::size_t>(index)]);
  m_items.erase(m_items.begin() + index);
  item.reset();
  Changed(nullptr);
}

void TCollection::Clear() {
  if (m_items.empty()) return;
  // Items may look at their collection while they are freed; take each out first.
  m_clearing = true;
  while (!m_items.empty()) {
    std::unique_ptr<TCollectionItem> last = std::move(m_items.back());
    m_items.pop_back();
  }
  m_clearing = false;
  Changed(nullptr);
}

void TCollection::EndUpdate() {
  if (m_updateCount == 0) return;
  if (--m_updateCount == 0) Changed(nullptr);
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Changed(TCollectionItem* item) {
  if (m_updateCount == 0 && !m_clearing) Update(item);
}

}  // namespace quorlane
