#include "text_escape.h"

#include <gtest/gtest.h>

namespace {

struct EscapeCase {
  std::string bytes;
  std::string escaped;
};

class EscapeRoundTrip : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeRoundTrip, EscapesAndReadsBackTheSameBytes) {
  const auto& c = GetParam();
  EXPECT_EQ(hostkit::EscapeBytes(c.bytes), c.escaped);
  EXPECT_EQ(hostkit::UnescapeBytes(c.escaped), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, EscapeRoundTrip,
    ::testing::Values(EscapeCase{"", ""}, EscapeCase{"Y; ; ; ", "Y; ; ; "},
                      EscapeCase{"a\\b", "a\\\\b"},
                      EscapeCase{"\xB2\xD3\xA9\xFA", "\\xB2\\xD3\\xA9\\xFA"},
                      EscapeCase{std::string("\0\r\n\x7F", 4), "\\x00\\x0D\\x0A\\x7F"},
                      EscapeCase{"~ !", "~ !"}));

TEST(Unescape, RejectsMalformedEscapesAndAcceptsLowerCaseHex) {
  EXPECT_FALSE(hostkit::UnescapeBytes("\\"));
  EXPECT_FALSE(hostkit::UnescapeBytes("ab\\x4"));
  EXPECT_FALSE(hostkit::UnescapeBytes("\\xZZ"));
  EXPECT_FALSE(hostkit::UnescapeBytes("\\n"));
  EXPECT_EQ(hostkit::UnescapeBytes("\\xb2\\xd3"), std::string("\xB2\xD3"));
}

TEST(ParseInteger, ReadsDecimalNegativeAndHexWithin32Bits) {
  EXPECT_EQ(hostkit::ParseInteger("0"), 0u);
  EXPECT_EQ(hostkit::ParseInteger("4000"), 4000u);
  EXPECT_EQ(hostkit::ParseInteger("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(hostkit::ParseInteger("0x1F"), 31u);
  EXPECT_EQ(hostkit::ParseInteger("4294967295"), 0xFFFFFFFFu);
  EXPECT_FALSE(hostkit::ParseInteger("4294967296"));
  EXPECT_FALSE(hostkit::ParseInteger(""));
  EXPECT_FALSE(hostkit::ParseInteger("12a"));
  EXPECT_FALSE(hostkit::ParseInteger("0x"));
}

}  // namespace
