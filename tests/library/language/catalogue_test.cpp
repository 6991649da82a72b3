// The language catalogue: initial values, setters that do nothing for their
// current value, the consistency checks with their Big5 messages, the
// default rules, path macros and the process-wide current language.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "language/UIMultiLanguage.h"
#include "language/language_platform.h"

namespace quorlane {
namespace {

const std::string kBadParameter = "\xB5\x4C\xAE\xC4\xB0\xD1\xBC\xC6\xB3\x5D\xB8\x6D";  // 無效參數設置

template <typename Body>
std::string MessageOf(Body&& body) {
  try {
    body();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    // Sentinels show whether anything touched the process-wide values.
    CurrentLanguagePath() = "sentinel";
    CurrentLanguageKind() = TLanguageKind::lkCustom;
    component = std::make_unique<TUIMultiLanguage>(nullptr);
    component->OnBeforeTranslate = [this](TUIMultiLanguage&) { events.push_back("before"); };
    component->OnAfterTranslate = [this](TUIMultiLanguage&) { events.push_back("after"); };
  }
  void TearDown() override {
    component.reset();
    CurrentLanguagePath() = "<Bin>Languages";
    CurrentLanguageKind() = TLanguageKind::lkChineseSimplify;
  }
  TLanguageItem& AddItem(const std::string& name, TLanguageKind kind, bool isDefault = false) {
    TLanguageItem& item = component->Languages().Add();
    item.SetName(name);
    item.SetKind(kind);
    item.SetIsDefault(isDefault);
    item.OnChanged = [this](TLanguageItem& sender) { events.push_back("changed " + sender.Name()); };
    return item;
  }
  const std::string app = CurrentLanguagePlatform().ApplicationFolder();
  std::unique_ptr<TUIMultiLanguage> component;
  std::vector<std::string> events;
};

TEST_F(Catalogue, ConstructorSetsThePathThroughItsSetterButNotTheKind) {
  EXPECT_EQ(component->LanguageKind(), TLanguageKind::lkChineseTradionary);
  EXPECT_EQ(component->LanguagePath(), "<Bin>Languages\\");
  EXPECT_EQ(component->LanguageFolder(), app + "Languages\\");
  EXPECT_TRUE(component->AutoTranslate());
  EXPECT_FALSE(component->HookOnShow() || component->WordConvert());
  EXPECT_TRUE(component->WordTablePath().empty() && component->FormClassName().empty());
  EXPECT_TRUE(component->WordPairs().empty());
  EXPECT_EQ(component->Languages().Count(), 0);
  EXPECT_EQ(component->Languages().GetOwner(), component.get());
  EXPECT_EQ(CurrentLanguagePath(), "<Bin>Languages\\");
  EXPECT_EQ(CurrentLanguageKind(), TLanguageKind::lkCustom);
  EXPECT_TRUE(events.empty());
}

TEST_F(Catalogue, StoredPropertiesComeInTheirStoredOrder) {
  std::vector<std::string> names;
  for (const TPropertyInfo* p : TUIMultiLanguage::StaticClass().Properties()) names.emplace_back(p->name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "LanguageKind", "LanguagePath", "WordTablePath",
                                             "FormClassName", "AutoTranslate", "HookOnShow", "WordConvert",
                                             "Languages", "TranslatedForms"}));
  EXPECT_EQ(GetPropValue(*component, "LanguageKind"), TValue(std::string("lkChineseTradionary")));
}

TEST_F(Catalogue, SettersGivenTheirCurrentValueTouchNothing) {
  CurrentLanguagePath() = "sentinel";
  component->SetLanguageKind(TLanguageKind::lkChineseTradionary);
  component->SetLanguagePath("<Bin>Languages\\");
  component->SetWordTablePath("");
  component->SetHookOnShow(false);
  EXPECT_EQ(CurrentLanguagePath(), "sentinel");
  EXPECT_EQ(CurrentLanguageKind(), TLanguageKind::lkCustom);
  // Two fresh items duplicate each other's kind and name; setting those same
  // values is no change, so no check runs and nobody is told.
  TLanguageItem& a = component->Languages().Add();
  TLanguageItem& b = component->Languages().Add();
  b.OnChanged = [this](TLanguageItem&) { events.push_back("changed"); };
  b.SetKind(TLanguageKind::lkChineseSimplify);
  b.SetName("");
  b.SetIsDefault(false);
  EXPECT_EQ(a.Kind(), b.Kind());
  EXPECT_TRUE(events.empty());
}

TEST_F(Catalogue, KindChangeUpdatesTheProcessValueAndTranslatesOnlyWhenAskedAndNotWhileLoading) {
  component->SetLanguageKind(TLanguageKind::lkEnglish);
  EXPECT_EQ(CurrentLanguageKind(), TLanguageKind::lkEnglish);
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after"}));
  events.clear();
  component->SetAutoTranslate(false);
  component->SetLanguageKind(TLanguageKind::lkCustom);
  EXPECT_TRUE(events.empty());
  component->SetAutoTranslate(true);
  component->BeginLoading();
  SetPropValue(*component, "LanguageKind", TValue(std::string("lkChineseSimplify")));
  component->EndLoading();
  EXPECT_EQ(CurrentLanguageKind(), TLanguageKind::lkChineseSimplify);
  EXPECT_TRUE(events.empty());
}

TEST_F(Catalogue, PathWithoutTrailingBackslashIsAChangeToTheSameFolder) {
  component->SetLanguagePath("<Bin>Languages");
  EXPECT_EQ(component->LanguagePath(), "<Bin>Languages\\");
  EXPECT_EQ(component->LanguageFolder(), app + "Languages\\");
  EXPECT_EQ(CurrentLanguagePath(), "<Bin>Languages");
  // A double-byte character ending in byte 0x5C (許 in Big5) is no delimiter;
  // in a single-byte code page that byte is one.
  component->SetLanguagePath("\xB3\x5C");
  const bool doubleByte = CurrentLanguagePlatform().AnsiLeadBytes()[0xB3];
  EXPECT_EQ(component->LanguagePath(), doubleByte ? "\xB3\x5C\\" : "\xB3\x5C");
  component->SetLanguagePath("");
  EXPECT_EQ(component->LanguagePath(), "");
  EXPECT_EQ(component->LanguageFolder(), "");
  EXPECT_EQ(CurrentLanguagePath(), "");
  EXPECT_TRUE(events.empty());
}

TEST_F(Catalogue, FailingPathLeavesComponentAndProcessValueAsTheyWere) {
  EXPECT_EQ(MessageOf([&] { component->SetLanguagePath("<Temp>Languages"); }), kBadParameter);
  EXPECT_EQ(component->LanguagePath(), "<Bin>Languages\\");
  EXPECT_EQ(component->LanguageFolder(), app + "Languages\\");
  EXPECT_EQ(CurrentLanguagePath(), "<Bin>Languages\\");
}

TEST_F(Catalogue, DuplicateNameAndKindAreRefusedWithTheirMessages) {
  AddItem("English", TLanguageKind::lkEnglish);
  TLanguageItem& other = AddItem("Other", TLanguageKind::lkCustom);
  events.clear();
  EXPECT_EQ(MessageOf([&] { other.SetName("English"); }),
            "\xBB\x79\xA8\xA5\xA6\x57\xBA\xD9\x22" "English" "\x22\xA4\x77\xB8\x67\xA6\x73\xA6\x62");
  EXPECT_EQ(MessageOf([&] { other.SetKind(TLanguageKind::lkEnglish); }),
            "\xBB\x79\xA8\xA5\xBA\xD8\xC3\xFE\xA4\x77\xB8\x67\xA6\x73\xA6\x62");
  EXPECT_EQ(other.Name(), "Other");
  EXPECT_EQ(other.Kind(), TLanguageKind::lkCustom);
  EXPECT_TRUE(events.empty());
  other.SetName("english");  // names compare case-sensitively
  EXPECT_EQ(events, (std::vector<std::string>{"changed english"}));
}

TEST_F(Catalogue, SecondDefaultNamesTheItemAndSucceedsOnceTheFirstIsCleared) {
  TLanguageItem& a = AddItem("A", TLanguageKind::lkChineseTradionary, true);
  TLanguageItem& b = AddItem("B", TLanguageKind::lkChineseSimplify);
  EXPECT_EQ(MessageOf([&] { b.SetIsDefault(true); }),
            "\xC0\x71\xBB\x7B\xBB\x79\xA8\xA5\xA4\x77\xB8\x67\xA6\x73\xA6\x62\xA1\x41\xA4\xA3\xAF\xE0\xA6\x41\xB1\x4E"
            "\x22" "B" "\x22\xB3\x5D\xAC\xB0\xC0\x71\xBB\x7B\xBB\x79\xA8\xA5");
  EXPECT_FALSE(b.IsDefault());
  EXPECT_EQ(component->Languages().DefaultKind(), TLanguageKind::lkChineseTradionary);
  a.SetIsDefault(false);
  EXPECT_EQ(component->Languages().DefaultKind(), std::nullopt);
  b.SetIsDefault(true);
  EXPECT_EQ(component->Languages().DefaultKind(), TLanguageKind::lkChineseSimplify);
}

TEST_F(Catalogue, LanguagesSetterCopiesIntoTheSameOwnedCatalogue) {
  AddItem("Old", TLanguageKind::lkCustom);
  TUIMultiLanguage other(nullptr);
  TLanguageItem& s = other.Languages().Add();
  s.SetName("S");
  TLanguageItem& t = other.Languages().Add();
  t.SetName("T");
  t.SetKind(TLanguageKind::lkChineseTradionary);
  t.SetIsDefault(true);
  TLanguages* owned = &component->Languages();
  SetPropValue(*component, "Languages", TValue(static_cast<TObject*>(&other.Languages())));
  ASSERT_EQ(&component->Languages(), owned);
  ASSERT_EQ(owned->Count(), 2);
  EXPECT_EQ(owned->Items(0).Name(), "S");
  EXPECT_EQ(owned->Items(1).Kind(), TLanguageKind::lkChineseTradionary);
  EXPECT_EQ(owned->DefaultKind(), TLanguageKind::lkChineseTradionary);
  EXPECT_EQ(owned->Items(1).Index(), 1);
  component->SetLanguages(nullptr);
  EXPECT_EQ(owned->Count(), 0);
}

struct PathCase {
  const char* label;
  std::string path;
  std::string expected;  // "!" = raises the invalid-parameter message
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.label; }

class ResolvePathForms : public ::testing::TestWithParam<PathCase> {};

std::vector<PathCase> PathCases() {
  const LanguagePlatform& p = CurrentLanguagePlatform();
  const std::string win = p.WindowsDirectory() + "\\";
  const std::string app = p.ApplicationFolder();
  return {
      {"Empty", "", ""},
      {"Blanks", "  \t ", ""},
      {"BinMacro", "<Bin>Languages\\", app + "Languages\\"},
      {"MacroCaseAndDelimiter", "<bIN>\\Languages", app + "Languages"},
      {"OnlyOneDelimiterRemoved", "<Program>\\\\x", app + "\\x"},
      {"WindowsMacro", "<WINDOWS>Fonts", win + "Fonts"},
      {"WindowMacro", "<window>\\", win},
      {"UnknownMacro", "<Temp>x", "!"},
      {"CloseWithoutOpen", "Languages>x", "!"},
      {"BlankBeforeOpen", " <Bin>x", "!"},
      {"OpenWithoutClose", "<Bin", "!"},
      {"AbsoluteWithoutDot", "C:\\Data\\Lang", "C:\\Data\\Lang"},
      {"RelativeWithoutDotStaysRelative", "Lang\\chs", "Lang\\chs"},
      {"ParentIsExpanded", "..\\Lang", p.ExpandFileName("..\\Lang")},
      {"DotInFolderIsExpanded", "v1.2\\Lang", p.ExpandFileName("v1.2\\Lang")},
  };
}

TEST_P(ResolvePathForms, Resolves) {
  const PathCase& c = GetParam();
  TUIMultiLanguage component(nullptr);
  if (c.expected == "!") {
    EXPECT_EQ(MessageOf([&] { (void)component.ResolvePath(c.path); }), kBadParameter);
  } else {
    EXPECT_EQ(component.ResolvePath(c.path), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ResolvePathForms, ::testing::ValuesIn(PathCases()),
                         [](const auto& testInfo) { return std::string(testInfo.param.label); });

TEST_F(Catalogue, WordTablePathLoadsTheBuiltInPairsAndEmptyPathClearsThem) {
  component->SetWordTablePath("<Bin>");
  const auto& pairs = component->WordPairs();
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].Id, 1);
  EXPECT_EQ(pairs[0].TraditionalWord, "Sorvik\xB8\xEA\xB0\x54");  // Sorvik資訊, Big5
  EXPECT_EQ(pairs[0].SimplifiedWord, "Tamsel\xC8\xED\xBC\xFE");   // Tamsel软件, GBK
  EXPECT_EQ(pairs[1].Id, 2);
  EXPECT_EQ(pairs[1].TraditionalWord, "\xB3\x6E\xC5\xE9");  // 軟體
  EXPECT_EQ(pairs[1].SimplifiedWord, "\xC8\xED\xBC\xFE");   // 软件
  component->SetWordTablePath("");
  EXPECT_TRUE(component->WordPairs().empty());
  component->SetWordTablePath("<Bin>");
  EXPECT_EQ(component->WordPairs().size(), 2u);
  EXPECT_EQ(component->WordTablePath(), "<Bin>");
}

TEST_F(Catalogue, MissingOrMalformedWordTableFolderChangesNothing) {
  component->SetWordTablePath("<Bin>");
  EXPECT_EQ(MessageOf([&] { component->SetWordTablePath("<Bin>no such folder"); }),
            "\xB8\xF4\xAE\x7C\x22<Bin>no such folder\x22\xA4\xA3\xA6\x73\xA6\x62");
  EXPECT_EQ(MessageOf([&] { component->SetWordTablePath("<Nope>"); }), kBadParameter);
  EXPECT_EQ(component->WordTablePath(), "<Bin>");
  EXPECT_EQ(component->WordPairs().size(), 2u);
}

}  // namespace
}  // namespace quorlane
