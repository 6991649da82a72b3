// The client's own time per lock request through the real DLL under Wine:
// SetLockDBDotNet against a loopback peer that answers at once, minus the
// 100 ms pass that every reply wait sleeps. Prints one line per figure.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "session_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  const int requests = argc > 1 ? std::atoi(argv[1]) : 50;
  testdoubles::WinsockSession winsock;
  testdoubles::ScriptedPeer peer([](const std::string&, int) { return testdoubles::Frame("[LOCKDB]", "Y;;;"); });
  sessiontest::IniFile ini;
  ini.products = {"sales=networked,127.0.0.1"};
  ini.session = {"Port=" + std::to_string(peer.port())};
  sessiontest::InstalledLibrary dll(ini);
  if (!dll.loaded()) {
    std::fprintf(stderr, "Quorlane.dll not found beside the benchmark\n");
    return 1;
  }
  if (dll.Lock("bench", "sales") != "Y; ; ; ") {  // probe and open once, outside the figures
    std::fprintf(stderr, "the first lock failed\n");
    return 1;
  }

  // What the pass itself costs here: Sleep(100) and an empty message pump.
  std::vector<double> pass;
  for (int i = 0; i < 10; ++i) {
    const auto start = Clock::now();
    ::Sleep(100);
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    pass.push_back(Ms(Clock::now() - start));
  }

  std::vector<double> perRequest;
  for (int i = 0; i < requests; ++i) {
    const auto start = Clock::now();
    const std::string result = dll.Lock("bench", "sales");
    perRequest.push_back(Ms(Clock::now() - start));
    if (result != "Y; ; ; ") {
      std::fprintf(stderr, "request %d failed: %s\n", i, result.c_str());
      return 1;
    }
  }
  const double passMedian = Percentile(pass, 0.5);
  std::printf("requests                      %d\n", requests);
  std::printf("Sleep(100)+pump, median       %.3f ms\n", passMedian);
  std::printf("per request p50 / p99 / max   %.3f / %.3f / %.3f ms\n", Percentile(perRequest, 0.5),
              Percentile(perRequest, 0.99), Percentile(perRequest, 1.0));
  std::printf("above 100 ms, p50 / p99       %.3f / %.3f ms\n", Percentile(perRequest, 0.5) - 100.0,
              Percentile(perRequest, 0.99) - 100.0);
  std::printf("above the measured pass, p50  %.3f ms\n", Percentile(perRequest, 0.5) - passMedian);
  return 0;
}
