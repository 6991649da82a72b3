#include "framework/Classes.h"

#include <algorithm>

namespace quorlane {
namespace {

char Lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int CompareNoCase(std::string_view a, std::string_view b) noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

[[noreturn]] void ThrowIndex(const char* what) { throw Exception(std::string(what) + " index out of bounds"); }

bool Accepts(TPropertyFilter filter, TPropertyKind kind) noexcept {
  switch (filter) {
    case TPropertyFilter::Any: return true;
    case TPropertyFilter::Text: return kind == TPropertyKind::Text;
    case TPropertyFilter::Integer: return kind == TPropertyKind::Integer;
    case TPropertyFilter::Object: return kind == TPropertyKind::Object;
  }
  return false;
}

const TPropertyInfo& Require(const TObject& object, std::string_view name) {
  const TPropertyInfo* info = object.ClassType().FindProperty(name);
  if (info == nullptr) throw Exception("unknown property " + std::string(name) + " of " + object.ClassName());
  return *info;
}

}  // namespace

bool TClassInfo::InheritsFrom(const TClassInfo& other) const noexcept {
  for (const TClassInfo* c = this; c != nullptr; c = c->m_parent) {
    if (c == &other) return true;
  }
  return false;
}

void TClassInfo::BuildIndex() const {
  std::call_once(m_indexed, [this] {
    if (m_parent != nullptr) {
      const auto inherited = m_parent->Properties();
      m_ordered.assign(inherited.begin(), inherited.end());
    }
    for (const TPropertyInfo& p : m_own) {
      // A class may redeclare an inherited property; its row replaces the base's.
      auto same = std::find_if(m_ordered.begin(), m_ordered.end(),
                               [&](const TPropertyInfo* q) { return CompareNoCase(q->name, p.name) == 0; });
      if (same != m_ordered.end()) *same = &p; else m_ordered.push_back(&p);
    }
    m_byName = m_ordered;
    std::sort(m_byName.begin(), m_byName.end(),
              [](const TPropertyInfo* a, const TPropertyInfo* b) { return CompareNoCase(a->name, b->name) < 0; });
  });
}

std::span<const TPropertyInfo* const> TClassInfo::Properties() const {
  BuildIndex();
  return m_ordered;
}

const TPropertyInfo* TClassInfo::FindProperty(std::string_view name) const {
  BuildIndex();
  auto it = std::lower_bound(m_byName.begin(), m_byName.end(), name,
                             [](const TPropertyInfo* p, std::string_view n) { return CompareNoCase(p->name, n) < 0; });
  return (it != m_byName.end() && CompareNoCase((*it)->name, name) == 0) ? *it : nullptr;
}

const TClassInfo& TObject::StaticClass() noexcept {
  static const TClassInfo info("TObject", nullptr, {});
  return info;
}

std::string FormatMessageText(std::string_view format, std::string_view argument) {
  std::string result(format);
  const std::size_t at = result.find("%s");
  if (at != std::string::npos) result.replace(at, 2, argument);
  return result;
}

// ---- properties -----------------------------------------------------------

const TPropertyInfo* FindPropInfo(const TObject& object, std::string_view name, TPropertyFilter filter) {
  const TPropertyInfo* info = object.ClassType().FindProperty(name);
  return (info != nullptr && Accepts(filter, info->kind)) ? info : nullptr;
}

TValue GetPropValue(const TObject& object, std::string_view name, bool preferStrings) {
  const TPropertyInfo* info = object.ClassType().FindProperty(name);
  if (info == nullptr) return {};
  TValue value = info->get(object);
  if (preferStrings) {
    if (info->kind == TPropertyKind::Enumeration) {
      const auto ordinal = std::get<std::int64_t>(value);
      if (ordinal >= 0 && static_cast<std::size_t>(ordinal) < info->enumNames.size()) {
        return std::string(info->enumNames[static_cast<std::size_t>(ordinal)]);
      }
    } else if (info->kind == TPropertyKind::Boolean) {
      return std::string(std::get<bool>(value) ? "True" : "False");
    }
  }
  return value;
}

void SetPropValue(TObject& object, std::string_view name, const TValue& value) {
  const TPropertyInfo& info = Require(object, name);
  if (info.set == nullptr) throw Exception("property " + std::string(name) + " is read-only");
  const auto mismatch = [&] { return Exception("invalid value for property " + std::string(name)); };
  switch (info.kind) {
    case TPropertyKind::Text:
      if (!std::holds_alternative<std::string>(value)) throw mismatch();
      info.set(object, value);
      return;
    case TPropertyKind::Integer:
      if (!std::holds_alternative<std::int64_t>(value)) throw mismatch();
      info.set(object, value);
      return;
    case TPropertyKind::Boolean:
      if (const auto* text = std::get_if<std::string>(&value)) {
        if (CompareNoCase(*text, "True") == 0) return info.set(object, TValue(true));
        if (CompareNoCase(*text, "False") == 0) return info.set(object, TValue(false));
        throw mismatch();
      }
      if (!std::holds_alternative<bool>(value)) throw mismatch();
      info.set(object, value);
      return;
    case TPropertyKind::Enumeration: {
      std::int64_t ordinal = -1;
      if (const auto* text = std::get_if<std::string>(&value)) {
        for (std::size_t i = 0; i < info.enumNames.size(); ++i) {
          if (CompareNoCase(info.enumNames[i], *text) == 0) ordinal = static_cast<std::int64_t>(i);
        }
      } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
        ordinal = *number;
      }
      if (ordinal < 0 || static_cast<std::size_t>(ordinal) >= info.enumNames.size()) throw mismatch();
      info.set(object, TValue(ordinal));
      return;
    }
    case TPropertyKind::Object:
      if (!std::holds_alternative<TObject*>(value)) throw mismatch();
      info.set(object, value);
      return;
    case TPropertyKind::Method:
      throw mismatch();
  }
}

std::string GetStrProp(const TObject& object, std::string_view name) {
  const TPropertyInfo& info = Require(object, name);
  if (info.kind != TPropertyKind::Text) throw Exception("property " + std::string(name) + " is no text");
  return std::get<std::string>(info.get(object));
}

void SetStrProp(TObject& object, std::string_view name, const std::string& value) {
  SetPropValue(object, name, TValue(value));
}

std::int64_t GetOrdProp(const TObject& object, std::string_view name) {
  const TPropertyInfo& info = Require(object, name);
  const TValue value = info.get(object);
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? 1 : 0;
  throw Exception("property " + std::string(name) + " is not ordinal");
}

void SetOrdProp(TObject& object, std::string_view name, std::int64_t value) {
  const TPropertyInfo& info = Require(object, name);
  if (info.kind == TPropertyKind::Boolean) return SetPropValue(object, name, TValue(value != 0));
  SetPropValue(object, name, TValue(value));
}

TObject* GetObjectProp(const TObject& object, std::string_view name) {
  const TPropertyInfo* info = FindPropInfo(object, name, TPropertyFilter::Object);
  return info != nullptr ? std::get<TObject*>(info->get(object)) : nullptr;
}

const TClassInfo* GetObjectPropClass(const TObject& object, std::string_view name) {
  const TPropertyInfo* info = FindPropInfo(object, name, TPropertyFilter::Object);
  return info != nullptr ? &info->declaredClass() : nullptr;
}

// ---- persistent and component ---------------------------------------------

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
  while (!m_components.empty()) {
    std::unique_ptr<TComponent> last = std::move(m_components.back());
    m_components.pop_back();
    last.reset();
  }
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
  if (index < 0 || index >= ComponentCount()) ThrowIndex("component");
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

// ---- collections ----------------------------------------------------------

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

TCollection::~TCollection() { Clear(); }

TCollectionItem& TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) ThrowIndex("collection");
  return *m_items[static_cast<std::size_t>(index)];
}

TCollectionItem& TCollection::Add() {
  m_items.push_back(m_factory(*this));
  return *m_items.back();
}

void TCollection::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowIndex("collection");
  std::unique_ptr<TCollectionItem> item = std::move(m_items[static_cast<std::size_t>(index)]);
  m_items.erase(m_items.begin() + index);
}

void TCollection::Clear() {
  // Items may look at their collection while they are freed; take each out first.
  while (!m_items.empty()) {
    std::unique_ptr<TCollectionItem> last = std::move(m_items.back());
    m_items.pop_back();
  }
}

// ---- string lists ---------------------------------------------------------

QL_DEFINE_CLASS(TStrings, TPersistent, {})
QL_DEFINE_CLASS(TStringList, TStrings, {})

void TStrings::Assign(const TPersistent& source) {
  if (!source.Is<TStrings>()) return TPersistent::Assign(source);
  const auto& lines = static_cast<const TStrings&>(source);
  if (&lines == this) return;
  BeginUpdate();
  try {
    Clear();
    for (int i = 0; i < lines.Count(); ++i) Add(lines.Get(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStringList::Get(int index) const {
  if (index < 0 || index >= Count()) ThrowIndex("list");
  return m_lines[static_cast<std::size_t>(index)];
}

void TStringList::Put(int index, const std::string& line) {
  if (index < 0 || index >= Count()) ThrowIndex("list");
  m_lines[static_cast<std::size_t>(index)] = line;
}

}  // namespace quorlane
