// GetAppSelfUpdURL through the real DLL under Wine, on the fixed port 9568:
// against a scripted peer (every way a reply can go), against the Windows
// build of the update server, with nothing there in each system language, and
// with a connect that hangs.
// CTest runs these one at a time (the port is fixed).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "child_process.h"
#include "line_peer.h"
#include "loaded_library.h"

namespace {

using testdoubles::CloseNow;
using testdoubles::LinePeer;
using testdoubles::PauseFor;
using testdoubles::ResetNow;
using testdoubles::SendLine;

// 無法連上主機:localhost, port 9568 in Big5, and in GBK (无法连上主机).
constexpr char kBig5Unreachable[] = "0,\xB5\x4C\xAA\x6B\xB3\x73\xA4\x57\xA5\x44\xBE\xF7:localhost, port 9568";
constexpr char kGbkUnreachable[] = "0,\xCE\xDE\xB7\xA8\xC1\xAC\xC9\xCF\xD6\xF7\xBB\xFA:localhost, port 9568";

class Library : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dll.loaded());
    lookUp = dll.get<QL_PFN_TextOfText>("GetAppSelfUpdURL");
  }
  void Start() { dll.get<QL_PFN_SetInitial>("SetInitial")(nullptr); }
  void TearDown() override {
    if (started) dll.get<QL_PFN_NoArgs>("FreeInitial")();
  }
  /// The result and how long the call took.
  std::string LookUp(const char* id, long* ms = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    const char* result = lookUp(id);
    if (ms) *ms = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    return result ? std::string(result) : std::string("(null)");
  }

  LoadedLibrary dll;
  QL_PFN_TextOfText lookUp = nullptr;
  bool started = false;
};

using UpdateLookup = Library;

TEST_F(UpdateLookup, ReplyLinesEndAtTheirLineFeedWithOrWithoutCr) {
  struct Case {
    const char* name;
    std::vector<testdoubles::LineStep> script;
    std::string result;
  } cases[] = {
      {"CrLf", {SendLine("abc\r\n")}, "1,,abc[END]"},
      {"LfAlone", {SendLine("abc\n")}, "1,,abc[END]"},
      {"SplitAndEmptyLine", {SendLine("\r"), PauseFor(50), SendLine("\n")}, "1,,[END]"},
      {"OnlyTheFirstLineCounts", {SendLine("first\r\nsecond\r\n"), CloseNow()}, "1,,first[END]"},
      {"LineThenClose", {SendLine("https://u/x\n"), CloseNow()}, "1,,https://u/x[END]"},
      {"LongestLine", {SendLine(std::string(16383, 'u') + "\r\n")}, "1,," + std::string(16383, 'u') + "[END]"},
      // After connecting, failures give the empty text.
      {"CloseBeforeLineFeed", {SendLine("abc"), CloseNow()}, ""},
      {"CloseAtOnce", {CloseNow()}, ""},
      {"Reset", {SendLine("ab"), ResetNow()}, ""},
      {"OverLongLine", {SendLine(std::string(16385, 'u'))}, ""},
      {"OverLongWithCr", {SendLine(std::string(16384, 'u') + "\r\n")}, ""},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    LinePeer peer(c.script);
    ASSERT_TRUE(peer.listening());
    long ms = 0;
    EXPECT_EQ(LookUp("SALES", &ms), c.result);
    EXPECT_LT(ms, 5000) << "no wait for silence";
    EXPECT_EQ(peer.request(), "A1;SALES;\r\n");
    EXPECT_TRUE(peer.WaitDone(5000)) << "the library closed its connection";
  }
}

TEST_F(UpdateLookup, SendsTheIdentifierAsItIsAndNullAsEmpty) {
  const std::pair<const char*, std::string> cases[] = {
      {"", "A1;;\r\n"}, {nullptr, "A1;;\r\n"}, {"a;b \xB3\x6E\xC5\xE9", "A1;a;b \xB3\x6E\xC5\xE9;\r\n"}};
  for (const auto& [id, line] : cases) {
    LinePeer peer({SendLine("x\r\n")});
    EXPECT_EQ(LookUp(id), "1,,x[END]");
    EXPECT_EQ(peer.request(), line);
  }
}

int gDispatched = 0;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) ++gDispatched;
  return DefWindowProcW(window, message, wParam, lParam);
}

// The call blocks without dispatching the thread's messages.
TEST_F(UpdateLookup, PumpsNoWindowMessagesWhileItWaits) {
  WNDCLASSW cls{};
  cls.lpfnWndProc = CountingWindowProc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"UpdateLookupPumpProbe";
  RegisterClassW(&cls);
  win32::UniqueWindow window(
      CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr));
  ASSERT_TRUE(window);
  LinePeer peer({PauseFor(300), SendLine("late\n")});
  PostMessageW(window.get(), WM_APP, 0, 0);
  EXPECT_EQ(LookUp("SALES"), "1,,late[END]");
  EXPECT_EQ(gDispatched, 0);
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, window.get(), WM_APP, WM_APP, PM_REMOVE)) << "still queued";
}

// The two cases that wait for the 10 s of silence.
TEST_F(UpdateLookup, SilenceForTenSecondsGivesAnEmptyReply) {
  LinePeer peer({});
  long ms = 0;
  EXPECT_EQ(LookUp("SALES", &ms), "1,,[END]");
  EXPECT_GE(ms, 9900);
  EXPECT_LT(ms, 14000);
}

TEST_F(UpdateLookup, PartOfALineThenSilenceGivesAnEmptyReply) {
  LinePeer peer({SendLine("http://half"), PauseFor(2000), SendLine("-way")});
  long ms = 0;
  EXPECT_EQ(LookUp("SALES", &ms), "1,,[END]");
  EXPECT_GE(ms, 11900) << "each wait is ten seconds of silence, not ten in all";
  EXPECT_LT(ms, 16000);
}

// A connect that hangs (the port's backlog is full, so the SYN is dropped) is
// given up after 5,000 ms with "0," and the message, as when nothing listens.
// The library resolves the host for IPv4 only: 127.0.0.1 is all it tries.
TEST_F(UpdateLookup, GivesUpAConnectThatHangsAfterFiveSeconds) {
  auto hanging = std::make_unique<testdoubles::HangingPort>();
  ASSERT_TRUE(hanging->hangs()) << "connects to a full backlog do not hang here";
  std::promise<std::pair<std::string, long>> done;
  auto outcome = done.get_future();
  std::thread caller([&] {
    long ms = 0;
    std::string result = LookUp("SALES", &ms);
    done.set_value({std::move(result), ms});
  });
  // Bounded even when the limit is broken: closing the listener makes the
  // next SYN retry be refused, and a call that still does not return ends
  // the test program instead of hanging the run.
  if (outcome.wait_for(std::chrono::seconds(9)) != std::future_status::ready) {
    ADD_FAILURE() << "still connecting after 9 s";
    hanging.reset();
    if (outcome.wait_for(std::chrono::seconds(40)) != std::future_status::ready) {
      std::fprintf(stderr, "GetAppSelfUpdURL did not return 40 s after the port closed\n");
      std::fflush(stderr);
      ::TerminateProcess(::GetCurrentProcess(), 3);
    }
  }
  caller.join();
  const auto [result, ms] = outcome.get();
  EXPECT_EQ(result, kBig5Unreachable);
  EXPECT_GE(ms, 4500) << "gave up before the limit";
  EXPECT_LT(ms, 9000) << "waited well past the limit";
}

// The Windows build of the update server, with a mapping.
TEST_F(UpdateLookup, AgainstTheUpdateServer) {
  const std::wstring folder = testsupport::ProgramFolder();
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string base = std::string(temp) + "quorlane-update-" + std::to_string(GetCurrentProcessId());
  std::ofstream(base + ".map", std::ios::binary)
      << "SALES = https://updates.example/sales.exe\r\na;b = semicolon\r\n\\xB3\\x6E = big5\r\n";
  win32::UniqueHandle process;
  std::string ready;
  // The port may still be held by an earlier run: try again, within limits.
  for (int attempt = 0; attempt < 20 && ready.empty(); ++attempt) {
    DeleteFileA((base + ".port").c_str());
    std::wstring line = L"\"" + folder + L"quorlane-update-server.exe\" --quiet --map \"";
    for (char c : base) line += static_cast<wchar_t>(c);
    line += L".map\" --port-file \"";
    for (char c : base) line += static_cast<wchar_t>(c);
    line += L".port\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &info));
    process.reset(info.hProcess);
    win32::UniqueHandle thread(info.hThread);
    for (int i = 0; i < 250 && ready.empty(); ++i) {
      std::stringstream text;
      text << std::ifstream(base + ".port").rdbuf();
      if (!text.str().empty() && text.str().back() == '\n') ready = text.str();
      if (WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0) break;
    }
    if (ready.empty()) Sleep(1000);
  }
  ASSERT_EQ(ready, "9568\n");
  EXPECT_EQ(LookUp("SALES"), "1,,https://updates.example/sales.exe[END]");
  EXPECT_EQ(LookUp("a;b"), "1,,semicolon[END]");
  EXPECT_EQ(LookUp("\xB3\x6E"), "1,,big5[END]");
  EXPECT_EQ(LookUp("unknown"), "1,,[END]");
  EXPECT_EQ(LookUp(""), "1,,[END]");
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 10000);
  DeleteFileA((base + ".map").c_str());
  DeleteFileA((base + ".port").c_str());
}

// Nothing listens: "0," and the message, converted only on a PRC system.
using UnreachableElsewhere = Library;

TEST_F(UnreachableElsewhere, GivesTheBig5MessageWithOrWithoutStartUp) {
  testdoubles::RefusingPort refusing;
  ASSERT_TRUE(refusing.held());
  EXPECT_EQ(LookUp("SALES"), kBig5Unreachable);
  Start();
  started = true;
  EXPECT_EQ(LookUp("SALES"), kBig5Unreachable);
}

using UnreachableOnPrc = Library;

TEST_F(UnreachableOnPrc, GivesTheGbkMessageAfterStartUpAndNoneBefore) {
  testdoubles::RefusingPort refusing;
  ASSERT_TRUE(refusing.held());
  EXPECT_EQ(LookUp("SALES"), "0,") << "no converter before SetInitial";
  Start();
  started = true;
  EXPECT_EQ(LookUp("SALES"), kGbkUnreachable);
}

}  // namespace
