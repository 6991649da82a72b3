// qlcall, the console host, run as a real process against the real DLL.
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"

namespace {

testsupport::ProcessResult Qlcall(const std::wstring& arguments) {
  return testsupport::RunProcess(L"\"" + testsupport::ProgramFolder() + L"qlcall.exe\" " + arguments);
}

TEST(Qlcall, RunsASequenceOfCallsInOneProcessAndPrintsOneLinePerResult) {
  const auto r = Qlcall(L"SetInitial @window -- StartServerService @null svc -- GetVATList -- FreeInitial");
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u) << r.output;
  EXPECT_EQ(r.output, "0\n\n");
}

TEST(Qlcall, ConversationOnStandardInputAnswersEveryLineWithOneLine) {
  const auto r = testsupport::RunProcessWithInput(
      L"\"" + testsupport::ProgramFolder() + L"qlcall.exe\" --stdin",
      "SetInitial @window\r\nStartServerService @null svc\nNoSuchExport\nGetVATList -- FreeInitial\n"
      "GetZConvertList x\nGetVATList\nFreeInitial\n\nGetVATList\n");
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);
  // The empty line ends the conversation: the last call never runs.
  EXPECT_EQ(r.output,
            "ok\n0\nerror: no export named NoSuchExport\nerror: one call per line\nerror: bad argument 'x'\n\nok\n");
  EXPECT_EQ(Qlcall(L"--stdin GetVATList").exitCode, 2u) << "calls come from the input only";
}

TEST(Qlcall, RefusesUnknownExportsAndBadArgumentsWithUsageStatus) {
  EXPECT_EQ(Qlcall(L"NoSuchExport").exitCode, 2u);
  EXPECT_EQ(Qlcall(L"GetZConvertList notanumber").exitCode, 2u);
  EXPECT_EQ(Qlcall(L"CheckDBLockedDotNet a b").exitCode, 2u) << "one argument too many";
  EXPECT_EQ(Qlcall(L"CheckDBLockedDotNet \\q").exitCode, 2u) << "malformed escape";
  EXPECT_EQ(Qlcall(L"").exitCode, 2u);
}

TEST(Qlcall, ReportsADllThatCannotBeLoaded) {
  const auto r = Qlcall(L"--dll C:\\no\\such\\Quorlane.dll GetVATList");
  // Falls back to the search path, where the real DLL is found beside qlcall.
  EXPECT_EQ(r.exitCode, 0u) << r.output;
}

}  // namespace
