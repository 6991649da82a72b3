// The lock store on a real data folder: group-committed changes survive a
// reopen, and compaction while running keeps exactly the held locks.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "lock_store.h"
#include "server_process.h"

namespace quorlane::server::testing {
namespace {

class LockStoreTest : public ::testing::Test {
 protected:
  bool OpenStore(LockStore& store) {
    std::string error;
    const bool ok = store.Open(
        folder.Path().string(),
        [this](std::uint64_t seq, bool ok, const std::string&) {
          std::lock_guard lock(mutex);
          durable = ok ? seq : durable;
          changed.notify_all();
        },
        error);
    EXPECT_TRUE(ok) << error;
    return ok;
  }
  void Change(LockStore& store, LockCommand command, const std::string& key, const char* user) {
    auto outcome = store.Table().Execute(command, key, user, "PC", "2024/1/2 10:00");
    if (outcome.change) last = store.Append(*outcome.change);
  }
  bool WaitDurable(LockStore& store) {
    store.Commit();
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return durable >= last; });
  }

  TempFolder folder;
  AuditLog log;
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t durable = 0, last = 0;
};

TEST_F(LockStoreTest, CompactsWhileRunningAndReopensWithExactlyTheHeldLocks) {
  {
    LockStore store(log, 4096);
    ASSERT_TRUE(OpenStore(store));
    for (int round = 0; round < 200; ++round) {
      const std::string key = "key-" + std::to_string(round);
      Change(store, LockCommand::Lock, key, "ann");
      if (round % 10 != 0) Change(store, LockCommand::Unlock, key, "ann");
      if (round % 7 == 0) ASSERT_TRUE(WaitDurable(store));
    }
    ASSERT_TRUE(WaitDurable(store));
    store.Close();
  }
  // Without compaction the 380 records would take about 20 KB.
  EXPECT_LT(std::filesystem::file_size(folder.Path() / "locks.journal"), 2u * 4096);
  LockStore reopened(log);
  ASSERT_TRUE(OpenStore(reopened));
  EXPECT_EQ(reopened.Table().Size(), 20u);
  for (int round = 0; round < 200; ++round) {
    EXPECT_EQ(reopened.Table().Find("key-" + std::to_string(round)) != nullptr, round % 10 == 0) << round;
  }
}

}  // namespace
}  // namespace quorlane::server::testing
