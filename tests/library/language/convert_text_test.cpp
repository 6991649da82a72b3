// ConvertText on Windows (run under Wine in code pages 950, 936 and 1252):
// the worked examples byte for byte, the word-table rules, the built-in
// character table against OpenCC's own conversion, the mapping probe, and
// the folders the path macros stand for.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "framework/os_error_win.h"
#include "language/UIMultiLanguage.h"
#include "language/chinese_mapping_win.h"
#include "language/language_platform.h"
#include "language/word_table.h"

namespace quorlane {
namespace {

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override { component.SetWordTablePath("<Bin>"); }
  TUIMultiLanguage component{nullptr};
};

TEST_F(Conversion, TraditionalSoftwareBecomesTheSimplifiedWord) {
  // 軟體 maps to 软体; pair 2 turns that into 软件.
  EXPECT_EQ(component.ConvertText("\xB3\x6E\xC5\xE9", 0, true), "\xC8\xED\xBC\xFE");
  EXPECT_EQ(component.ConvertText("\xB3\x6E\xC5\xE9", 0, false), "\xC8\xED\xCC\xE5");
}

TEST_F(Conversion, EarlierLongerPairTakesItsTextFromTheLaterOne) {
  // Tamsel软件 → Tamsel軟件 → Sorvik資訊; pair 2's 軟件 no longer occurs.
  EXPECT_EQ(component.ConvertText("Tamsel\xC8\xED\xBC\xFE", 1, true), "Sorvik\xB8\xEA\xB0\x54");
  EXPECT_EQ(component.ConvertText("Tamsel\xC8\xED\xBC\xFE", 1, false), "Tamsel\xB3\x6E\xA5\xF3");
}

TEST_F(Conversion, CompanyNameBecomesItsSimplifiedForm) {
  EXPECT_EQ(component.ConvertText("Sorvik\xB8\xEA\xB0\x54", 0, true), "Tamsel\xC8\xED\xBC\xFE");
}

TEST_F(Conversion, SourceWordMustOccurInTheInputAndThenReplacesEveryMappedForm) {
  // 軟体 (Big5 B3 6E CA 5E) maps to 软体 too, but holds no 軟體.
  EXPECT_EQ(component.ConvertText("\xB3\x6E\xCA\x5E", 0, true), "\xC8\xED\xCC\xE5");
  // 軟體 once and 軟体 once: both mapped forms are replaced.
  EXPECT_EQ(component.ConvertText("\xB3\x6E\xC5\xE9-\xB3\x6E\xCA\x5E", 0, true), "\xC8\xED\xBC\xFE-\xC8\xED\xBC\xFE");
}

TEST_F(Conversion, OtherTargetsAndEmptyTextAreReturnedAsGiven) {
  const std::string text = "\xB3\x6E\xC5\xE9 Sorvik\xB8\xEA\xB0\x54\x80\xFF";
  EXPECT_EQ(component.ConvertText(text, 2, true), text);
  EXPECT_EQ(component.ConvertText(text, 3, true), text);
  EXPECT_EQ(component.ConvertText(text, 200, true), text);
  EXPECT_EQ(component.ConvertText("", 0, true), "");
  EXPECT_EQ(component.ConvertText("", 1, true), "");
}

TEST(ConversionWithoutTable, UseChangesNothingWhenNoFolderWasSet) {
  TUIMultiLanguage fresh(nullptr);
  EXPECT_EQ(fresh.ConvertText("\xB3\x6E\xC5\xE9", 0, true), "\xC8\xED\xCC\xE5");
}

TEST(ConversionWithoutTable, CharacterOutsideTheMappingKeepsWhatTheTargetCodePageMakesOfIt) {
  // Cyrillic Zhe (GBK A7 A8) has no Chinese mapping; code page 950, asked with
  // flags 0, gives its form or its default character, and the bytes around it
  // come through.
  wchar_t zhe[2] = {};
  ASSERT_EQ(MultiByteToWideChar(936, 0, "\xA7\xA8", 2, zhe, 2), 1);
  char big5[8] = {};
  const int length = WideCharToMultiByte(950, 0, zhe, 1, big5, sizeof big5, nullptr, nullptr);
  ASSERT_GT(length, 0);
  TUIMultiLanguage fresh(nullptr);
  EXPECT_EQ(fresh.ConvertText("x\xA7\xA8y", 1, false), "x" + std::string(big5, static_cast<std::size_t>(length)) + "y");
}

TEST(OSErrors, CarryTheCodeAndTheSystemsMessage) {
  try {
    SetLastError(ERROR_FILE_NOT_FOUND);
    RaiseLastOSError();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(e.Message().empty());
    EXPECT_NE(e.Message().back(), '\n');
    return;
  }
  ADD_FAILURE() << "nothing raised";
}

TEST(AnsiCodePage, MatchOnASecondByteIsPassedOverOnlyInDoubleByteCodePages) {
  const std::string text = "\xA4\x40@";  // A4 40 is one character in 950 and 936
  const std::string replaced = ReplaceAllMultiByte(text, "@", "#", CurrentLanguagePlatform().AnsiLeadBytes());
  switch (GetACP()) {
    case 950:
    case 936:
      EXPECT_EQ(replaced, "\xA4\x40#");
      break;
    case 1252:
      EXPECT_EQ(replaced, "\xA4##");
      break;
    default:
      GTEST_SKIP() << "code page " << GetACP();
  }
}

TEST(MappingProbe, FallsBackToTheTableExactlyWhenThePlatformLeavesChineseUnmapped) {
  wchar_t out[4] = {};
  const wchar_t body = L'\x9AD4';
  const bool platformMaps = LCMapStringW(0x00020804, LCMAP_SIMPLIFIED_CHINESE, &body, 1, out, 4) == 1 &&
                            out[0] == L'\x4F53';
  if (!platformMaps) {
    EXPECT_FALSE(PlatformMapsChinese());
  }
  if (RunningUnderWine()) {
    EXPECT_FALSE(PlatformMapsChinese());
  }
  EXPECT_EQ(MapChinese(L"\x9AD4", true), L"\x4F53");
  EXPECT_EQ(MapChinese(L"\x4F53", false), L"\x9AD4");
}

std::wstring FromUtf8(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// The text in the code page, or empty when the code page cannot hold it.
std::string InCodePage(UINT codePage, const std::wstring& w) {
  BOOL usedDefault = FALSE;
  char buffer[16] = {};
  const int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), buffer, sizeof buffer,
                                    nullptr, &usedDefault);
  return (n == 0 || usedDefault) ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

struct ReferenceCase {
  const char* label;
  const char* sample;
  const char* opencc;
  UINT from, to;
  int target;
};

void PrintTo(const ReferenceCase& c, std::ostream* os) { *os << c.label; }

class AgreementWithOpenCC : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(AgreementWithOpenCC, EveryCharacterOfTheSampleConvertsAsOpenCCConvertsIt) {
  const ReferenceCase& c = GetParam();
  std::ifstream sample(std::string(QL_REFERENCE_DIR) + "/" + c.sample, std::ios::binary);
  std::ifstream reference(std::string(QL_REFERENCE_DIR) + "/" + c.opencc, std::ios::binary);
  ASSERT_TRUE(sample && reference);
  TUIMultiLanguage component(nullptr);
  int compared = 0, disagreed = 0;
  std::string in, out;
  while (std::getline(sample, in) && std::getline(reference, out)) {
    const std::string source = InCodePage(c.from, FromUtf8(in));
    const std::string expected = InCodePage(c.to, FromUtf8(out));
    if (source.empty() || expected.empty()) continue;
    ++compared;
    if (component.ConvertText(source, c.target, false) != expected) {
      if (++disagreed <= 5) ADD_FAILURE() << "differs on " << in << " (OpenCC: " << out << ")";
    }
  }
  EXPECT_GE(compared, 2000);
  EXPECT_EQ(disagreed, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AgreementWithOpenCC,
    ::testing::Values(ReferenceCase{"TraditionalToSimplified", "traditional_sample.txt", "traditional_sample.t2s.txt",
                                    950, 936, 0},
                      ReferenceCase{"SimplifiedToTraditional", "simplified_sample.txt", "simplified_sample.s2t.txt",
                                    936, 950, 1}),
    [](const auto& testInfo) { return std::string(testInfo.param.label); });

TEST(PathMacros, StandForTheSystemFolderTheExecutableFolderAndTheCurrentDirectory) {
  TUIMultiLanguage component(nullptr);
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_EQ(component.ResolvePath("<Windows>x"), std::string(windows) + "\\x");
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder = exe;
  folder.resize(folder.rfind('\\') + 1);
  EXPECT_EQ(component.ResolvePath("<Bin>"), folder);
  EXPECT_EQ(component.LanguageFolder(), folder + "Languages\\");
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  std::string parent = current;
  parent.resize(parent.rfind('\\'));
  if (parent.size() == 2) parent += '\\';  // the parent is a drive root
  if (parent.back() != '\\') parent += '\\';
  EXPECT_EQ(component.ResolvePath("..\\x.y"), parent + "x.y");
  EXPECT_EQ(component.ResolvePath(".\\a\\..\\b"), std::string(current) + (std::string(current).back() == '\\' ? "" : "\\") + "b");
}

}  // namespace
}  // namespace quorlane
