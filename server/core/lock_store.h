// The durable lock store: the in-memory table plus its journal in the data
// folder. Changes are applied to the table at once (on the network thread)
// and queued; Commit() makes every queued change durable as one group, so
// one sync covers the changes of every connection served in a round. Each
// change gets a sequence number; a reply may be sent once the journal is
// durable up to the number its request depended on.
//
// Three ways to commit, the same journal:
// - inline: Commit() writes and syncs on the calling network thread and
//   reports the group durable before it returns. No thread hand-off on a
//   request's path.
// - writer thread: Commit() wakes a writer thread that writes, syncs and
//   reports the group from there, while the network thread goes on serving.
// - adaptive (Linux): inline while one connection alone is busy (a hand-off
//   would only add two thread switches to its wait), the writer thread when
//   several are (their next requests are read and answered while the disk
//   syncs). The network thread says which suits (Commit's argument); a group
//   is written inline only while the writer has nothing in hand, so groups
//   reach the journal in order.
// On Linux a sync is one in-place RWF_DSYNC write (platform::JournalFile); Windows uses
// the writer thread with FlushFileBuffers.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/audit_log.h"
#include "lock_table.h"
#include "platform/platform.h"

namespace quorlane::server {

enum class CommitMode { Inline, WriterThread, Adaptive };

#ifdef _WIN32
inline constexpr CommitMode kPlatformCommitMode = CommitMode::WriterThread;
#else
inline constexpr CommitMode kPlatformCommitMode = CommitMode::Adaptive;
#endif

/// How long the journal's durable writes take, and how large it is: written
/// by whichever thread writes, read by the web console's thread.
struct JournalFigures {
  /// Upper bounds of the sync-time buckets, in seconds.
  static constexpr std::array<double, 14> kBounds{0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01,
                                                  0.025,  0.05,    0.1,    0.25,  0.5,    1.0,   2.5};
  std::array<std::atomic<std::uint64_t>, kBounds.size()> buckets{};  ///< syncs per bucket (not cumulative)
  std::atomic<std::uint64_t> syncs{0};
  std::atomic<std::uint64_t> totalNanoseconds{0};
  std::atomic<std::uint64_t> lastNanoseconds{0};
  std::atomic<std::uint64_t> slowestNanoseconds{0};
  std::atomic<std::int64_t> lastAt{0};  ///< time_t of the last sync
  std::atomic<std::uint64_t> bytes{0};  ///< the journal's records
  void RecordSync(std::chrono::steady_clock::duration took) noexcept;
};

class LockStore {
 public:
  /// Called after each group is durable (with the last sequence number of the
  /// group), or with ok=false when the journal cannot be written. After a
  /// failure nothing more is written until Rollback() and TryRecover(). A
  /// group written inline reports on the thread that called Commit(), before
  /// Commit() returns; the writer thread's groups report on the writer thread.
  using DurableHandler = std::function<void(std::uint64_t seq, bool ok, const std::string& error)>;

  /// The journal is compacted while running once it reaches `compactAtBytes`
  /// and is at least four times the size of its compact form.
  explicit LockStore(audit::AuditLog& log, CommitMode mode = kPlatformCommitMode,
                     std::uint64_t compactAtBytes = 16u * 1024 * 1024)
      : log_(log), mode_(mode), compactAtBytes_(compactAtBytes) {}
  ~LockStore();
  LockStore(const LockStore&) = delete;
  LockStore& operator=(const LockStore&) = delete;

  /// Locks the folder, replays the journal (setting a torn or corrupt tail
  /// aside in "locks.journal.bad-<time>"), writes a compact journal when the
  /// old one held more than the held locks, and starts the writer thread
  /// (writer-thread mode).
  [[nodiscard]] bool Open(const std::string& folder, DurableHandler onDurable, std::string& error);
  /// Writes what was queued, then stops the writer thread and closes the
  /// journal, cut behind its last record.
  void Close();

  [[nodiscard]] LockTable& Table() noexcept { return table_; }
  /// Queues a change already applied to Table(); returns its sequence number.
  /// Nothing is written until Commit().
  std::uint64_t Append(const LockChange& change);
  /// Makes everything queued so far durable (see the class comment).
  /// `blockingAllowed`: adaptive mode may write inline.
  void Commit(bool blockingAllowed = true);
  [[nodiscard]] std::uint64_t LastSeq() const noexcept { return lastSeq_; }
  [[nodiscard]] CommitMode Mode() const noexcept { return mode_; }
  [[nodiscard]] const JournalFigures& Figures() const noexcept { return figures_; }

  /// A write has failed and the journal is not yet rewritten: changes must
  /// be refused (any thread may ask).
  [[nodiscard]] bool Failed() const noexcept { return failed_.load(); }
  /// After a failure was reported: drops every change not yet durable and
  /// sets Table() back to what the journal holds. Every sequence number
  /// handed out so far is then settled (durable or dropped).
  void Rollback();
  /// While Failed(): rewrites the journal compactly from the durable table
  /// into a new file and switches to it; true when writing may go on.
  [[nodiscard]] bool TryRecover(std::string& error);

  /// Replays a journal read-only (for the admin listing); reports problems in `note`.
  [[nodiscard]] static bool ReadTable(const std::string& folder, LockTable& table, std::string& note,
                                      std::string& error);

 private:
  void WriterLoop();
  /// Writes one group durably (audit lines first), applies its changes to
  /// written_, then compacts the journal when it has grown enough.
  [[nodiscard]] bool WriteGroup(const std::string& records, const std::vector<LockChange>& changes,
                                std::string& error);
  /// Rewrites the journal as one grant per held lock.
  bool Compact(const LockTable& journalTable, std::string& error);

  audit::AuditLog& log_;
  const CommitMode mode_;
  const std::uint64_t compactAtBytes_;
  LockTable table_;
  platform::FolderLock folderLock_;
  platform::JournalFile journal_;
  std::string journalPath_;
  DurableHandler onDurable_;
  std::uint64_t lastSeq_ = 0;  // network thread only

  std::mutex mutex_;  // guards what follows, up to the writing state
  std::condition_variable wake_;
  std::condition_variable idle_;  // writing_ became false
  std::string pending_;  // encoded records not yet written
  std::vector<LockChange> pendingChanges_;  // the same changes, for written_
  std::uint64_t pendingSeq_ = 0;  // last sequence number in pending_
  bool handOff_ = false;   // the writer is to take pending_
  bool writing_ = false;   // a group is being written (by either thread)
  std::atomic<bool> failed_{false};  // a write failed: nothing is written until TryRecover()
  bool stopping_ = false;
  std::thread writer_;
  // The writing state, used by whichever thread has set writing_ (or by the
  // network thread while failed_): the table as the journal durably holds
  // it (the network thread's table runs ahead while the writer works), for
  // compaction while running and for a rollback, and the journal's sizes.
  LockTable written_;
  std::uint64_t journalBytes_ = 0;
  std::uint64_t snapshotBytes_ = 0;
  JournalFigures figures_;
};

}  // namespace quorlane::server
