// The small UI component model the converter and the translation component
// work on, standing in for the host application's framework: class identity,
// published properties by name, components with owners, collections, string
// lists and the exceptions the components raise.
//
// Ownership: a component owns the components created with it as owner (see
// TComponent::Create) and frees them, last created first, when it is freed.
// A collection owns its items. Nothing here is locked; one thread at a time.
// Design mode (a component hosted by a form designer) does not exist in a
// DLL without a designer: IsDesigning() is always false.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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
  [[nodiscard]] bool InheritsFrom(const TClassInfo& other) const noexcept;
  /// Every published property, the base class's first, each class's in its
  /// declaration order (the order in which they are stored).
  [[nodiscard]] std::span<const TPropertyInfo* const> Properties() const;
  /// Case-insensitive look-up through an index built once per class.
  [[nodiscard]] const TPropertyInfo* FindProperty(std::string_view name) const;

 private:
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

// ---- errors ---------------------------------------------------------------

/// An error of the components: carries its message text (the library's own
/// messages are Big5 bytes), returned by what() as it is.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  [[nodiscard]] std::string Message() const { return what(); }
};

/// A failed operating-system call: its error code and the system's message.
class EOSError : public Exception {
 public:
  EOSError(std::uint32_t errorCode, const std::string& systemMessage)
      : Exception(systemMessage), m_errorCode(errorCode) {}
  [[nodiscard]] std::uint32_t ErrorCode() const noexcept { return m_errorCode; }

 private:
  std::uint32_t m_errorCode;
};

/// Fills a message with one "%s" placeholder.
[[nodiscard]] std::string FormatMessageText(std::string_view format, std::string_view argument);

// ---- published properties -------------------------------------------------

/// Method: a published event, listed in order with the properties but
/// assigned and read only through its class's typed accessors.
enum class TPropertyKind : std::uint8_t { Text, Integer, Boolean, Enumeration, Object, Method };
/// The kinds a look-up may be restricted to.
enum class TPropertyFilter : std::uint8_t { Any, Text, Integer, Object };

/// A property value read generically: empty (null) when absent.
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
/// Writes a property by name; enumerations take their ordinal or their name.
/// Raises Exception for an unknown or read-only property or a mismatched value.
void SetPropValue(TObject& object, std::string_view name, const TValue& value);
[[nodiscard]] std::string GetStrProp(const TObject& object, std::string_view name);
void SetStrProp(TObject& object, std::string_view name, const std::string& value);
[[nodiscard]] std::int64_t GetOrdProp(const TObject& object, std::string_view name);
void SetOrdProp(TObject& object, std::string_view name, std::int64_t value);
[[nodiscard]] TObject* GetObjectProp(const TObject& object, std::string_view name);
[[nodiscard]] const TClassInfo* GetObjectPropClass(const TObject& object, std::string_view name);

namespace props {
// Helpers that build table rows from member functions, so a class's table
// states each property once: name, getter, setter.
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
/// Getter returns a pointer (or reference) to the held object; Setter takes
/// the object to assign from (may be null).
template <typename T, typename Held, auto Getter, auto Setter = nullptr>
constexpr TPropertyInfo Object(const char* name) noexcept {
  TPropertyInfo info{name, TPropertyKind::Object, [] () noexcept -> const TClassInfo& { return Held::StaticClass(); }, {},
                     [](const TObject& o) -> TValue {
                       return static_cast<TObject*>(&(static_cast<const T&>(o).*Getter)());
                     },
                     nullptr};
  if constexpr (!std::is_null_pointer_v<decltype(Setter)>) {
    info.set = [](TObject& o, const TValue& v) {
      TObject* source = std::get<TObject*>(v);
      if (source != nullptr && !source->Is<Held>()) throw Exception("invalid property value");
      (static_cast<T&>(o).*Setter)(static_cast<const Held*>(source));
    };
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

// ---- persistent objects and components ------------------------------------

class TPersistent : public TObject {
  QL_DECLARE_CLASS()
 public:
  /// Copies another object's content into this one; raises when the classes
  /// do not know each other.
  virtual void Assign(const TPersistent& source);
};

class TComponent : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  /// A component built with an owner must be handed to it: use Create.
  explicit TComponent(TComponent* owner) noexcept : m_owner(owner) {}
  /// Frees the owned components, the last one first.
  ~TComponent() override;

  /// Builds a component owned (and later freed) by owner.
  template <typename T, typename... Args>
  static T& Create(TComponent& owner, Args&&... args) {
    auto component = std::make_unique<T>(&owner, std::forward<Args>(args)...);
    T& result = *component;
    owner.InsertComponent(std::move(component));
    return result;
  }
  /// Takes an owned component out of the list and gives its ownership back.
  std::unique_ptr<TComponent> RemoveComponent(TComponent& component);

  [[nodiscard]] TComponent* Owner() const noexcept { return m_owner; }
  [[nodiscard]] int ComponentCount() const noexcept { return static_cast<int>(m_components.size()); }
  [[nodiscard]] TComponent& Components(int index) const;
  [[nodiscard]] int ComponentIndex() const noexcept;

  [[nodiscard]] const std::string& Name() const noexcept { return m_name; }
  void SetName(const std::string& name) { m_name = name; }
  [[nodiscard]] std::int64_t Tag() const noexcept { return m_tag; }
  void SetTag(std::int64_t tag) noexcept { m_tag = tag; }

  /// Loading state: a host that builds a form in code brackets the stored
  /// property values with BeginLoading and EndLoading, as a stored form is read.
  [[nodiscard]] bool IsLoading() const noexcept { return m_loading > 0; }
  void BeginLoading() noexcept;
  void EndLoading();
  [[nodiscard]] bool IsDesigning() const noexcept { return false; }

 protected:
  /// Called once loading ends.
  virtual void Loaded() {}

 private:
  void InsertComponent(std::unique_ptr<TComponent> component);

  TComponent* m_owner;
  std::vector<std::unique_ptr<TComponent>> m_components;
  std::string m_name;
  std::int64_t m_tag = 0;
  int m_loading = 0;
};

// ---- collections ----------------------------------------------------------

class TCollection;

class TCollectionItem : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  explicit TCollectionItem(TCollection& collection) noexcept : m_collection(&collection) {}
  [[nodiscard]] TCollection& Collection() const noexcept { return *m_collection; }
  [[nodiscard]] int Index() const noexcept;
  [[nodiscard]] virtual std::string GetDisplayName() const { return ClassName(); }

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
  void EndUpdate() noexcept { if (m_updateCount > 0) --m_updateCount; }
  [[nodiscard]] int UpdateCount() const noexcept { return m_updateCount; }
  /// The object that owns this collection, if any.
  [[nodiscard]] virtual TPersistent* GetOwner() const noexcept { return nullptr; }

 private:
  friend class TCollectionItem;
  const TClassInfo* m_itemClass;
  ItemFactory m_factory;
  std::vector<std::unique_ptr<TCollectionItem>> m_items;
  int m_updateCount = 0;
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

// ---- string lists ---------------------------------------------------------

class TStrings : public TPersistent {
  QL_DECLARE_CLASS()
 public:
  [[nodiscard]] virtual int Count() const noexcept = 0;
  [[nodiscard]] virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& line) = 0;
  virtual void Add(const std::string& line) = 0;
  virtual void Clear() = 0;
  void BeginUpdate() noexcept { ++m_updateCount; }
  void EndUpdate() noexcept { if (m_updateCount > 0) --m_updateCount; }
  [[nodiscard]] int UpdateCount() const noexcept { return m_updateCount; }
  void Assign(const TPersistent& source) override;

 private:
  int m_updateCount = 0;
};

class TStringList : public TStrings {
  QL_DECLARE_CLASS()
 public:
  [[nodiscard]] int Count() const noexcept override { return static_cast<int>(m_lines.size()); }
  [[nodiscard]] std::string Get(int index) const override;
  void Put(int index, const std::string& line) override;
  void Add(const std::string& line) override { m_lines.push_back(line); }
  void Clear() override { m_lines.clear(); }

 private:
  std::vector<std::string> m_lines;
};

}  // namespace quorlane
