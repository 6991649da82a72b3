// The language files' own reader and writer (ini_section.h), natively: how
// awkward files read, that every value reads back exactly, and which bytes
// a write changes. language_file_test.cpp checks the same rules against the
// profile functions under Wine.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "language/ini_section.h"

namespace quorlane {
namespace {

const LeadByteTable& ChineseLeadBytes() {
  static const LeadByteTable table = [] {
    LeadByteTable t{};
    for (int b = 0x81; b <= 0xFE; ++b) t[static_cast<std::size_t>(b)] = true;
    return t;
  }();
  return table;
}

std::optional<std::string> Read(const std::string& bytes, const std::string& key) {
  IniSection section("TOrderForm", ChineseLeadBytes());
  section.Look(bytes);
  return section.Find(key);
}

struct ReadCase {
  const char* what;
  std::string bytes;
  std::string key;
  std::optional<std::string> expected;
};

TEST(IniSection, AwkwardFilesRead) {
  const std::optional<std::string> absent;
  const std::vector<ReadCase> cases = {
      {"plain", "[TOrderForm]\r\nOkButton=OK\r\n", "OkButton", "OK"},
      {"keys and sections without letter case", "[torderFORM]\r\nokBUTTON=OK\r\n", "OkButton", "OK"},
      {"a present empty value", "[TOrderForm]\r\nOkButton=\r\n", "OkButton", ""},
      {"the first of duplicate keys", "[TOrderForm]\r\nOkButton=1\r\nokbutton=2\r\n", "OkButton", "1"},
      {"blanks around key and value", "[TOrderForm]\r\n \t OkButton \t=  O K \t\r\n", "OkButton", "O K"},
      {"double quotes", "[TOrderForm]\r\nOkButton=\"  OK  \"\r\n", "OkButton", "  OK  "},
      {"single quotes", "[TOrderForm]\r\nOkButton='OK'\r\n", "OkButton", "OK"},
      {"quotes that do not match", "[TOrderForm]\r\nOkButton=\"OK'\r\n", "OkButton", "\"OK'"},
      {"one quote", "[TOrderForm]\r\nOkButton=\"\r\n", "OkButton", "\""},
      {"a missing section", "[TOtherForm]\r\nOkButton=OK\r\n", "OkButton", absent},
      {"a key before any section", "OkButton=OK\r\n[TOrderForm]\r\n", "OkButton", absent},
      {"a section twice: the first", "[TOrderForm]\r\nA=1\r\n[T]\r\nB=2\r\n[TOrderForm]\r\nOkButton=3\r\n", "OkButton",
       absent},
      {"no final line break", "[TOrderForm]\r\nOkButton=OK", "OkButton", "OK"},
      {"LF line ends", "[TOrderForm]\nA=1\nOkButton=OK\n", "OkButton", "OK"},
      {"CR line ends", "[TOrderForm]\rA=1\rOkButton=OK\r", "OkButton", "OK"},
      {"a comment", "[TOrderForm]\r\n;OkButton=1\r\nOkButton=2\r\n", "OkButton", "2"},
      {"a line without =", "[TOrderForm]\r\nOkButton\r\n", "OkButton", absent},
      {"a UTF-8 mark", "\xEF\xBB\xBF[TOrderForm]\r\nOkButton=OK\r\n", "OkButton", "OK"},
      {"the section name runs to the last ]", "[TOrderForm]]\r\nOkButton=OK\r\n", "OkButton", absent},
      // 許 is B3 5C in Big5: "\" as trail byte, before "=" and at the end.
      {"a trail byte 0x5C before =", "[TOrderForm]\r\n\xB3\x5C=x\r\n", "\xB3\x5C", "x"},
      {"a trail byte 0x5C ending the value", "[TOrderForm]\r\nOkButton=\xB3\x5C\r\n", "OkButton", "\xB3\x5C"},
      // A4 41 and A4 61 are two Big5 characters, not one in two letter cases.
      {"a trail letter is not folded", "[TOrderForm]\r\n\xA4\x61=x\r\n", "\xA4\x41", absent},
      {"a double-byte ] is not a section's end", "[TOrderForm]\r\n[X\xA4]\r\nOkButton=OK\r\n", "OkButton", "OK"},
      {"a full-width blank ending a value stays", "[TOrderForm]\r\nOkButton=OK\xA1\x40\r\n", "OkButton", "OK\xA1\x40"},
      {"line breaks escaped", "[TOrderForm]\r\nOkButton=a%nb%r%nc\r\n", "OkButton", "a\nb\r\nc"},
      {"a lone %", "[TOrderForm]\r\nOkButton=50% %s %\r\n", "OkButton", "50% %s %"},
      {"%% is one %", "[TOrderForm]\r\nOkButton=%%n\r\n", "OkButton", "%n"},
  };
  for (const ReadCase& c : cases) EXPECT_EQ(Read(c.bytes, c.key), c.expected) << c.what;
}

// Whatever the text, it is stored on one line that reads back exactly, and
// a later key of the same file keeps its value.
TEST(IniSection, EveryValueReadsBackExactlyOnOneLine) {
  const std::vector<std::string> values = {"",          "a",         " a",       "a ",       "\t",
                                           "\"q\"",     "'q'",       "\"",       "\"q",      "a\r\nb=c\r\nd",
                                           "\n",        "\r",        "%",        "%n",       "%%",
                                           "%\n",       "a%rb",      "100%",     "\x1A",     "\xB3\x5C",
                                           "\xB3\x5C\n", "[X]",      ";c",       "x = y",    std::string("a\0b", 3)};
  for (const std::string& value : values) {
    const std::string stored = EncodeIniValue(value);
    EXPECT_EQ(stored.find_first_of("\r\n"), std::string::npos) << stored;
    IniSection section("TOrderForm", ChineseLeadBytes());
    section.Write("First", value);
    section.Write("Second", "after");
    IniSection fresh("TOrderForm", ChineseLeadBytes());
    fresh.Look(section.Bytes());
    EXPECT_EQ(fresh.Find("First"), value) << section.Bytes();
    EXPECT_EQ(fresh.Find("Second"), "after") << section.Bytes();
    EXPECT_EQ(fresh.Find("b"), std::nullopt) << "no second key from a line break";
  }
}

struct WriteCase {
  const char* what;
  std::string before;
  std::string key;
  std::string value;
  std::string after;
};

TEST(IniSection, AWriteChangesOnlyItsValueOrAddsOneLine) {
  const std::vector<WriteCase> cases = {
      {"a new file", "", "OkButton", "OK", "[TOrderForm]\r\nOkButton=OK\r\n"},
      {"in place, the layout kept", "[TOrderForm]\r\n OkButton = old \r\nA=1\r\n", "okbutton", "new",
       "[TOrderForm]\r\n OkButton = new \r\nA=1\r\n"},
      {"an empty value filled", "[TOrderForm]\r\nOkButton=\r\nA=1\r\n", "OkButton", "OK",
       "[TOrderForm]\r\nOkButton=OK\r\nA=1\r\n"},
      {"the first of duplicates", "[TOrderForm]\r\nA=1\r\nA=2\r\n", "A", "3", "[TOrderForm]\r\nA=3\r\nA=2\r\n"},
      {"added after the section's last line", "; kept\r\n[TOrderForm]\r\nA=1\r\n; note\r\nbad line\r\n\r\n[T]\r\nB=2\r\n",
       "C", "3", "; kept\r\n[TOrderForm]\r\nA=1\r\n; note\r\nbad line\r\nC=3\r\n\r\n[T]\r\nB=2\r\n"},
      {"added to a file without a final line break", "[TOrderForm]\r\nA=1", "B", "2",
       "[TOrderForm]\r\nA=1\r\nB=2\r\n"},
      {"LF lines kept, CR LF written", "[TOrderForm]\nA=1\n", "B", "2", "[TOrderForm]\nA=1\nB=2\r\n"},
      {"the section added", "[T]\r\nB=2", "A", "1", "[T]\r\nB=2\r\n[TOrderForm]\r\nA=1\r\n"},
      {"into the first of two sections", "[TOrderForm]\r\nA=1\r\n[TOrderForm]\r\nB=2\r\n", "B", "3",
       "[TOrderForm]\r\nA=1\r\nB=3\r\n[TOrderForm]\r\nB=2\r\n"},
      {"a multi-line value", "[TOrderForm]\r\nA=1\r\n", "A", "x\r\nB=y", "[TOrderForm]\r\nA=x%r%nB=y\r\n"},
  };
  for (const WriteCase& c : cases) {
    IniSection section("TOrderForm", ChineseLeadBytes());
    section.Look(c.before);
    const auto change = section.Write(c.key, c.value);
    EXPECT_EQ(section.Bytes(), c.after) << c.what;
    ASSERT_TRUE(change) << c.what;
    // The change names exactly the bytes that differ.
    EXPECT_EQ(c.before.substr(0, change->offset), c.after.substr(0, change->offset)) << c.what;
    EXPECT_EQ(c.before.substr(change->offset + change->removed), c.after.substr(change->offset + change->inserted))
        << c.what;
    EXPECT_EQ(section.Find(c.key), c.value) << c.what;
  }
}

TEST(IniSection, AWriteOfTheValueTheFileHoldsChangesNothing) {
  for (const std::string line : {"A=1", "A = 1 ", "A='1'", "A=\"1\""}) {
    IniSection section("TOrderForm", ChineseLeadBytes());
    const std::string bytes = "[TOrderForm]\r\n" + line + "\r\n";
    section.Look(bytes);
    EXPECT_FALSE(section.Write("a", "1")) << line;
    EXPECT_EQ(section.Bytes(), bytes);
  }
}

// Reads after writes see them, also after a write that moved later keys.
TEST(IniSection, LookUpsFollowTheWrites) {
  IniSection section("TOrderForm", ChineseLeadBytes());
  for (int i = 0; i < 200; ++i) section.Write("K" + std::to_string(i), std::to_string(i));
  section.Write("K3", "a much longer value than before");
  section.Write("K7", "");
  for (int i = 0; i < 200; ++i) {
    const std::string expected = i == 3 ? "a much longer value than before" : i == 7 ? "" : std::to_string(i);
    EXPECT_EQ(section.Find("k" + std::to_string(i)), expected) << i;
  }
  // A look at other bytes answers for them alone.
  section.Look("[TOrderForm]\r\nK1=x\r\n");
  EXPECT_EQ(section.Find("K1"), "x");
  EXPECT_EQ(section.Find("K2"), std::nullopt);
}

TEST(IniSection, AKeyThatALineCannotHoldIsRefused) {
  for (const std::string key : {"", " A", "A ", "A=B", "A\r\nB", "[A]", ";A"}) {
    IniSection section("TOrderForm", ChineseLeadBytes());
    EXPECT_ANY_THROW(section.Write(key, "v")) << key;
    EXPECT_EQ(section.Bytes(), "");
  }
}

}  // namespace
}  // namespace quorlane
