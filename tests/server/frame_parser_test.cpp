// The request frame parser fed whole, one byte at a time and in random
// chunks: every way of splitting the same bytes must give the same frames.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "frame_parser.h"
#include "request.h"

namespace quorlane::server {
namespace {

struct Outcome {
  std::vector<std::string> frames;
  bool error = false;
  FrameParser::Error kind = FrameParser::Error::None;
  bool inFrameAtEnd = false;
};

template <typename NextChunk>
Outcome Parse(std::string_view input, std::size_t maxBytes, NextChunk nextChunk) {
  FrameParser parser(maxBytes);
  Outcome outcome;
  while (!input.empty()) {
    std::string_view chunk = input.substr(0, nextChunk(input.size()));
    input.remove_prefix(chunk.size());
    while (!chunk.empty()) {
      const auto result = parser.Feed(chunk);
      chunk.remove_prefix(result.consumed);
      if (result.status == FrameParser::Status::Frame) outcome.frames.emplace_back(parser.Body());
      if (result.status == FrameParser::Status::Error) {
        outcome.error = true;
        outcome.kind = parser.LastError();
        return outcome;
      }
      EXPECT_LE(parser.Buffered(), maxBytes);
    }
  }
  outcome.inFrameAtEnd = parser.InFrame();
  return outcome;
}

struct FrameCase {
  const char* name;
  std::string input;
  std::vector<std::string> frames;
  bool error;
  bool inFrameAtEnd;
  std::size_t maxBytes = 1024;
};

class FrameParserTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameParserTest, GivesTheSameFramesWholeByteByByteAndInRandomChunks) {
  const FrameCase& c = GetParam();
  const auto check = [&](const Outcome& o, const char* how) {
    SCOPED_TRACE(how);
    EXPECT_EQ(o.frames, c.frames);
    EXPECT_EQ(o.error, c.error);
    if (!c.error) {
      EXPECT_EQ(o.inFrameAtEnd, c.inFrameAtEnd);
    }
  };
  check(Parse(c.input, c.maxBytes, [](std::size_t left) { return left; }), "whole");
  check(Parse(c.input, c.maxBytes, [](std::size_t) { return std::size_t{1}; }), "one byte");
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    check(Parse(c.input, c.maxBytes,
              [&](std::size_t left) { return std::uniform_int_distribution<std::size_t>(1, left)(rng); }),
          "random");
  }
}

const std::string kBig(2000, 'k');

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameParserTest,
    ::testing::Values(
        FrameCase{"OneRequest", "[BEGIN][LOCKDB]K;U;C;[END]", {"[LOCKDB]K;U;C;"}, false, false},
        FrameCase{"TwoInARow", "[BEGIN][LOCKDB]a;u;c;[END][BEGIN][CHECKDBLOCK]a;u;c;[END]",
                  {"[LOCKDB]a;u;c;", "[CHECKDBLOCK]a;u;c;"}, false, false},
        FrameCase{"EmptyBody", "[BEGIN][END]", {""}, false, false},
        FrameCase{"TagAlone", "[BEGIN][GetVATList][END]", {"[GetVATList]"}, false, false},
        FrameCase{"CutAtFirstEnd", "[BEGIN]a[END]b[END]", {"a"}, true, false},
        FrameCase{"BeginInsideBody", "[BEGIN]x[BEGIN]y[END]", {"x[BEGIN]y"}, false, false},
        FrameCase{"NearMissEndMarkers", "[BEGIN][EN][END[END]", {"[EN][END"}, false, false},
        FrameCase{"Incomplete", "[BEGIN][LOCKDB]K;U;", {}, false, true},
        FrameCase{"IncompleteOpeningMarker", "[BEG", {}, false, true},
        FrameCase{"SecondFrameIncomplete", "[BEGIN]a[END][BEGIN]b", {"a"}, false, true},
        FrameCase{"GarbageFirst", "xx[BEGIN]a[END]", {}, true, false},
        FrameCase{"GarbageBetweenFrames", "[BEGIN]a[END]\r\n[BEGIN]b[END]", {"a"}, true, false},
        FrameCase{"WrongCaseMarker", "[begin]a[END]", {}, true, false},
        FrameCase{"ExactlyAtTheLimit", "[BEGIN]" + std::string(64 - 12, 'x') + "[END]",
                  {std::string(64 - 12, 'x')}, false, false, 64},
        FrameCase{"OneByteOverTheLimit", "[BEGIN]" + std::string(64 - 11, 'x') + "[END]", {}, true, false, 64},
        FrameCase{"NeverEndingFrame", "[BEGIN]" + kBig, {}, true, false, 1024},
        FrameCase{"ZeroBytesInside", std::string("[BEGIN]a\0b[END]", 15), {std::string("a\0b", 3)}, false,
                  false}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(FrameParserLimits, RefusesAnOversizedFrameBeforeHoldingMoreThanTheLimit) {
  FrameParser parser(4096);
  const std::string chunk(1000, 'x');
  ASSERT_EQ(parser.Feed("[BEGIN]").status, FrameParser::Status::NeedMore);
  FrameParser::Status status = FrameParser::Status::NeedMore;
  for (int i = 0; i < 10 && status == FrameParser::Status::NeedMore; ++i) {
    status = parser.Feed(chunk).status;
    EXPECT_LE(parser.Buffered(), 4096u);
  }
  EXPECT_EQ(status, FrameParser::Status::Error);
  EXPECT_EQ(parser.LastError(), FrameParser::Error::TooLarge);
  EXPECT_EQ(parser.Feed("[BEGIN]a[END]").status, FrameParser::Status::Error);
}

struct LockFieldsCase {
  const char* name;
  std::string fields;
  bool valid;
  std::string key, user, computer;
};

class LockFieldsTest : public ::testing::TestWithParam<LockFieldsCase> {};

TEST_P(LockFieldsTest, TakesTheLastTwoFieldsAsUserAndComputer) {
  const auto& c = GetParam();
  const auto parsed = ParseLockFields(c.fields);
  ASSERT_EQ(parsed.has_value(), c.valid);
  if (!parsed) return;
  EXPECT_EQ(parsed->key, c.key);
  EXPECT_EQ(parsed->user, c.user);
  EXPECT_EQ(parsed->computer, c.computer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockFieldsTest,
    ::testing::Values(LockFieldsCase{"Plain", "db1;ann;PC01;", true, "db1", "ann", "PC01"},
                      LockFieldsCase{"NoTrailingSeparator", "db1;ann;PC01", true, "db1", "ann", "PC01"},
                      LockFieldsCase{"KeyWithSeparators", "a;b;;c;ann;PC01;", true, "a;b;;c", "ann", "PC01"},
                      LockFieldsCase{"KeyEndingInSeparator", "a;;ann;PC01;", true, "a;", "ann", "PC01"},
                      LockFieldsCase{"EmptyKey", ";ann;PC01;", true, "", "ann", "PC01"},
                      LockFieldsCase{"EmptyNames", "db1;;;", true, "db1", "", ""},
                      LockFieldsCase{"TwoFields", "db1;ann;", false, "", "", ""},
                      LockFieldsCase{"Nothing", "", false, "", "", ""}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(SplitRequest, SeparatesTheTagFromItsFields) {
  const auto request = SplitRequest("[LOCKDB]a;b;c;");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->tag, "[LOCKDB]");
  EXPECT_EQ(request->fields, "a;b;c;");
  EXPECT_FALSE(SplitRequest("LOCKDB]a;"));
  EXPECT_FALSE(SplitRequest("[LOCKDB"));
  EXPECT_FALSE(SplitRequest("[]a;"));
  EXPECT_FALSE(SplitRequest(""));
}

}  // namespace
}  // namespace quorlane::server
