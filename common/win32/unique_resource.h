// RAII owners for Windows handles, one alias per kind of handle.
//
// The empty value is part of each type: CreateFileW fails with
// INVALID_HANDLE_VALUE while CreateFileMappingW fails with NULL, and mixing the
// two up is how handles leak or close twice. Owners move but never copy;
// put() releases the old handle before handing out the address, so passing an
// owner as an out-parameter twice cannot leak. Closing keeps GetLastError, so a
// cleanup never overwrites the error its caller is about to report.
#pragma once

// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <windows.h>

#include <utility>

namespace win32 {

template <typename Handle, auto Close, auto EmptyValue>
class UniqueResource {
 public:
  UniqueResource() noexcept = default;
  explicit UniqueResource(Handle handle) noexcept : m_handle(handle) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : m_handle(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueResource() { reset(); }

  [[nodiscard]] Handle get() const noexcept { return m_handle; }
  [[nodiscard]] explicit operator bool() const noexcept { return m_handle != Empty(); }

  void reset(Handle handle = Empty()) noexcept {
    if (m_handle != Empty()) {
      const DWORD lastError = ::GetLastError();
      Close(m_handle);
      ::SetLastError(lastError);
    }
    m_handle = handle;
  }

  [[nodiscard]] Handle release() noexcept { return std::exchange(m_handle, Empty()); }

  [[nodiscard]] Handle* put() noexcept {
    reset();
    return &m_handle;
  }

 private:
  static Handle Empty() noexcept {
    if constexpr (requires { EmptyValue(); }) {
      return EmptyValue();
    } else {
      return static_cast<Handle>(EmptyValue);
    }
  }
  Handle m_handle = Empty();
};

namespace detail {
inline void CloseKernelHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void ReleaseModule(HMODULE h) noexcept { ::FreeLibrary(h); }
inline void DestroyWindowHandle(HWND h) noexcept { ::DestroyWindow(h); }
inline void CloseSocketHandle(SOCKET s) noexcept { ::closesocket(s); }
inline void UnmapView(void* view) noexcept { ::UnmapViewOfFile(view); }
inline void DeleteGdiObject(HGDIOBJ h) noexcept { ::DeleteObject(h); }
inline void CancelAsyncRequest(HANDLE h) noexcept { ::WSACancelAsyncRequest(h); }
inline HANDLE InvalidHandle() noexcept { return INVALID_HANDLE_VALUE; }
inline constexpr std::nullptr_t kNull = nullptr;
}  // namespace detail

/// Kernel handles that are NULL when empty (mappings, events, processes).
using UniqueHandle = UniqueResource<HANDLE, detail::CloseKernelHandle, detail::kNull>;
/// File handles from CreateFileW/A, which are INVALID_HANDLE_VALUE when empty.
using UniqueFile = UniqueResource<HANDLE, detail::CloseKernelHandle, detail::InvalidHandle>;
using UniqueModule = UniqueResource<HMODULE, detail::ReleaseModule, detail::kNull>;
using UniqueWindow = UniqueResource<HWND, detail::DestroyWindowHandle, detail::kNull>;
using UniqueSocket = UniqueResource<SOCKET, detail::CloseSocketHandle, INVALID_SOCKET>;
using UniqueMapView = UniqueResource<void*, detail::UnmapView, detail::kNull>;
/// Pending WSAAsync* look-ups (WSAAsyncGetHostByName), cancelled when reset.
using UniqueAsyncRequest = UniqueResource<HANDLE, detail::CancelAsyncRequest, detail::kNull>;
template <typename GdiObject>
using UniqueGdiObject = UniqueResource<GdiObject, detail::DeleteGdiObject, detail::kNull>;

/// Runs a callable when the scope ends, unless release() was called first
/// (the commit/rollback idiom of multi-step set-up).
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) noexcept : m_f(std::move(f)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (m_armed) m_f();
  }
  void release() noexcept { m_armed = false; }

 private:
  F m_f;
  bool m_armed = true;
};

}  // namespace win32
