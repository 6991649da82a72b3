// The library boundary, exercised through the real DLL under Wine.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export_signatures.h"
#include "loaded_library.h"

#if QUORLANE_TEST_STACK_PROBE
extern "C" std::uint32_t StackDeltaAfterCall(const void* fn, std::uint32_t argc, const std::uint32_t* args);
#endif

namespace {

class LibraryBoundary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dll.loaded()) << "Quorlane.dll not found beside the test"; }
  LoadedLibrary dll;
};

TEST_F(LibraryBoundary, EveryExportIsFoundByItsUndecoratedName) {
  for (const auto& e : hostkit::kExports) {
    const std::string name(e.name);
    EXPECT_NE(dll.raw(name.c_str()), nullptr) << name;
  }
  HMODULE module = ::GetModuleHandleW(L"Quorlane.dll");
  EXPECT_EQ(::GetProcAddress(module, MAKEINTRESOURCEA(14)), dll.raw("GetAppSelfUpdURL"));
}

#if QUORLANE_TEST_STACK_PROBE
// Each export, called through a stdcall pointer with the right number of
// 32-bit arguments, must remove exactly those arguments from the stack.
TEST_F(LibraryBoundary, EveryExportRestoresTheStackPointer) {
  auto check = [&](bool started) {
    for (const auto& e : hostkit::kExports) {
      if (e.name == "SetInitial" || e.name == "FreeInitial") continue;
      const std::string name(e.name);
      const std::uint32_t args[2] = {0, 0};  // null texts, zero integers
      EXPECT_EQ(StackDeltaAfterCall(reinterpret_cast<const void*>(dll.raw(name.c_str())), e.argCount, args), 0u)
          << name << (started ? " (started)" : " (not started)");
    }
  };
  check(false);
  const std::uint32_t window[1] = {0};
  EXPECT_EQ(StackDeltaAfterCall(reinterpret_cast<const void*>(dll.raw("SetInitial")), 1, window), 0u);
  check(true);
  EXPECT_EQ(StackDeltaAfterCall(reinterpret_cast<const void*>(dll.raw("FreeInitial")), 0, nullptr), 0u);
}
#endif

// Text results are never null, whether or not the library was started, and
// whatever the arguments (null counts as empty).
TEST_F(LibraryBoundary, TextResultsAreNeverNull) {
  auto twoTexts = dll.get<QL_PFN_TextOfTwoTexts>("SetLockDBDotNet");
  auto oneText = dll.get<QL_PFN_TextOfText>("CheckDBLockedDotNet");
  auto none = dll.get<QL_PFN_TextOfNone>("GetVATList");
  auto start = dll.get<QL_PFN_SetInitial>("SetInitial");
  auto stop = dll.get<QL_PFN_NoArgs>("FreeInitial");
  for (int started = 0; started < 2; ++started) {
    if (started) start(nullptr);
    for (const char* arg : {static_cast<const char*>(nullptr), "", "key"}) {
      const char* r1 = twoTexts(arg, arg);
      ASSERT_NE(r1, nullptr);
      const char* r2 = oneText(arg);
      ASSERT_NE(r2, nullptr);
    }
    ASSERT_NE(none(), nullptr);
  }
  stop();
}

TEST_F(LibraryBoundary, ExportsBeforeStartUpReturnTheirFailureResults) {
  EXPECT_STREQ(dll.get<QL_PFN_TextOfTwoTexts>("SetLockDBDotNet")("db", "p"), "");
  EXPECT_STREQ(dll.get<QL_PFN_TextOfText>("CheckDBLockedDotNet")("db"), "");
  EXPECT_STREQ(dll.get<QL_PFN_TextOfNone>("GetTaxationAPIKey")(), "");
  EXPECT_EQ(dll.get<QL_PFN_IntOfTwoTexts>("StartServerService")("127.0.0.1", "svc"), 0);
  EXPECT_EQ(dll.get<QL_PFN_IntOfTwoTexts>("ServerServiceStarted")(nullptr, nullptr), 0);
}

// Whether the session exists shows in a lock request for a product that no
// Quorlane.ini names: with a session it is refused as undetermined ("N;;;"),
// without one the export gives its failure result, the empty text. Shut-downs
// without a start-up leave the count negative, and later start-ups count up
// from there: two stops and five starts leave three to balance.
TEST_F(LibraryBoundary, UnbalancedShutDownAndRepeatedStartUpsAreHarmless) {
  auto start = dll.get<QL_PFN_SetInitial>("SetInitial");
  auto stop = dll.get<QL_PFN_NoArgs>("FreeInitial");
  auto lock = dll.get<QL_PFN_TextOfTwoTexts>("SetLockDBDotNet");
  stop();  // without a start-up: frees nothing, count goes negative
  stop();
  EXPECT_STREQ(lock("db", "unknown"), "");
  for (int i = 0; i < 5; ++i) start(nullptr);
  EXPECT_STREQ(lock("db", "unknown"), "N;;;") << "started: the session exists";
  stop();
  stop();
  EXPECT_STREQ(lock("db", "unknown"), "N;;;") << "one start-up is still counted";
  stop();
  EXPECT_STREQ(lock("db", "unknown"), "") << "the shut-down that brings the count to zero frees the session";
  start(nullptr);
  EXPECT_STREQ(lock("db", "unknown"), "N;;;") << "a fresh session";
  stop();
}

// They touch neither the result buffer nor the session, whatever they are given.
TEST_F(LibraryBoundary, ReservedExportsAcceptAnyArgumentsAndChangeNothing) {
  auto start = dll.get<QL_PFN_SetInitial>("SetInitial");
  auto stop = dll.get<QL_PFN_NoArgs>("FreeInitial");
  auto unlock = dll.get<QL_PFN_TextOfText>("SetUnLockDBDotNet");
  auto one = dll.get<QL_PFN_VoidOfInt>("GetZConvertList");
  auto two = dll.get<QL_PFN_VoidOfTwoInts>("SyncZConvertList");
  start(nullptr);
  const char* result = unlock("db1");
  ASSERT_STREQ(result, "Y; ; ; ");
  for (int v : {0, 1, -1, 0x7FFFFFFF, static_cast<int>(0x80000000u)}) {
    one(v);
    two(v, -v);
  }
  EXPECT_STREQ(result, "Y; ; ; ") << "the result buffer was written";
  EXPECT_STREQ(unlock("db1"), "Y; ; ; ") << "the session changed";
  stop();
}

}  // namespace

namespace {

// A standalone installation (the session's initial mode) answers unlock and
// check at once, which gives text results without a server.
class ResultBuffer : public LibraryBoundary {
 protected:
  void SetUp() override {
    LibraryBoundary::SetUp();
    start = dll.get<QL_PFN_SetInitial>("SetInitial");
    stop = dll.get<QL_PFN_NoArgs>("FreeInitial");
    unlock = dll.get<QL_PFN_TextOfText>("SetUnLockDBDotNet");
    check = dll.get<QL_PFN_TextOfText>("CheckDBLockedDotNet");
  }
  QL_PFN_SetInitial start = nullptr;
  QL_PFN_NoArgs stop = nullptr;
  QL_PFN_TextOfText unlock = nullptr;
  QL_PFN_TextOfText check = nullptr;
};

TEST_F(ResultBuffer, KeepsOnlyTheLatestResultAndACopyKeepsTheFirst) {
  start(nullptr);
  const char* first = unlock("db1");
  const std::string copy = first;
  const char* second = check("db1");
  EXPECT_EQ(copy, "Y; ; ; ");
  EXPECT_STREQ(second, "N; ; ; ");
  EXPECT_STREQ(first, "N; ; ; ") << "the first pointer now shows the second result";
  stop();
}

TEST_F(ResultBuffer, NullTextArgumentBehavesLikeTheEmptyText) {
  start(nullptr);
  EXPECT_EQ(std::string(unlock(nullptr)), std::string(unlock("")));
  EXPECT_EQ(std::string(check(nullptr)), std::string(check("")));
  stop();
}

TEST_F(ResultBuffer, ExportsKeepWorkingUntilTheLastBalancingShutDown) {
  start(nullptr);
  start(nullptr);
  stop();
  EXPECT_STREQ(unlock("db1"), "Y; ; ; ") << "one start-up is still unbalanced";
  stop();
  EXPECT_STREQ(unlock("db1"), "") << "no session after the balancing shut-down";
  start(nullptr);
  EXPECT_STREQ(unlock("db1"), "Y; ; ; ") << "a later start-up makes a fresh session";
  stop();
}

}  // namespace
