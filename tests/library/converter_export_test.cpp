// GetConvertedMessageDotNet through the real DLL under Wine, in the system
// languages that decide what it does: 2052 (zh_CN) converts into the result
// buffer; 1028 (zh_TW) and 1033 (C) hand back the argument itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "language/UIMultiLanguage.h"
#include "loaded_library.h"

namespace {

class Message : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dll.loaded());
    convert = dll.get<QL_PFN_TextOfText>("GetConvertedMessageDotNet");
  }
  void Start() {
    dll.get<QL_PFN_SetInitial>("SetInitial")(nullptr);
    ++starts;
  }
  void TearDown() override {
    for (; starts > 0; --starts) dll.get<QL_PFN_NoArgs>("FreeInitial")();
  }
  LoadedLibrary dll;
  QL_PFN_TextOfText convert = nullptr;
  int starts = 0;
};

constexpr char kBig5Text[] = "\xA5\xBB\xA6\xB8\xB3\x6E\xC5\xE9\xA7\xF3\xB7\x73 Sorvik\xB8\xEA\xB0\x54";

using MessageElsewhere = Message;

TEST_F(MessageElsewhere, ReturnsTheArgumentPointerItselfNullIncluded) {
  ASSERT_NE(GetSystemDefaultLangID(), 0x0804);
  const char text[] = "\xB3\x6E\xC5\xE9";
  const char blank[] = "   ";
  for (int started = 0; started < 2; ++started) {
    if (started) Start();
    EXPECT_EQ(convert(text), text);
    EXPECT_EQ(convert(blank), blank);
    EXPECT_EQ(convert(nullptr), nullptr);
  }
}

using MessageOnPrc = Message;

TEST_F(MessageOnPrc, BeforeStartUpAndAfterShutDownGivesTheEmptyText) {
  ASSERT_EQ(GetSystemDefaultLangID(), 0x0804);
  for (int round = 0; round < 2; ++round) {
    const char* result = convert(kBig5Text);
    ASSERT_NE(result, nullptr);
    EXPECT_NE(result, kBig5Text);
    EXPECT_STREQ(result, "");
    Start();
    dll.get<QL_PFN_NoArgs>("FreeInitial")();
    --starts;
  }
}

TEST_F(MessageOnPrc, ConvertsBig5AsConvertTextDoesWithTheWordTable) {
  Start();
  // The same conversion in this process, as the converter sets it up.
  quorlane::TUIMultiLanguage reference(nullptr);
  reference.SetWordTablePath("<Bin>");
  const std::string expected = reference.ConvertText(kBig5Text, 0, true);
  ASSERT_NE(expected.find("\xC8\xED\xBC\xFE"), std::string::npos) << "软件 by the word table";
  ASSERT_NE(expected.find("Tamsel\xC8\xED\xBC\xFE"), std::string::npos);

  // Each result is copied before the next call, as a host must.
  const std::string first = convert(kBig5Text);
  EXPECT_EQ(first, expected);
  EXPECT_STREQ(convert("\xB3\x6E\xC5\xE9"), "\xC8\xED\xBC\xFE");
}

TEST_F(MessageOnPrc, NullAndBlankGiveTheEmptyTextNeverNull) {
  Start();
  for (const char* text : {static_cast<const char*>(nullptr), "", "   ", "\t \r\n"}) {
    const char* result = convert(text);
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result, "");
  }
}

}  // namespace
