// The real Talvora.exe under Wine: start-up sequence, single instance and
// hand-off, Windows 10 versus 11, runtime provisioning and new windows. The
// WebView2 runtime is the loader double; its journal shows what the shell
// asked for and in which order.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <atomic>
#include <mutex>
#include <thread>

#include "talvora_harness.h"

namespace {

using shelltest::ClickButton;
using shelltest::FindMessageBox;
using shelltest::JournalLine;
using shelltest::MessageBoxText;
using shelltest::Stage;
using shelltest::WaitUntil;

const std::wstring kInstallCaption = L"[Sorvik智能客服] MicrosoftEdgeWebview 組件安裝提示";
const std::wstring kInstallQuestion = L"找不到 Microsoft Edge Webview 組件，現在是否進行在線安裝？";
const std::wstring kInstallInformation =
    L"請確保網絡連接正常，安裝完成後請重新開啟 [Sorvik小幫手]。\r\n點擊 [確定] 按鈕開始進行在線安裝 Microsoft Edge Webview";
const std::wstring kParameterA = L"\"CustID=C1,ProductID=P1,TimeStamp=T1,AiURL=https://help.example/a?x=1|2\"";
const std::string kAddressA = "https://help.example/a?x=1,2";

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    versionGuard = std::make_unique<shelltest::WindowsVersionGuard>();
    shelltest::SetWindowsBuild(19041);
    stage = std::make_unique<Stage>(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    stage.reset();
    versionGuard.reset();
  }

  // Index of the first journal line starting with `prefix` at or after `from`, or -1.
  static int Find(const std::vector<JournalLine>& journal, const std::string& prefix, int from = 0) {
    for (int i = from; i < static_cast<int>(journal.size()); ++i) {
      if (journal[i].text.rfind(prefix, 0) == 0) return i;
    }
    return -1;
  }

  std::unique_ptr<shelltest::WindowsVersionGuard> versionGuard;
  std::unique_ptr<Stage> stage;
};

TEST_F(ShellTest, StartUpSequenceOpensThePageRecreatesOnceAndMaximises) {
  const HANDLE process = stage->Start(kParameterA);
  ASSERT_TRUE(stage->WaitForJournal("navigate n=2", 1, 10000));
  const HWND window = stage->MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ::IsZoomed(window) != FALSE; }, 3000));
  ::Sleep(200);

  const auto journal = stage->Journal();
  const std::string profile = shelltest::Utf8(stage->Profile());
  ASSERT_EQ(Find(journal, "create-environment n=1 browserFolder=(null) userData=" + profile +
                              "\\EdgeUserDataFolder\\sorvik_dovudi\\ options=(null)"),
            0);
  EXPECT_GE(Find(journal, "create-controller n=1 parent=TalvoraEdgeBrowser"), 0);
  // Creation completed first (the filter), then the handlers, then the page.
  const int filter = Find(journal, "filter n=1 uri=* context=3");
  const int handlers = Find(journal, "add_NavigationCompleted n=1");
  const int newWindow = Find(journal, "add_NewWindowRequested n=1");
  const int navigate = Find(journal, "navigate n=1 uri=" + kAddressA + " iconic=0 zoomed=0");
  ASSERT_GE(filter, 0);
  EXPECT_LT(filter, handlers);
  EXPECT_LT(handlers, navigate);
  EXPECT_LT(newWindow, navigate);
  // Created at 310 x 301, centred.
  const int left = (::GetSystemMetrics(SM_CXSCREEN) - 310) / 2;
  const int top = (::GetSystemMetrics(SM_CYSCREEN) - 301) / 2;
  EXPECT_NE(journal[navigate].text.find("window=" + std::to_string(left) + "," + std::to_string(top) + ",310,301"),
            std::string::npos)
      << journal[navigate].text;

  // The first completion re-creates the view, which reopens what it showed.
  const int completed = Find(journal, "navigation-completed n=1");
  ASSERT_GT(completed, navigate);
  const int source = Find(journal, "get_Source n=1", completed);
  const int close = Find(journal, "close n=1", completed);
  const int second = Find(journal, "create-environment n=2", completed);
  EXPECT_LT(source, close);
  EXPECT_LT(Find(journal, "remove_NavigationCompleted n=1", completed), close);
  EXPECT_LT(close, second);
  EXPECT_GT(Find(journal, "filter n=2", second), second);
  EXPECT_GT(Find(journal, "navigate n=2 uri=" + kAddressA, second), second);
  // The second completion does not start the sequence again: two creations in all.
  EXPECT_EQ(stage->Count("create-environment"), 2);
  EXPECT_EQ(stage->Count("controller-destroyed n=1"), 1) << "the closed controller was leaked";

  // Maximised by the timer, at least 50 ms after the first completion.
  double maximisedAt = 0;
  for (const auto& line : journal) {
    if (line.event == "put_Bounds" && line.text.find("bounds=0,0,310,301") == std::string::npos &&
        line.text.find("bounds=0,0,100,") == std::string::npos && line.timeMs > journal[completed].timeMs) {
      maximisedAt = line.timeMs;
      break;
    }
  }
  ASSERT_GT(maximisedAt, 0.0);
  EXPECT_GE(maximisedAt - journal[completed].timeMs, 45.0);

  // A hand-off that restores the window shows it 100 pixels wide at its old place and height.
  EXPECT_EQ(stage->RunToEnd(kParameterA, 10000), 0u);
  RECT rect{};
  ASSERT_TRUE(WaitUntil([&] { return !::IsZoomed(window); }, 3000));
  ::GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 100);
  EXPECT_EQ(rect.bottom - rect.top, 301);
  EXPECT_EQ(rect.left, left);
  EXPECT_EQ(rect.top, top);
  EXPECT_EQ(stage->Count("navigate"), 2) << "unchanged parameters must not navigate";

  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(stage->Count("controller-destroyed"), 2) << "a controller outlived the program's end";
  EXPECT_EQ(stage->Count("webview-destroyed"), 2);
}

struct VersionCase {
  DWORD build;
  int creations;  // started by one parameter string, before any page completes
};
class WindowsVersionTest : public ShellTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(WindowsVersionTest, Windows11RecreatesAfterEveryParameterString) {
  shelltest::SetWindowsBuild(GetParam().build);
  stage->Scenario("navigation=none\n");
  stage->Start(kParameterA);
  ASSERT_TRUE(stage->WaitForJournal("navigate", 1, 10000));
  ::Sleep(300);
  EXPECT_EQ(stage->Count("create-environment"), GetParam().creations);
  EXPECT_EQ(stage->Count("navigate"), 1);
  if (GetParam().creations == 2) {
    // The superseded creation is reported and closed; only the latest opens the page.
    EXPECT_EQ(stage->Count("close n=1"), 1);
    EXPECT_EQ(stage->Count("navigate n=2 uri=" + kAddressA), 1);
  }
  // Unchanged parameters: no navigation, but Windows 11 re-creates once more.
  EXPECT_EQ(stage->RunToEnd(kParameterA, 10000), 0u);
  ::Sleep(300);
  EXPECT_EQ(stage->Count("create-environment"), GetParam().creations == 2 ? 3 : 1);
}

INSTANTIATE_TEST_SUITE_P(Builds, WindowsVersionTest,
                         ::testing::Values(VersionCase{19041, 1}, VersionCase{21999, 1}, VersionCase{22000, 2}),
                         [](const auto& testInfo) { return "Build" + std::to_string(testInfo.param.build); });

void PressKeys(std::initializer_list<WORD> keys) {
  for (WORD key : keys) ::keybd_event(static_cast<BYTE>(key), 0, 0, 0);
  for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) {
    ::keybd_event(static_cast<BYTE>(*it), 0, KEYEVENTF_KEYUP, 0);
  }
}

TEST_F(ShellTest, OnlyCtrlAltRRecreatesAndOnlyOnWindows11) {
  for (DWORD build : {19041u, 22000u}) {
    SCOPED_TRACE(build);
    shelltest::SetWindowsBuild(build);
    stage = std::make_unique<Stage>(build == 22000 ? "keys11" : "keys10");
    stage->Scenario("navigation=none\n");
    stage->Start(kParameterA);
    ASSERT_TRUE(stage->WaitForJournal("navigate", 1, 10000));
    const HWND window = stage->MainWindow();
    ::SetForegroundWindow(window);
    ::Sleep(200);
    const int before = stage->Count("create-environment");
    PressKeys({VK_CONTROL, VK_SHIFT, 'R'});
    PressKeys({VK_CONTROL, VK_MENU, VK_SHIFT, 'R'});
    PressKeys({VK_MENU, 'R'});
    PressKeys({VK_CONTROL, 'R'});
    ::Sleep(400);
    EXPECT_EQ(stage->Count("create-environment"), before);
    PressKeys({VK_CONTROL, VK_MENU, 'R'});
    if (build == 22000) {
      EXPECT_TRUE(stage->WaitForJournal("create-environment", before + 1, 3000));
    } else {
      ::Sleep(400);
      EXPECT_EQ(stage->Count("create-environment"), before);
    }
  }
}

// The click event belongs to the form alone: a click on the web view, which
// fills the window, changes nothing; a click that reaches the form itself
// re-creates the web view and reopens what it showed.
TEST_F(ShellTest, OnlyAClickOnTheFormItselfRecreatesTheWebView) {
  stage->Scenario("navigation=none\n");
  stage->Start(kParameterA);
  ASSERT_TRUE(stage->WaitForJournal("navigate n=1", 1, 10000));
  const HWND window = stage->MainWindow();
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::SetForegroundWindow(window);
  ::SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  ::mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  ::mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  ::Sleep(500);
  EXPECT_EQ(stage->Count("create-environment"), 1) << "a click on the web view re-created it";

  ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(stage->WaitForJournal("create-environment n=2", 1, 3000));
  EXPECT_TRUE(stage->WaitForJournal("navigate n=2 uri=" + kAddressA, 1, 3000));
}

TEST_F(ShellTest, SecondStartHandsOverRestoresAndEnds) {
  stage->Scenario("navigation=none\n");
  stage->Start(kParameterA);
  ASSERT_TRUE(stage->WaitForJournal("navigate n=1", 1, 10000));
  const HWND window = stage->MainWindow();
  ::ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(window) != FALSE; }, 3000));

  EXPECT_EQ(stage->RunToEnd(L"\"CustID=C2,ProductID=P1,AiURL=https://help.example/b c\" ignored", 10000), 0u);
  // Restored before the parameter arrived, and the new page opened.
  EXPECT_EQ(stage->Count("navigate n=1 uri=https://help.example/b c iconic=0"), 1);
  EXPECT_FALSE(::IsIconic(window));
  EXPECT_EQ(Stage::CountMainWindows(), 1);
  EXPECT_EQ(::GetForegroundWindow(), window);

  // An empty hand-off clears the values and navigates to the empty address;
  // the earlier parameter string then differs again.
  EXPECT_EQ(stage->RunToEnd(L"", 10000), 0u);
  EXPECT_EQ(stage->Count("navigate n=1 uri= "), 1);
  EXPECT_EQ(stage->RunToEnd(L"\"CustID=C2,ProductID=P1,AiURL=https://help.example/b c\"", 10000), 0u);
  EXPECT_EQ(stage->Count("navigate n=1 uri=https://help.example/b c"), 2);
  // Only the time stamp changed: nothing happens.
  EXPECT_EQ(stage->RunToEnd(L"\"CustID=C2,ProductID=P1,TimeStamp=9,AiURL=https://help.example/b c\"", 10000), 0u);
  EXPECT_EQ(stage->Count("navigate"), 4);
  EXPECT_EQ(stage->Count("create-environment"), 1) << "a second start must not create a web view";
}

// Stands in for a first instance inside the test, to see exactly what a
// second start of the real program sends.
class FakeFirstInstance {
 public:
  explicit FakeFirstInstance(DWORD hangMs = 0) : m_hangMs(hangMs) {
    m_thread = std::thread([this] { Run(); });
    WaitUntil([this] { return m_ready.load(); }, 5000);
  }
  ~FakeFirstInstance() {
    ::PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
  }
  struct Event {
    UINT message;
    WPARAM wParam;
    std::string bytes;
    DWORD cbData;
  };
  std::vector<Event> Events() {
    std::lock_guard lock(m_mutex);
    return m_events;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<FakeFirstInstance*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && (message == WM_COPYDATA || message == WM_SYSCOMMAND)) {
      Event event{message, wParam, {}, 0};
      if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        event.cbData = data->cbData;
        event.bytes.assign(static_cast<const char*>(data->lpData), data->cbData);
      }
      std::lock_guard lock(self->m_mutex);
      self->m_events.push_back(event);
      return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  void Run() {
    m_threadId = ::GetCurrentThreadId();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"FakeFirstInstance";
    ::RegisterClassW(&windowClass);
    win32::UniqueWindow application(::CreateWindowExW(0, L"FakeFirstInstance", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                                      nullptr, windowClass.hInstance, nullptr));
    win32::UniqueWindow main(::CreateWindowExW(0, L"FakeFirstInstance", L"frmTalvora", WS_POPUP, 0, 0, 10, 10, nullptr,
                                               nullptr, windowClass.hInstance, nullptr));
    ::SetWindowLongPtrW(application.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(main.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    win32::UniqueHandle slot(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4,
                                                  L"{89846000-B237-4FF4-BDC9-5B39EB8E0A02}"));
    win32::UniqueMapView view(::MapViewOfFile(slot.get(), FILE_MAP_WRITE, 0, 0, 4));
    *static_cast<DWORD*>(view.get()) = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(application.get()));
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    m_ready = true;
    if (m_hangMs > 0) {
      // A first instance that stopped answering, with input waiting.
      ::PostMessageW(main.get(), WM_NULL, 0, 0);
      ::Sleep(m_hangMs);
    }
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  }
  DWORD m_hangMs;
  std::thread m_thread;
  DWORD m_threadId = 0;
  std::atomic<bool> m_ready{false};
  std::mutex m_mutex;
  std::vector<Event> m_events;
};

TEST_F(ShellTest, SecondStartSendsRestoreThenTheTextWithItsTerminator) {
  FakeFirstInstance first;
  struct Case {
    std::wstring argument;
    std::wstring text;
  };
  for (const Case& c : {Case{L"\"CustID=客1, x\"", L"CustID=客1, x"}, Case{L"", L""}}) {
    EXPECT_EQ(stage->RunToEnd(c.argument, 10000), 0u);
  }
  const auto events = first.Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].message, static_cast<UINT>(WM_SYSCOMMAND));
  EXPECT_EQ(events[0].wParam, static_cast<WPARAM>(SC_RESTORE));
  EXPECT_EQ(events[1].message, static_cast<UINT>(WM_COPYDATA));
  const std::wstring text = L"CustID=客1, x";
  EXPECT_EQ(events[1].cbData, 2 * text.size() + 2);
  EXPECT_EQ(events[1].bytes, std::string(reinterpret_cast<const char*>(text.c_str()), 2 * text.size() + 2));
  EXPECT_EQ(events[3].cbData, 2u);
  EXPECT_EQ(events[3].bytes, std::string(2, '\0'));
  EXPECT_EQ(Stage::CountMainWindows(), 1) << "a second start opened a window of its own";
}

TEST_F(ShellTest, AHungFirstInstanceDoesNotHangTheSecondStart) {
  FakeFirstInstance first(11000);
  // The system counts a thread as hung after five seconds without taking
  // messages; the second start must end well before the first one answers again.
  ::Sleep(6000);
  const ULONGLONG started = ::GetTickCount64();
  EXPECT_EQ(stage->RunToEnd(kParameterA, 4500), 0u);
  EXPECT_LT(::GetTickCount64() - started, 4500u);
}

TEST_F(ShellTest, SecondStartBringsTheFirstInstancesMessageBoxForward) {
  stage->Scenario("create=0x80070002\n");
  const HANDLE process = stage->Start(kParameterA);
  const HWND box = FindMessageBox(kInstallCaption, 10000);
  ASSERT_NE(box, nullptr);
  // Something else takes the foreground meanwhile.
  win32::UniqueWindow other(::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                              nullptr, nullptr, nullptr));
  ::SetForegroundWindow(other.get());
  ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == other.get(); }, 2000));
  EXPECT_EQ(stage->RunToEnd(kParameterA, 10000), 0u);
  EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == box; }, 2000))
      << "foreground " << ::GetForegroundWindow() << " box " << box << " owner " << ::GetWindow(box, GW_OWNER)
      << " main " << stage->MainWindow() << " main owner " << ::GetWindow(stage->MainWindow(), GW_OWNER)
      << " popup of app " << ::GetLastActivePopup(::GetWindow(stage->MainWindow(), GW_OWNER));
  ClickButton(box, IDNO);
  EXPECT_EQ(::WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
}

TEST_F(ShellTest, AStartAfterTheFirstInstanceEndedIsAFirstInstanceAgain) {
  stage->Scenario("navigation=none\n");
  const HANDLE first = stage->Start(kParameterA);
  const HWND window = stage->MainWindow();
  ASSERT_NE(window, nullptr);
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(first, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(::OpenFileMappingW(FILE_MAP_READ, FALSE, L"{89846000-B237-4FF4-BDC9-5B39EB8E0A02}"), nullptr)
      << "the slot outlived its last holder";
  stage->Start(kParameterA);
  EXPECT_NE(stage->MainWindow(), nullptr);
  EXPECT_TRUE(stage->WaitForJournal("navigate n=1", 2, 10000));
}

struct InstallCase {
  const char* name;
  bool withLoader;
  const char* scenario;
  int answer;
};
class InstallQuestionTest : public ShellTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallQuestionTest, MissingRuntimeAsksAndEnds) {
  if (!GetParam().withLoader) stage->WithoutLoader();
  stage->Scenario(GetParam().scenario);
  const HANDLE process = stage->Start(kParameterA);
  const HWND question = FindMessageBox(kInstallCaption, 10000);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(MessageBoxText(question), kInstallQuestion);
  EXPECT_NE(::GetDlgItem(question, IDYES), nullptr);
  EXPECT_NE(::GetDlgItem(question, IDNO), nullptr);
  ClickButton(question, GetParam().answer);
  if (GetParam().answer == IDYES) {
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(question); }, 3000));
    const HWND information = FindMessageBox(kInstallCaption, 5000);
    ASSERT_NE(information, nullptr);
    EXPECT_EQ(MessageBoxText(information), kInstallInformation);
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(information, IDNO)));
    EXPECT_TRUE(stage->Launches().empty()) << "the installer started before the box was closed";
    ClickButton(information, IDOK);
  }
  ASSERT_EQ(::WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(process, &code);
  EXPECT_EQ(code, 0u);
  if (GetParam().answer == IDYES) {
    ASSERT_TRUE(WaitUntil([&] { return !stage->Launches().empty(); }, 5000));
    EXPECT_NE(stage->Launches()[0].find("MicrosoftEdgeWebview2Setup.exe\t"), std::string::npos);
  } else {
    ::Sleep(300);
    EXPECT_TRUE(stage->Launches().empty());
  }
  EXPECT_EQ(stage->Count("navigate"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InstallQuestionTest,
    ::testing::Values(InstallCase{"RuntimeMissingYes", true, "create=0x80070002\n", IDYES},
                      InstallCase{"RuntimeMissingNo", true, "create=0x80070002\n", IDNO},
                      InstallCase{"LoaderFailsAtOnceNo", true, "return=0x80070002\n", IDNO},
                      InstallCase{"NoLoaderYes", false, "", IDYES}, InstallCase{"NoLoaderNo", false, "", IDNO}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(ShellTest, OtherCreationFailureLeavesAnEmptyWindowAndAsksNothing) {
  stage->Scenario("create=0x80070005\n");
  stage->Start(kParameterA);
  ASSERT_TRUE(stage->WaitForJournal("environment-handler-returned n=1", 1, 10000));
  ::Sleep(500);
  EXPECT_EQ(FindMessageBox(kInstallCaption, 0), nullptr);
  const HWND window = stage->MainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(stage->Count("navigate"), 0);
  EXPECT_TRUE(stage->Launches().empty());
}

TEST_F(ShellTest, NewWindowsOpenInTheBrowserExceptRefusedSchemes) {
  stage->Scenario(
      "new_window=talvoratest:run-me|file:///C:/windows/notepad.exe|https://help.example/popup?a=1|mailto:help@sorvik.example\n");
  stage->Start(kParameterA);
  ASSERT_TRUE(stage->WaitForJournal("new-window", 4, 10000));
  EXPECT_EQ(stage->Count("new-window n=2 uri=talvoratest:run-me handled=1 handlers=1"), 1);
  EXPECT_EQ(stage->Count("new-window n=2 uri=file:///C:/windows/notepad.exe handled=1"), 1);
  EXPECT_EQ(stage->Count("new-window n=2 uri=https://help.example/popup?a=1 handled=1"), 1);
  ASSERT_TRUE(WaitUntil([&] { return stage->Launches().size() >= 2; }, 5000));
  ::Sleep(500);
  const auto launches = stage->Launches();
  ASSERT_EQ(launches.size(), 2u);
  std::string all = launches[0] + "\n" + launches[1];
  EXPECT_NE(all.find("https://help.example/popup?a=1"), std::string::npos);
  EXPECT_NE(all.find("mailto:help@sorvik.example"), std::string::npos);
  EXPECT_EQ(all.find("talvoratest:"), std::string::npos);
  EXPECT_EQ(Stage::CountMainWindows(), 1);
}

class ExtractionTest : public ShellTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ExtractionTest, InstallerIsWrittenByteForByteOnceAndThenKept) {
  if (GetParam()) stage->UseShippedExecutable();
  const std::string embedded = shelltest::ResourceOf(stage->Executable(), L"MicrosoftEdgeWebview2Setup");
  ASSERT_GT(embedded.size(), 1000u);
  const HANDLE first = stage->Start(L"");
  ASSERT_NE(first, nullptr);
  const HWND window = stage->MainWindow();
  ASSERT_NE(window, nullptr);
  bool exists = false;
  EXPECT_TRUE(shelltest::ReadBytes(stage->InstallerFile(), &exists) == embedded)
      << shelltest::ReadBytes(stage->InstallerFile()).size() << " bytes, embedded " << embedded.size();
  EXPECT_TRUE(exists);
  EXPECT_EQ(stage->Count("create-environment"), 0) << "a blank parameter string created the web view on Windows 10";
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(first, 5000), WAIT_OBJECT_0);

  // A file in place is kept as it is; deleted, it is written again.
  ASSERT_TRUE(shelltest::WriteBytes(stage->InstallerFile(), "kept"));
  stage->Start(L"");
  ASSERT_NE(stage->MainWindow(), nullptr);
  EXPECT_EQ(shelltest::ReadBytes(stage->InstallerFile()), "kept");
  EXPECT_EQ(FindMessageBox(L"frmTalvora", 0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Executables, ExtractionTest, ::testing::Values(false, true),
                         [](const auto& testInfo) { return testInfo.param ? "Shipped" : "UnderTest"; });

TEST_F(ShellTest, AnInstallerThatDiffersIsRewrittenBeforeItRuns) {
  ::CreateDirectoryW((stage->Profile() + L"\\EdgeUserDataFolder").c_str(), nullptr);
  ASSERT_TRUE(shelltest::WriteBytes(stage->InstallerFile(), "MZ planted by someone else"));
  stage->Scenario("create=0x80070002\n");
  const HANDLE process = stage->Start(kParameterA);
  const HWND question = FindMessageBox(kInstallCaption, 10000);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(shelltest::ReadBytes(stage->InstallerFile()), "MZ planted by someone else");
  ClickButton(question, IDYES);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(question); }, 3000));
  const HWND information = FindMessageBox(kInstallCaption, 5000);
  ASSERT_NE(information, nullptr);
  ClickButton(information, IDOK);
  ASSERT_EQ(::WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(WaitUntil([&] { return !stage->Launches().empty(); }, 5000));
  EXPECT_TRUE(shelltest::ReadBytes(stage->InstallerFile()) ==
              shelltest::ResourceOf(stage->Executable(), L"MicrosoftEdgeWebview2Setup"));
}

TEST_F(ShellTest, WithoutAllUsersProfileThePathsStartAtTheDriveRoot) {
  const std::wstring root = L"C:\\EdgeUserDataFolder";
  shelltest::RemoveTree(root);
  stage->UnsetAllUsersProfile();
  stage->Scenario("navigation=none\n");
  stage->Start(kParameterA);
  ASSERT_TRUE(stage->WaitForJournal("navigate", 1, 10000));
  EXPECT_EQ(stage->Count("create-environment n=1 browserFolder=(null) userData=\\EdgeUserDataFolder\\sorvik_dovudi\\ "), 1);
  bool exists = false;
  EXPECT_TRUE(shelltest::ReadBytes(root + L"\\MicrosoftEdgeWebview2Setup.exe", &exists) ==
              shelltest::ResourceOf(stage->Executable(), L"MicrosoftEdgeWebview2Setup"));
  EXPECT_TRUE(exists);
  stage.reset();
  shelltest::RemoveTree(root);
}

TEST_F(ShellTest, AnUnwritableInstallerFolderIsReportedAndTheParameterNotApplied) {
  // A file where the folder should be: the folder cannot be created, nor the installer written.
  ASSERT_TRUE(shelltest::WriteBytes(stage->Profile() + L"\\EdgeUserDataFolder", "not a folder"));
  stage->Start(kParameterA);
  const HWND box = FindMessageBox(L"frmTalvora", 10000);
  ASSERT_NE(box, nullptr);
  EXPECT_NE(MessageBoxText(box).find(L"MicrosoftEdgeWebview2Setup.exe"), std::wstring::npos)
      << shelltest::Utf8(MessageBoxText(box));
  ClickButton(box, IDOK);
  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    window = ::FindWindowW(L"TfrmTalvora", L"frmTalvora");
    return window != nullptr && ::IsWindowVisible(window);
  }, 5000));
  ::Sleep(300);
  EXPECT_EQ(stage->Count("create-environment"), 0);
}

}  // namespace
