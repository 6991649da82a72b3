// The local files' line rules and the key file's scrambling, natively.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keyfile/local_text.h"
#include "keyfile/taxation_key.h"

namespace {

namespace taxkey = quorlane::taxkey;
using Lines = std::vector<std::string>;

TEST(LocalTextLines, CrLfOrCrLfEndALineAndATrailingBreakMakesNoEmptyLine) {
  struct Case {
    std::string text;
    Lines lines;
  };
  const Case cases[] = {
      {"", {}},
      {"A\nB", {"A", "B"}},
      {"A\nB\n", {"A", "B"}},
      {"A\r\nB\r\n", {"A", "B"}},
      {"A\rB\r", {"A", "B"}},
      {"A\r\rB", {"A", "", "B"}},
      {"A\n\r\nB", {"A", "", "B"}},
      {"\n", {""}},
      {"\r\n\r\n", {"", ""}},
      {"a;b;", {"a;b;"}},
  };
  for (const auto& c : cases) EXPECT_EQ(quorlane::SplitTextLines(c.text), c.lines) << c.text;
  EXPECT_EQ(quorlane::VatListFileText("A\nB"), "A\r\nB\r\n");
  EXPECT_EQ(quorlane::VatListFileText(""), "");
  EXPECT_EQ(quorlane::VatListFileText("\xB0\xAA\r"), "\xB0\xAA\r\n");
}

TEST(KeyScrambling, RoundTripsAnyBytesAsPrintableAsciiAndEverySaltDiffers) {
  const std::string texts[] = {"", "ACME==k-123", std::string("\x00\xFF\r\n;==\xA4\xA4", 9), std::string(183, 'z')};
  for (const auto& text : texts) {
    for (int salt : {0, 1, 127, 255}) {
      const std::string line = taxkey::Scramble(text, static_cast<std::uint8_t>(salt));
      for (char c : line) ASSERT_TRUE(c > 0x20 && c < 0x7F) << line;
      EXPECT_EQ(taxkey::Unscramble(line), text);
      EXPECT_EQ(taxkey::Unscramble("  " + line + "\t"), text) << "blanks an editor added";
    }
  }
  EXPECT_LE(taxkey::Scramble(std::string(taxkey::kMaxPlainBytesPerLine, 'x'), 9).size(), taxkey::kMaxLineChars);
  EXPECT_NE(taxkey::Scramble("key", 1), taxkey::Scramble("key", 2));
}

// A typo anywhere, a line cut short or one from elsewhere never yields a
// (wrong) text: it unscrambles to nothing.
TEST(KeyScrambling, DamagedAndForeignLinesUnscrambleToNothing) {
  const std::string line = taxkey::Scramble("ACME==first part", 77);
  for (std::size_t i = 0; i < line.size(); ++i) {
    for (char replacement : {'A', 'z', '0', '-', '_', '=', ' '}) {
      if (line[i] == replacement) continue;
      std::string damaged = line;
      damaged[i] = replacement;
      EXPECT_EQ(taxkey::Unscramble(damaged), "") << damaged;
    }
  }
  for (std::size_t cut = 0; cut < line.size(); ++cut) EXPECT_EQ(taxkey::Unscramble(line.substr(0, cut)), "");
  for (const char* foreign : {"ACME==key", "QK1-", "QK2-AAAAAAAA", "qk1-AAAAAAAAAA", "QK1-AAAAAAAA==", ""}) {
    EXPECT_EQ(taxkey::Unscramble(foreign), "") << foreign;
  }
}

std::string KeyFile(const std::string& second, const std::string& third) {
  return "written by a test\r\n" + taxkey::Scramble(second, 3) + "\r\n" + taxkey::Scramble(third, 4) + "\r\n";
}

TEST(KeyFile, OwnerComparedWithLettersAToZLowerCasedThenBothKeyParts) {
  struct Case {
    const char* name;
    std::string file;
    std::string owner;
    std::string key;
  };
  const Case cases[] = {
      {"SameOwner", KeyFile("Acme Ltd==abc", "def"), "Acme Ltd", "abcdef"},
      {"OtherLetterCase", KeyFile("ACME LTD==abc", "def"), "acme ltd", "abcdef"},
      {"OnlyAToZFold", KeyFile("\xC9tude==abc", "def"), "\xE9tude", ""},
      {"ForeignOwner", KeyFile("Other==abc", "def"), "Acme", ""},
      {"FirstSeparatorCounts", KeyFile("Acme==a==b", ""), "Acme", "a==b"},
      {"NoSeparator", KeyFile("Acme abc", "def"), "Acme", ""},
      {"EmptyOwnerNeverMatches", KeyFile("==abc", "def"), "", ""},
      {"ForeignThirdLineGivesTheFirstPart", "x\r\n" + taxkey::Scramble("Acme==abc", 1) + "\r\nplain text\r\n", "Acme",
       "abc"},
      {"ForeignSecondLine", "x\r\nAcme==abc\r\n" + taxkey::Scramble("def", 1) + "\r\n", "Acme", ""},
      {"TwoLines", "x\r\n" + taxkey::Scramble("Acme==abc", 1) + "\r\n", "Acme", ""},
      {"LfEndings", "x\n" + taxkey::Scramble("Acme==abc", 1) + "\n" + taxkey::Scramble("def", 2), "Acme", "abcdef"},
      // The reader takes 255 characters: a longer line is cut and fails its check.
      {"OverlongLine", KeyFile("Acme==" + std::string(200, 'k'), ""), "Acme", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(taxkey::KeyFromKeyFile(c.file, c.owner), c.key) << c.name;
}

TEST(KeyFile, ComposedFilesReadBackUpToTheCapacityOfTwoLines) {
  std::string error;
  const std::string owner = "Acme";
  const std::size_t capacity = 2 * taxkey::kMaxPlainBytesPerLine - owner.size() - 2;
  for (std::size_t size : {std::size_t{1}, std::size_t{177}, std::size_t{178}, capacity}) {
    std::string key;
    for (std::size_t i = 0; i < size; ++i) key.push_back(static_cast<char>(0x21 + i % 90));
    const auto file = taxkey::ComposeKeyFile(owner, key, 5, 6, error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(taxkey::KeyFromKeyFile(*file, "ACME"), key) << size;
    for (const auto& line : quorlane::SplitTextLines(*file)) EXPECT_LE(line.size(), taxkey::kMaxLineChars);
  }
  EXPECT_FALSE(taxkey::ComposeKeyFile(owner, std::string(capacity + 1, 'k'), 5, 6, error));
  EXPECT_NE(error.find("hold at most " + std::to_string(capacity)), std::string::npos) << error;
  for (const char* badOwner : {"", "a==b", "ab=", " ab", "ab\n"}) {
    EXPECT_FALSE(taxkey::ComposeKeyFile(badOwner, "key", 1, 2, error)) << badOwner;
  }
  EXPECT_FALSE(taxkey::ComposeKeyFile("Acme", "", 1, 2, error));
}

}  // namespace
