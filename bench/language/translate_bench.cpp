// Form translation under Wine on a form of 500 owned components whose
// language files exist: TranslateForms (windows made) and TranslateComponent
// (objects only), GenerateLanguageFiles for four catalogue languages (files
// absent, then present), and the share of each pass that is file work: the
// same opens, look-ups and writes replayed alone on the same files.
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
#include "language/language_platform.h"

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

// Look-ups of one translation of that form (every file present): name and
// hint of each component, plus the lines and the columns.
constexpr int kLookups = 1 + kComponents / kKinds * (2 + 2 + (2 + kLines) + 2 + (2 + kColumns));

/// The keys one translation looks up, in its order (an edit's ".EditLabel"
/// is looked up only with its bare name key, which generation never writes).
std::vector<std::string> TranslationKeys() {
  std::vector<std::string> keys = {"TBenchForm.Caption"};
  for (int i = 0; i < kComponents; ++i) {
    const std::string name = "C" + std::to_string(i);
    keys.push_back(name);
    keys.push_back(name + ".Hint");
    const int kind = gOnlyKind >= 0 ? gOnlyKind : i % kKinds;
    if (kind == 2) {
      for (int line = 0; line < kLines; ++line) keys.push_back(name + ".Items[" + std::to_string(line) + "]");
    } else if (kind == 4) {
      for (int column = 0; column < kColumns; ++column) keys.push_back(name + ".Columns[" + std::to_string(column) + "]");
    }
  }
  return keys;
}

/// The key=value lines of a file, in file order (the default language's
/// file holds every value generation writes).
std::vector<std::pair<std::string, std::string>> Lines(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> lines;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return lines;
  char line[1024];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos) lines.emplace_back(text.substr(0, equals), text.substr(equals + 1));
  }
  std::fclose(file);
  return lines;
}

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

void Report(const char* what, const Stats& stats) {
  std::printf("%-58s best %9.2f ms  median %9.2f ms\n", what, stats.Best() * 1e3, stats.Median() * 1e3);
}

void ReportShare(const char* what, const Stats& files, const Stats& pass) {
  std::printf("%-58s best %9.2f ms  median %9.2f ms  (%.0f%% of the pass's median)\n", what, files.Best() * 1e3,
              files.Median() * 1e3, 100.0 * files.Median() / pass.Median());
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

    std::printf("form: %d components; %d look-ups a translation\n", kComponents, kLookups);
    if (gOnlyKind >= 0) {
      language.GenerateLanguageFiles(*form);
      Report("TranslateComponent, objects only", Time(runs, [&] { language.TranslateComponent(*form); }));
      language.TranslateForms();
      Report("TranslateForms, windows made", Time(runs, [&] { language.TranslateForms(); }));
      RemoveTree(folder);
      return 0;
    }
    const Stats fresh = Time(5, [&] {
      RemoveTree(folder);
      language.GenerateLanguageFiles(*form);
    });
    Report("GenerateLanguageFiles, 4 languages, files absent", fresh);
    const Stats again = Time(runs, [&] { language.GenerateLanguageFiles(*form); });
    Report("GenerateLanguageFiles, 4 languages, files present", again);

    const Stats objects = Time(runs, [&] { language.TranslateComponent(*form); });
    Report("TranslateComponent, objects only", objects);
    language.TranslateForms();  // makes the windows (hidden form)
    const Stats windows = Time(runs, [&] { language.TranslateForms(); });
    Report("TranslateForms, windows made", windows);

    // The file work of each pass alone: the same open and look-ups of the
    // Traditional file; the same four files written key by key, each key
    // looked up first (files absent) or found holding its value (present).
    const LanguagePlatform& platform = CurrentLanguagePlatform();
    LeadByteTable chinese{};
    for (int b = 0x81; b <= 0xFE; ++b) chinese[static_cast<std::size_t>(b)] = true;
    const std::string traditional = folder + "cht\\TBenchForm.ini";
    const std::vector<std::string> keys = TranslationKeys();
    const Stats reads = Time(runs, [&] {
      auto file = platform.OpenLanguageFile(traditional, "TBenchForm", chinese, LanguageFileAccess::Read);
      for (const std::string& key : keys) (void)file->Find(key);
    });
    ReportShare("  of which opening and look-ups alone", reads, objects);
    const auto lines = Lines(traditional);
    const std::string replay = folder + "replay\\";
    const auto writeAll = [&] {
      for (const char* kind : KindFolders) {
        CreateDirectoryA((replay + kind).c_str(), nullptr);
        auto file = platform.OpenLanguageFile(replay + kind + "TBenchForm.ini", "TBenchForm", chinese,
                                              LanguageFileAccess::Write);
        for (const auto& [key, value] : lines) {
          (void)file->Find(key);
          file->Write(key, value);
        }
      }
    };
    const Stats writesFresh = Time(5, [&] {
      RemoveTree(replay);
      CreateDirectoryA(replay.c_str(), nullptr);
      writeAll();
    });
    ReportShare("GenerateLanguageFiles absent: the writes alone", writesFresh, fresh);
    const Stats writesAgain = Time(runs, writeAll);
    ReportShare("GenerateLanguageFiles present: the writes alone", writesAgain, again);
    std::printf("(%zu keys in the Traditional file, %zu look-ups a translation)\n", lines.size(), keys.size());
    RemoveTree(folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
