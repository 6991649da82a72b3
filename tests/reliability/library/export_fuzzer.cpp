// Seeded random calls across the 19 exports of the real Quorlane.dll, as a
// careless or hostile host would make them: null pointers, random and
// code-page-invalid bytes, texts of 1 MiB and 64 MiB, random integers and
// window handles, calls before SetInitial, after the balancing FreeInitial and
// across start/stop cycles, and nested calls from a window message while a
// session operation waits for a loopback peer that answers late, wrongly or
// not at all.
//
//   export_fuzzer [--seed N] [--calls N] [--report FILE] [--update-peer off]
//
// GetAppSelfUpdURL talks to the fixed port 9568, where the fuzzer puts its
// update peer; with "--update-peer off" a second fuzzer beside the first
// uses the first one's peer (or finds the port closed). Every 10,000 calls a
// progress line goes to standard error. QUORLANE_FUZZ_TRACE=1
// lists every call with its time on standard error and switches the
// session's debug trace on (the fuzzer's folder is then kept).
//
// Holds when nothing crashes, hangs (a watchdog) or throws out of an export,
// every text result is a readable zero-terminated string (the argument
// pointer itself from GetConvertedMessageDotNet outside language 2052), every
// flag is 1 or 0, the results of a library without its objects are the
// failure results, and handles and private bytes do not grow between the
// warm-up and the end. Prints its figures; exit code 0 when all held.
//
// What is not fuzzed with random texts: the host arguments of the service
// exports (any text that is not a dotted address is a DNS look-up, which
// would leave loopback; they get loopback, malformed dotted and empty texts)
// and the file names of the delete and copy exports (which act on this
// machine in a standalone installation; they get random names inside the
// fuzzer's own folder).
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "loopback_peers.h"
#include "process_census.h"
#include "quorlane.h"

namespace {

using Clock = std::chrono::steady_clock;

enum Ex : int {
  kSetInitial, kFreeInitial, kSetLockDB, kSetUnLockDB, kSetForceUnLockDB, kCheckDBLocked, kDoDeleteFile,
  kDoCopyFile, kStartServerService, kStopServerService, kServerServiceStarted, kGetFileSizeInfo, kGetVATList,
  kSaveVATList, kGetTaxationAPIKey, kGetAppSelfUpdURL, kGetConvertedMessage, kGetZConvertList, kSyncZConvertList,
  kExportCount
};
constexpr std::array<const char*, kExportCount> kNames = {
    "SetInitial", "FreeInitial", "SetLockDBDotNet", "SetUnLockDBDotNet", "SetForceUnLockDBDotNet",
    "CheckDBLockedDotNet", "DoDeleteFileDotNet", "DoCopyFileDotNet", "StartServerService", "StopServerService",
    "ServerServiceStarted", "GetFileSizeInfo", "GetVATList", "SaveVATList", "GetTaxationAPIKey", "GetAppSelfUpdURL",
    "GetConvertedMessageDotNet", "GetZConvertList", "SyncZConvertList"};

constexpr std::size_t kOneMiB = 1u << 20;
constexpr std::size_t kBigText = 64u * kOneMiB;

struct ExportFigures {
  long long calls = 0, nested = 0, succeeded = 0, maxMs = 0;
};

// ---- state shared with the window procedure, the watchdog and the crash filter
std::atomic<long long> g_completed{0};
std::atomic<int> g_currentExport{-1};
std::atomic<long long> g_currentCall{0};
std::uint64_t g_seed = 0;
int g_depth = 0;  // 1 inside a top-level export call, 2 inside a nested one

void Fail(const char* what, int code) {
  const int ex = g_currentExport.load();
  std::fprintf(stderr, "export fuzzer: %s in call %lld (%s), seed %llu\n", what, g_currentCall.load(),
               ex >= 0 ? kNames[static_cast<std::size_t>(ex)] : "-", static_cast<unsigned long long>(g_seed));
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
  char what[64];
  std::snprintf(what, sizeof what, "CRASH (exception 0x%08lx)",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
  Fail(what, 4);
  return EXCEPTION_EXECUTE_HANDLER;
}

// A readable zero-terminated string within `bound` bytes, checked page range
// by page range with VirtualQuery (never by touching unreadable memory).
bool ReadableText(const char* text, std::size_t bound, std::size_t& length) {
  if (!text) return false;
  const char* at = text;
  while (static_cast<std::size_t>(at - text) <= bound) {
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(at, &region, sizeof region) != sizeof region) return false;
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) return false;
    if ((region.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) == 0) {
      return false;
    }
    const char* end = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (const void* zero = std::memchr(at, 0, static_cast<std::size_t>(end - at))) {
      length = static_cast<std::size_t>(static_cast<const char*>(zero) - text);
      return length <= bound;
    }
    at = end;
  }
  return false;
}

struct Measure {
  unsigned handles = 0;
  std::size_t privateBytes = 0;
};

Measure MeasureNow() { return {reliability::CountHandles(), reliability::PrivateBytes()}; }

// One text argument: null, or characters owned here, or one of the two big
// shared buffers (so that a 64 MiB argument is not copied for each call).
struct Text {
  static Text Of(std::string value) {
    Text t;
    t.own = std::move(value);
    return t;
  }
  static Text Null() {
    Text t;
    t.null = true;
    return t;
  }
  bool null = false;
  std::string own;
  const char* external = nullptr;
  std::size_t externalSize = 0;
  [[nodiscard]] const char* get() const { return null ? nullptr : external ? external : own.c_str(); }
  [[nodiscard]] std::string_view view() const {
    return null ? std::string_view() : external ? std::string_view(external, externalSize) : std::string_view(own);
  }
};

class Fuzzer {
 public:
  Fuzzer(std::uint64_t seed, long long calls, bool updatePeer)
      : m_random(seed), m_calls(calls), m_updatePeer(updatePeer) {}
  int Run(const std::string& reportPath);
  void OnNestedMessage();

 private:
  static constexpr long long kProgressEvery = 10000;

  bool Prepare();
  void Call(bool nested);
  void Progress(long long done, Clock::time_point began) const;
  template <typename Fn>
  Fn Get(Ex ex) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m_dll.get(), kNames[ex])));
  }
  Text RandomText();
  Text FileName();
  Text ProductCode();
  Text ServiceHost();
  HWND RandomWindow();
  int RandomInt();
  std::uint64_t Next() { return m_random(); }
  bool Chance(int permille) { return static_cast<int>(Next() % 1000) < permille; }
  void CheckText(Ex ex, const char* result, std::size_t bound, bool objectsBefore);
  void CheckFlag(Ex ex, int result, bool objectsBefore);
  void Problem(Ex ex, const std::string& what);
  void Settle();
  void Drain();

  std::mt19937_64 m_random;
  long long m_calls;
  bool m_updatePeer;
  std::string m_folder, m_files;
  win32::UniqueModule m_dll;
  win32::UniqueWindow m_window;
  HWND m_deadWindow = nullptr;
  std::string m_big1, m_big64;
  std::unique_ptr<fuzzing::PeerDice> m_dice;
  fuzzing::SitePeerCounts m_siteCounts;
  std::unique_ptr<fuzzing::LoopbackPeer> m_site, m_update;
  bool m_prc = false;
  // The library's start count and objects as the calls so far must have left them.
  int m_startCount = 0;
  bool m_objects = false;
  bool m_forceBig = false;
  std::array<ExportFigures, kExportCount> m_figures{};
  long long m_nestedPosted = 0, m_bigTexts = 0, m_hugeTexts = 0, m_cycles = 0, m_callsWithObjects = 0;
  long long m_problems = 0, m_slowCalls = 0;
  std::vector<std::string> m_firstSlowCalls;
  std::vector<std::string> m_firstProblems;
};

Fuzzer* g_fuzzer = nullptr;
constexpr UINT kNestedCall = WM_APP + 7;
constexpr UINT_PTR kNestedTimer = 7;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kNestedTimer) ::KillTimer(window, kNestedTimer);
  if (message == kNestedCall || (message == WM_TIMER && wParam == kNestedTimer)) {
    // Only while an export pumps this thread's messages: that is a host
    // handler calling the library again in the middle of a call.
    if (g_depth == 1 && g_fuzzer) g_fuzzer->OnNestedMessage();
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

void Fuzzer::OnNestedMessage() {
  g_depth = 2;
  Call(true);
  g_depth = 1;
}

bool Fuzzer::Prepare() {
  m_prc = ::GetSystemDefaultLangID() == 0x0804;
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  // Wine reuses process ids: the tick count keeps a folder of an earlier run apart.
  m_folder = std::string(temp) + "quorlane-fuzz-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(::GetTickCount()) + "\\";
  m_files = m_folder + "files\\";
  std::filesystem::create_directories(m_folder + "data");
  std::filesystem::create_directories(m_files);
  wchar_t program[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::filesystem::path dll = std::filesystem::path(std::wstring(program, n)).parent_path() / L"Quorlane.dll";
  std::error_code error;
  std::filesystem::copy_file(dll, std::filesystem::path(m_folder) / "Quorlane.dll", error);
  if (error) {
    std::fprintf(stderr, "export fuzzer: cannot copy %ls\n", dll.c_str());
    return false;
  }
  std::ofstream(m_files + "source.txt", std::ios::binary) << "the source\r\n";
  // QUORLANE_FUZZ_TRACE=1: the session's debug trace, for a run that needs explaining.
  if (const char* trace = std::getenv("QUORLANE_FUZZ_TRACE"); trace && *trace == '1') {
    std::ofstream(m_folder + "data\\Quorlane.debug") << "\n";
  }
  std::ofstream(m_folder + "data\\Taxation.txt", std::ios::binary) << "first\r\nnot scrambled\r\nnor this\r\n";

  m_dice = std::make_unique<fuzzing::PeerDice>(g_seed ^ 0x5eedULL);
  // Silent replies cost a whole wait (12 to 30 s): only the long run has room for them.
  const int silentPermille = m_calls >= 100000 ? 3 : 0;
  m_site = std::make_unique<fuzzing::LoopbackPeer>(0, [this, silentPermille](SOCKET s, const std::atomic<bool>& stop) {
    fuzzing::ServeSiteConnection(s, stop, *m_dice, m_siteCounts, silentPermille);
  });
  m_update = std::make_unique<fuzzing::LoopbackPeer>(
      m_updatePeer ? 9568 : 0,
      [this](SOCKET s, const std::atomic<bool>& stop) { fuzzing::ServeUpdateConnection(s, stop, *m_dice); },
      m_updatePeer ? 5000 : 0);
  if (!m_site->listening()) return false;
  if (m_updatePeer && !m_update->listening()) {
    std::fprintf(stderr, "export fuzzer: port 9568 is busy; GetAppSelfUpdURL is left out\n");
  }
  {
    std::ofstream ini(m_folder + "Quorlane.ini", std::ios::binary);
    ini << "[Quorlane]\r\nDataDir=" << m_folder << "data\\\r\nOwner=fuzz\r\n"
        << "[Products]\r\nnet=networked,127.0.0.1\r\nbyname=networked,localhost\r\n"
        << "refused=networked,127.0.0.2\r\nblank=networked,\r\nlocal=standalone\r\n"
        << "[Session]\r\nPort=" << m_site->port() << "\r\n";
  }
  ::SetCurrentDirectoryA(m_files.c_str());

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &HostWindowProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "QuorlaneFuzzHost";
  ::RegisterClassA(&windowClass);
  m_window.reset(::CreateWindowExA(0, "QuorlaneFuzzHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr));
  m_deadWindow = ::CreateWindowExA(0, "QuorlaneFuzzHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
  ::DestroyWindow(m_deadWindow);

  m_big1.resize(kOneMiB);
  for (char& c : m_big1) c = static_cast<char>(1 + Next() % 255);
  m_big64.assign(kBigText, 'x');
  for (std::size_t i = 0; i < m_big64.size(); i += 4093) m_big64[i] = static_cast<char>(0x80 + Next() % 127);

  m_dll.reset(::LoadLibraryA((m_folder + "Quorlane.dll").c_str()));
  return static_cast<bool>(m_dll) && m_window;
}

Text Fuzzer::RandomText() {
  Text t;
  const int roll = static_cast<int>(Next() % 1000);
  if (m_forceBig || roll == 0) {
    // 64 MiB, rarely: a changed byte or two, so it is not always the same text.
    m_forceBig = false;
    ++m_hugeTexts;
    m_big64[Next() % kBigText] = static_cast<char>(1 + Next() % 255);
    t.external = m_big64.c_str();
    t.externalSize = m_big64.size();
  } else if (roll < 4) {
    ++m_bigTexts;
    m_big1[Next() % kOneMiB] = static_cast<char>(1 + Next() % 255);
    t.external = m_big1.c_str();
    t.externalSize = m_big1.size();
  } else if (roll < 80) {
    t.null = true;
  } else if (roll < 160) {
    // empty
  } else if (roll < 400) {
    static const char* const kWords[] = {
        "db1", "sales", "net", "local", "[LOCKDB]", "[BEGIN]", "[END]", "[BEGIN][END]", ";", ";;;", "Y", "N;",
        "Y; ; ; ", "localhost", "127.0.0.1", "C:\\", "..\\..\\x", "%s%s%s%n", "\r\n", "spooler", "*", " ",
        "\xA6\x72", "\x81", "\xFF\xFE", "\xE4\xB8\xAD\xE6\x96\x87", "[BEGIN][LOCKDB]Y;;;[END]"};
    t.own = kWords[Next() % std::size(kWords)];
  } else if (roll < 650) {
    t.own.resize(Next() % 65);
    for (char& c : t.own) c = static_cast<char>(' ' + Next() % 95);
  } else if (roll < 900) {
    t.own.resize(1 + Next() % 300);
    for (char& c : t.own) c = static_cast<char>(1 + Next() % 255);
  } else {
    // Bytes no ANSI code page accepts as they stand: a lead byte at the end,
    // a lead byte before a byte that cannot trail, the undefined ones.
    static const char* const kInvalid[] = {"abc\x81", "\x81\x7f", "\x80", "\xFF", "\xA1\x0A", "\x8E\x20", "\xC0\xC1",
                                           "\xFE\xFE\xFE", "x\x81\x30\x81"};
    t.own = kInvalid[Next() % std::size(kInvalid)];
    t.own += t.own;
  }
  return t;
}

// A name below the fuzzer's own folder: the random text with every path
// separator, drive colon and dot-dot made harmless, and no device names.
Text Fuzzer::FileName() {
  Text raw = RandomText();
  if (raw.null || Chance(100)) return raw;
  if (Chance(300)) return Text::Of(m_files + "source.txt");
  std::string name(raw.view());
  for (std::size_t i = 0; i < name.size(); ++i) {
    char& c = name[i];
    if (c == '\\' || c == '/' || c == ':' || (c == '.' && i + 1 < name.size() && name[i + 1] == '.')) c = '_';
  }
  std::string base = name.substr(0, name.find('.'));
  for (char& c : base) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  bool device = base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0);
  for (const char* d : kDevices) device = device || base == d;
  if (device) name.insert(0, "_");
  Text t;
  t.own = m_files + (Chance(200) ? "sub_" + std::to_string(Next() % 4) + "\\" : std::string()) + name;
  return t;
}

Text Fuzzer::ProductCode() {
  const int roll = static_cast<int>(Next() % 100);
  static const char* const kCodes[] = {"net", "byname", "refused", "blank"};
  if (roll < 3) return Text::Of(kCodes[0]);
  if (roll < 5) return Text::Of(kCodes[1]);
  if (roll < 15) return Text::Of(kCodes[2]);
  if (roll < 18) return Text::Of(kCodes[3]);
  if (roll < 40) return Text::Of("LOCAL");
  return RandomText();  // undetermined: no "*" entry
}

Text Fuzzer::ServiceHost() {
  static const char* const kHosts[] = {"127.0.0.2", "127.0.0.2", "127.0.0.2", "", "...", "127.0.0.1.9",
                                       "127.0.0.1", "localhost"};
  const std::size_t pick = Next() % 100;
  if (pick < 10) return Text::Null();
  // The peer itself (an opening that succeeds) only now and then.
  return Text::Of(kHosts[pick < 96 ? Next() % 6 : 6 + Next() % 2]);
}

HWND Fuzzer::RandomWindow() {
  switch (Next() % 6) {
    case 0: return nullptr;
    case 1: return m_window.get();
    case 2: return m_deadWindow;
    case 3: return reinterpret_cast<HWND>(static_cast<UINT_PTR>(Next()));
    case 4: return reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
    default: return ::GetDesktopWindow();
  }
}

int Fuzzer::RandomInt() {
  static const int kEdges[] = {0, 1, -1, 0x7FFFFFFF, static_cast<int>(0x80000000u)};
  return Chance(300) ? kEdges[Next() % 5] : static_cast<int>(static_cast<std::uint32_t>(Next()));
}

void Fuzzer::Problem(Ex ex, const std::string& what) {
  ++m_problems;
  if (m_firstProblems.size() < 20) {
    m_firstProblems.push_back("call " + std::to_string(g_currentCall.load()) + " " + kNames[ex] + ": " + what);
  }
}

void Fuzzer::CheckText(Ex ex, const char* result, std::size_t bound, bool objectsBefore) {
  std::size_t length = 0;
  if (!ReadableText(result, bound, length)) {
    Problem(ex, result ? "result is not a readable zero-terminated text" : "null result");
    return;
  }
  if (length > 0) ++m_figures[ex].succeeded;
  const std::string_view text(result, length);
  const bool lockFamily = ex == kSetLockDB || ex == kSetUnLockDB || ex == kSetForceUnLockDB || ex == kCheckDBLocked;
  if (!objectsBefore && ex != kGetAppSelfUpdURL && length != 0) {
    Problem(ex, "a result without the library's objects: " + std::string(text.substr(0, 40)));
  }
  if (lockFamily && length != 0) {
    const bool shape = (text.rfind("Y;", 0) == 0 || text.rfind("N;", 0) == 0) &&
                       std::count(text.begin(), text.end(), ';') == 3;
    if (!shape) Problem(ex, "lock result of the wrong shape: " + std::string(text.substr(0, 40)));
  }
  if (ex == kGetAppSelfUpdURL && length != 0) {
    const bool reply = text.rfind("1,,", 0) == 0 && text.size() >= 8 && text.substr(text.size() - 5) == "[END]";
    if (!reply && text.rfind("0,", 0) != 0) Problem(ex, "look-up result of the wrong shape");
  }
}

void Fuzzer::CheckFlag(Ex ex, int result, bool objectsBefore) {
  if (result != 0 && result != 1) Problem(ex, "flag result " + std::to_string(result));
  if (result == 1) ++m_figures[ex].succeeded;
  if (result != 0 && !objectsBefore) Problem(ex, "1 without the library's objects");
}

void Fuzzer::Call(bool nested) {
  // SetInitial and FreeInitial now and then, tilted so that most calls find
  // the objects but every state (before, started, after, negative) occurs.
  Ex ex;
  const int roll = static_cast<int>(Next() % 1000);
  if (roll < 12) {
    ex = m_startCount <= 0 || roll < 4 ? kSetInitial : kFreeInitial;
  } else if (roll < 20) {
    ex = m_startCount >= 1 || roll < 14 ? kFreeInitial : kSetInitial;
  } else {
    ex = static_cast<Ex>(2 + Next() % (kExportCount - 2));
  }
  if (ex == kGetAppSelfUpdURL && m_updatePeer && !m_update->listening()) ex = kGetVATList;
  const bool objectsBefore = m_objects;
  if (objectsBefore) ++m_callsWithObjects;

  // A host timer or message due while the call runs: an export that pumps
  // hands it to the host window, whose handler then calls the library again.
  // Timers mostly fire during a reply wait (a late reply takes 150-600 ms);
  // posted messages are taken at once, during the connection wait.
  if (!nested) {
    const bool opens = ex == kSetLockDB || ex == kStartServerService || ex == kStopServerService ||
                       ex == kServerServiceStarted;
    if (Chance(opens ? 300 : 20)) {
      ::SetTimer(m_window.get(), kNestedTimer, 20 + static_cast<UINT>(Next() % 400), nullptr);
      ++m_nestedPosted;
    } else if (Chance(opens ? 20 : 2)) {
      ::PostMessageA(m_window.get(), kNestedCall, 0, 0);
      ++m_nestedPosted;
    }
  }

  const int previousExport = g_currentExport.exchange(ex);
  if (!nested) g_currentCall = g_currentCall + 1;
  std::string detail;  // what a slow call was given, for the figures
  const auto start = Clock::now();
  const std::size_t textBound = 2 * kBigText + 4096;
  try {
    switch (ex) {
      case kSetInitial:
        Get<QL_PFN_SetInitial>(ex)(RandomWindow());
        ++m_startCount;
        if (!m_objects) ++m_cycles;
        m_objects = true;
        break;
      case kFreeInitial:
        Get<QL_PFN_NoArgs>(ex)();
        if (--m_startCount <= 0) m_objects = false;
        break;
      case kSetLockDB: {
        const Text key = RandomText(), product = ProductCode();
        detail = std::string(product.view().substr(0, 12));
        CheckText(ex, Get<QL_PFN_TextOfTwoTexts>(ex)(key.get(), product.get()), textBound, objectsBefore);
        break;
      }
      case kSetUnLockDB:
      case kSetForceUnLockDB:
      case kCheckDBLocked: {
        const Text key = RandomText();
        CheckText(ex, Get<QL_PFN_TextOfText>(ex)(key.get()), textBound, objectsBefore);
        break;
      }
      case kDoDeleteFile: {
        const Text name = FileName();
        CheckText(ex, Get<QL_PFN_TextOfText>(ex)(name.get()), textBound, objectsBefore);
        break;
      }
      case kDoCopyFile: {
        const Text source = FileName(), target = FileName();
        CheckText(ex, Get<QL_PFN_TextOfTwoTexts>(ex)(source.get(), target.get()), textBound, objectsBefore);
        break;
      }
      case kStartServerService:
      case kStopServerService:
      case kServerServiceStarted: {
        const Text host = ServiceHost(), service = RandomText();
        detail = host.null ? "(null)" : std::string(host.view());
        CheckFlag(ex, Get<QL_PFN_IntOfTwoTexts>(ex)(host.get(), service.get()), objectsBefore);
        break;
      }
      case kGetFileSizeInfo: {
        const Text first = RandomText(), second = RandomText();
        CheckText(ex, Get<QL_PFN_TextOfTwoTexts>(ex)(first.get(), second.get()), textBound, objectsBefore);
        break;
      }
      case kGetVATList:
      case kGetTaxationAPIKey:
        CheckText(ex, Get<QL_PFN_TextOfNone>(ex)(), textBound, objectsBefore);
        break;
      case kSaveVATList: {
        const Text list = RandomText();
        Get<QL_PFN_VoidOfText>(ex)(list.get());
        break;
      }
      case kGetAppSelfUpdURL: {
        const Text id = RandomText();
        CheckText(ex, Get<QL_PFN_TextOfText>(ex)(id.get()), 64 * 1024, objectsBefore);
        break;
      }
      case kGetConvertedMessage: {
        const Text message = RandomText();
        const char* result = Get<QL_PFN_TextOfText>(ex)(message.get());
        if (!m_prc) {
          // Outside 2052 the argument itself comes back, null included.
          if (result != message.get()) Problem(ex, "not the argument pointer");
        } else {
          CheckText(ex, result, textBound, objectsBefore);
        }
        break;
      }
      case kGetZConvertList:
        Get<QL_PFN_VoidOfInt>(ex)(RandomInt());
        break;
      case kSyncZConvertList:
        Get<QL_PFN_VoidOfTwoInts>(ex)(RandomInt(), RandomInt());
        break;
      default:
        break;
    }
  } catch (...) {
    Problem(ex, "an exception left the export");
  }
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  ExportFigures& figures = m_figures[ex];
  (nested ? figures.nested : figures.calls)++;
  if (ms > figures.maxMs) figures.maxMs = ms;
  if (std::getenv("QUORLANE_FUZZ_TRACE")) {
    std::fprintf(stderr, "%lld%s %s(%s) %lld ms\n", g_currentCall.load(), nested ? " nested" : "", kNames[ex],
                 detail.c_str(), ms);
  }
  if (ms >= 2000) {
    ++m_slowCalls;
    if (m_firstSlowCalls.size() < 12) {
      m_firstSlowCalls.push_back("call " + std::to_string(g_currentCall.load()) + (nested ? " (nested) " : " ") +
                                 kNames[ex] + "(" + detail + "): " + std::to_string(ms) + " ms");
    }
  }
  g_currentExport = previousExport;
  ++g_completed;
}

void Fuzzer::Drain() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

// Brings the library to no objects and a start count of 0, and lets the peers
// finish, so that measurements compare like with like.
void Fuzzer::Settle() {
  auto start = Get<QL_PFN_SetInitial>(kSetInitial);
  auto stop = Get<QL_PFN_NoArgs>(kFreeInitial);
  if (m_startCount <= 0) {
    while (m_startCount < 1) {
      start(nullptr);
      ++m_startCount;
    }
  }
  while (m_startCount > 0) {
    stop();
    --m_startCount;
  }
  m_objects = false;
  Drain();
  m_site->WaitIdle(40000);
  if (m_update->listening()) m_update->WaitIdle(20000);
  Drain();
}

// A long run shows it is alive and where its time goes.
void Fuzzer::Progress(long long done, Clock::time_point began) const {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count();
  std::fprintf(stderr,
               "export fuzzer: %lld calls in %lld s; site requests %d (silent %d, late %d); calls of 2 s or more %lld; "
               "problems %lld\n",
               done, static_cast<long long>(seconds), m_siteCounts.requests.load(), m_siteCounts.silent.load(),
               m_siteCounts.late.load(), m_slowCalls, m_problems);
  std::fflush(stderr);
}

int Fuzzer::Run(const std::string& reportPath) {
  if (!Prepare()) {
    std::fprintf(stderr, "export fuzzer: set-up failed\n");
    return 2;
  }
  g_fuzzer = this;
  const auto began = Clock::now();
  const Measure loaded = MeasureNow();
  const long long warmAt = std::max<long long>(50, m_calls / 50);
  const long long hugeAt = m_calls / 3;
  Measure warm{}, middle{}, end{};
  for (long long i = 0; i < m_calls; ++i) {
    if (i == warmAt) {
      Settle();
      warm = MeasureNow();
    }
    if (i == m_calls / 2) {
      Settle();
      middle = MeasureNow();
    }
    if (i == hugeAt) m_forceBig = true;  // at least one 64 MiB argument in every run
    if (i > 0 && i % kProgressEvery == 0) Progress(i, began);
    g_depth = 1;
    Call(false);
    g_depth = 0;
    // The host's own loop between calls: the session's socket events and
    // host messages no wait took.
    Drain();
  }
  Settle();
  end = MeasureNow();
  g_fuzzer = nullptr;
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

  const long long handleGrowth = static_cast<long long>(end.handles) - static_cast<long long>(warm.handles);
  const long long memoryGrowth = static_cast<long long>(end.privateBytes) - static_cast<long long>(warm.privateBytes);
  // Handles: a few may be Wine's own, made lazily. Memory: heap slack.
  constexpr long long kHandleSlack = 16;
  constexpr long long kMemorySlack = 16ll * 1024 * 1024;
  const bool leaks = handleGrowth > kHandleSlack || memoryGrowth > kMemorySlack;

  std::ostringstream out;
  long long top = 0, nested = 0;
  for (const auto& f : m_figures) {
    top += f.calls;
    nested += f.nested;
  }
  out << "seed " << g_seed << ", " << top << " calls + " << nested << " nested calls in " << static_cast<long long>(seconds)
      << " s, system language " << (m_prc ? "2052 (code page 936)" : "not 2052") << ", "
      << (sizeof(void*) == 8 ? "64" : "32") << "-bit\n";
  out << "export                       calls  nested  non-empty/1  slowest ms\n";
  for (int ex = 0; ex < kExportCount; ++ex) {
    const auto& f = m_figures[static_cast<std::size_t>(ex)];
    char line[160];
    std::snprintf(line, sizeof line, "%-26s %8lld %7lld %12lld %11lld\n", kNames[static_cast<std::size_t>(ex)], f.calls,
                  f.nested, f.succeeded, f.maxMs);
    out << line;
  }
  out << "start/stop cycles " << m_cycles << ", calls that found the objects " << m_callsWithObjects
      << ", 1 MiB texts " << m_bigTexts << ", 64 MiB texts " << m_hugeTexts << ", host timers and messages "
      << m_nestedPosted << "\n";
  out << "site peer: connections " << m_site->connections() << ", requests " << m_siteCounts.requests << ", answered "
      << m_siteCounts.answered << ", late " << m_siteCounts.late << ", broken " << m_siteCounts.broken << ", silent "
      << m_siteCounts.silent << ", oversized " << m_siteCounts.oversized << "; update peer: connections "
      << m_update->connections() << "\n";
  out << "handles: loaded " << loaded.handles << ", after warm-up " << warm.handles << ", middle " << middle.handles
      << ", end " << end.handles << "\n";
  out << "private bytes (KiB): loaded " << loaded.privateBytes / 1024 << ", after warm-up " << warm.privateBytes / 1024
      << ", middle " << middle.privateBytes / 1024 << ", end " << end.privateBytes / 1024 << "\n";
  out << "calls of 2 s or more " << m_slowCalls << " (each within its limits: probe 3 s, connect 15 s, wait 12/20/30 s)\n";
  for (const auto& c : m_firstSlowCalls) out << "  " << c << "\n";
  out << "problems " << m_problems << (leaks ? ", GROWTH beyond the slack" : "") << "\n";
  for (const auto& p : m_firstProblems) out << "  " << p << "\n";
  const std::string report = out.str();
  std::fputs(report.c_str(), stdout);
  if (!reportPath.empty()) std::ofstream(reportPath, std::ios::binary) << report;

  m_dll.reset();
  m_site.reset();
  m_update.reset();
  std::error_code ignored;
  ::SetCurrentDirectoryA("\\");
  if (!std::getenv("QUORLANE_FUZZ_TRACE")) std::filesystem::remove_all(m_folder, ignored);
  return m_problems == 0 && !leaks ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 1;
  long long calls = 2000;
  std::string report;
  bool updatePeer = true;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--seed") seed = std::stoull(argv[i + 1]);
    else if (option == "--calls") calls = std::stoll(argv[i + 1]);
    else if (option == "--report") report = argv[i + 1];
    else if (option == "--update-peer") updatePeer = std::string(argv[i + 1]) != "off";
  }
  g_seed = seed;
  ::SetUnhandledExceptionFilter(&CrashFilter);
  std::set_terminate([] { Fail("std::terminate (an exception escaped)", 5); });
  // No message box of Windows' own for a failed drive or file: the calls must never block on one.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);

  WSADATA winsock;
  ::WSAStartup(MAKEWORD(2, 2), &winsock);
  // The watchdog: no call may take longer than the longest legal one (probe,
  // connect, a 30 s wait) plus a nested one of the same length.
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    long long seen = -1;
    auto since = Clock::now();
    while (!finished) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const long long now = g_completed.load();
      if (now != seen) {
        seen = now;
        since = Clock::now();
      } else if (Clock::now() - since > std::chrono::seconds(150)) {
        Fail("HANG (no call completed for 150 s)", 3);
      }
    }
  });
  Fuzzer fuzzer(seed, calls, updatePeer);
  const int status = fuzzer.Run(report);
  finished = true;
  watchdog.join();
  ::WSACleanup();
  return status;
}
