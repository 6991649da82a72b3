// Collections: an ordered list of items that the collection owns. A change
// of an item or of the list reaches Update, once per change outside an
// update bracket and once when the outermost bracket closes, which is where
// a control that shows the items brings its window up to date.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/components.h"

namespace quorlane {

class TCollection;

class TCollectionItem : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TCollectionItem(TCollection& collection) noexcept : m_collection(&collection) {}
  [[nodiscard]] TCollection& Collection() const noexcept { return *m_collection; }
  [[nodiscard]] int Index() const noexcept;
  [[nodiscard]] virtual std::string GetDisplayName() const { return ClassName(); }

 protected:
  /// Tells the collection that this item's shown content changed.
  void Changed();

 private:
  TCollection* m_collection;
};

class TCollection : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  using ItemFactory = std::unique_ptr<TCollectionItem> (*)(TCollection&);
  TCollection(const TClassInfo& itemClass, ItemFactory factory) noexcept
      : m_itemClass(&itemClass), m_factory(factory) {}
  ~TCollection() override;

  [[nodiscard]] const TClassInfo& ItemClass() const noexcept { return *m_itemClass; }
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(m_items.size()); }
  [[nodiscard]] TCollectionItem& Items(int index) const;
  TCollectionItem& Add();
  void Delete(int index);
  void Clear();
  void BeginUpdate() noexcept { ++m_updateCount; }
  /// Unbalanced calls are ignored; the one that closes the bracket calls Update(nullptr).
  void EndUpdate();
  [[nodiscard]] int UpdateCount() const noexcept { return m_updateCount; }
  /// The object that owns this collection, if any.
  [[nodiscard]] virtual TPersistent* GetOwner() const noexcept { return nullptr; }

 protected:
  /// One item changed (item), or the list or several items (null).
  virtual void Update(TCollectionItem* item);

 private:
  friend class TCollectionItem;
  void Changed(TCollectionItem* item);

  const TClassInfo* m_itemClass;
  ItemFactory m_factory;
  std::vector<std::unique_ptr<TCollectionItem>> m_items;
  int m_updateCount = 0;
  bool m_clearing = false;
};

/// A collection that reports the object it belongs to.
class TOwnedCollection : public TCollection {
  QL_DECLARE_CLASS()
 public:
  TOwnedCollection(TPersistent& owner, const TClassInfo& itemClass, ItemFactory factory) noexcept
      : TCollection(itemClass, factory), m_owner(&owner) {}
  [[nodiscard]] TPersistent* GetOwner() const noexcept override { return m_owner; }

 private:
  TPersistent* m_owner;
};

/// The factory of a collection whose items are of class Item.
template <typename Item>
std::unique_ptr<TCollectionItem> MakeCollectionItem(TCollection& collection) {
  return std::make_unique<Item>(collection);
}

}  // namespace quorlane
