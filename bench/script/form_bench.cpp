// TurnComponent on a form of 1,000 owned components, Big5 to GBK with the
// word table, under Wine: the whole walk, the walk without ConvertText (a
// converter whose TurnText only copies), the time inside TurnText measured
// directly, and the same walk once the controls have windows.
//   form_bench [runs [kind]]   (in code page 950: LC_ALL=zh_TW.UTF-8)
// kind 0-3 builds the form of labels, edits, list boxes or grids only.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "script/WinPerTurn.h"

namespace {

using namespace quorlane;

// 客戶名稱 本次軟體更新 資料 訂單編號 數量 單價 總計金額 備註說明 確定 取消, in Big5.
const char* const kBig5[] = {
    "\xAB\xC8\xA4\xE1\xA6\x57\xBA\xD9", "\xA5\xBB\xA6\xB8\xB3\x6E\xC5\xE9\xA7\xF3\xB7\x73", "\xB8\xEA\xAE\xC6",
    "\xAD\x71\xB3\xE6\xBD\x73\xB8\xB9", "\xBC\xC6\xB6\x71", "\xB3\xE6\xBB\xF9", "\xC1\x60\xAD\x70\xAA\xF7\xC3\x42",
    "\xB3\xC6\xB5\xF9\xBB\xA1\xA9\xFA", "\xBD\x54\xA9\x77", "\xA8\xFA\xAE\xF8",
};
constexpr int kKinds = 4;
constexpr int kComponents = 1000;
constexpr int kLines = 10;
constexpr int kColumns = 10;

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Which kinds the form holds: all four in turn, or only one (0-3).
int gOnlyKind = -1;

std::unique_ptr<TForm> BuildForm() {
  auto form = std::make_unique<TForm>(nullptr);
  form->SetCaption(kBig5[0]);
  for (int i = 0; i < kComponents; ++i) {
    const char* text = kBig5[i % 10];
    switch (gOnlyKind >= 0 ? gOnlyKind : i % kKinds) {
      case 0: {
        auto& label = TComponent::Create<TLabel>(*form);
        label.SetCaption(text);
        label.SetParent(form.get());
        break;
      }
      case 1: {
        auto& edit = TComponent::Create<TEdit>(*form);
        edit.SetText(text);
        edit.SetParent(form.get());
        break;
      }
      case 2: {
        auto& list = TComponent::Create<TListBox>(*form);
        for (int line = 0; line < kLines; ++line) list.Items().Add(kBig5[(i + line) % 10]);
        list.SetParent(form.get());
        break;
      }
      default: {
        auto& grid = TComponent::Create<TDBGrid>(*form);
        for (int column = 0; column < kColumns; ++column) {
          grid.Columns().Add().Title().SetCaption(kBig5[(i + column) % 10]);
        }
        grid.SetParent(form.get());
        break;
      }
    }
  }
  return form;
}

// TurnText that only hands the text back: what is left is the walk.
class CopyingConverter final : public TWinPerTurn {
 public:
  void TurnText(std::string text, TWinPerTurnType, bool, std::string& result) override { result = std::move(text); }
};

// The real TurnText, with the time spent inside it summed up.
class TimedConverter final : public TWinPerTurn {
 public:
  void TurnText(std::string text, TWinPerTurnType type, bool phrase, std::string& result) override {
    const double start = Now();
    TWinPerTurn::TurnText(std::move(text), type, phrase, result);
    inside += Now() - start;
    ++calls;
  }
  double inside = 0;
  long calls = 0;
};

struct Figures {
  std::vector<double> totals;
  std::vector<double> inside;
  long calls = 0;
};

template <typename Converter>
Figures Measure(int runs, bool withWindows) {
  Figures figures;
  Converter converter;
  std::string warm;
  converter.TurnText(kBig5[0], TWinPerTurnType::wttTCToSC, true, warm);  // prepares it
  for (int run = 0; run < runs; ++run) {
    auto form = BuildForm();
    if (withWindows) (void)form->Handle();
    if constexpr (std::is_same_v<Converter, TimedConverter>) {
      converter.inside = 0;
      converter.calls = 0;
    }
    const double start = Now();
    converter.TurnComponent(*form, TWinPerTurnType::wttTCToSC, true);
    figures.totals.push_back(Now() - start);
    if constexpr (std::is_same_v<Converter, TimedConverter>) {
      figures.inside.push_back(converter.inside);
      figures.calls = converter.calls;
    }
  }
  return figures;
}

double Best(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Report(const char* what, const Figures& f) {
  std::printf("%-34s best %7.2f ms  median %7.2f ms  per component %5.2f us\n", what, Best(f.totals) * 1e3,
              Median(f.totals) * 1e3, Median(f.totals) * 1e6 / kComponents);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  if (argc > 2) gOnlyKind = std::atoi(argv[2]) % kKinds;
  try {
    std::printf("code page %u; %d components (labels, edits, list boxes of %d lines, grids of %d columns), %d runs\n",
                GetACP(), kComponents, kLines, kColumns, runs);
    // One round first that is not counted: the heap and the code get warm.
    (void)Measure<TWinPerTurn>(3, false);
    const Figures full = Measure<TWinPerTurn>(runs, false);
    const Figures copying = Measure<CopyingConverter>(runs, false);
    const Figures timed = Measure<TimedConverter>(runs, false);
    const Figures windows = Measure<TWinPerTurn>(std::max(1, runs / 3), true);
    Report("objects: TurnComponent", full);
    Report("objects: walk only (copying TurnText)", copying);
    Report("objects: timed TurnText", timed);
    std::printf("texts converted per walk: %ld\n", timed.calls);
    std::printf("inside TurnText (timed run): median %.2f ms of %.2f ms = %.0f%%\n", Median(timed.inside) * 1e3,
                Median(timed.totals) * 1e3, 100.0 * Median(timed.inside) / Median(timed.totals));
    std::printf("walk share (copying / full, medians): %.0f%%\n", 100.0 * Median(copying.totals) / Median(full.totals));
    Report("windows: TurnComponent", windows);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
