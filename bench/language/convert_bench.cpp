// ConvertText throughput on a large text, word table on: Big5 to GBK and
// GBK to Big5. Prints one line per direction: bytes, best time of the runs.
//   convert_bench <big5 file> <gbk file> [runs]
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "language/UIMultiLanguage.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Best(const quorlane::TUIMultiLanguage& language, const std::string& text, int target, int runs,
            std::size_t& outSize) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER start, stop;
    QueryPerformanceCounter(&start);
    const std::string result = language.ConvertText(text, target, true);
    QueryPerformanceCounter(&stop);
    outSize = result.size();
    const double s = Seconds(start, stop);
    if (s < best) best = s;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: convert_bench <big5 file> <gbk file> [runs]\n");
    return 2;
  }
  const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
  try {
    quorlane::TUIMultiLanguage language(nullptr);
    language.SetWordTablePath("<Bin>");
    const std::string big5 = ReadAll(argv[1]);
    const std::string gbk = ReadAll(argv[2]);
    std::size_t size = 0;
    const double toSimplified = Best(language, big5, 0, runs, size);
    std::printf("big5-to-gbk %zu bytes in, %zu out, %.4f s\n", big5.size(), size, toSimplified);
    const double toTraditional = Best(language, gbk, 1, runs, size);
    std::printf("gbk-to-big5 %zu bytes in, %zu out, %.4f s\n", gbk.size(), size, toTraditional);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
