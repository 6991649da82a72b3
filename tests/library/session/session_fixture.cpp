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
    out << "[Quorlane]\r\nDataDir=" << m_folder << "\r\n";
    for (const auto& line : ini.quorlane) out << line << "\r\n";
    out << "[Products]\r\n";
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

std::string InstalledLibrary::Trace() const {
  char program[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string name(program, n);
  name = name.substr(name.find_last_of("\\/") + 1);
  name = name.substr(0, name.rfind('.'));
  std::ifstream in(m_folder + name + "_DebugInfo.txt", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string WithoutTimeStamps(const std::string& trace) {
  std::string out;
  std::size_t start = 0;
  while (start < trace.size()) {
    std::size_t end = trace.find("\r\n", start);
    end = end == std::string::npos ? trace.size() : end + 2;
    const std::string line = trace.substr(start, end - start);
    // "m/d hh:nn:ss ": the stamp ends at the second space.
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    out += second == std::string::npos ? line : line.substr(second + 1);
    start = end;
  }
  return out;
}

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
