// TWinPerTurn on its own: the published interface, TurnText's rules, the
// preparation (also when it fails) and descendants that override a slot.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "language/UIMultiLanguage.h"
#include "language/language_platform.h"
#include "recording_platform.h"
#include "script/WinPerTurn.h"

namespace quorlane {
namespace {

RecordingPlatform& gPlatform = TestPlatform();

constexpr char kBig5Software[] = "\xB3\x6E\xC5\xE9";  // 軟體
constexpr char kGbkSoftware[] = "\xC8\xED\xBC\xFE";   // 软件

class Converter : public ::testing::Test {
 protected:
  void SetUp() override {
    gPlatform.hostFolderExists = true;
    gPlatform.conversions.clear();
  }
  std::string Turn(const std::string& text, int type, bool usePhrase = true) {
    std::string result = "left over";
    converter.TurnText(text, static_cast<TWinPerTurnType>(type), usePhrase, result);
    return result;
  }
  TWinPerTurn converter;
};

TEST_F(Converter, PublishesItsPropertiesInOrderWithFixedVersionAndDefaultFaces) {
  std::vector<std::string> names;
  for (const TPropertyInfo* p : converter.ClassType().Properties()) names.emplace_back(p->name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Version", "TC_Font", "SC_Font", "OnTurnEvent"}));
  EXPECT_EQ(converter.ClassType().FindProperty("OnTurnEvent")->kind, TPropertyKind::Method);
  EXPECT_THROW(SetPropValue(converter, "OnTurnEvent", TValue(std::string("x"))), Exception);

  SetStrProp(converter, "Version", "1999/01/01");
  EXPECT_EQ(GetStrProp(converter, "Version"), "2009/12/28 PM 5:00");
  EXPECT_EQ(GetStrProp(converter, "TC_Font"), std::string("\xB2\xD3\xA9\xFA\xC5\xE9", 6));
  EXPECT_EQ(GetStrProp(converter, "SC_Font"), std::string("\xD0\xC2\xCB\xCE\xCC\xE5", 6));
  SetStrProp(converter, "SC_Font", "SimSun");
  EXPECT_EQ(converter.SC_Font(), "SimSun");
  EXPECT_FALSE(converter.Ready());
  EXPECT_EQ(converter.ComponentCount(), 0) << "creation makes no translation component";
}

TEST_F(Converter, EmptyAndBlankTextsComeBackEmptyWithoutPreparing) {
  for (const std::string& text : {std::string(), std::string("   "), std::string("\t\r\n \x01", 5),
                                 std::string("\0 \x20", 3)}) {
    for (int type : {0, 1, 2}) {
      EXPECT_EQ(Turn(text, type), "") << "type " << type;
    }
  }
  EXPECT_FALSE(converter.Ready());
  EXPECT_EQ(converter.ComponentCount(), 0);
  EXPECT_TRUE(gPlatform.conversions.empty());
}

TEST_F(Converter, ConvertsTheUntrimmedTextInTheDirectionAsked) {
  EXPECT_EQ(Turn(" a\t", 0), " a\t");
  EXPECT_EQ(Turn("b ", 1), "b ");
  EXPECT_EQ(gPlatform.conversions,
            (std::vector<std::pair<std::string, bool>>{{" a\t", true}, {"b ", false}}));
  // The phrase flag reaches the word table.
  EXPECT_EQ(Turn(kBig5Software, 0, true), kGbkSoftware);
  EXPECT_EQ(Turn(kBig5Software, 0, false), kBig5Software);
}

TEST_F(Converter, OtherDirectionsLeaveTheTextButStillPrepare) {
  for (int type : {2, 5, 255}) EXPECT_EQ(Turn(" x ", type), " x ");
  EXPECT_TRUE(gPlatform.conversions.empty());
  EXPECT_TRUE(converter.Ready());
}

TEST_F(Converter, PreparationMakesOneSilentComponentWithTheHostFolderAsWordTable) {
  Turn("a", 0);
  Turn("b", 1);
  ASSERT_TRUE(converter.Ready());
  ASSERT_EQ(converter.ComponentCount(), 1);
  TUIMultiLanguage* language = converter.Language();
  ASSERT_EQ(&converter.Components(0), language);
  EXPECT_FALSE(language->AutoTranslate());
  EXPECT_EQ(language->WordTablePath(), RecordingPlatform::kHostFolder);
  EXPECT_EQ(language->WordPairs().size(), 2u);
}

TEST_F(Converter, FailedPreparationRaisesUnchangedKeepsItsComponentAndIsRetried) {
  gPlatform.hostFolderExists = false;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    try {
      Turn("a", 0);
      ADD_FAILURE() << "no error on attempt " << attempt;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), FormatMessageText(messages::kPathMissing, RecordingPlatform::kHostFolder));
    }
    EXPECT_FALSE(converter.Ready());
    EXPECT_EQ(converter.ComponentCount(), attempt) << "each attempt's component stays owned";
    EXPECT_EQ(converter.Language(), &converter.Components(attempt - 1));
  }
  gPlatform.hostFolderExists = true;
  EXPECT_EQ(Turn("a", 1), "a");
  EXPECT_TRUE(converter.Ready());
  EXPECT_EQ(converter.ComponentCount(), 3);
  EXPECT_EQ(converter.Language(), &converter.Components(2));
}

// A descendant that overrides one slot changes every path through it.
class TTaggingConverter : public TWinPerTurn {
 public:
  using TWinPerTurn::TWinPerTurn;
  void PrepareTurn() override {
    ++prepareCalls;
    if (prepare) TWinPerTurn::PrepareTurn();
  }
  void TurnText(std::string text, TWinPerTurnType type, bool phrase, std::string& result) override {
    TWinPerTurn::TurnText(std::move(text), type, phrase, result);
    result = "<" + result + ">";
  }
  int prepareCalls = 0;
  bool prepare = true;
};

TEST(ConverterDescendant, OverridesAreSeenThroughTheBaseAndByTurnText) {
  gPlatform.hostFolderExists = true;
  TComponent form(nullptr);
  auto& tagging = TComponent::Create<TTaggingConverter>(form);
  TWinPerTurn& base = tagging;
  std::string result;
  base.TurnText("x", TWinPerTurnType::wttTCToSC, true, result);
  EXPECT_EQ(result, "<x>");
  base.TurnText("y", TWinPerTurnType::wttSCToTC, true, result);
  EXPECT_EQ(tagging.prepareCalls, 2) << "TurnText prepares through the slot";
  EXPECT_EQ(tagging.Owner(), &form);

  // A preparation that does not call the inherited one leaves no component:
  // an error, not a crash.
  TTaggingConverter bare;
  bare.prepare = false;
  EXPECT_THROW(bare.TurnText("x", TWinPerTurnType::wttTCToSC, true, result), Exception);
}

}  // namespace
}  // namespace quorlane
