// The session of the real DLL under Wine against a scripted loopback peer.
#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "session_fixture.h"

using namespace std::chrono_literals;
using testdoubles::Close;
using testdoubles::Frame;
using testdoubles::Pause;
using testdoubles::Reply;
using testdoubles::Reset;
using testdoubles::ScriptedPeer;
using testdoubles::Send;
using sessiontest::IniFile;
using sessiontest::InstalledLibrary;

namespace {

bool IsTag(const std::string& request, const char* tag) { return request.rfind(std::string("[BEGIN]") + tag, 0) == 0; }

IniFile NetworkedAt(std::uint16_t port, const char* host = "127.0.0.1") {
  IniFile ini;
  ini.products = {std::string("sales=networked,") + host};
  ini.session = {"Port=" + std::to_string(port)};
  return ini;
}

class SessionAgainstPeer : public ::testing::Test {
 protected:
  testdoubles::WinsockSession winsock;
};

TEST_F(SessionAgainstPeer, LockSendsKeyUserAndComputerAndGrantedLockReadsY) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[LOCKDB]", "Y;;;"); });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db;1", "sales"), "Y; ; ; ");
  const auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 1u);
  // A key that contains ";" goes out unchanged, as extra fields.
  EXPECT_EQ(requests[0],
            "[BEGIN][LOCKDB]db;1;" + sessiontest::UserName() + ";" + sessiontest::ComputerName() + ";[END]");
}

// The lock operation is followed, where the case says so, by the operation
// under test; the peer answers that one with the scripted reply.
enum class Op { Lock, Unlock, Force, Check };

struct ReplyCase {
  const char* name;
  Op op;
  Reply reply;
  const char* expected;
};

class ScriptedReplies : public SessionAgainstPeer, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ScriptedReplies, ResultText) {
  const ReplyCase& c = GetParam();
  ScriptedPeer peer([&](const std::string& request, int index) {
    if (c.op != Op::Lock && index == 0) return Frame("[LOCKDB]", "Y;;;");
    static_cast<void>(request);
    return c.reply;
  });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  std::string result;
  switch (c.op) {
    case Op::Lock: result = dll.Lock("db1", "sales"); break;
    case Op::Unlock: ASSERT_EQ(dll.Lock("db1", "sales"), "Y; ; ; "); result = dll.Unlock("db1"); break;
    case Op::Force: ASSERT_EQ(dll.Lock("db1", "sales"), "Y; ; ; "); result = dll.ForceUnlock("db1"); break;
    case Op::Check: ASSERT_EQ(dll.Lock("db1", "sales"), "Y; ; ; "); result = dll.Check("db1"); break;
  }
  EXPECT_EQ(result, c.expected);
}

const std::string kRefusal = "N;ann;PC01;2024/1/2 10:00;";

INSTANTIATE_TEST_SUITE_P(
    Session, ScriptedReplies,
    ::testing::Values(
        ReplyCase{"RefusedLockNamesTheHolder", Op::Lock, Frame("[LOCKDB]", kRefusal), "N;ann;PC01;2024/1/2 10:00"},
        ReplyCase{"UnexpectedAnswerStillFillsHolder", Op::Lock, Frame("[LOCKDB]", "X;ann;PC01;10:00;"),
                  "N;ann;PC01;10:00"},
        ReplyCase{"ReplySplitOverThreeSends", Op::Lock,
                  {Send("[BEGIN][LO"), Pause(150), Send("CKDB]N;ann;PC"), Pause(150), Send("01;t;[E"), Pause(150),
                   Send("ND]")},
                  "N;ann;PC01;t"},
        ReplyCase{"ShortFirstSegment", Op::Lock, {Send("[BE"), Pause(150), Send("GIN][LOCKDB]Y;;;[END]")}, "Y; ; ; "},
        ReplyCase{"OtherTagAfterJunk", Op::Lock, Frame("junk[DELETEFILE]", "N;x;y;z;"), "N;;;"},
        ReplyCase{"JunkBeforeTagIsIgnored", Op::Lock, Frame("junk", "[LOCKDB]Y;;;"), "Y; ; ; "},
        ReplyCase{"WrongTagGivesNoPayload", Op::Lock, Frame("[UNLOCKDB]", "Y;;;"), "N;;;"},
        ReplyCase{"ClosedMidReply", Op::Lock, {Send("[BEGIN][LOCKDB]N;ann"), Pause(100), Close()}, "N;;;"},
        ReplyCase{"ResetMidReply", Op::Lock, {Send("[BEGIN][LOCKDB]N;ann"), Pause(100), Reset()}, "N;;;"},
        ReplyCase{"OversizedReplyIsDropped", Op::Lock,
                  {Send("[BEGIN][LOCKDB]Y;" + std::string(17u * 1024u * 1024u, 'x'))}, "N;;;"},
        ReplyCase{"CheckOfLockedKeySplit", Op::Check,
                  {Send("[BEGIN][CHECKDBLOCK]Y;ann;"), Pause(150), Send("PC01;2024/1/2 10:00;[END]")},
                  "Y;ann;PC01;2024/1/2 10:00"},
        ReplyCase{"CheckOfFreeKey", Op::Check, Frame("[CHECKDBLOCK]", "N;;;"), "N; ; ; "},
        ReplyCase{"CheckWithShortPayload", Op::Check, Frame("[CHECKDBLOCK]", "N;ann;"), "N; ; ; "},
        ReplyCase{"UnlockRefusedNamesTheHolder", Op::Unlock, Frame("[UNLOCKDB]", kRefusal),
                  "N;ann;PC01;2024/1/2 10:00"},
        ReplyCase{"UnlockGranted", Op::Unlock, Frame("[UNLOCKDB]", "Y;;;"), "Y; ; ; "},
        ReplyCase{"ForceUnlockRefusedShowsNoHolder", Op::Force, Frame("[FORCEUNLOCKDB]", kRefusal), "N; ; ; "},
        ReplyCase{"ForceUnlockGranted", Op::Force, Frame("[FORCEUNLOCKDB]", "Y;;;"), "Y; ; ; "},
        // These two wait out the 12 s reply limit.
        ReplyCase{"NoEndMarker", Op::Lock, {Send("[BEGIN][LOCKDB]Y;;;")}, "N;;;"},
        ReplyCase{"FrameNotAtTheStartOfTheChunk", Op::Lock, {Send("xx[BEGIN][LOCKDB]Y;;;[END]")}, "N;;;"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SessionAgainstPeer, ClosedConnectionDuringReplyDoesNotBlockLaterOperations) {
  ScriptedPeer peer([](const std::string&, int index) -> Reply {
    if (index == 0) return {Send("[BEGIN][LOCKDB]N;ann"), Pause(100), Close()};
    return Frame("[LOCKDB]", "Y;;;");
  });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;;;");
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ") << "an incomplete reply must not refuse every later operation";
  EXPECT_EQ(peer.connections(), 4) << "probe and open, twice";
}

TEST_F(SessionAgainstPeer, UnlockAfterServerClosedRepeatsLastHolderWithoutSending) {
  ScriptedPeer peer([](const std::string&, int) -> Reply { return {Send("[BEGIN][LOCKDB]" + kRefusal + "[END]"), Pause(50), Close()}; });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;ann;PC01;2024/1/2 10:00");
  sessiontest::PumpFor(300ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dll.Unlock("db1"), "N;ann;PC01;2024/1/2 10:00");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << "no wait takes place without a connection";
  EXPECT_EQ(peer.requests().size(), 1u);
}

TEST_F(SessionAgainstPeer, LateReplyNeverReachesTheNextRequest) {
  ScriptedPeer peer([](const std::string&, int index) -> Reply {
    if (index == 0) return {Pause(12600), Send("[BEGIN][LOCKDB]Y;;;[END]")};
    return Frame("[LOCKDB]", "N;bob;PC02;t;");
  });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;;;");
  // The late reply arrives before the next request, while the host is busy.
  std::this_thread::sleep_for(1000ms);
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;bob;PC02;t");
}

TEST_F(SessionAgainstPeer, TwoOperationsProbeAndOpenOnce) {
  ScriptedPeer peer([](const std::string& request, int) {
    return IsTag(request, "[LOCKDB]") ? Frame("[LOCKDB]", "Y;;;") : Frame("[CHECKDBLOCK]", "N;;;");
  });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  EXPECT_EQ(dll.Lock("db2", "sales"), "Y; ; ; ");
  EXPECT_EQ(dll.Check("db1"), "N; ; ; ");
  EXPECT_EQ(peer.connections(), 2);
  EXPECT_TRUE(peer.WaitForEnded(1, 2s));
  EXPECT_EQ(peer.probes(), 1);
}

TEST_F(SessionAgainstPeer, SwitchingServerTextReopensByHostNameAndByAddress) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[LOCKDB]", "Y;;;"); });
  IniFile ini = NetworkedAt(peer.port());
  ini.products.push_back("byname=networked,localhost");
  InstalledLibrary dll(ini);
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  EXPECT_EQ(dll.Lock("db1", "byname"), "Y; ; ; ");
  EXPECT_EQ(dll.Lock("db1", "byname"), "Y; ; ; ");
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  EXPECT_EQ(peer.connections(), 6);
  EXPECT_TRUE(peer.WaitForEnded(5, 3s));
  EXPECT_EQ(peer.probes(), 3);
  EXPECT_EQ(peer.closedByClient(), 2) << "each switch closes the connection it leaves";
  EXPECT_EQ(peer.requests().size(), 4u);
}

TEST_F(SessionAgainstPeer, ProbeThatHangsGivesUpAtItsLimit) {
  testdoubles::HangingListener listener;
  if (!listener.hangs()) GTEST_SKIP() << "this system accepts every loopback connect";
  InstalledLibrary dll(NetworkedAt(listener.port()));
  ASSERT_TRUE(dll.loaded());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;;;");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 2900ms);
  EXPECT_LT(elapsed, 8000ms);
}

TEST_F(SessionAgainstPeer, RefusedConnectionFailsTheLock) {
  std::uint16_t port = 0;
  {
    ScriptedPeer closed([](const std::string&, int) { return Reply{}; });
    port = closed.port();
  }
  InstalledLibrary dll(NetworkedAt(port));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;;;");
}

TEST_F(SessionAgainstPeer, StandaloneInstallationSendsNothing) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[LOCKDB]", "N;x;y;z;"); });
  IniFile ini;
  ini.products = {"*=standalone"};
  ini.session = {"Port=" + std::to_string(peer.port()), "NetVersion=1"};
  InstalledLibrary dll(ini);
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "anything"), "Y; ; ; ");
  EXPECT_EQ(dll.Unlock("db1"), "Y; ; ; ");
  EXPECT_EQ(dll.ForceUnlock("db1"), "Y; ; ; ");
  EXPECT_EQ(dll.Check("db1"), "N; ; ; ");
  EXPECT_EQ(peer.connections(), 0);
}

TEST_F(SessionAgainstPeer, UndeterminedModeRefusesTheLockAndLeavesNetVersion) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[LOCKDB]", "Y;;;"); });
  IniFile ini;
  ini.products = {"other=networked,127.0.0.1"};
  ini.session = {"Port=" + std::to_string(peer.port())};
  InstalledLibrary dll(ini);
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;;;");
  EXPECT_EQ(dll.Unlock("db1"), "Y; ; ; ") << "still standalone";
  EXPECT_EQ(peer.connections(), 0);
}

TEST_F(SessionAgainstPeer, BlankServerHostSendsNothingAndDoesNotWait) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[LOCKDB]", "Y;;;"); });
  IniFile ini;
  ini.products = {"sales=networked,  "};
  ini.session = {"Port=" + std::to_string(peer.port()), "NetVersion=1", "ServerHost= "};
  InstalledLibrary dll(ini);
  ASSERT_TRUE(dll.loaded());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dll.Check("db1"), "N; ; ; ");
  EXPECT_EQ(dll.Unlock("db1"), "N;;;");
  EXPECT_EQ(dll.ForceUnlock("db1"), "N; ; ; ");
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;;;");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_EQ(peer.connections(), 0);
}

TEST_F(SessionAgainstPeer, TraceFileRecordsEachChunkWhenTheMarkerExists) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[LOCKDB]", "Y;;;"); });
  IniFile ini = NetworkedAt(peer.port());
  ini.traceMarker = true;
  std::string trace;
  {
    InstalledLibrary dll(ini);
    ASSERT_TRUE(dll.loaded());
    EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
    char program[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string name(program, n);
    name = name.substr(name.find_last_of("\\/") + 1);
    name = name.substr(0, name.rfind('.'));
    std::ifstream in(dll.folder() + name + "_DebugInfo.txt", std::ios::binary);
    trace.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::regex lines(
      "\\d{1,2}/\\d{1,2} \\d\\d:\\d\\d:\\d\\d ClientSocketRead-.+BEGIN.+, Receive:\\[BEGIN\\]\\[LOCKDB\\]Y;;;\\[END\\]\r\n"
      "\\d{1,2}/\\d{1,2} \\d\\d:\\d\\d:\\d\\d ClientSocketRead, FReceivedData:\\[LOCKDB\\]Y;;;\r\n");
  EXPECT_TRUE(std::regex_match(trace, lines)) << trace;
}

TEST_F(SessionAgainstPeer, NoTraceFileWithoutTheMarker) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[LOCKDB]", "Y;;;"); });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((dll.folder() + "*_DebugInfo.txt").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
}

}  // namespace

namespace {

// A check empties the holder fields and then takes what its payload names;
// a failed unlock without a usable reply shows them as they were left.
TEST_F(SessionAgainstPeer, HolderFieldsFromAShortCheckPayloadShowInALaterFailedUnlock) {
  ScriptedPeer peer([](const std::string& request, int) -> Reply {
    if (IsTag(request, "[LOCKDB]")) return Frame("[LOCKDB]", kRefusal);
    if (IsTag(request, "[CHECKDBLOCK]")) return Frame("[CHECKDBLOCK]", "N;ann;");
    return Frame("[QLERROR]", "unknown");
  });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Lock("db1", "sales"), "N;ann;PC01;2024/1/2 10:00");
  EXPECT_EQ(dll.Check("db1"), "N; ; ; ");
  EXPECT_EQ(dll.Unlock("db1"), "N;ann;;");
}

}  // namespace

namespace {

InstalledLibrary* g_nestedLibrary = nullptr;
std::string g_nestedResult;

void CALLBACK NestedCheck(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  g_nestedResult = g_nestedLibrary->Check("db1");
}

// The reply waits pump the host's messages; a handler that calls in while a
// reply is arriving is refused by Receiving and sends nothing.
TEST_F(SessionAgainstPeer, NestedCallWhileAReplyArrivesIsRefused) {
  ScriptedPeer peer([](const std::string&, int index) -> Reply {
    if (index == 0) return Frame("[LOCKDB]", "Y;;;");
    return {Send("[BEGIN][LOCKDB]Y;"), Pause(700), Send(";;[END]")};
  });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  ASSERT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  g_nestedLibrary = &dll;
  g_nestedResult = "(not called)";
  ASSERT_NE(::SetTimer(nullptr, 0, 300, &NestedCheck), 0u);
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  g_nestedLibrary = nullptr;
  EXPECT_EQ(g_nestedResult, "N; ; ; ");
  EXPECT_EQ(peer.requests().size(), 2u) << "the nested check must not be sent";
}

}  // namespace

namespace {

std::vector<WPARAM> g_unicodeChars, g_ansiChars;

LRESULT CALLBACK RecordUnicodeChar(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CHAR) g_unicodeChars.push_back(wParam);
  return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK RecordAnsiChar(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CHAR) g_ansiChars.push_back(wParam);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// A host's typed characters reach its windows as its own loop would deliver
// them while a wait pumps: a Unicode window (every .NET window) gets the
// UTF-16 character, an ANSI window the code-page byte.
TEST_F(SessionAgainstPeer, WaitDeliversTypedCharactersInTheWindowsOwnCharacterSet) {
  WNDCLASSW unicodeClass{};
  unicodeClass.lpfnWndProc = &RecordUnicodeChar;
  unicodeClass.hInstance = ::GetModuleHandleW(nullptr);
  unicodeClass.lpszClassName = L"QuorlaneTestUnicodeHost";
  ::RegisterClassW(&unicodeClass);
  WNDCLASSA ansiClass{};
  ansiClass.lpfnWndProc = &RecordAnsiChar;
  ansiClass.hInstance = ::GetModuleHandleW(nullptr);
  ansiClass.lpszClassName = "QuorlaneTestAnsiHost";
  ::RegisterClassA(&ansiClass);
  win32::UniqueWindow unicodeWindow(::CreateWindowExW(0, L"QuorlaneTestUnicodeHost", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                      nullptr, unicodeClass.hInstance, nullptr));
  win32::UniqueWindow ansiWindow(::CreateWindowExA(0, "QuorlaneTestAnsiHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                                   ansiClass.hInstance, nullptr));
  ASSERT_TRUE(unicodeWindow && ansiWindow);
  ASSERT_TRUE(::IsWindowUnicode(unicodeWindow.get()));
  ASSERT_FALSE(::IsWindowUnicode(ansiWindow.get()));

  ScriptedPeer peer([](const std::string&, int) -> Reply { return {Pause(400), Send("[BEGIN][LOCKDB]Y;;;[END]")}; });
  InstalledLibrary dll(NetworkedAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  g_unicodeChars.clear();
  g_ansiChars.clear();
  // U+4E2D has no form in the ANSI code page of this test (1252); 0xE9 is é there.
  ASSERT_TRUE(::PostMessageW(unicodeWindow.get(), WM_CHAR, 0x4E2D, 1));
  ASSERT_TRUE(::PostMessageA(ansiWindow.get(), WM_CHAR, 0xE9, 1));
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  EXPECT_EQ(g_unicodeChars, std::vector<WPARAM>{0x4E2D});
  EXPECT_EQ(g_ansiChars, std::vector<WPARAM>{0xE9});
}

}  // namespace

namespace {

// The service requests, the file-size query, the VAT list and the key over a
// scripted peer: frames, payloads, the host argument and its connection.
IniFile NetVersionAt(std::uint16_t port, const char* serverHost = nullptr) {
  IniFile ini;
  ini.session = {"Port=" + std::to_string(port), "NetVersion=1"};
  if (serverHost) ini.session.push_back(std::string("ServerHost=") + serverHost);
  return ini;
}

TEST_F(SessionAgainstPeer, AServiceRequestIsOneOnlyForAPayloadOfExactlyY) {
  const std::vector<std::pair<std::string, int>> payloads = {
      {"Y", 1}, {"Y;", 0}, {"N;stopped", 0}, {"", 0}, {"y", 0}, {"YES", 0}};
  std::size_t next = 0;
  ScriptedPeer peer([&](const std::string& request, int) {
    const std::string tag = request.substr(7, request.find(']', 7) - 6);
    return Frame("junk" + tag, payloads[next++ % payloads.size()].first);
  });
  InstalledLibrary dll(NetVersionAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  const char* exports[] = {"StartServerService", "StopServerService", "ServerServiceStarted"};
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    EXPECT_EQ(dll.Flag(exports[i % 3], "127.0.0.1", "spooler"), payloads[i].second) << payloads[i].first;
  }
  const auto requests = peer.requests();
  ASSERT_EQ(requests.size(), payloads.size());
  EXPECT_EQ(requests[0], "[BEGIN][STARTTHESERVICE]spooler;[END]");
  EXPECT_EQ(requests[1], "[BEGIN][STOPTHESERVICE]spooler;[END]");
  EXPECT_EQ(requests[2], "[BEGIN][THESERVICESTARTED]spooler;[END]");
  EXPECT_EQ(peer.connections(), 2) << "one probe, one connection for all";
}

// The request opens the connection to its host argument and leaves it there:
// the file-size query, the VAT list and the key follow it. ServerHost is not
// changed, so a lock request afterwards moves the connection back.
TEST_F(SessionAgainstPeer, AServiceRequestLeavesTheConnectionOpenToItsHost) {
  ScriptedPeer peer([](const std::string& request, int) -> Reply {
    if (IsTag(request, "[STARTTHESERVICE]")) return Frame("[STARTTHESERVICE]", "Y");
    if (IsTag(request, "[FILESIZEINFO]")) return Frame("[FILESIZEINFO]", "Y;1024;3;");
    if (IsTag(request, "[GetVATList]")) return Frame("[GetVATList]", "A;5%\r\nB;;");
    if (IsTag(request, "[SaveVATList]")) return Frame("[SaveVATList]", "Y;");
    if (IsTag(request, "[GETTAXATIONKEY]")) return Frame("[GETTAXATIONKEY]", "key;with;separators");
    return Frame("[LOCKDB]", "Y;;;");
  });
  IniFile ini = NetVersionAt(peer.port());
  ini.products = {"sales=networked,127.0.0.1"};
  InstalledLibrary dll(ini);
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.Flag("StartServerService", "localhost", "svc"), 1);
  EXPECT_EQ(dll.Text("GetFileSizeInfo", "D:\\Data", "*.dbf"), "Y;1024;3;");
  EXPECT_EQ(dll.Text("GetVATList"), "A;5%\r\nB;;") << "the payload unchanged";
  dll.SaveVATList("X;1\r\nY;2");
  EXPECT_EQ(dll.Text("GetTaxationAPIKey"), "key;with;separators");
  EXPECT_EQ(peer.connections(), 2);
  EXPECT_EQ(dll.Lock("db1", "sales"), "Y; ; ; ");
  EXPECT_EQ(peer.connections(), 4) << "the lock goes back to 127.0.0.1";
  const auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[1], "[BEGIN][FILESIZEINFO]D:\\Data;*.dbf;[END]");
  EXPECT_EQ(requests[2], "[BEGIN][GetVATList][END]");
  EXPECT_EQ(requests[3], "[BEGIN][SaveVATList]X;1\r\nY;2;[END]");
  EXPECT_EQ(requests[4], "[BEGIN][GETTAXATIONKEY][END]");
}

// SendAndWait still wants ServerHost: the service request opens its
// connection and then sends nothing.
TEST_F(SessionAgainstPeer, ABlankServerHostLetsAServiceRequestConnectButNotSend) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[STARTTHESERVICE]", "Y"); });
  InstalledLibrary dll(NetVersionAt(peer.port(), " "));
  ASSERT_TRUE(dll.loaded());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dll.Flag("StartServerService", "127.0.0.1", "svc"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  // The peer accepts on a thread of its own; give it a moment (bounded).
  for (int i = 0; i < 100 && peer.connections() < 2; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(peer.connections(), 2) << "the probe and the service connection";
  EXPECT_TRUE(peer.requests().empty());
}

TEST_F(SessionAgainstPeer, WithoutAConnectionTheQueriesAnswerEmptyAtOnceAndSendNothing) {
  ScriptedPeer peer([](const std::string&, int) { return Frame("[GetVATList]", "list"); });
  InstalledLibrary dll(NetVersionAt(peer.port()));
  ASSERT_TRUE(dll.loaded());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dll.Text("GetFileSizeInfo", "D:\\Data", ""), "");
  EXPECT_EQ(dll.Text("GetVATList"), "");
  EXPECT_EQ(dll.Text("GetTaxationAPIKey"), "");
  dll.SaveVATList("A");
  EXPECT_EQ(dll.Text("DoDeleteFileDotNet", "C:\\x.txt"), "") << "networked: the empty text, not N;";
  EXPECT_EQ(dll.Text("DoCopyFileDotNet", "C:\\x.txt", "C:\\y.txt"), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_EQ(peer.connections(), 0);
}

TEST_F(SessionAgainstPeer, AServiceHostThatDoesNotAnswerTheProbeGivesZeroAtItsLimit) {
  testdoubles::HangingListener listener;
  if (!listener.hangs()) GTEST_SKIP() << "this system accepts every loopback connect";
  InstalledLibrary dll(NetVersionAt(listener.port()));
  ASSERT_TRUE(dll.loaded());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dll.Flag("ServerServiceStarted", "127.0.0.1", "svc"), 0);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 2900ms);
  EXPECT_LT(elapsed, 3300ms) << "the probe's 3,000 ms and no wait for a connection after it";
}

}  // namespace
