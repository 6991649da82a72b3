// Class identity and published properties: each class states its own
// properties once, in a table of rows built by the props:: helpers, and the
// Get/Set*Prop functions reach them by name (case-insensitively, a derived
// class's row replacing its base's). Nothing is ever added at run time.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "framework/errors.h"

namespace quorlane {

class TObject;
struct TPropertyInfo;

/// Identity of one class: its name, its base and its own published properties
/// in declaration order. One static instance per class.
class TClassInfo {
 public:
  TClassInfo(const char* name, const TClassInfo* parent, std::span<const TPropertyInfo> properties) noexcept
      : m_name(name), m_parent(parent), m_own(properties) {}
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  [[nodiscard]] const char* Name() const noexcept { return m_name; }
  [[nodiscard]] const TClassInfo* Parent() const noexcept { return m_parent; }
  /// This class or one it descends from, walking the parent chain.
  [[nodiscard]] bool InheritsFrom(const TClassInfo& other) const noexcept;
  /// Every published property, the base class's first, each class's in its
  /// declaration order (the order in which they are stored).
  [[nodiscard]] std::span<const TPropertyInfo* const> Properties() const;
  /// Case-insensitive look-up through an index built once per class.
  [[nodiscard]] const TPropertyInfo* FindProperty(std::string_view name) const;

 private:
  /// Raises Exception when a class's own table names a property twice.
  void BuildIndex() const;

  const char* m_name;
  const TClassInfo* m_parent;
  std::span<const TPropertyInfo> m_own;
  mutable std::once_flag m_indexed;
  mutable std::vector<const TPropertyInfo*> m_ordered;
  mutable std::vector<const TPropertyInfo*> m_byName;
};

#define QL_DECLARE_CLASS()                                            \
 public:                                                              \
  static const ::quorlane::TClassInfo& StaticClass() noexcept;        \
  const ::quorlane::TClassInfo& ClassType() const noexcept override;

#define QL_DEFINE_CLASS(Class, Base, Properties)                                   \
  const ::quorlane::TClassInfo& Class::StaticClass() noexcept {                    \
    static const ::quorlane::TClassInfo info(#Class, &Base::StaticClass(), Properties); \
    return info;                                                                   \
  }                                                                                \
  const ::quorlane::TClassInfo& Class::ClassType() const noexcept { return StaticClass(); }

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClassInfo& StaticClass() noexcept;
  [[nodiscard]] virtual const TClassInfo& ClassType() const noexcept { return StaticClass(); }
  [[nodiscard]] std::string ClassName() const { return ClassType().Name(); }
  [[nodiscard]] bool InheritsFrom(const TClassInfo& cls) const noexcept { return ClassType().InheritsFrom(cls); }
  template <typename T>
  [[nodiscard]] bool Is() const noexcept { return InheritsFrom(T::StaticClass()); }
};

// ---- published properties -------------------------------------------------

/// Text covers every string kind (short, long, wide). Variant may hold
/// anything, null included. Method: a published event, listed in order with
/// the properties but assigned and read only through its class's accessors.
enum class TPropertyKind : std::uint8_t { Text, Integer, Boolean, Enumeration, Object, Variant, Method };
/// The kinds a look-up may be restricted to.
enum class TPropertyFilter : std::uint8_t { Any, Text, Integer, Object };

/// A property value read generically: empty (null) when absent. An object
/// property that holds no object reads as a null TObject*, which is a value.
using TValue = std::variant<std::monostate, std::string, std::int64_t, bool, TObject*>;

struct TPropertyInfo {
  const char* name;
  TPropertyKind kind;
  /// Declared class of an object property.
  const TClassInfo& (*declaredClass)() noexcept;
  /// Value names of an enumeration, by ordinal.
  std::span<const char* const> enumNames;
  TValue (*get)(const TObject&);
  /// Null for a read-only property.
  void (*set)(TObject&, const TValue&);
};

[[nodiscard]] const TPropertyInfo* FindPropInfo(const TObject& object, std::string_view name,
                                                TPropertyFilter filter = TPropertyFilter::Any);
/// Reads a property generically; enumerations and Booleans come as their
/// names when strings are preferred. Null when the object has no such property.
[[nodiscard]] TValue GetPropValue(const TObject& object, std::string_view name, bool preferStrings = true);
/// The same for a property already looked up on this object's class.
[[nodiscard]] TValue GetPropValue(const TObject& object, const TPropertyInfo& info, bool preferStrings = true);
/// Writes a property by name; enumerations take their ordinal or their name.
/// Raises Exception for an unknown or read-only property or a mismatched value.
void SetPropValue(TObject& object, std::string_view name, const TValue& value);
[[nodiscard]] std::string GetStrProp(const TObject& object, std::string_view name);
void SetStrProp(TObject& object, std::string_view name, const std::string& value);
[[nodiscard]] std::int64_t GetOrdProp(const TObject& object, std::string_view name);
void SetOrdProp(TObject& object, std::string_view name, std::int64_t value);
/// The object an object property holds; null when there is no such property.
[[nodiscard]] TObject* GetObjectProp(const TObject& object, std::string_view name);
/// The declared class of an object property; null for any other property.
[[nodiscard]] const TClassInfo* GetObjectPropClass(const TObject& object, std::string_view name);

namespace props {
// Helpers that build table rows from member functions, so a class's table
// states each property once: name, getter, setter.
namespace detail {
template <typename T, auto Getter>
TObject* Held(const TObject& o) {
  auto&& held = (static_cast<const T&>(o).*Getter)();
  if constexpr (std::is_pointer_v<std::remove_cvref_t<decltype(held)>>) {
    return const_cast<std::remove_cvref_t<std::remove_pointer_t<std::remove_cvref_t<decltype(held)>>>*>(held);
  } else {
    return const_cast<std::remove_cvref_t<decltype(held)>*>(&held);
  }
}
template <typename Held>
Held* Source(const TValue& v) {
  TObject* source = std::get<TObject*>(v);
  if (source != nullptr && !source->Is<Held>()) throw Exception("invalid property value");
  return static_cast<Held*>(source);
}
}  // namespace detail

template <typename T, auto Getter, auto Setter = nullptr>
constexpr TPropertyInfo Text(const char* name) noexcept {
  TPropertyInfo info{name, TPropertyKind::Text, nullptr, {},
                     [](const TObject& o) -> TValue { return std::string((static_cast<const T&>(o).*Getter)()); },
                     nullptr};
  if constexpr (!std::is_null_pointer_v<decltype(Setter)>) {
    info.set = [](TObject& o, const TValue& v) { (static_cast<T&>(o).*Setter)(std::get<std::string>(v)); };
  }
  return info;
}
template <typename T, auto Getter, auto Setter = nullptr>
constexpr TPropertyInfo Boolean(const char* name) noexcept {
  TPropertyInfo info{name, TPropertyKind::Boolean, nullptr, {},
                     [](const TObject& o) -> TValue { return bool((static_cast<const T&>(o).*Getter)()); }, nullptr};
  if constexpr (!std::is_null_pointer_v<decltype(Setter)>) {
    info.set = [](TObject& o, const TValue& v) { (static_cast<T&>(o).*Setter)(std::get<bool>(v)); };
  }
  return info;
}
template <typename T, auto Getter, auto Setter = nullptr>
constexpr TPropertyInfo Integer(const char* name) noexcept {
  TPropertyInfo info{name, TPropertyKind::Integer, nullptr, {},
                     [](const TObject& o) -> TValue {
                       return static_cast<std::int64_t>((static_cast<const T&>(o).*Getter)());
                     },
                     nullptr};
  if constexpr (!std::is_null_pointer_v<decltype(Setter)>) {
    info.set = [](TObject& o, const TValue& v) {
      using Arg = decltype((static_cast<const T&>(o).*Getter)());
      (static_cast<T&>(o).*Setter)(static_cast<std::remove_cvref_t<Arg>>(std::get<std::int64_t>(v)));
    };
  }
  return info;
}
template <typename T, typename Enum, auto Getter, auto Setter = nullptr>
constexpr TPropertyInfo Enumeration(const char* name, std::span<const char* const> names) noexcept {
  TPropertyInfo info{name, TPropertyKind::Enumeration, nullptr, names,
                     [](const TObject& o) -> TValue {
                       return static_cast<std::int64_t>((static_cast<const T&>(o).*Getter)());
                     },
                     nullptr};
  if constexpr (!std::is_null_pointer_v<decltype(Setter)>) {
    info.set = [](TObject& o, const TValue& v) {
      (static_cast<T&>(o).*Setter)(static_cast<Enum>(std::get<std::int64_t>(v)));
    };
  }
  return info;
}
/// Getter returns the held object (a reference, or a pointer that may be
/// null); Setter takes the object to refer to or assign from (may be null).
template <typename T, typename Held, auto Getter, auto Setter = nullptr>
constexpr TPropertyInfo Object(const char* name) noexcept {
  TPropertyInfo info{name, TPropertyKind::Object, [] () noexcept -> const TClassInfo& { return Held::StaticClass(); }, {},
                     [](const TObject& o) -> TValue { return detail::Held<T, Getter>(o); }, nullptr};
  if constexpr (!std::is_null_pointer_v<decltype(Setter)>) {
    info.set = [](TObject& o, const TValue& v) { (static_cast<T&>(o).*Setter)(detail::Source<Held>(v)); };
  }
  return info;
}
/// An object the class owns for its whole life (a font, a string list, a
/// collection), bound by reference: writing the property assigns the given
/// object's content into the held one, which stays the same object.
template <typename T, typename Held, auto Getter>
constexpr TPropertyInfo Owned(const char* name) noexcept {
  TPropertyInfo info = Object<T, Held, Getter>(name);
  info.set = [](TObject& o, const TValue& v) {
    const Held* source = detail::Source<Held>(v);
    if (source == nullptr) throw Exception("invalid property value");
    static_cast<Held*>(detail::Held<T, Getter>(o))->Assign(*source);
  };
  return info;
}
/// Getter returns a TValue (null allowed); Setter takes one.
template <typename T, auto Getter, auto Setter = nullptr>
constexpr TPropertyInfo Variant(const char* name) noexcept {
  TPropertyInfo info{name, TPropertyKind::Variant, nullptr, {},
                     [](const TObject& o) -> TValue { return (static_cast<const T&>(o).*Getter)(); }, nullptr};
  if constexpr (!std::is_null_pointer_v<decltype(Setter)>) {
    info.set = [](TObject& o, const TValue& v) { (static_cast<T&>(o).*Setter)(v); };
  }
  return info;
}
/// A published event (a handler bound to an object). It keeps its place among
/// the published properties; a generic read yields null and a generic write
/// is refused, since a handler is no property value.
constexpr TPropertyInfo Event(const char* name) noexcept {
  return TPropertyInfo{name, TPropertyKind::Method, nullptr, {}, [](const TObject&) -> TValue { return {}; },
                       nullptr};
}
}  // namespace props

}  // namespace quorlane
