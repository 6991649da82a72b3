#include "framework/rtti.h"

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
    std::vector<const TPropertyInfo*> ordered;
    if (m_parent != nullptr) {
      const auto inherited = m_parent->Properties();
      ordered.assign(inherited.begin(), inherited.end());
    }
    const std::size_t inheritedCount = ordered.size();
    for (const TPropertyInfo& p : m_own) {
      const auto same = [&](const TPropertyInfo* q) { return CompareNoCase(q->name, p.name) == 0; };
      if (std::any_of(ordered.begin() + static_cast<std::ptrdiff_t>(inheritedCount), ordered.end(), same)) {
        throw Exception(std::string("property ") + p.name + " published twice by " + m_name);
      }
      // A class may redeclare an inherited property; its row replaces the base's.
      auto inherited = std::find_if(ordered.begin(), ordered.begin() + static_cast<std::ptrdiff_t>(inheritedCount), same);
      if (inherited != ordered.begin() + static_cast<std::ptrdiff_t>(inheritedCount)) {
        *inherited = &p;
      } else {
        ordered.push_back(&p);
      }
    }
    std::vector<const TPropertyInfo*> byName = ordered;
    std::sort(byName.begin(), byName.end(),
              [](const TPropertyInfo* a, const TPropertyInfo* b) { return CompareNoCase(a->name, b->name) < 0; });
    m_ordered = std::move(ordered);
    m_byName = std::move(byName);
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
  return GetPropValue(object, *info, preferStrings);
}

TValue GetPropValue(const TObject& object, const TPropertyInfo& info, bool preferStrings) {
  TValue value = info.get(object);
  if (preferStrings) {
    if (info.kind == TPropertyKind::Enumeration) {
      const auto ordinal = std::get<std::int64_t>(value);
      if (ordinal >= 0 && static_cast<std::size_t>(ordinal) < info.enumNames.size()) {
        return std::string(info.enumNames[static_cast<std::size_t>(ordinal)]);
      }
    } else if (info.kind == TPropertyKind::Boolean) {
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
    case TPropertyKind::Variant:
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

}  // namespace quorlane
