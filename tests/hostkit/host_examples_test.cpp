// The host kit's example programs (hostkit/examples/: the C one linked with
// the import library, the Delphi-mode one built by Free Pascal through
// Quorlane.pas) as a vendor would ship them: each copied into a folder of its
// own beside the real Quorlane.dll and a Quorlane.ini, run as a process of
// its own against the Windows builds of the site server and the update server
// on loopback, and its whole output compared byte for byte. The update
// look-up's port is the fixed 9568: CTest runs these one at a time with the
// other users of that port.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "raw_client.h"
#include "win32/unique_resource.h"

namespace {

using quorlane::server::RawClient;

constexpr char kUpdateAddress[] = "https://updates.example.com/sales/setup.exe";
constexpr char kVatList[] = "TX;5%\r\nZR;0%\r\nEX;-";
// 資料庫已被其他使用者鎖定 in Big5, the examples' own message, and in GBK.
constexpr char kLockedBig5[] =
    "\xB8\xEA\xAE\xC6\xAE\x77\xA4\x77\xB3\x51\xA8\xE4\xA5\x4C\xA8\xCF\xA5\xCE\xAA\xCC\xC2\xEA\xA9\x77";
constexpr char kLockedGbk[] =
    "\xD7\xCA\xC1\xCF\xBF\xE2\xD2\xD1\xB1\xBB\xC6\xE4\xCB\xFB\xCA\xB9\xD3\xC3\xD5\xDF\xCB\xF8\xB6\xA8";

std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }
std::wstring Wide(const std::string& narrow) { return std::wstring(narrow.begin(), narrow.end()); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

/// A folder of the test's own under %TEMP%, removed with what it holds.
class ScratchFolder {
 public:
  ScratchFolder() {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    m_path = std::string(temp) + "quorlane-examples-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ::CreateDirectoryA(m_path.c_str(), nullptr);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  [[nodiscard]] const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

/// A server program of this build, started in the background; it writes the
/// port it listens on into a file once it accepts. Killed at the end, and
/// with the test should the test itself be killed.
class ServerProcess {
 public:
  ~ServerProcess() {
    if (!m_process) return;
    ::TerminateProcess(m_process.get(), 9);
    ::WaitForSingleObject(m_process.get(), 10000);
  }

  /// Starts `program` with `arguments` and " --port-file PORTFILE"; true once
  /// the port is written. A port still held by an earlier user is tried
  /// again for a while (the fixed 9568).
  bool Start(const std::string& program, const std::string& arguments, const std::string& portFile) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      ::DeleteFileA(portFile.c_str());
      std::wstring line = L"\"" + testsupport::ProgramFolder() + Wide(program) + L"\" " + Wide(arguments) +
                          L" --port-file \"" + Wide(portFile) + L"\"";
      STARTUPINFOW startup{};
      startup.cb = sizeof(startup);
      m_process = m_job.Start(line, FALSE, CREATE_NO_WINDOW, startup);
      if (!m_process) return false;
      for (int i = 0; i < 500; ++i) {
        const std::string text = ReadBytes(portFile);
        if (!text.empty() && text.back() == '\n') {
          m_port = static_cast<std::uint16_t>(std::stoi(text));
          return true;
        }
        if (::WaitForSingleObject(m_process.get(), 20) == WAIT_OBJECT_0) break;
      }
      ::TerminateProcess(m_process.get(), 9);
      ::WaitForSingleObject(m_process.get(), 10000);
      m_process.reset();
      ::Sleep(500);
    }
    return false;
  }
  [[nodiscard]] std::uint16_t port() const { return m_port; }

 private:
  testsupport::ChildJob m_job;
  win32::UniqueHandle m_process;
  std::uint16_t m_port = 0;
};

/// Another workstation, speaking the site server's protocol itself.
std::string OtherWorkstation(std::uint16_t port, const std::string& body) {
  RawClient client;
  std::string error;
  if (!client.Connect("127.0.0.1", port, std::chrono::seconds(5), error)) return "(connect: " + error + ")";
  const auto reply = client.Request(body, std::chrono::seconds(10), error);
  return reply ? *reply : "(no reply: " + error + ")";
}

/// The ';'-separated field `index` of `text`.
std::string FieldOf(const std::string& text, int index) {
  std::size_t start = 0;
  for (; index > 0 && start != std::string::npos; --index) {
    start = text.find(';', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos) return "";
  return text.substr(start, text.find(';', start) - start);
}

/// One site: a site server holding the VAT list, the update server on 9568
/// knowing SALES. The examples, copied beside the DLL and its ini, run there.
class ExampleHost : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ::CreateDirectoryA((m_scratch.path() + "data").c_str(), nullptr);
    WriteBytes(m_scratch.path() + "data\\vatlist.txt", kVatList);
    WriteBytes(m_scratch.path() + "update-map.txt", std::string("SALES = ") + kUpdateAddress + "\r\n");
    ASSERT_TRUE(m_site.Start("quorlane-server.exe",
                             "--listen 127.0.0.1:0 --web-listen \"\" --data \"" + m_scratch.path() + "data\"",
                             m_scratch.path() + "site-port.txt"));
    ASSERT_TRUE(m_update.Start("quorlane-update-server.exe",
                               "--quiet --listen 127.0.0.1:9568 --map \"" + m_scratch.path() + "update-map.txt\"",
                               m_scratch.path() + "update-port.txt"));
    ASSERT_EQ(m_update.port(), 9568);

    // What a vendor's set-up puts into the application's folder.
    m_folder = m_scratch.path() + "app\\";
    ::CreateDirectoryA(m_folder.c_str(), nullptr);
    const std::string bin = Narrow(testsupport::ProgramFolder());
    for (const std::string& file : {std::string(GetParam()), std::string("Quorlane.dll")}) {
      ASSERT_TRUE(::CopyFileA((bin + file).c_str(), (m_folder + file).c_str(), FALSE)) << file;
    }
    // No "*" line: a product code that arrives garbled (a declaration that
    // drops an argument) finds no site server.
    WriteBytes(m_folder + "Quorlane.ini", "[Products]\r\nSALES=networked,127.0.0.1\r\nINVENTORY=networked,127.0.0.1\r\n"
                                          "[Session]\r\nServerHost=127.0.0.1\r\nPort=" +
                                              std::to_string(m_site.port()) + "\r\nNetVersion=1\r\n");
  }

  /// Ann on her computer takes the lock first; her start time as the server keeps it.
  std::string AnnHolds(const std::string& database) {
    EXPECT_EQ(OtherWorkstation(m_site.port(), "[LOCKDB]" + database + ";ann;ANN-PC;"), "[LOCKDB]Y;;;");
    const std::string check = OtherWorkstation(m_site.port(), "[CHECKDBLOCK]" + database + ";admin;SERVER;");
    EXPECT_EQ(check.rfind("[CHECKDBLOCK]Y;ann;ANN-PC;", 0), 0u) << check;
    return FieldOf(check, 3);
  }

  [[nodiscard]] std::string Check(const std::string& database) const {
    return OtherWorkstation(m_site.port(), "[CHECKDBLOCK]" + database + ";admin;SERVER;");
  }

  /// Runs the example with `arguments`; its exit status must be 0.
  std::string Run(const std::string& arguments) {
    const auto result = testsupport::RunProcess(L"\"" + Wide(m_folder + GetParam()) + L"\" " + Wide(arguments), 30000);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    return result.output;
  }

  static std::string Expected(const std::vector<std::string>& lines) {
    std::string text = "Quorlane from a " + std::to_string(sizeof(void*) * 8) + "-bit host\r\n";
    for (const auto& line : lines) text += line + "\r\n";
    return text;
  }

 private:
  ScratchFolder m_scratch;
  ServerProcess m_site, m_update;
  std::string m_folder;
};

// Code page 1252: the lock is free, taken and given back; the server holds
// no lock afterwards. The database's name is no product code of the ini, so
// a product code lost on its way fails the lock, and the two names swapped
// leave a lock behind.
using OnAnEnglishSystem = ExampleHost;
TEST_P(OnAnEnglishSystem, TakesAndReleasesTheLockReadsTheVatListAndFindsTheUpdate) {
  EXPECT_EQ(Run("ORDERS SALES"),
            Expected({"lock ORDERS: granted", "unlock ORDERS: done", "VAT list: 3 rates", "  TX;5%", "  ZR;0%", "  EX;-",
                      std::string("update address of SALES: ") + kUpdateAddress}));
  EXPECT_EQ(Check("ORDERS"), "[CHECKDBLOCK]N;;;");
  EXPECT_EQ(Check("SALES"), "[CHECKDBLOCK]N;;;") << "a lock taken under the product's name";
}

// Code page 950: refused, naming the holder; the Big5 message is shown as it
// is. An application the update server does not know has no address.
using OnATraditionalChineseSystem = ExampleHost;
TEST_P(OnATraditionalChineseSystem, NamesTheHolderWithTheBig5Message) {
  const std::string since = AnnHolds("ORDERS");
  EXPECT_EQ(Run("ORDERS INVENTORY"),
            Expected({"lock ORDERS: refused", std::string("  ") + kLockedBig5 + ": ann on ANN-PC since " + since,
                      "VAT list: 3 rates", "  TX;5%", "  ZR;0%", "  EX;-",
                      "update address of INVENTORY: none (the update server does not know it)"}));
  EXPECT_EQ(Check("ORDERS"), "[CHECKDBLOCK]Y;ann;ANN-PC;" + since + ";") << "still ann's";
}

// Code page 936 (Chinese, PRC): the same refusal, the message converted to
// GBK; database and product by default.
using OnASimplifiedChineseSystem = ExampleHost;
TEST_P(OnASimplifiedChineseSystem, NamesTheHolderWithTheMessageInGbk) {
  const std::string since = AnnHolds("SALES");
  EXPECT_EQ(Run(""), Expected({"lock SALES: refused", std::string("  ") + kLockedGbk + ": ann on ANN-PC since " + since,
                               "VAT list: 3 rates", "  TX;5%", "  ZR;0%", "  EX;-",
                               std::string("update address of SALES: ") + kUpdateAddress}));
}

std::string ExampleName(const ::testing::TestParamInfo<const char*>& info) {
  return std::string(info.param).find("pascal") != std::string::npos ? "Pascal" : "C";
}

const char* const kExamples[] = {"workstation-c.exe", "workstation-pascal.exe"};
INSTANTIATE_TEST_SUITE_P(Example, OnAnEnglishSystem, ::testing::ValuesIn(kExamples), ExampleName);
INSTANTIATE_TEST_SUITE_P(Example, OnATraditionalChineseSystem, ::testing::ValuesIn(kExamples), ExampleName);
INSTANTIATE_TEST_SUITE_P(Example, OnASimplifiedChineseSystem, ::testing::ValuesIn(kExamples), ExampleName);

}  // namespace
