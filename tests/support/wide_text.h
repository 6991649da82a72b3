// Small helpers shared by the test programs, the test doubles and the
// benchmarks: UTF-8 <-> UTF-16 for journals and logs, and one wall clock that
// every process reads alike. Header-only, so a double DLL needs no library.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace testsupport {

inline std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

inline std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

// Wall-clock milliseconds: the same clock in every process, so other
// programs can compare their own times with a journal's.
inline double WallClockMs() {
  using PreciseTimeFn = void(WINAPI*)(FILETIME*);
  static const auto precise = reinterpret_cast<PreciseTimeFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME now{};
  if (precise != nullptr) {
    precise(&now);
  } else {
    ::GetSystemTimeAsFileTime(&now);
  }
  const auto ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<double>(ticks % 864000000000ULL) / 10000.0;  // within the day, keeps the precision
}

}  // namespace testsupport
