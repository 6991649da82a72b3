// The update server's platform-free half: request lines in any chunking with
// their limit, what a line asks for, and the mapping file.
#include <gtest/gtest.h>

#include <string>

#include "request_line.h"
#include "update_map.h"

namespace quorlane::updater {
namespace {

TEST(RequestLine, AssemblesTheFirstLineFromAnyChunkingWithinTheLimit) {
  const std::string limit(kMaxRequestLineBytes, 'a');
  struct Case {
    std::string bytes;
    RequestLineReader::Status status;
    std::string line;
  } cases[] = {
      {"A1;x;\r\n", RequestLineReader::Status::Line, "A1;x;"},
      {"A1;x;\nA1;y;\n", RequestLineReader::Status::Line, "A1;x;"},
      {"A1;x", RequestLineReader::Status::NeedMore, ""},
      {limit + "\n", RequestLineReader::Status::Line, limit},
      {limit + "\r\n", RequestLineReader::Status::TooLong, ""},
      {limit + "a", RequestLineReader::Status::TooLong, ""},
  };
  for (const Case& c : cases) {
    for (std::size_t step : {c.bytes.size(), std::size_t{1}, std::size_t{700}}) {
      SCOPED_TRACE(c.bytes.substr(0, 12) + " by " + std::to_string(step));
      RequestLineReader reader;
      auto status = RequestLineReader::Status::NeedMore;
      for (std::size_t at = 0; at < c.bytes.size(); at += step) {
        status = reader.Feed(std::string_view(c.bytes).substr(at, step));
      }
      EXPECT_EQ(status, c.status);
      EXPECT_EQ(reader.Line(), c.line);
      EXPECT_LE(reader.Buffered(), kMaxRequestLineBytes);
    }
  }
}

TEST(RequestLine, LookUpsCarryEverythingBetweenPrefixAndLastSemicolon) {
  struct Case {
    std::string line;
    Request::Kind kind;
    std::string identifier;
  } cases[] = {
      {"A1;SALES;", Request::Kind::Lookup, "SALES"},
      {"A1;;", Request::Kind::Lookup, ""},
      {"A1;a;b;", Request::Kind::Lookup, "a;b"},
      {"A1;\xB3\x6E;", Request::Kind::Lookup, "\xB3\x6E"},
      {"A1;", Request::Kind::Other, ""},
      {"A1;SALES", Request::Kind::Other, ""},
      {"a1;SALES;", Request::Kind::Other, ""},
      {" A1;SALES;", Request::Kind::Other, ""},
      {"", Request::Kind::Other, ""},
      {"GET / HTTP/1.1", Request::Kind::Other, ""},
      {"QL-ADMIN RELOAD", Request::Kind::Reload, ""},
      {"QL-ADMIN RELOAD ", Request::Kind::Other, ""},
  };
  for (const Case& c : cases) {
    const Request request = ClassifyLine(c.line);
    EXPECT_EQ(request.kind, c.kind) << c.line;
    EXPECT_EQ(request.identifier, c.identifier) << c.line;
  }
}

TEST(MappingFile, ReadsEntriesWithCommentsBlanksEscapesAndCrLf) {
  std::string error;
  const auto map = UpdateMap::Parse(
      "\xEF\xBB\xBF# update addresses\r\n"
      "SALES = https://updates.example.com/sales/setup.exe\r\n"
      "\r\n"
      "  ; also a comment\n"
      "POS=\\\\fileserver\\updates\\pos\\\n"
      "a\\x3Db = query?x=1&y=2\n"
      "\\x20padded\\x20 = \\xB3\\x6E\n"
      "\xB3\x6E\xC5\xE9 = big5-id\n"
      "EMPTY =\n",
      error);
  ASSERT_TRUE(map) << error;
  EXPECT_EQ(map->Size(), 6u);
  const auto find = [&](std::string_view id) { return map->Find(id) ? *map->Find(id) : std::string("(none)"); };
  EXPECT_EQ(find("SALES"), "https://updates.example.com/sales/setup.exe");
  EXPECT_EQ(find("POS"), "\\\\fileserver\\updates\\pos\\");
  EXPECT_EQ(find("a=b"), "query?x=1&y=2");
  EXPECT_EQ(find(" padded "), "\xB3\x6E");
  EXPECT_EQ(find("\xB3\x6E\xC5\xE9"), "big5-id");
  EXPECT_EQ(find("EMPTY"), "");
  EXPECT_EQ(find("sales"), "(none)") << "identifiers compare byte for byte";
  EXPECT_EQ(find("# update addresses"), "(none)");
}

TEST(MappingFile, RefusesWhatARequestOrReplyLineCannotCarryNamingTheLine) {
  const std::string longAddress(kMaxAddressBytes + 1, 'u');
  const std::string longIdentifier(kMaxIdentifierBytes + 1, 'i');
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"A = 1\nno equals sign\n", "line 2: no \"=\" between identifier and address"},
      {" = https://x\n", "line 1: empty identifier"},
      {"A = 1\n# c\nA = 2\n", "line 3: identifier listed twice"},
      {"A = x\\x0Ay\n", "line 1: CR, LF or NUL in an identifier or address"},
      {"A = x\ry\n", "line 1: CR, LF or NUL in an identifier or address"},
      {"\\x00 = x\n", "line 1: CR, LF or NUL in an identifier or address"},
      {"A = " + longAddress + "\n", "line 1: address longer than 16384 bytes"},
      {longIdentifier + " = x\n", "line 1: identifier longer than 16379 bytes"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(UpdateMap::Parse(c.text, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
  std::string error;
  ASSERT_TRUE(UpdateMap::Parse("A = " + longAddress.substr(1) + "\n", error)) << error;
  EXPECT_TRUE(UpdateMap::Parse("", error));
}

}  // namespace
}  // namespace quorlane::updater
