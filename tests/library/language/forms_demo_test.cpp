// The forms demo's order form switching Traditional -> Simplified ->
// English -> Traditional, on a Traditional system (code page 950) and again
// on a Simplified one (936). After each switch every value its language
// files hold is compared byte for byte with what the form's components
// hold: the form's texts are written by a second component into a scratch
// file (the default language's generation, no conversion) and the two
// files' lines compared as bytes. Windows are checked where the system's
// code page is the file's.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "folders_win.h"
#include "language_files.h"
#include "order_form.h"

namespace forms_demo {
namespace {

/// The file's "key=value" lines as bytes, split at the first "=" (the first
/// of a key wins); the section line and anything without "=" left out.
std::map<std::string, std::string> Lines(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
  }
  std::map<std::string, std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) lines.emplace(line.substr(0, equals), line.substr(equals + 1));
    start = end + 2;
  }
  return lines;
}

std::string WindowText(TWinControl& control) {
  char text[512] = {};
  const int length = GetWindowTextA(reinterpret_cast<HWND>(control.Handle()), text, sizeof text);
  return std::string(text, static_cast<std::size_t>(length));
}

class FormsDemo : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string base = std::string(temp) + "ql-demo-" + std::to_string(GetCurrentProcessId()) + "\\";
    folder = base + "Languages\\";
    scratch = base + "scratch\\";
    testsupport::RemoveTree(base);
    CreateDirectoryA(base.c_str(), nullptr);
  }
  void TearDown() override {
    testsupport::RemoveTree(folder.substr(0, folder.size() - std::string("Languages\\").size()));
    CurrentLanguagePath() = "<Bin>Languages";
    CurrentLanguageKind() = TLanguageKind::lkChineseSimplify;
  }

  /// Every value of the kind's files against the form's texts, byte for
  /// byte; the number of values compared.
  int CompareWithFiles(TOrderForm& form, TLanguageKind kind) {
    testsupport::RemoveTree(scratch);
    {
      TUIMultiLanguage writer(nullptr);
      writer.SetAutoTranslate(false);
      writer.SetLanguagePath(scratch);
      TLanguageItem& item = writer.Languages().Add();
      item.SetKind(kind);
      item.SetIsDefault(true);
      writer.GenerateLanguageFiles(form);
    }
    CurrentLanguagePath() = folder;
    CurrentLanguageKind() = kind;
    int compared = 0;
    for (const char* cls : {"TOrderForm", "TAddressFrame"}) {
      const std::string sub = KindFolders[static_cast<int>(kind)];
      const auto file = Lines(folder + sub + cls + ".ini");
      const auto shown = Lines(scratch + sub + cls + ".ini");
      EXPECT_FALSE(file.empty()) << sub << cls;
      for (const auto& [key, value] : file) {
        const auto found = shown.find(key);
        // A bare key written by hand has no text of its own; the status line
        // is the program's, rewritten after each translation.
        if (found == shown.end() || key == "StatusLabel") continue;
        EXPECT_EQ(found->second, value) << sub << cls << ": " << key << " (code page " << GetACP() << ")";
        // No text of the demo holds a "?": one in a file is a character
        // lost on its way through a code page.
        EXPECT_EQ(value.find('?'), std::string::npos) << sub << cls << ": " << key;
        ++compared;
      }
    }
    return compared;
  }

  /// Labels', buttons' and the form's windows show their captions, where
  /// the system reads the file's bytes as they are meant.
  static void CompareWindows(TComponent& root) {
    for (int i = 0; i < root.ComponentCount(); ++i) {
      TComponent& component = root.Components(i);
      if (component.Is<TLabel>() || component.Is<TButton>()) {
        auto& control = static_cast<TWinControl&>(component);
        EXPECT_EQ(WindowText(control), control.Caption()) << component.Name();
      }
      if (component.Is<TCustomFrame>()) CompareWindows(component);
    }
  }

  std::string folder;
  std::string scratch;
};

TEST_F(FormsDemo, SwitchesLanguagesWithEveryTextByteExact) {
  const UINT codePage = GetACP();
  ASSERT_TRUE(codePage == 950 || codePage == 936);
  TOrderForm form(nullptr);
  form.Language().SetLanguagePath(folder);
  WriteFirstLanguageFiles(form);
  // As the demo starts: a Big5 design converted on a Simplified system, then
  // shown in the system's language.
  if (codePage == 936) form.Convert(TWinPerTurnType::wttTCToSC);
  // The converter's own component, made by that first conversion, set the
  // process-wide path to its "<Bin>Languages\"; showing takes it from there.
  CurrentLanguagePath() = folder;
  CurrentLanguageKind() = codePage == 936 ? TLanguageKind::lkChineseSimplify : TLanguageKind::lkChineseTradionary;
  form.Show();

  const TLanguageKind order[] = {TLanguageKind::lkChineseTradionary, TLanguageKind::lkChineseSimplify,
                                 TLanguageKind::lkEnglish, TLanguageKind::lkChineseTradionary};
  for (const TLanguageKind kind : order) {
    form.ChooseLanguage(kind);
    SCOPED_TRACE(KindFolders[static_cast<int>(kind)]);
    EXPECT_GE(CompareWithFiles(form, kind), 50) << "every caption, hint, line, node and column";
    const bool readable = kind == TLanguageKind::lkEnglish ||
                          (kind == TLanguageKind::lkChineseTradionary && codePage == 950) ||
                          (kind == TLanguageKind::lkChineseSimplify && codePage == 936);
    if (readable) {
      EXPECT_EQ(WindowText(form), form.Caption());
      CompareWindows(form);
    }
  }
}

}  // namespace
}  // namespace forms_demo
