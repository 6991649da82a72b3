// End to end: the real DLL under Wine against the real site server (its
// Windows build) on loopback, with a second workstation speaking the raw
// protocol under other user and computer names.
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "raw_client.h"
#include "session_fixture.h"

namespace {

using quorlane::server::RawClient;
using sessiontest::IniFile;
using sessiontest::InstalledLibrary;

class SiteServerProcess {
 public:
  explicit SiteServerProcess(const std::string& folder) : m_folder(folder) {}
  ~SiteServerProcess() {
    if (!m_process) return;
    ::TerminateProcess(m_process.get(), 9);
    ::WaitForSingleObject(m_process.get(), 10000);
  }

  bool Start() {
    const std::string portFile = m_folder + "port.txt";
    std::string line = "\"" + sessiontest::Narrow(testsupport::ProgramFolder()) + "quorlane-server.exe\" --listen 127.0.0.1:0 --data \"" +
                       m_folder + "data\" --port-file \"" + portFile + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &info)) {
      return false;
    }
    m_process.reset(info.hProcess);
    win32::UniqueHandle thread(info.hThread);
    for (int i = 0; i < 500; ++i) {
      std::ifstream in(portFile);
      std::stringstream text;
      text << in.rdbuf();
      if (!text.str().empty() && text.str().back() == '\n') {
        m_port = static_cast<std::uint16_t>(std::stoi(text.str()));
        return true;
      }
      if (::WaitForSingleObject(m_process.get(), 20) == WAIT_OBJECT_0) return false;
    }
    return false;
  }

  [[nodiscard]] std::uint16_t port() const { return m_port; }

 private:
  std::string m_folder;
  win32::UniqueHandle m_process;
  std::uint16_t m_port = 0;
};

// The other workstation: one request over a connection of its own.
std::string Workstation(std::uint16_t port, const std::string& body) {
  RawClient client;
  std::string error;
  if (!client.Connect("127.0.0.1", port, std::chrono::seconds(5), error)) return "(connect: " + error + ")";
  const auto reply = client.Request(body, std::chrono::seconds(10), error);
  return reply ? *reply : "(none: " + error + ")";
}

TEST(SessionAgainstSiteServer, LockRefusalUnlockForceUnlockAndCheck) {
  IniFile ini;
  ini.products = {"sales=networked,127.0.0.1"};
  // The server's port is known only once it runs; the INI is written after.
  InstalledLibrary scratch(ini);  // its folder holds the server's data
  SiteServerProcess server(scratch.folder());
  ASSERT_TRUE(server.Start());
  ini.session = {"Port=" + std::to_string(server.port())};
  InstalledLibrary dll(ini);
  ASSERT_TRUE(dll.loaded());
  const std::string me = sessiontest::UserName() + ";" + sessiontest::ComputerName() + ";";
  const std::regex startTime("\\d{4}/\\d{1,2}/\\d{1,2} \\d\\d:\\d\\d");

  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  const std::string refused = Workstation(server.port(), "[LOCKDB]db1;bob;PC02;");
  ASSERT_EQ(refused.rfind("[LOCKDB]N;" + me, 0), 0u) << refused;

  EXPECT_EQ(Workstation(server.port(), "[LOCKDB]db2;bob;PC02;"), "[LOCKDB]Y;;;");
  const std::string holder = dll.Lock("db2", "sales");
  ASSERT_EQ(holder.rfind("N;bob;PC02;", 0), 0u) << holder;
  EXPECT_TRUE(std::regex_match(holder.substr(11), startTime)) << holder;
  EXPECT_EQ(dll.Check("db2"), "Y" + holder.substr(1));
  EXPECT_EQ(dll.Unlock("db2"), holder) << "only the holder releases";
  EXPECT_EQ(dll.ForceUnlock("db2"), "Y; ; ; ");
  EXPECT_EQ(dll.Check("db2"), "N; ; ; ");

  EXPECT_EQ(dll.Unlock("db1"), "Y; ; ; ");
  EXPECT_EQ(Workstation(server.port(), "[CHECKDBLOCK]db1;bob;PC02;"), "[CHECKDBLOCK]N;;;");
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ") << "a re-lock by the holder is granted";
}

}  // namespace
