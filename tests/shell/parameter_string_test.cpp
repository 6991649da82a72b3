// The shell's text rules: parameter strings, argument splitting, hand-off
// payloads, which addresses may leave the shell, and the runtime paths.
#include "parameter_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace talvora {
namespace {

struct ParameterCase {
  const char* name;
  std::wstring text;
  ParameterValues expected;
};

class ReadParametersTest : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(ReadParametersTest, ReadsTheFourValues) {
  EXPECT_EQ(ReadParameters(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadParametersTest,
    ::testing::Values(
        ParameterCase{"AllFour", L"CustID=7,ProductID=P1,TimeStamp=20240101,AiURL=https://a.example/x",
                      {L"7", L"P1", L"20240101", L"https://a.example/x"}},
        ParameterCase{"NameInLowerCaseMatches", L"custid=7,PRODUCTID=P", {L"7", L"P", L"", L""}},
        ParameterCase{"SpaceBeforeNameMatchesNothing", L" CustID=7", {L"", L"", L"", L""}},
        ParameterCase{"SpaceBeforeEqualsMatchesNothing", L"CustID =7", {L"", L"", L"", L""}},
        ParameterCase{"FirstOfTwoEntriesWins", L"CustID=1,CustID=2", {L"1", L"", L"", L""}},
        ParameterCase{"ValueKeepsFurtherEquals", L"CustID=a=b", {L"a=b", L"", L"", L""}},
        ParameterCase{"ValueKeepsSpaces", L"CustID= a b ", {L" a b ", L"", L"", L""}},
        ParameterCase{"SpaceAfterCommaLosesLaterNames", L"CustID=1, ProductID=2, AiURL=u", {L"1", L"", L"", L""}},
        ParameterCase{"LineBreaksSeparateToo", L"CustID=1\r\nProductID=2\rTimeStamp=3\nAiURL=u", {L"1", L"2", L"3", L"u"}},
        ParameterCase{"PipeStaysInStoredValues", L"CustID=a|b,AiURL=https://h/?q=1|2", {L"a|b", L"", L"", L"https://h/?q=1|2"}},
        ParameterCase{"UnknownEntriesIgnored", L"Foo=1,CustID=3,=x,,AiURL", {L"3", L"", L"", L""}},
        ParameterCase{"NameAloneWithEqualsGivesEmpty", L"CustID=,ProductID=9", {L"", L"9", L"", L""}},
        ParameterCase{"PrefixOfAnotherNameDoesNotMatch", L"CustIDX=1,AiURLs=2", {L"", L"", L"", L""}},
        ParameterCase{"BlankTextGivesNothing", L" \t\r\n ", {L"", L"", L"", L""}},
        ParameterCase{"EmptyTextGivesNothing", L"", {L"", L"", L"", L""}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(ParameterStringTest, OnlyTheAddressTurnsPipesIntoCommas) {
  EXPECT_EQ(NavigationAddress(L"https://h/p?a=1|2|3"), L"https://h/p?a=1,2,3");
  EXPECT_EQ(NavigationAddress(L""), L"");
}

TEST(ParameterStringTest, BlanknessCountsCodesUpToThirtyTwo) {
  EXPECT_TRUE(IsBlankParameter(std::wstring(L"\x01\x1f \x20", 4)));
  EXPECT_FALSE(IsBlankParameter(L" x "));
  EXPECT_FALSE(IsBlankParameter(L"\x00a0"));  // no-break space is text
}

TEST(ParameterStringTest, LinesEndAtCrLfOrEitherAlone) {
  EXPECT_EQ(ParameterLines(L"a,b\r\nc\rd\ne\n"), (std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e"}));
  EXPECT_EQ(ParameterLines(L",a,"), (std::vector<std::wstring>{L"", L"a"}));
}

struct SplitCase {
  const char* name;
  std::wstring line;
  std::vector<std::wstring> arguments;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsLikeTheRunTime) {
  EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{"ProgramOnly", L"Talvora.exe", {L"Talvora.exe"}},
        SplitCase{"QuotedProgramAndArgument", L"\"C:\\a b\\Talvora.exe\" \"CustID=1,AiURL=x y\"",
                  {L"C:\\a b\\Talvora.exe", L"CustID=1,AiURL=x y"}},
        SplitCase{"UnquotedSpaceEndsArgument", L"T.exe CustID=1, ProductID=2", {L"T.exe", L"CustID=1,", L"ProductID=2"}},
        SplitCase{"QuoteInsideArgumentJoins", L"T.exe a\"b c\"d", {L"T.exe", L"ab cd"}},
        SplitCase{"UnclosedQuoteRunsToEnd", L"T.exe \"a b", {L"T.exe", L"a b"}},
        SplitCase{"BackslashIsNoEscape", L"T.exe a\\\"b c\"", {L"T.exe", L"a\\b c"}},
        SplitCase{"EmptyQuotesGiveEmptyArgument", L"T.exe \"\" x", {L"T.exe", L"", L"x"}},
        SplitCase{"ControlCodesSeparate", std::wstring(L"T.exe\x01" L"a\tb\x1f" L"c"), {L"T.exe", L"a", L"b", L"c"}},
        SplitCase{"LeadingAndTrailingBlanks", L"  T.exe   a  ", {L"T.exe", L"a"}},
        SplitCase{"DoubledQuotesAreNotALiteralQuote", L"T.exe \"a\"\"b\"", {L"T.exe", L"ab"}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(SplitCommandLineTest, MissingArgumentIsEmpty) {
  EXPECT_EQ(CommandLineArgument(L"Talvora.exe", 1), L"");
  EXPECT_EQ(CommandLineArgument(L"", 1), L"");
  EXPECT_EQ(CommandLineArgument(L"T.exe \"x y\" z", 1), L"x y");
}

std::vector<unsigned char> Utf16Bytes(const std::wstring& text, bool terminator) {
  std::vector<unsigned char> bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
  }
  if (terminator) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

TEST(CopyDataTextTest, StopsAtTheFirstZeroUnit) {
  auto bytes = Utf16Bytes(L"CustID=1", true);
  const auto more = Utf16Bytes(L"junk", true);
  bytes.insert(bytes.end(), more.begin(), more.end());
  EXPECT_EQ(CopyDataText(bytes.data(), bytes.size()), L"CustID=1");
}

TEST(CopyDataTextTest, NeverReadsPastByteCount) {
  // Exactly cbData bytes are allocated: a sanitizer catches any read beyond.
  const auto source = Utf16Bytes(L"ABCDEF", false);
  for (std::size_t count = 0; count <= source.size(); ++count) {
    std::vector<unsigned char> exact(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(count));
    const std::wstring text = CopyDataText(exact.empty() ? nullptr : exact.data(), count);
    EXPECT_EQ(text, std::wstring(L"ABCDEF").substr(0, count / 2)) << count;
  }
}

TEST(CopyDataTextTest, UnalignedBlockAndNonAsciiUnits) {
  std::vector<unsigned char> bytes(1, 0xEE);
  const auto text = Utf16Bytes(L"\x5ba2\x670d", true);
  bytes.insert(bytes.end(), text.begin(), text.end());
  EXPECT_EQ(CopyDataText(bytes.data() + 1, text.size()), L"\x5ba2\x670d");
  EXPECT_EQ(CopyDataText(nullptr, 10), L"");
}

struct SchemeCase {
  const char* name;
  std::wstring uri;
  bool openable;
};
class ExternallyOpenableTest : public ::testing::TestWithParam<SchemeCase> {};
TEST_P(ExternallyOpenableTest, OnlyWebAndMailAddressesLeave) {
  EXPECT_EQ(IsExternallyOpenable(GetParam().uri), GetParam().openable);
}
INSTANTIATE_TEST_SUITE_P(
    Table, ExternallyOpenableTest,
    ::testing::Values(SchemeCase{"Https", L"https://help.example/a?b=1", true},
                      SchemeCase{"HttpUpperCase", L"HTTP://x", true}, SchemeCase{"Mailto", L"mailto:a@b.example", true},
                      SchemeCase{"File", L"file:///C:/Windows/system32/calc.exe", false},
                      SchemeCase{"LocalPath", L"C:\\Windows\\notepad.exe", false},
                      SchemeCase{"Javascript", L"javascript:alert(1)", false},
                      SchemeCase{"MsSettings", L"ms-settings:privacy", false}, SchemeCase{"NoScheme", L"calc", false},
                      SchemeCase{"Empty", L"", false}, SchemeCase{"LeadingSpace", L" https://x", false},
                      SchemeCase{"HttpsLookalike", L"https-x://y", false}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(RuntimePathsTest, BuiltFromAllUsersProfile) {
  const auto paths = RuntimePathsFor(L"C:\\ProgramData");
  EXPECT_EQ(paths.userDataFolder, L"C:\\ProgramData\\EdgeUserDataFolder\\sorvik_dovudi\\");
  EXPECT_EQ(paths.installerFolder, L"C:\\ProgramData\\EdgeUserDataFolder\\");
  EXPECT_EQ(paths.installerFile, L"C:\\ProgramData\\EdgeUserDataFolder\\MicrosoftEdgeWebview2Setup.exe");
  EXPECT_EQ(RuntimePathsFor(L"").installerFile, L"\\EdgeUserDataFolder\\MicrosoftEdgeWebview2Setup.exe");
  EXPECT_EQ(FileNamePart(paths.installerFile), L"MicrosoftEdgeWebview2Setup.exe");
  EXPECT_EQ(FileNamePart(L"C:x.exe"), L"x.exe");
}

}  // namespace
}  // namespace talvora
