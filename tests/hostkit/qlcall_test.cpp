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
