// The library's files, VAT list and taxation key through the real DLL under
// Wine, standalone, plus the trace lines of delete and copy. Runs with the
// Traditional Chinese code page (950): the trace's full-width brackets are
// Big5 bytes there, and a name such as 許 (B3 5C) has a trail byte that looks
// like "\".
#include <chrono>
#include <fstream>
#include <optional>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "../../reliability/library/process_census.h"
#include "file_race_win.h"
#include "session_fixture.h"
#include "keyfile/local_text.h"
#include "keyfile/taxation_key.h"

using namespace std::chrono_literals;
using sessiontest::IniFile;
using sessiontest::InstalledLibrary;
using sessiontest::WithoutTimeStamps;
using testdoubles::Frame;
using testdoubles::Pause;
using testdoubles::Reply;
using testdoubles::ScriptedPeer;
using testdoubles::Send;
using testsupport::Link;
using testsupport::PauseAfterCheck;

namespace {

const std::string kBegin = "\xA1\x69" "BEGIN\xA1\x6A";  // 【BEGIN】 in Big5
const std::string kEnd = "\xA1\x69" "END\xA1\x6A";
const std::string kXu = "\xB3\x5C";                    // 許

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

FILETIME ModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") names.insert(found.cFileName);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

IniFile Standalone() {
  IniFile ini;
  ini.products = {"*=standalone"};
  ini.traceMarker = true;
  return ini;
}

class StandaloneFiles : public ::testing::Test {
 protected:
  StandaloneFiles() : dll(Standalone()) {}
  std::string Delete(const std::string& file) { return dll.Text("DoDeleteFileDotNet", file); }
  std::string Copy(const std::string& source, const std::string& target) {
    return dll.Text("DoCopyFileDotNet", source, target);
  }
  std::string In(const std::string& name) const { return dll.folder() + name; }
  void NoTemporaryFilesLeft() const {
    for (const auto& name : Entries(dll.folder())) EXPECT_NE(name.rfind("~ql", 0), 0u) << name;
  }

  InstalledLibrary dll;
};

TEST_F(StandaloneFiles, DeleteCountsAMissingFileAsDeletedAndKeepsAReadOnlyOne) {
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(Delete(In("missing.txt")), "Y;");
  EXPECT_EQ(Delete(In("no\\such\\folder.txt")), "Y;");
  WriteBytes(In("ro.txt"), "keep");
  ::SetFileAttributesA(In("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Delete(In("ro.txt")), "N;5") << "access denied, as the platform reports it";
  EXPECT_TRUE(Exists(In("ro.txt")));
  WriteBytes(In(kXu + ".txt"), "x");
  EXPECT_EQ(Delete(In(kXu + ".txt")), "Y;");
  EXPECT_FALSE(Exists(In(kXu + ".txt")));
  const std::string first = "DoDeleteFile-" + kBegin + "\r\nDeleteFileName:" + In("missing.txt") +
                            "\r\nxKey.DoDeleteFile:Y;\r\nDoDeleteFile-" + kEnd + "\r\n";
  EXPECT_EQ(WithoutTimeStamps(dll.Trace()).substr(0, first.size()), first);
  ::SetFileAttributesA(In("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StandaloneFiles, CopyReplacesAReadOnlyTargetAndGivesItTheSourcesTime) {
  ASSERT_TRUE(dll.loaded());
  std::string content(200 * 1024, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + i / 7);
  WriteBytes(In("source.bin"), content);
  {
    win32::UniqueFile source(::CreateFileA(In("source.bin").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                           0, nullptr));
    FILETIME old{0x12345600u, 0x01C0A000u};  // in 2001
    ASSERT_TRUE(::SetFileTime(source.get(), nullptr, nullptr, &old));
  }
  WriteBytes(In("target.bin"), "old target");
  ::SetFileAttributesA(In("target.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Copy(In("source.bin"), In("target.bin")), "Y;");
  EXPECT_EQ(ReadBytes(In("target.bin")), content);
  const FILETIME copied = ModifiedTime(In("target.bin")), original = ModifiedTime(In("source.bin"));
  EXPECT_EQ(::CompareFileTime(&copied, &original), 0);
  EXPECT_EQ(::GetFileAttributesA(In("target.bin").c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  EXPECT_EQ(WithoutTimeStamps(dll.Trace()),
            "DoCopyFile-" + kBegin + "\r\nSourceFileName:" + In("source.bin") + ", TargetFileName:" + In("target.bin") +
                "\r\nxKey.DoCopyFile:Y;\r\nDoCopyFile-" + kEnd + "\r\n");
  NoTemporaryFilesLeft();
}

TEST_F(StandaloneFiles, OnlyTheLastFolderLevelIsCreatedAndDoubleByteNamesStayWhole) {
  ASSERT_TRUE(dll.loaded());
  WriteBytes(In("s.txt"), "s");
  EXPECT_EQ(Copy(In("s.txt"), In("New\\File.txt")), "Y;");
  EXPECT_EQ(ReadBytes(In("New\\File.txt")), "s");
  EXPECT_EQ(Copy(In("s.txt"), In("A\\B\\File.txt")), "N;3");
  EXPECT_FALSE(Exists(In("A")));
  // Wine names files on the Linux side in the locale's character set; without
  // a Linux locale for it, non-ASCII names cannot be created at all.
  {
    win32::UniqueFile probe(::CreateFileA(In(kXu + ".probe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!probe) GTEST_SKIP() << "this system cannot create a file named " << kXu << " (Windows error " << ::GetLastError() << ")";
  }
  // The "\" inside 許 is a trail byte, not a folder delimiter.
  EXPECT_EQ(Copy(In("s.txt"), In(kXu + ".txt")), "Y;");
  EXPECT_EQ(Copy(In("s.txt"), In(kXu + "\\File.txt")), "Y;");
  EXPECT_EQ(ReadBytes(In(kXu + "\\File.txt")), "s");
  // Nothing else was created on the way (a folder named after the lead byte, say).
  EXPECT_EQ(Entries(dll.folder()), (std::set<std::string>{"New", "Quorlane.debug", "Quorlane.dll", "Quorlane.ini",
                                                          "s.txt", kXu, kXu + ".txt", "session_files_test_DebugInfo.txt"}));
}

TEST_F(StandaloneFiles, AFailedCopyLeavesTheOldTargetWholeAndNoTemporaryFile) {
  ASSERT_TRUE(dll.loaded());
  WriteBytes(In("source.txt"), "new");
  WriteBytes(In("target.txt"), "old target");
  EXPECT_EQ(Copy(In("missing.txt"), In("target.txt")), "N;2");
  {
    // Another program has the source open: it cannot be opened without sharing.
    win32::UniqueFile reader(::CreateFileA(In("source.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(Copy(In("source.txt"), In("target.txt")), "N;32");
  }
  {
    // Another program has the target open without delete sharing.
    win32::UniqueFile holder(::CreateFileA(In("target.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(Copy(In("source.txt"), In("target.txt")), "N;32");
  }
  EXPECT_EQ(ReadBytes(In("target.txt")), "old target");
  // A source that ends before the size it had when opened (a Linux sysfs
  // file reports 4096 bytes and holds a few): the copy fails half-way.
  const std::string shortSource = "Z:\\sys\\devices\\system\\cpu\\online";
  if (Exists(shortSource)) {
    EXPECT_EQ(Copy(shortSource, In("target.txt")).substr(0, 2), "N;");
    EXPECT_EQ(ReadBytes(In("target.txt")), "old target");
  }
  NoTemporaryFilesLeft();
}

std::wstring WideOf(const std::string& ansi) {
  std::wstring wide(ansi.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// Only a file that is not there (or a folder) counts as deleted. A link that
// cannot be resolved (here one that leads to itself) is there: its
// attributes cannot be read, and neither can it be deleted.
TEST_F(StandaloneFiles, DeleteAnswersTheFailedDeletesCodeWhenTheFileMayBeThere) {
  ASSERT_TRUE(dll.loaded());
  ::CreateDirectoryA(In("folder").c_str(), nullptr);
  for (const char* name : {"folder", "a<b.txt", "missing\\x.txt"}) EXPECT_EQ(Delete(In(name)), "Y;") << name;
  const Link loop(WideOf(In("loop")), WideOf(In("loop"))), loopFolder(WideOf(In("loopdir")), WideOf(In("loopdir")));
  if (!loop || !loopFolder) GTEST_SKIP() << "this system can make no links";
  EXPECT_EQ(Delete(In("loop")), "N;1921");
  EXPECT_EQ(Delete(In("loopdir\\x.txt")), "N;1921");
}

// The copy holds the target's folder from its check until it is done: a
// program that tries to rename it meanwhile (to put a link to another folder
// in its place) is refused, and the copy lands where it was checked.
TEST_F(StandaloneFiles, TheTargetsFolderIsHeldUntilTheCopyIsDone) {
  ASSERT_TRUE(dll.loaded());
  WriteBytes(In("source.txt"), "new");
  ::CreateDirectoryA(In("dst").c_str(), nullptr);
  ::CreateDirectoryA(In("elsewhere").c_str(), nullptr);
  WriteBytes(In("dst\\target.txt"), "old");
  WriteBytes(In("elsewhere\\target.txt"), "other");
  for (const char* target : {"dst\\target.txt", "dst\\New\\target.txt"}) {
    DWORD renameError = ERROR_SUCCESS;
    std::string result;
    std::optional<Link> swappedIn;
    {
      PauseAfterCheck pause([&] {
        renameError = ::MoveFileA(In("dst").c_str(), In("dst-moved").c_str()) ? ERROR_SUCCESS : ::GetLastError();
        if (renameError == ERROR_SUCCESS) swappedIn.emplace(WideOf(In("dst")), WideOf(In("elsewhere")));
      });
      result = Copy(In("source.txt"), In(target));
      EXPECT_TRUE(pause.Reached()) << target;
    }
    EXPECT_EQ(renameError, DWORD{ERROR_SHARING_VIOLATION}) << target;
    EXPECT_EQ(result, "Y;") << target;
    EXPECT_EQ(ReadBytes(In(target)), "new") << target;
  }
  EXPECT_EQ(ReadBytes(In("elsewhere\\target.txt")), "other");
  EXPECT_FALSE(Exists(In("elsewhere\\New")));
  NoTemporaryFilesLeft();
}

// Every way a copy or delete ends closes what it opened: the held folders,
// the source, the old target, the temporary file.
TEST_F(StandaloneFiles, CopiesAndDeletesLeaveNoHandleOpen) {
  ASSERT_TRUE(dll.loaded());
  WriteBytes(In("source.txt"), "new");
  ::CreateDirectoryA(In("dst").c_str(), nullptr);
  const auto round = [&] {
    WriteBytes(In("dst\\ro.txt"), "old");
    ::SetFileAttributesA(In("dst\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Copy(In("source.txt"), In("dst\\ro.txt")), "Y;");
    EXPECT_EQ(Copy(In("source.txt"), In("dst\\New\\f.txt")), "Y;");
    EXPECT_EQ(Copy(In("source.txt"), In("source.txt")), "Y;") << "onto itself";
    EXPECT_EQ(Copy(In("missing.txt"), In("dst\\x.txt")), "N;2");
    EXPECT_EQ(Copy(In("source.txt"), In("A\\B\\x.txt")), "N;3");
    EXPECT_EQ(Copy(In("source.txt"), In("dst")), "N;5") << "a folder is not replaced";
    {
      win32::UniqueFile holder(::CreateFileA(In("dst\\ro.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
      EXPECT_EQ(Copy(In("source.txt"), In("dst\\ro.txt")), "N;32");
      EXPECT_EQ(Delete(In("dst\\ro.txt")), "N;32");
    }
    EXPECT_EQ(Delete(In("dst\\ro.txt")), "Y;");
    EXPECT_EQ(Delete(In("dst\\New\\f.txt")), "Y;");
    ::RemoveDirectoryA(In("dst\\New").c_str());
  };
  round();
  // A leak on any of these paths leaves one handle per round; Wine itself
  // may open one or two on the way.
  const unsigned before = reliability::CountHandles();
  constexpr unsigned kRounds = 20;
  for (unsigned i = 0; i < kRounds; ++i) round();
  EXPECT_LT(reliability::CountHandles(), before + kRounds / 4);
  EXPECT_EQ(ReadBytes(In("source.txt")), "new");
  NoTemporaryFilesLeft();
}

TEST_F(StandaloneFiles, TheVatListFileHasCrLfLines) {
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Text("GetVATList"), "") << "no file yet";
  struct Case {
    const char* saved;
    const char* file;
  };
  const Case cases[] = {{"A\nB", "A\r\nB\r\n"},
                        {"A\r\nB\r\n", "A\r\nB\r\n"},
                        {"X\r\rY\r", "X\r\n\r\nY\r\n"},
                        {"\xA4\xA4;5%\n\n", "\xA4\xA4;5%\r\n\r\n"},
                        {"", ""}};
  for (const auto& c : cases) {
    dll.SaveVATList(c.saved);
    EXPECT_TRUE(Exists(In("VATList.txt")));
    EXPECT_EQ(ReadBytes(In("VATList.txt")), c.file) << c.saved;
    EXPECT_EQ(dll.Text("GetVATList"), c.file) << c.saved;
  }
  WriteBytes(In("VATList.txt"), "p\nq\rr");
  EXPECT_EQ(dll.Text("GetVATList"), "p\r\nq\r\nr\r\n");
  NoTemporaryFilesLeft();
}

IniFile OwnedBy(const std::string& owner) {
  IniFile ini = Standalone();
  ini.quorlane = {"Owner=" + owner};
  return ini;
}

std::wstring Wide(const std::string& ansi) {
  std::wstring wide(ansi.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(
      ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// quorlane-taxkey (its Windows build) writes the file; the DLL reads it.
TEST(TaxationKeyFile, TheLibraryReadsWhatTheToolWrites) {
  InstalledLibrary dll(OwnedBy("acme LTD"));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Text("GetTaxationAPIKey"), "") << "no file yet";
  const std::wstring tool = L"\"" + testsupport::ProgramFolder() + L"quorlane-taxkey.exe\" ";
  const std::wstring file = L" --file \"" + Wide(dll.folder()) + L"Taxation.txt\"";
  const std::string key = "tax-" + std::string(300, 'k') + "\xA4\xA4";
  auto written = testsupport::RunProcessWithInput(tool + L"write --owner \"ACME Ltd\"" + file, key + "\r\n");
  ASSERT_EQ(written.exitCode, 0u) << written.output;
  EXPECT_EQ(dll.Text("GetTaxationAPIKey"), key);
  for (const auto& line : quorlane::SplitTextLines(ReadBytes(dll.folder() + "Taxation.txt"))) {
    EXPECT_LE(line.size(), 255u);
  }
  const auto read = testsupport::RunProcess(tool + L"read" + file);
  EXPECT_EQ(read.output, "owner: ACME Ltd\nkey: " + key + "\n");
  EXPECT_EQ(testsupport::RunProcess(tool + L"read --owner acme" + file).exitCode, 1u);
  const auto tooLong = testsupport::RunProcessWithInput(tool + L"write --owner x" + file, std::string(400, 'k'));
  EXPECT_EQ(tooLong.exitCode, 1u);
  EXPECT_NE(tooLong.output.find("hold at most 363"), std::string::npos) << tooLong.output;
  EXPECT_EQ(dll.Text("GetTaxationAPIKey"), key) << "a refused key leaves the file as it was";
}

TEST(TaxationKeyFile, EveryFaultGivesTheEmptyText) {
  namespace taxkey = quorlane::taxkey;
  struct Case {
    const char* name;
    std::string owner;
    std::string file;  // empty: no file
    std::string key;
  };
  const std::string second = taxkey::Scramble("Acme==first", 1);
  const std::string third = taxkey::Scramble("+second", 2);
  const Case cases[] = {
      {"Matching", "ACME", "x\r\n" + second + "\r\n" + third + "\r\n", "first+second"},
      {"NoOwnerConfigured", "", "x\r\n" + taxkey::Scramble("==first", 1) + "\r\n" + third + "\r\n", ""},
      {"NoFile", "Acme", "", ""},
      {"WithoutSeparator", "Acme", "x\r\n" + taxkey::Scramble("Acme first", 1) + "\r\n" + third + "\r\n", ""},
      {"DamagedSecondLine", "Acme", "x\r\n" + second.substr(0, 20) + "Z" + second.substr(21) + "\r\n" + third, ""},
      {"ForeignThirdLine", "Acme", "x\r\n" + second + "\r\nplain key part\r\n", "first"},
      {"TwoLinesOnly", "Acme", "x\r\n" + second + "\r\n", ""},
  };
  for (const auto& c : cases) {
    InstalledLibrary dll(OwnedBy(c.owner));
    ASSERT_TRUE(dll.loaded());
    if (!c.file.empty()) WriteBytes(dll.folder() + "Taxation.txt", c.file);
    EXPECT_EQ(dll.Text("GetTaxationAPIKey"), c.key) << c.name;
  }
}

IniFile NetworkedAt(std::uint16_t port) {
  IniFile ini;
  ini.session = {"Port=" + std::to_string(port), "NetVersion=1"};
  ini.traceMarker = true;
  return ini;
}

InstalledLibrary* g_nested = nullptr;
std::string g_nestedResult;

void CALLBACK NestedDelete(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  g_nestedResult = g_nested->Text("DoDeleteFileDotNet", "C:\\nested.txt");
}

// A delete that a host handler starts while the reply of another arrives is
// refused by Receiving at once: its BEGIN line is the only trace it leaves.
TEST(NetworkedFiles, TraceLinesAndTheReceivingGuard) {
  testdoubles::WinsockSession winsock;
  ScriptedPeer peer([](const std::string& request, int) -> Reply {
    if (request.find("[STARTTHESERVICE]") != std::string::npos) return Frame("[STARTTHESERVICE]", "Y");
    return {Send("[BEGIN][DELETEFILE]N;"), Pause(700), Send("5[END]")};
  });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  ASSERT_EQ(dll.Flag("StartServerService", "127.0.0.1", "svc"), 1);
  g_nested = &dll;
  g_nestedResult = "(not called)";
  ASSERT_NE(::SetTimer(nullptr, 0, 300, &NestedDelete), 0u);
  EXPECT_EQ(dll.Text("DoDeleteFileDotNet", "C:\\" + kXu + ".txt"), "N;5");
  g_nested = nullptr;
  EXPECT_EQ(g_nestedResult, "");
  const auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 2u) << "the nested delete sends nothing";
  EXPECT_EQ(requests[1], "[BEGIN][DELETEFILE]C:\\" + kXu + ".txt;[END]");
  const std::string trace = WithoutTimeStamps(dll.Trace());
  const std::string deletion = trace.substr(trace.find("DoDeleteFile"));
  EXPECT_EQ(deletion, "DoDeleteFile-" + kBegin + "\r\n" +
                          "ClientSocketRead-" + kBegin + ", Receive:[BEGIN][DELETEFILE]N;\r\n" +
                          "ClientSocketRead, FReceivedData:[BEGIN][DELETEFILE]N;\r\n" +
                          "DoDeleteFile-" + kBegin + "\r\n" +
                          "ClientSocketRead-" + kBegin + ", Receive:5[END]\r\n" +
                          "ClientSocketRead, FReceivedData:[DELETEFILE]N;5\r\n" +
                          "DeleteFileName:C:\\" + kXu + ".txt\r\n" +
                          "xKey.DoDeleteFile:N;5\r\n" +
                          "DoDeleteFile-" + kEnd + "\r\n");
  const std::regex stamped("(\\d{1,2}/\\d{1,2} \\d\\d:\\d\\d:\\d\\d [^\r\n]*\r\n)+");
  EXPECT_TRUE(std::regex_match(dll.Trace(), stamped));
}

}  // namespace
