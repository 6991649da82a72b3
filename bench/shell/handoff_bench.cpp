// Hand-off time of Talvora under Wine, against starting and ending a trivial
// GUI program under the same Wine. The hand-off runs from starting a second
// Talvora.exe until the first instance has asked its web view (the loader
// double) for the new page, as stamped in the double's journal.
//
//   handoff_bench.exe [runs]     prints each run and the medians
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "wide_text.h"

namespace {


std::wstring Folder() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L'\\') + 1);
}

HANDLE Start(const std::wstring& line) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring mutableLine = line;
  if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return nullptr;
  }
  ::CloseHandle(pi.hThread);
  return pi.hProcess;
}

std::string ReadAll(const std::wstring& path) {
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  std::string bytes;
  if (f == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(f, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  ::CloseHandle(f);
  return bytes;
}

// The journal time of the "navigate" line that asks for `uri`, or 0 when not there yet.
double NavigateTime(const std::wstring& journal, const std::string& uri) {
  const std::string bytes = ReadAll(journal);
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = bytes.substr(start, end - start);
    const std::size_t space = line.find(' ');
    if (space == std::string::npos || line.compare(space + 1, 9, "navigate ") != 0) continue;
    if (line.find(" uri=" + uri + " ") != std::string::npos) return std::atof(line.c_str());
  }
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? _wtoi(argv[1]) : 15;
  const std::wstring bin = Folder();
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring work = std::wstring(temp) + L"talvora-bench-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
  ::CreateDirectoryW(work.c_str(), nullptr);
  ::CreateDirectoryW((work + L"profile").c_str(), nullptr);
  ::CopyFileW((bin + L"talvora-under-test\\Talvora.exe").c_str(), (work + L"Talvora.exe").c_str(), FALSE);
  ::CopyFileW((bin + L"talvora-under-test\\WebView2Loader.dll").c_str(), (work + L"WebView2Loader.dll").c_str(), FALSE);
  HANDLE scenario = ::CreateFileW((work + L"scenario.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(scenario, "navigation=none\n", 16, &written, nullptr);
  ::CloseHandle(scenario);
  const std::wstring journal = work + L"journal.txt";
  ::SetEnvironmentVariableW(L"TALVORA_DOUBLE_JOURNAL", journal.c_str());
  ::SetEnvironmentVariableW(L"TALVORA_DOUBLE_SCENARIO", (work + L"scenario.txt").c_str());
  ::SetEnvironmentVariableW(L"ALLUSERSPROFILE", (work + L"profile").c_str());
  const std::wstring talvora = L"\"" + work + L"Talvora.exe\" ";

  HANDLE first = Start(talvora + L"CustID=0,ProductID=P,AiURL=https://help.example/0");
  for (int i = 0; i < 500 && NavigateTime(journal, "https://help.example/0") == 0; ++i) ::Sleep(10);

  std::vector<double> handoff, trivial, secondEnded;
  for (int run = 1; run <= runs; ++run) {
    const std::string uri = "https://help.example/" + std::to_string(run);
    const double t0 = testsupport::WallClockMs();
    HANDLE second = Start(talvora + L"CustID=" + std::to_wstring(run) + L",ProductID=P,AiURL=" +
                          std::wstring(uri.begin(), uri.end()));
    double at = 0;
    for (int i = 0; i < 2000 && (at = NavigateTime(journal, uri)) == 0; ++i) ::Sleep(1);
    ::WaitForSingleObject(second, 10000);
    const double ended = testsupport::WallClockMs() - t0;
    ::CloseHandle(second);
    handoff.push_back(at - t0);
    secondEnded.push_back(ended);

    const double t1 = testsupport::WallClockMs();
    HANDLE gui = Start(L"\"" + bin + L"bench_trivial_gui.exe\"");
    ::WaitForSingleObject(gui, 10000);
    trivial.push_back(testsupport::WallClockMs() - t1);
    ::CloseHandle(gui);
    std::printf("run %2d: hand-off %7.1f ms (second start ended after %7.1f ms), trivial GUI program %7.1f ms\n", run,
                handoff.back(), secondEnded.back(), trivial.back());
  }
  const HWND window = ::FindWindowW(nullptr, L"frmTalvora");
  if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
  ::WaitForSingleObject(first, 5000);
  ::CloseHandle(first);
  const double h = Median(handoff), t = Median(trivial);
  std::printf("median of %d runs: hand-off %.1f ms, second start ended %.1f ms, trivial GUI program %.1f ms, "
              "ratio %.2f (goal: at most 1.5)\n", runs, h, Median(secondEnded), t, t > 0 ? h / t : 0.0);
  return 0;
}
