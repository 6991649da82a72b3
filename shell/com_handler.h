// COM plumbing for the shell: one smart pointer and one handler template, so
// that no other code writes AddRef/Release or QueryInterface by hand.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include "webview2.h"

// COM interfaces have no virtual destructor by design (it would add a vtable
// slot); objects are freed through Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace talvora {

/// Owns one reference to a COM object.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  /// Adopts an existing reference (no AddRef).
  static ComPtr Attach(T* p) noexcept {
    ComPtr c;
    c.m_p = p;
    return c;
  }
  /// Takes a new reference to a borrowed pointer.
  static ComPtr Borrow(T* p) noexcept {
    if (p) p->AddRef();
    return Attach(p);
  }
  ComPtr(const ComPtr& other) noexcept : m_p(other.m_p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() noexcept {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  [[nodiscard]] T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  [[nodiscard]] explicit operator bool() const noexcept { return m_p != nullptr; }
  /// For out-parameters; releases what was held first.
  [[nodiscard]] T** put() noexcept {
    reset();
    return &m_p;
  }

 private:
  T* m_p = nullptr;
};

/// A COM object implementing one callback interface whose only own method is
/// Invoke(Args...). The body is a std::function; an exception it throws is
/// turned into E_UNEXPECTED and never reaches the caller.
template <typename Interface, typename... Args>
class ComHandler final : public Interface {
 public:
  using Body = std::function<HRESULT(Args...)>;
  struct Key {};  // only Make creates handlers: they live on the heap and delete themselves

  ComHandler(Key, Body body) : m_body(std::move(body)) {}

  [[nodiscard]] static ComPtr<Interface> Make(Body body) {
    auto handler = std::make_unique<ComHandler>(Key{}, std::move(body));
    return ComPtr<Interface>::Attach(handler.release());
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == webview2::IidOf<Interface>::value) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++m_references; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --m_references;
    if (left == 0) std::unique_ptr<ComHandler>{this};
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) noexcept override {
    try {
      return m_body ? m_body(args...) : S_OK;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  std::atomic<ULONG> m_references{1};
  Body m_body;
};

using EnvironmentCompletedHandler =
    ComHandler<webview2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
               webview2::ICoreWebView2Environment*>;
using ControllerCompletedHandler =
    ComHandler<webview2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
               webview2::ICoreWebView2Controller*>;
using NavigationCompletedHandler =
    ComHandler<webview2::ICoreWebView2NavigationCompletedEventHandler, webview2::ICoreWebView2*,
               webview2::ICoreWebView2NavigationCompletedEventArgs*>;
using NewWindowRequestedHandler =
    ComHandler<webview2::ICoreWebView2NewWindowRequestedEventHandler, webview2::ICoreWebView2*,
               webview2::ICoreWebView2NewWindowRequestedEventArgs*>;

/// A text the callee allocated with CoTaskMemAlloc, freed here.
inline std::wstring TakeCoTaskString(LPWSTR text) {
  std::wstring copy = text ? std::wstring(text) : std::wstring{};
  ::CoTaskMemFree(text);
  return copy;
}

}  // namespace talvora

#pragma GCC diagnostic pop
