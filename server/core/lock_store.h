// The durable lock store: the in-memory table plus its journal in the data
// folder. Changes are applied to the table at once (on the network thread)
// and handed to a writer thread that appends and syncs them in groups: one
// sync covers the changes of every connection that arrived meanwhile. Each
// change gets a sequence number; a reply may be sent once DurableSeq() has
// reached the number its request depended on.
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

class LockStore {
 public:
  /// Called on the writer thread after each group is durable (with the last
  /// sequence number of the group), or with ok=false when the journal cannot
  /// be written; the server then stops without answering.
  using DurableHandler = std::function<void(std::uint64_t seq, bool ok, const std::string& error)>;

  /// The journal is compacted while running once it reaches `compactAtBytes`
  /// and is at least four times the size of its compact form.
  explicit LockStore(AuditLog& log, std::uint64_t compactAtBytes = 16u * 1024 * 1024)
      : log_(log), compactAtBytes_(compactAtBytes) {}
  ~LockStore();
  LockStore(const LockStore&) = delete;
  LockStore& operator=(const LockStore&) = delete;

  /// Locks the folder, replays the journal (setting a torn or corrupt tail
  /// aside in "locks.journal.bad-<time>"), writes a compact journal and
  /// starts the writer thread.
  [[nodiscard]] bool Open(const std::string& folder, DurableHandler onDurable, std::string& error);
  /// Finishes writing what was queued, then stops the writer thread.
  void Close();

  [[nodiscard]] LockTable& Table() noexcept { return table_; }
  /// Queues a change already applied to Table(); returns its sequence number.
  /// Nothing is written until Commit().
  std::uint64_t Append(const LockChange& change);
  /// Wakes the writer for everything queued so far. The server calls this
  /// once per round of ready connections, so their changes share one sync.
  void Commit();
  [[nodiscard]] std::uint64_t LastSeq() const noexcept { return lastSeq_; }

  /// Replays a journal read-only (for the admin listing); reports problems in `note`.
  [[nodiscard]] static bool ReadTable(const std::string& folder, LockTable& table, std::string& note,
                                      std::string& error);

 private:
  void WriterLoop();
  /// Rewrites the journal as one grant per held lock (writer thread).
  bool Compact(std::string& error);

  AuditLog& log_;
  const std::uint64_t compactAtBytes_;
  LockTable table_;
  FolderLock folderLock_;
  AppendFile journal_;
  std::string journalPath_;
  DurableHandler onDurable_;
  std::uint64_t lastSeq_ = 0;  // network thread only

  std::mutex mutex_;
  std::condition_variable wake_;
  std::string pending_;          // encoded records not yet written
  std::vector<LockChange> pendingChanges_;
  std::uint64_t pendingSeq_ = 0;  // last sequence number in pending_
  bool stopping_ = false;
  std::thread writer_;
  // Writer thread only: the table as the journal holds it, and the journal's
  // size, so it can be compacted while the server runs.
  LockTable written_;
  std::uint64_t journalBytes_ = 0;
  std::uint64_t snapshotBytes_ = 0;
};

}  // namespace quorlane::server
