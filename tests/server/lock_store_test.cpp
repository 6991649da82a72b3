// The lock store on a real data folder, in every way of committing (inline on
// the calling thread; a writer thread, as on Windows; adaptive, as on Linux,
// here alternating between the two):
// group-committed changes survive a reopen, compaction while running keeps
// exactly the held locks, the journal's reserved zeros end it cleanly after
// a crash, a record torn inside them is set aside, and a write that fails
// is reported, dropped, and followed by a rewritten journal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "journal_codec.h"
#include "lock_store.h"
#include "server_process.h"

namespace quorlane::server::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LockStoreTest : public ::testing::TestWithParam<CommitMode> {
 protected:
  bool OpenStore(LockStore& store, const fs::path& at) {
    std::string error;
    const bool ok = store.Open(
        at.string(),
        [this](std::uint64_t seq, bool ok, const std::string& writeError) {
          std::lock_guard lock(mutex);
          durable = ok ? seq : durable;
          if (!ok) failure = writeError;
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
    store.Commit(/*blockingAllowed=*/++commits % 2 == 0);
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return durable >= last; });
  }
  /// Grants key-0 .. key-(n-1) and makes them durable.
  void GrantKeys(LockStore& store, int n) {
    for (int i = 0; i < n; ++i) Change(store, LockCommand::Lock, "key-" + std::to_string(i), "ann");
    ASSERT_TRUE(WaitDurable(store));
  }

  TempFolder folder;
  audit::AuditLog log;
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t durable = 0, last = 0;
  int commits = 0;
  std::string failure;
};

TEST_P(LockStoreTest, CompactsWhileRunningAndReopensWithExactlyTheHeldLocks) {
  {
    LockStore store(log, GetParam(), 4096);
    ASSERT_TRUE(OpenStore(store, folder.Path()));
    for (int round = 0; round < 200; ++round) {
      const std::string key = "key-" + std::to_string(round);
      Change(store, LockCommand::Lock, key, "ann");
      if (round % 10 != 0) Change(store, LockCommand::Unlock, key, "ann");
      if (round % 7 == 0) ASSERT_TRUE(WaitDurable(store));
    }
    ASSERT_TRUE(WaitDurable(store));
    store.Close();
  }
  // Without compaction the 380 records would take about 20 KB; a clean close
  // leaves no reserved space behind the records.
  const auto size = fs::file_size(folder.Path() / "locks.journal");
  EXPECT_LT(size, 2u * 4096);
  EXPECT_EQ(ScanJournal(ReadFile(folder.Path() / "locks.journal")).validBytes, size);
  LockStore reopened(log, GetParam());
  ASSERT_TRUE(OpenStore(reopened, folder.Path()));
  EXPECT_EQ(reopened.Table().Size(), 20u);
  for (int round = 0; round < 200; ++round) {
    EXPECT_EQ(reopened.Table().Find("key-" + std::to_string(round)) != nullptr, round % 10 == 0) << round;
  }
}

// What a crash leaves: the journal as it is on disk while the store runs.
TEST_P(LockStoreTest, AJournalCopiedWhileRunningReplaysEveryDurableChange) {
  LockStore store(log, GetParam());
  ASSERT_TRUE(OpenStore(store, folder.Path()));
  GrantKeys(store, 30);
  Change(store, LockCommand::Unlock, "key-3", "ann");
  ASSERT_TRUE(WaitDurable(store));
  const fs::path crashed = folder.Path() / "crashed";
  fs::create_directory(crashed);
  fs::copy_file(folder.Path() / "locks.journal", crashed / "locks.journal");
  const std::string copied = ReadFile(crashed / "locks.journal");
  EXPECT_GT(copied.size(), ScanJournal(copied).validBytes) << "records are written into reserved zeros";

  LockStore replayed(log, GetParam());
  ASSERT_TRUE(OpenStore(replayed, crashed));
  EXPECT_EQ(replayed.Table().Size(), 29u);
  EXPECT_EQ(replayed.Table().Find("key-3"), nullptr);
  for (const auto& entry : fs::directory_iterator(crashed)) {
    EXPECT_EQ(entry.path().filename().string().rfind("locks.journal.bad-", 0), std::string::npos) << entry.path();
  }
  // It goes on where the records end, not behind the reserved space.
  Change(replayed, LockCommand::Lock, "late", "bob");
  ASSERT_TRUE(WaitDurable(replayed));
  replayed.Close();
  LockTable table;
  std::string note, error;
  ASSERT_TRUE(LockStore::ReadTable(crashed.string(), table, note, error)) << error;
  EXPECT_TRUE(note.empty()) << note;
  EXPECT_EQ(table.Size(), 30u);
  EXPECT_NE(table.Find("late"), nullptr);
}

// A write torn part-way inside reserved space: its header and part of its
// payload landed, zeros follow.
TEST_P(LockStoreTest, ARecordTornInsideReservedSpaceIsSetAsideAndTheRestKept) {
  std::string records;
  EncodeRecord({LockChange::Kind::Grant, "db1", {"ann", "PC01", "2024/1/2 10:00"}}, records);
  const std::size_t whole = records.size();
  EncodeRecord({LockChange::Kind::Grant, "db2", {"bob", "PC02", "2024/1/2 10:01"}}, records);
  const std::string torn = records.substr(0, whole + 20);
  {
    std::ofstream out(folder.Path() / "locks.journal", std::ios::binary);
    out << torn << std::string(8192, '\0');
  }
  LockStore store(log, GetParam());
  ASSERT_TRUE(OpenStore(store, folder.Path()));
  EXPECT_NE(store.Table().Find("db1"), nullptr);
  EXPECT_EQ(store.Table().Find("db2"), nullptr);
  std::string setAside;
  for (const auto& entry : fs::directory_iterator(folder.Path())) {
    if (entry.path().filename().string().rfind("locks.journal.bad-", 0) == 0) setAside = ReadFile(entry.path());
  }
  EXPECT_EQ(setAside, torn.substr(whole, torn.find_last_not_of('\0') + 1 - whole));
  Change(store, LockCommand::Lock, "db3", "cyd");
  ASSERT_TRUE(WaitDurable(store));
  store.Close();
  const auto scan = ScanJournal(ReadFile(folder.Path() / "locks.journal"));
  EXPECT_EQ(scan.badBytes, 0u);
  EXPECT_EQ(scan.changes.size(), 2u);
}

// The journal's space cannot be reserved (a file-size limit, as a full disk
// would): the group is reported failed, never durable; the rollback drops
// it from the table, nothing is written while failed, and once the journal
// is rewritten the next changes are durable and the dropped one never is.
TEST_P(LockStoreTest, AFailedWriteIsDroppedAndWritingResumesAfterRecovery) {
  LockStore store(log, GetParam());
  ASSERT_TRUE(OpenStore(store, folder.Path()));
  GrantKeys(store, 1);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &limited);
  Change(store, LockCommand::Lock, std::string(70 * 1024, 'k'), "ann");
  store.Commit();
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return !failure.empty(); }));
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);
  EXPECT_NE(failure.find("File too large"), std::string::npos) << failure;
  EXPECT_TRUE(store.Failed());
  store.Rollback();
  EXPECT_EQ(store.Table().Size(), 1u);
  std::string error;
  ASSERT_TRUE(store.TryRecover(error)) << error;
  EXPECT_FALSE(store.Failed());
  Change(store, LockCommand::Lock, "db2", "ann");
  ASSERT_TRUE(WaitDurable(store));
  store.Close();
  LockTable replayed;
  std::string note;
  ASSERT_TRUE(LockStore::ReadTable(folder.Path().string(), replayed, note, error)) << error;
  EXPECT_EQ(replayed.Size(), 2u);
  EXPECT_NE(replayed.Find("db2"), nullptr);
  EXPECT_NE(replayed.Find("key-0"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(EveryCommitMode, LockStoreTest,
                         ::testing::Values(CommitMode::Inline, CommitMode::WriterThread, CommitMode::Adaptive),
                         [](const auto& info) {
                           return info.param == CommitMode::Inline         ? "Inline"
                                  : info.param == CommitMode::WriterThread ? "WriterThread"
                                                                           : "Adaptive";
                         });

}  // namespace
}  // namespace quorlane::server::testing
