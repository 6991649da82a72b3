// The replacement step of the word table on bytes: left to right, without
// overlap, and never starting on the second byte of a double-byte character.
#include <gtest/gtest.h>

#include <random>

#include "language/word_table.h"

namespace quorlane {
namespace {

const LeadByteTable& DoubleByte() {
  static const LeadByteTable table = [] {
    LeadByteTable t{};
    for (int b = 0x81; b <= 0xFE; ++b) t[static_cast<std::size_t>(b)] = true;
    return t;
  }();
  return table;
}

struct ReplaceCase {
  const char* label;
  std::string text, from, to;
  bool doubleByte;
  std::string expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.label; }

class Replacement : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(Replacement, Replaces) {
  const ReplaceCase& c = GetParam();
  EXPECT_EQ(ReplaceAllMultiByte(c.text, c.from, c.to, c.doubleByte ? DoubleByte() : SingleByteTable()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    WordTable, Replacement,
    ::testing::Values(
        ReplaceCase{"EveryOccurrence", "abXab", "ab", "Z", true, "ZXZ"},
        ReplaceCase{"WithoutOverlap", "aaaa", "aa", "b", false, "bb"},
        ReplaceCase{"ReplacementIsNotSearchedAgain", "ab", "a", "aa", false, "aab"},
        // "@" is the trail byte of A4 40 and also a character of its own.
        ReplaceCase{"SecondByteIsPassedOver", "\xA4\x40@", "@", "#", true, "\xA4\x40#"},
        ReplaceCase{"SingleByteCodePageMatchesAnywhere", "\xA4\x40@", "@", "#", false, "\xA4##"},
        // C8 ED CC E5 (软体) straddling two characters: xx C8 | ED CC | E5 xx.
        ReplaceCase{"DoubleByteWordAcrossCharacters", "\xB0\xC8\xED\xCC\xE5\xB0", "\xC8\xED\xCC\xE5", "!", true,
                    "\xB0\xC8\xED\xCC\xE5\xB0"},
        ReplaceCase{"MatchOnCharacterBoundary", "\xB0\xC8\xED\xCC\xC8\xED\xCC\xE5", "\xC8\xED\xCC\xE5", "!", true,
                    "\xB0\xC8\xED\xCC!"},
        ReplaceCase{"LoneLeadByteAtEnd", "a\xB0", "\xB0", "!", true, "a!"},
        ReplaceCase{"EmptyWordChangesNothing", "abc", "", "x", true, "abc"},
        ReplaceCase{"NotFound", "abc", "d", "x", true, "abc"}),
    [](const auto& testInfo) { return std::string(testInfo.param.label); });

// Walks the text character by character, as a reader of the code page does.
std::string WalkingReplace(const std::string& text, const std::string& from, const std::string& to,
                           const LeadByteTable& lead) {
  std::string result;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, from.size(), from) == 0) {
      result += to;
      i += from.size();
      continue;
    }
    const std::size_t width = (lead[static_cast<unsigned char>(text[i])] && i + 1 < text.size()) ? 2 : 1;
    result.append(text, i, width);
    i += width;
  }
  return result;
}

TEST(WordTableRandom, AgreesWithACharacterByCharacterWalk) {
  std::mt19937 random(20261209);
  const char alphabet[] = {'\xA4', '\x40', 'a', '\xB3', '\x5C'};
  const auto pick = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += alphabet[random() % sizeof alphabet];
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    const std::string text = pick(random() % 12);
    const std::string from = pick(1 + random() % 3);
    const std::string to = pick(random() % 3);
    const LeadByteTable& lead = (round % 2 == 0) ? DoubleByte() : SingleByteTable();
    ASSERT_EQ(ReplaceAllMultiByte(text, from, to, lead), WalkingReplace(text, from, to, lead))
        << "round " << round;
  }
}

}  // namespace
}  // namespace quorlane
