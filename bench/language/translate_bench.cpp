// Form translation under Wine on a form of 500 owned components whose
// language files exist: TranslateForms (windows made) and TranslateComponent
// (objects only), GenerateLanguageFiles for four catalogue languages (files
// absent, then present), and what one profile-function call costs on the
// same files, to see where the time goes.
//   translate_bench [runs [kind]]   (in code page 950: LC_ALL=zh_TW.UTF-8)
// kind 0-4 builds the form of one kind only (labels, buttons, list boxes,
// labeled edits, grids) and measures the translation alone.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"

namespace {

using namespace quorlane;

// 客戶名稱 本次軟體更新 資料 訂單編號 數量, in Big5.
const char* const kBig5[] = {"\xAB\xC8\xA4\xE1\xA6\x57\xBA\xD9", "\xA5\xBB\xA6\xB8\xB3\x6E\xC5\xE9\xA7\xF3\xB7\x73",
                             "\xB8\xEA\xAE\xC6", "\xAD\x71\xB3\xE6\xBD\x73\xB8\xB9", "\xBC\xC6\xB6\x71"};
constexpr int kComponents = 500;
constexpr int kKinds = 5;
constexpr int kLines = 5;
constexpr int kColumns = 4;

class TBenchForm : public TForm {
  QL_DECLARE_CLASS()
 public:
  using TForm::TForm;
};
QL_DEFINE_CLASS(TBenchForm, TForm, {})

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int gOnlyKind = -1;

// In turn: labels, buttons with hints, list boxes of 5 lines, labeled edits
// with hints, grids of 4 columns.
std::unique_ptr<TBenchForm> BuildForm() {
  auto form = std::make_unique<TBenchForm>(nullptr);
  form->SetCaption(kBig5[0]);
  for (int i = 0; i < kComponents; ++i) {
    const char* text = kBig5[i % 5];
    const std::string name = "C" + std::to_string(i);
    TControl* control = nullptr;
    switch (gOnlyKind >= 0 ? gOnlyKind : i % kKinds) {
      case 0:
        control = &TComponent::Create<TLabel>(*form);
        control->SetCaption(text);
        break;
      case 1:
        control = &TComponent::Create<TButton>(*form);
        control->SetCaption(text);
        control->SetHint(kBig5[(i + 1) % 5]);
        break;
      case 2: {
        auto& list = TComponent::Create<TListBox>(*form);
        for (int line = 0; line < kLines; ++line) list.Items().Add(kBig5[(i + line) % 5]);
        control = &list;
        break;
      }
      case 3: {
        auto& edit = TComponent::Create<TLabeledEdit>(*form);
        edit.EditLabel().SetCaption(text);
        edit.SetHint(kBig5[(i + 2) % 5]);
        control = &edit;
        break;
      }
      default: {
        auto& grid = TComponent::Create<TDBGrid>(*form);
        for (int column = 0; column < kColumns; ++column) grid.Columns().Add().Title().SetCaption(kBig5[column]);
        control = &grid;
        break;
      }
    }
    control->SetName(name);
    control->SetParent(form.get());
  }
  return form;
}

// Profile look-ups of one translation of that form (every file present):
// name and hint of each component, plus the lines and the columns.
constexpr int kLookups = 1 + kComponents / kKinds * (2 + 2 + (2 + kLines) + 2 + (2 + kColumns));

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + "\\");
      } else {
        DeleteFileA((folder + name).c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

struct Stats {
  std::vector<double> seconds;
  [[nodiscard]] double Best() const { return *std::min_element(seconds.begin(), seconds.end()); }
  [[nodiscard]] double Median() const {
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

template <typename Body>
Stats Time(int runs, Body&& body) {
  Stats stats;
  for (int run = 0; run < runs; ++run) {
    const double start = Now();
    body();
    stats.seconds.push_back(Now() - start);
  }
  return stats;
}

void Report(const char* what, const Stats& stats, int calls = 0) {
  std::printf("%-52s best %9.2f ms  median %9.2f ms", what, stats.Best() * 1e3, stats.Median() * 1e3);
  if (calls > 0) std::printf("  (%.1f us a profile call)", stats.Median() * 1e6 / calls);
  std::printf("\n");
}

// One profile call, many times over: present keys in turn (every
// `stride`-th of `keys` names C0, C1, ...), absent keys, and the file
// opening and time check each call makes.
void ProfileCalls(const std::string& file, int keys, int stride, const char* label) {
  char buffer[512];
  constexpr int kCalls = 400;
  const Stats present = Time(5, [&] {
    for (int i = 0; i < kCalls; ++i) {
      const std::string key = "C" + std::to_string((i * 7) % (keys / stride) * stride);
      GetPrivateProfileStringA("TBenchForm", key.c_str(), "\x01\n\x01", buffer, sizeof buffer, file.c_str());
    }
  });
  const Stats absent = Time(5, [&] {
    for (int i = 0; i < kCalls; ++i) {
      const std::string key = "Missing" + std::to_string(i);
      GetPrivateProfileStringA("TBenchForm", key.c_str(), "\x01\n\x01", buffer, sizeof buffer, file.c_str());
    }
  });
  const Stats openClose = Time(5, [&] {
    for (int i = 0; i < kCalls; ++i) {
      HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      FILETIME written;
      GetFileTime(handle, nullptr, nullptr, &written);
      CloseHandle(handle);
    }
  });
  std::printf("%s: GetPrivateProfileStringA present %.1f us, absent %.1f us; CreateFile+GetFileTime+CloseHandle %.1f us"
              " (medians)\n",
              label, present.Median() * 1e6 / kCalls, absent.Median() * 1e6 / kCalls,
              openClose.Median() * 1e6 / kCalls);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  if (argc > 2) gOnlyKind = std::atoi(argv[2]) % kKinds;
  try {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "ql-translate-bench\\";
    RemoveTree(folder);

    auto form = BuildForm();
    TUIMultiLanguage language(nullptr);
    language.SetLanguagePath(folder);
    const TLanguageKind kinds[] = {TLanguageKind::lkChineseTradionary, TLanguageKind::lkChineseSimplify,
                                   TLanguageKind::lkEnglish, TLanguageKind::lkCustom};
    for (const TLanguageKind kind : kinds) {
      TLanguageItem& item = language.Languages().Add();
      item.SetName(KindLabels[static_cast<int>(kind)]);
      item.SetKind(kind);
    }
    language.Languages().Items(0).SetIsDefault(true);

    std::printf("form: %d components; %d profile look-ups a translation\n", kComponents, kLookups);
    if (gOnlyKind >= 0) {
      language.GenerateLanguageFiles(*form);
      Report("TranslateComponent, objects only", Time(runs, [&] { language.TranslateComponent(*form); }));
      language.TranslateForms();
      Report("TranslateForms, windows made", Time(runs, [&] { language.TranslateForms(); }));
      RemoveTree(folder);
      return 0;
    }
    // Generation with the files absent rewrites each file once a key: slow,
    // so two runs; then with every file present.
    const Stats fresh = Time(2, [&] {
      RemoveTree(folder);
      language.GenerateLanguageFiles(*form);
    });
    Report("GenerateLanguageFiles, 4 languages, files absent", fresh);
    const Stats again = Time(3, [&] { language.GenerateLanguageFiles(*form); });
    Report("GenerateLanguageFiles, 4 languages, files present", again);

    const Stats objects = Time(runs, [&] { language.TranslateComponent(*form); });
    Report("TranslateComponent, objects only", objects, kLookups);
    language.TranslateForms();  // makes the windows (hidden form)
    const Stats windows = Time(runs, [&] { language.TranslateForms(); });
    Report("TranslateForms, windows made", windows, kLookups);

    const std::string big = folder + "cht\\TBenchForm.ini";
    ProfileCalls(big, kComponents, kKinds, "cht file (1,401 keys; labels' keys)");
    const std::string small = folder + "small.ini";
    for (int i = 0; i < 20; ++i) {
      WritePrivateProfileStringA("TBenchForm", ("C" + std::to_string(i)).c_str(), kBig5[i % 5], small.c_str());
    }
    ProfileCalls(small, 20, 1, "file of 20 keys");
    char section[1 << 16];
    const Stats whole = Time(21, [&] {
      GetPrivateProfileSectionA("TBenchForm", section, sizeof section, big.c_str());
    });
    Report("GetPrivateProfileSectionA, the whole cht section", whole);
    RemoveTree(folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
