// The real Quorlane.dll, copied with a Quorlane.ini of the test's own into a
// fresh folder and loaded from there by full path, as a host would load it.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "quorlane.h"
#include "scripted_peer.h"
#include "win32/unique_resource.h"

namespace sessiontest {

std::string Narrow(const std::wstring& wide);

/// What goes into the test's Quorlane.ini.
struct IniFile {
  std::vector<std::string> quorlane;  // further [Quorlane] lines ("Owner=...")
  std::vector<std::string> products;  // "code=value" lines
  std::vector<std::string> session;   // "key=value" lines
  bool traceMarker = false;
};

class InstalledLibrary {
 public:
  explicit InstalledLibrary(const IniFile& ini);
  ~InstalledLibrary();
  InstalledLibrary(const InstalledLibrary&) = delete;
  InstalledLibrary& operator=(const InstalledLibrary&) = delete;

  [[nodiscard]] bool loaded() const { return static_cast<bool>(m_module); }
  [[nodiscard]] const std::string& folder() const { return m_folder; }

  std::string Lock(const char* key, const char* product);
  std::string Unlock(const char* key);
  std::string ForceUnlock(const char* key);
  std::string Check(const char* key);

  /// Any export, by name.
  template <typename Function>
  [[nodiscard]] Function Export(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(m_module.get(), name)));
  }
  [[nodiscard]] std::string Text(const char* name) const { return Export<QL_PFN_TextOfNone>(name)(); }
  [[nodiscard]] std::string Text(const char* name, const std::string& a) const {
    return Export<QL_PFN_TextOfText>(name)(a.c_str());
  }
  [[nodiscard]] std::string Text(const char* name, const std::string& a, const std::string& b) const {
    return Export<QL_PFN_TextOfTwoTexts>(name)(a.c_str(), b.c_str());
  }
  [[nodiscard]] int Flag(const char* name, const std::string& a, const std::string& b) const {
    return Export<QL_PFN_IntOfTwoTexts>(name)(a.c_str(), b.c_str());
  }
  void SaveVATList(const char* list) const { Export<QL_PFN_VoidOfText>("SaveVATList")(list); }
  /// The debug trace written so far (the marker must have been set).
  [[nodiscard]] std::string Trace() const;

 private:
  std::string m_folder;
  win32::UniqueModule m_module;
  QL_PFN_TextOfTwoTexts m_lock = nullptr;
  QL_PFN_TextOfText m_unlock = nullptr, m_force = nullptr, m_check = nullptr;
  QL_PFN_NoArgs m_free = nullptr;
};

/// The names the session sends, as Windows gives them to this process.
std::string UserName();
std::string ComputerName();

/// Each line of a trace without its "m/d hh:nn:ss " stamp; CR LF endings kept.
std::string WithoutTimeStamps(const std::string& trace);

/// Pumps this thread's messages for a while, as a host's message loop does
/// between calls.
void PumpFor(std::chrono::milliseconds duration);

}  // namespace sessiontest
