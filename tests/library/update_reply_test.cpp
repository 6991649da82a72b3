// The update look-up's wire rules: the request line, the reply line in any
// chunking with its length limit, and the result texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update_reply.h"

namespace quorlane::update {
namespace {

TEST(UpdateRequest, SendsTheIdentifierBytesAsTheyAre) {
  EXPECT_EQ(RequestLine("SALES"), "A1;SALES;\r\n");
  EXPECT_EQ(RequestLine(""), "A1;;\r\n");
  EXPECT_EQ(RequestLine("a;b\xB3\x6E"), "A1;a;b\xB3\x6E;\r\n");
}

struct ReplyCase {
  const char* name;
  std::string received;
  ReplyLineReader::Status status;
  std::string line;
};

class ReplyLine : public ::testing::TestWithParam<ReplyCase> {};

// Every case holds whether the bytes come in one piece, byte by byte, or in
// pieces of 1000.
TEST_P(ReplyLine, IsTheSameInAnyChunking) {
  const ReplyCase& c = GetParam();
  for (std::size_t step : {c.received.size() + 1, std::size_t{1}, std::size_t{1000}}) {
    SCOPED_TRACE(step);
    ReplyLineReader reader;
    auto status = ReplyLineReader::Status::NeedMore;
    for (std::size_t at = 0; at < c.received.size(); at += step) {
      status = reader.Feed(std::string_view(c.received).substr(at, step));
    }
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(reader.Line(), c.line);
  }
}

const std::string kLimit(kMaxReplyBytes, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplyLine,
    ::testing::Values(
        ReplyCase{"CrLf", "abc\r\n", ReplyLineReader::Status::Line, "abc"},
        ReplyCase{"LfAlone", "abc\n", ReplyLineReader::Status::Line, "abc"},
        ReplyCase{"EmptyLine", "\r\n", ReplyLineReader::Status::Line, ""},
        ReplyCase{"OnlyTheFirstLine", "one\r\ntwo\n", ReplyLineReader::Status::Line, "one"},
        ReplyCase{"InnerCrKept", "a\rb\r\r\n", ReplyLineReader::Status::Line, "a\rb\r"},
        ReplyCase{"BytesKept", std::string("\0\xFF\xB3\x6E\n", 5), ReplyLineReader::Status::Line,
                  std::string("\0\xFF\xB3\x6E", 4)},
        ReplyCase{"PartialLine", "abc", ReplyLineReader::Status::NeedMore, ""},
        ReplyCase{"LimitThenLf", kLimit + "\n", ReplyLineReader::Status::Line, kLimit},
        // The CR counts towards the limit: it comes before the LF.
        ReplyCase{"LimitWithCr", kLimit.substr(1) + "\r\n", ReplyLineReader::Status::Line, kLimit.substr(1)},
        ReplyCase{"OverLimitWithCr", kLimit + "\r\n", ReplyLineReader::Status::TooLong, ""},
        ReplyCase{"OverLimitNoLf", kLimit + "x", ReplyLineReader::Status::TooLong, ""},
        ReplyCase{"OverLimitThenMore", kLimit + "xx\n", ReplyLineReader::Status::TooLong, ""}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(UpdateResult, WrapsTheReplyAndFillsTheBig5Message) {
  EXPECT_EQ(ReplyResult("abc"), "1,,abc[END]");
  EXPECT_EQ(ReplyResult(""), "1,,[END]");
  // 無法連上主機:%s, port %s
  EXPECT_EQ(UnreachableMessage("update.example", "9568"),
            "\xB5\x4C\xAA\x6B\xB3\x73\xA4\x57\xA5\x44\xBE\xF7:update.example, port 9568");
  EXPECT_EQ(UnreachableMessage("a%sb", "9568"),
            "\xB5\x4C\xAA\x6B\xB3\x73\xA4\x57\xA5\x44\xBE\xF7:a%sb, port 9568");
}

}  // namespace
}  // namespace quorlane::update
