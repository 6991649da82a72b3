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

  /// `settings`: lines of the server's [server] section.
  bool Start(const std::vector<std::string>& settings = {}) {
    const std::string portFile = m_folder + "port.txt";
    std::string line = "\"" + sessiontest::Narrow(testsupport::ProgramFolder()) + "quorlane-server.exe\" --listen 127.0.0.1:0 --web-listen \"\" --data \"" +
                       m_folder + "data\" --port-file \"" + portFile + "\"";
    if (!settings.empty()) {
      std::ofstream config(m_folder + "server.ini", std::ios::binary);
      config << "[server]\r\n";
      for (const auto& setting : settings) config << setting << "\r\n";
      line += " --config \"" + m_folder + "server.ini\"";
    }
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

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A networked installation: delete and copy on the server's machine (below
// its file root), the size query, services through the server's command
// backend, the VAT list and the key the administrator set.
TEST(SessionAgainstSiteServer, FilesServicesVatListAndKeyOnTheServersMachine) {
  IniFile ini;
  ini.products = {"*=networked,127.0.0.1"};
  InstalledLibrary scratch(ini);
  const std::string files = scratch.folder() + "files\\";
  ::CreateDirectoryA(files.c_str(), nullptr);
  const std::string bin = sessiontest::Narrow(testsupport::ProgramFolder());
  const std::string service = "demo" + std::to_string(::GetCurrentProcessId());
  SiteServerProcess server(scratch.folder());
  ASSERT_TRUE(server.Start({"file_root = " + files, "allow_service = " + service, "service_backend = command",
                            "service_command = " + bin + "service_double.exe"}));
  ini.session = {"Port=" + std::to_string(server.port())};
  InstalledLibrary dll(ini);
  ASSERT_TRUE(dll.loaded());
  ASSERT_EQ(dll.Lock("db1", "any"), "Y; ; ; ") << "opens the service connection";

  WriteBytes(files + "ro.txt", "read-only");
  ::SetFileAttributesA((files + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(dll.Text("DoDeleteFileDotNet", files + "ro.txt"), "N;5");
  EXPECT_EQ(ReadBytes(files + "ro.txt"), "read-only");
  EXPECT_EQ(dll.Text("DoDeleteFileDotNet", files + "missing.txt"), "Y;");
  WriteBytes(files + "source.txt", "the source");
  EXPECT_EQ(dll.Text("DoCopyFileDotNet", files + "source.txt", files + "ro.txt"), "Y;") << "replaces a read-only target";
  EXPECT_EQ(ReadBytes(files + "ro.txt"), "the source");
  EXPECT_EQ(dll.Text("DoCopyFileDotNet", files + "source.txt", files + "A\\B\\File.txt"), "N;3");
  EXPECT_EQ(dll.Text("DoCopyFileDotNet", files + "source.txt", files + "New\\File.txt"), "Y;");
  EXPECT_EQ(ReadBytes(files + "New\\File.txt"), "the source");
  EXPECT_EQ(dll.Text("DoCopyFileDotNet", files + "source.txt", scratch.folder() + "outside.txt"), "N;5");
  EXPECT_EQ(::GetFileAttributesA((scratch.folder() + "outside.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(dll.Text("GetFileSizeInfo", files, "*.txt"), "Y;20;2;");

  EXPECT_EQ(dll.Flag("ServerServiceStarted", "127.0.0.1", service), 0);
  EXPECT_EQ(dll.Flag("StartServerService", "127.0.0.1", service), 1);
  EXPECT_EQ(dll.Flag("ServerServiceStarted", "127.0.0.1", service), 1);
  EXPECT_EQ(dll.Flag("StopServerService", "127.0.0.1", service), 1);
  EXPECT_EQ(dll.Flag("StartServerService", "127.0.0.1", "spooler"), 0) << "not allowed";
  EXPECT_NE(ReadBytes(bin + "service_double.log").find("[2] start " + service + "\n[2] status " + service + "\n[2] stop"),
            std::string::npos);

  dll.SaveVATList("A;5%\r\nB;0%");
  EXPECT_EQ(dll.Text("GetVATList"), "A;5%\r\nB;0%") << "kept as sent";
  EXPECT_EQ(dll.Text("GetTaxationAPIKey"), "") << "none set";
  const auto set = testsupport::RunProcessWithInput(L"\"" + testsupport::ProgramFolder() +
                                                        L"quorlane-server.exe\" set-taxation-key --data \"" +
                                                        std::wstring(scratch.folder().begin(), scratch.folder().end()) +
                                                        L"data\"",
                                                    "site-key-42\r\n");
  ASSERT_EQ(set.exitCode, 0u) << set.output;
  EXPECT_EQ(dll.Text("GetTaxationAPIKey"), "site-key-42");
}

}  // namespace
