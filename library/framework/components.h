// Persistent objects and components: owners that free what they own, the
// ordered list of owned components, handlers bound to objects, and the
// notification that tells a component when another one it refers to dies.
//
// Ownership: a component owns the components created with it as owner (see
// TComponent::Create) and frees them, last created first, when it is freed.
// Nothing here is locked; one thread at a time. Design mode (a component
// hosted by a form designer) does not exist in a DLL without a designer:
// IsDesigning() is always false.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/rtti.h"

namespace quorlane {

/// A handler bound to an object: the object and a thunk that calls one of
/// its member functions. Two handlers are equal when both parts are, so a
/// component can find and drop the handlers aimed at an object that dies.
template <typename... Args>
class TMethod {
 public:
  using Thunk = void (*)(TObject& target, Args... args);
  TMethod() noexcept = default;
  /// The member function Method of target, e.g. TMethod<...>::Of<&TForm1::FormShow>(form1).
  template <auto Method, typename T>
  [[nodiscard]] static TMethod Of(T& target) noexcept {
    return TMethod(&target, [](TObject& t, Args... args) { (static_cast<T&>(t).*Method)(args...); });
  }
  [[nodiscard]] explicit operator bool() const noexcept { return m_thunk != nullptr; }
  [[nodiscard]] TObject* Target() const noexcept { return m_target; }
  void operator()(Args... args) const {
    if (m_thunk != nullptr) m_thunk(*m_target, args...);
  }
  friend bool operator==(const TMethod&, const TMethod&) = default;

 private:
  TMethod(TObject* target, Thunk thunk) noexcept : m_target(target), m_thunk(thunk) {}
  TObject* m_target = nullptr;
  Thunk m_thunk = nullptr;
};

/// Handler(Sender).
using TNotifyEvent = TMethod<TObject&>;

enum class TOperation : std::uint8_t { opInsert, opRemove };

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
  /// Tells the components linked by FreeNotification, then frees the owned
  /// components, the last one first.
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
  /// True once this component's destruction has begun (set by its owner
  /// before it frees it, and by the destructor itself).
  [[nodiscard]] bool IsDestroying() const noexcept { return m_destroying; }

  /// Both components are told, through Notification(opRemove), when the other
  /// one is freed; each keeps the link until then or RemoveFreeNotification.
  void FreeNotification(TComponent& component);
  void RemoveFreeNotification(TComponent& component) noexcept;

 protected:
  /// Called once loading ends.
  virtual void Loaded() {}
  /// `component` is going away (opRemove): drop every reference to it. It is
  /// partly destroyed already; compare its address, call nothing on it.
  virtual void Notification(TComponent& component, TOperation operation);

 private:
  void InsertComponent(std::unique_ptr<TComponent> component);

  TComponent* m_owner;
  std::vector<std::unique_ptr<TComponent>> m_components;
  std::vector<TComponent*> m_freeNotifies;
  std::string m_name;
  std::int64_t m_tag = 0;
  int m_loading = 0;
  bool m_destroying = false;
};

/// Keeps an update bracket (BeginUpdate/EndUpdate) open for one scope, also
/// when an error leaves it. Closing the bracket may update a window and
/// fail: that error reaches the caller, unless another one is already on
/// its way out, which then goes on alone.
template <typename T>
class UpdateGuard {
 public:
  explicit UpdateGuard(T& target) : m_target(target), m_exceptions(std::uncaught_exceptions()) {
    m_target.BeginUpdate();
  }
  UpdateGuard(const UpdateGuard&) = delete;
  UpdateGuard& operator=(const UpdateGuard&) = delete;
  ~UpdateGuard() noexcept(false) {
    if (std::uncaught_exceptions() == m_exceptions) {
      m_target.EndUpdate();
      return;
    }
    try {
      m_target.EndUpdate();
    } catch (...) {
    }
  }

 private:
  T& m_target;
  int m_exceptions;
};

}  // namespace quorlane
