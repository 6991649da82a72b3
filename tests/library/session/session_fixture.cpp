#include "session_fixture.h"

#include <filesystem>
#include <fstream>
#include <thread>

namespace sessiontest {

std::string Narrow(const std::wstring& wide) {
  std::string text;
  for (wchar_t c : wide) text.push_back(static_cast<char>(c));
  return text;
}

InstalledLibrary::InstalledLibrary(const IniFile& ini) {
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  static int serial = 0;
  m_folder = std::string(temp) + "quorlane-session-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(++serial) + "\\";
  ::CreateDirectoryA(m_folder.c_str(), nullptr);
  const std::string dll = m_folder + "Quorlane.dll";
  ::CopyFileA((Narrow(testsupport::ProgramFolder()) + "Quorlane.dll").c_str(), dll.c_str(), FALSE);
  {
    std::ofstream out(m_folder + "Quorlane.ini", std::ios::binary);
    out << "[Quorlane]\r\nDataDir=" << m_folder << "\r\n[Products]\r\n";
    for (const auto& line : ini.products) out << line << "\r\n";
    out << "[Session]\r\n";
    for (const auto& line : ini.session) out << line << "\r\n";
  }
  if (ini.traceMarker) std::ofstream(m_folder + "Quorlane.debug").put('\n');
  m_module.reset(::LoadLibraryA(dll.c_str()));
  if (!m_module) return;
  auto get = [&](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(m_module.get(), name)); };
  m_lock = reinterpret_cast<QL_PFN_TextOfTwoTexts>(get("SetLockDBDotNet"));
  m_unlock = reinterpret_cast<QL_PFN_TextOfText>(get("SetUnLockDBDotNet"));
  m_force = reinterpret_cast<QL_PFN_TextOfText>(get("SetForceUnLockDBDotNet"));
  m_check = reinterpret_cast<QL_PFN_TextOfText>(get("CheckDBLockedDotNet"));
  m_free = reinterpret_cast<QL_PFN_NoArgs>(get("FreeInitial"));
  reinterpret_cast<QL_PFN_SetInitial>(get("SetInitial"))(nullptr);
}

InstalledLibrary::~InstalledLibrary() {
  if (m_module) {
    m_free();
    m_module.reset();
  }
  // The site server's data folder may sit inside as well.
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(m_folder), ignored);
}

std::string InstalledLibrary::Lock(const char* key, const char* product) { return m_lock(key, product); }
std::string InstalledLibrary::Unlock(const char* key) { return m_unlock(key); }
std::string InstalledLibrary::ForceUnlock(const char* key) { return m_force(key); }
std::string InstalledLibrary::Check(const char* key) { return m_check(key); }

std::string UserName() {
  char buffer[255];
  DWORD size = sizeof buffer;
  return ::GetUserNameA(buffer, &size) ? std::string(buffer) : std::string("none");
}

std::string ComputerName() {
  char buffer[255];
  DWORD size = sizeof buffer;
  return ::GetComputerNameA(buffer, &size) ? std::string(buffer) : std::string("none");
}

void PumpFor(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    ::Sleep(10);
  }
}

}  // namespace sessiontest
