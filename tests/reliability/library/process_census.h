// What a process holds, counted directly: Wine answers GetProcessHandleCount
// and the private-bytes counter of GetProcessMemoryInfo with 0.
#pragma once

#include <windows.h>

#include <cstddef>

namespace reliability {

/// Handle values that name an open handle (the low range, where Windows and
/// Wine hand them out).
inline unsigned CountHandles() {
  unsigned count = 0;
  for (UINT_PTR value = 4; value < (1u << 16); value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

/// Committed private pages of the address space.
inline std::size_t PrivateBytes() {
  std::size_t bytes = 0;
  const char* at = nullptr;
  MEMORY_BASIC_INFORMATION region{};
  while (::VirtualQuery(at, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return bytes;
}

}  // namespace reliability
