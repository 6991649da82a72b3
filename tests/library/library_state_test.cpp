// Start-up and shut-down bookkeeping, observed inside the library's own code
// (the owner window and the two objects are not visible through the exports).
#include <windows.h>

#include <gtest/gtest.h>

#include "library_state.h"
#include "quorlane.h"

namespace {

HWND FakeWindow(std::uintptr_t value) { return reinterpret_cast<HWND>(value); }

class StartUpAndShutDown : public ::testing::Test {
 protected:
  void TearDown() override {
    // Leave the process-wide state as a fresh load would have it.
    auto& library = quorlane::Library();
    library.converter.reset();
    library.session.reset();
    library.startCount = 0;
    library.ownerWindow = library.savedOwnerWindow = nullptr;
    library.resultBuffer.clear();
  }
};

TEST_F(StartUpAndShutDown, FirstStartUpCreatesBothObjectsAndTheBalancingShutDownFreesThem) {
  auto& library = quorlane::Library();
  ASSERT_FALSE(library.session);
  SetInitial(FakeWindow(0x10));
  SetInitial(FakeWindow(0x10));
  const quorlane::TxKey* session = library.session.get();
  ASSERT_NE(session, nullptr);
  ASSERT_NE(library.converter, nullptr);
  FreeInitial();
  EXPECT_EQ(library.session.get(), session) << "one start-up is still unbalanced";
  FreeInitial();
  EXPECT_FALSE(library.session);
  EXPECT_FALSE(library.converter);
  SetInitial(nullptr);
  EXPECT_TRUE(library.session) << "a later start-up creates fresh objects";
}

TEST_F(StartUpAndShutDown, OwnerWindowEndsAsTheWindowSavedByTheLatestStartUp) {
  auto& library = quorlane::Library();
  SetInitial(FakeWindow(0xA0));
  SetInitial(FakeWindow(0xB0));
  EXPECT_EQ(library.ownerWindow, FakeWindow(0xB0));
  FreeInitial();
  EXPECT_EQ(library.ownerWindow, FakeWindow(0xB0)) << "not yet balanced";
  FreeInitial();
  EXPECT_EQ(library.ownerWindow, FakeWindow(0xA0));
}

TEST_F(StartUpAndShutDown, ShutDownWithoutStartUpGoesNegativeAndTheNextStartUpCountsFromThere) {
  auto& library = quorlane::Library();
  FreeInitial();
  EXPECT_EQ(library.startCount, -1);
  SetInitial(FakeWindow(0xC0));
  EXPECT_EQ(library.startCount, 0);
  EXPECT_TRUE(library.session);
  SetInitial(FakeWindow(0xD0));
  FreeInitial();
  EXPECT_FALSE(library.session) << "a count of zero or below frees the objects";
}

TEST_F(StartUpAndShutDown, ResultBufferKeepsOnlyTheLatestText) {
  const char* first = quorlane::ReturnText("first result");
  const std::string copy = first;
  const char* second = quorlane::ReturnText("second");
  EXPECT_STREQ(second, "second");
  EXPECT_EQ(copy, "first result");
  const char* empty = quorlane::ReturnText("");
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
}

}  // namespace

namespace {

// A shut-down while an export still runs a session operation (a host handler
// during a wait) must not free the session under that operation.
TEST_F(StartUpAndShutDown, ShutDownDuringASessionCallRetiresTheSessionUntilTheCallReturns) {
  auto& library = quorlane::Library();
  SetInitial(nullptr);
  const quorlane::TxKey* session = library.session.get();
  {
    const quorlane::SessionCall outer;
    {
      const quorlane::SessionCall nested;
      FreeInitial();
    }
    EXPECT_FALSE(library.session) << "shut down for every later call";
    ASSERT_EQ(library.retiredSessions.size(), 1u) << "still running: kept";
    EXPECT_EQ(library.retiredSessions[0].get(), session);
    SetInitial(nullptr);
    EXPECT_NE(library.session, nullptr) << "a start-up meanwhile makes a fresh session";
  }
  EXPECT_TRUE(library.retiredSessions.empty()) << "freed when the last call returned";
  EXPECT_TRUE(library.session);
  FreeInitial();
}

}  // namespace
