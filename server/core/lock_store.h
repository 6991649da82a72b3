// The durable lock store: the in-memory table plus its journal in the data
// folder. Changes are applied to the table at once (on the network thread)
// and queued; Commit() makes every queued change durable as one group, so
// one sync covers the changes of every connection served in a round. Each
// change gets a sequence number; a reply may be sent once the journal is
// durable up to the number its request depended on.
//
// Two ways to commit, the same journal:
// - inline (Linux): Commit() writes and syncs on the calling network thread
//   and reports the group durable before it returns. No thread hand-off on
//   a request's path; the sync is one in-place RWF_DSYNC write (JournalFile).
// - writer thread (Windows): Commit() wakes a writer thread that appends,
//   syncs (FlushFileBuffers) and reports the group from there, while the
//   network thread goes on serving.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audit_log.h"
#include "lock_table.h"
#include "platform.h"

namespace quorlane::server {

enum class CommitMode { Inline, WriterThread };

#ifdef _WIN32
inline constexpr CommitMode kPlatformCommitMode = CommitMode::WriterThread;
#else
inline constexpr CommitMode kPlatformCommitMode = CommitMode::Inline;
#endif

class LockStore {
 public:
  /// Called after each group is durable (with the last sequence number of the
  /// group), or with ok=false when the journal cannot be written; the server
  /// then stops without answering. Inline: on the thread that called
  /// Commit(), before Commit() returns. Writer thread: on the writer thread.
  using DurableHandler = std::function<void(std::uint64_t seq, bool ok, const std::string& error)>;

  /// The journal is compacted while running once it reaches `compactAtBytes`
  /// and is at least four times the size of its compact form.
  explicit LockStore(AuditLog& log, CommitMode mode = kPlatformCommitMode,
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
  void Commit();
  [[nodiscard]] std::uint64_t LastSeq() const noexcept { return lastSeq_; }
  [[nodiscard]] CommitMode Mode() const noexcept { return mode_; }

  /// Replays a journal read-only (for the admin listing); reports problems in `note`.
  [[nodiscard]] static bool ReadTable(const std::string& folder, LockTable& table, std::string& note,
                                      std::string& error);

 private:
  void WriterLoop();
  /// Writes one group durably (audit lines first), then compacts the journal
  /// when it has grown enough. `journalTable` is the table as the journal
  /// holds it once the group is written.
  [[nodiscard]] bool WriteGroup(const std::string& records, const LockTable& journalTable, std::string& error);
  /// Rewrites the journal as one grant per held lock.
  bool Compact(const LockTable& journalTable, std::string& error);

  AuditLog& log_;
  const CommitMode mode_;
  const std::uint64_t compactAtBytes_;
  LockTable table_;
  FolderLock folderLock_;
  JournalFile journal_;
  std::string journalPath_;
  DurableHandler onDurable_;
  std::uint64_t lastSeq_ = 0;  // network thread only
  bool failed_ = false;        // a write failed: nothing more is written

  std::mutex mutex_;  // writer-thread mode: guards the pending group
  std::condition_variable wake_;
  std::string pending_;  // encoded records not yet written
  std::vector<LockChange> pendingChanges_;  // writer-thread mode: the same changes, for written_
  std::uint64_t pendingSeq_ = 0;  // last sequence number in pending_
  bool stopping_ = false;
  std::thread writer_;
  // The writer thread's copy of the table as the journal holds it (the
  // network thread's table runs ahead), so it can compact while running.
  LockTable written_;
  std::uint64_t journalBytes_ = 0;   // writing thread only
  std::uint64_t snapshotBytes_ = 0;  // writing thread only
};

}  // namespace quorlane::server
