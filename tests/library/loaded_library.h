// The real Quorlane.dll, loaded the way a host loads it: by name, from the
// folder of the test program.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "quorlane.h"
#include "win32/unique_resource.h"

class LoadedLibrary {
 public:
  LoadedLibrary() : m_module(::LoadLibraryW(L"Quorlane.dll")) {}

  [[nodiscard]] bool loaded() const { return static_cast<bool>(m_module); }

  template <typename Fn>
  [[nodiscard]] Fn get(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m_module.get(), name)));
  }

  [[nodiscard]] FARPROC raw(const char* name) const { return ::GetProcAddress(m_module.get(), name); }

 private:
  win32::UniqueModule m_module;
};
