#include "lock_store.h"

#include <cstdio>
#include <ctime>

#include "journal_codec.h"

namespace quorlane::server {
namespace {

constexpr const char* kJournalName = "locks.journal";


std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

std::string Snapshot(const LockTable& table) {
  std::string data;
  for (const auto& [key, holder] : table.Locks()) EncodeRecord(LockChange{LockChange::Kind::Grant, key, holder}, data);
  return data;
}

}  // namespace

LockStore::~LockStore() { Close(); }

bool LockStore::ReadTable(const std::string& folder, LockTable& table, std::string& note, std::string& error) {
  std::string data;
  if (!platform::ReadWholeFile(Join(folder, kJournalName), data, error)) return false;
  const JournalScan scan = ScanJournal(data);
  for (const auto& change : scan.changes) table.Apply(change);
  if (scan.badBytes > 0) {
    note = "journal has a " + scan.problem + " at byte " + std::to_string(scan.validBytes) + "; " +
           std::to_string(scan.badBytes) + " bytes behind it were not applied";
  }
  return true;
}

bool LockStore::Open(const std::string& folder, DurableHandler onDurable, std::string& error) {
  onDurable_ = std::move(onDurable);
  if (!platform::MakeFolder(folder, error)) return false;
  if (!folderLock_.Acquire(Join(folder, "server.lock"), error)) return false;
  journalPath_ = Join(folder, kJournalName);
  if (const int removed = platform::RemoveAbandonedTemporaries(journalPath_); removed > 0) {
    log_.Line("store: removed " + std::to_string(removed) + " journal rewrite(s) that a crash interrupted");
  }

  std::string data;
  if (!platform::ReadWholeFile(journalPath_, data, error)) return false;
  const JournalScan scan = ScanJournal(data);
  for (const auto& change : scan.changes) table_.Apply(change);
  log_.Line("store: " + std::to_string(scan.changes.size()) + " journal records replayed, " +
            std::to_string(table_.Size()) + " locks held");
  if (scan.badBytes > 0) {
    // Keep the damaged bytes for inspection; they are never applied.
    char stamp[32];
    const std::tm t = platform::LocalTime(std::time(nullptr));
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
    const std::string badPath = journalPath_ + ".bad-" + stamp;
    std::string ignored;
    const bool saved = platform::WriteFileDurably(badPath, std::string_view(data).substr(scan.validBytes, scan.badBytes), ignored);
    log_.Line("store: journal has a " + scan.problem + " at byte " + std::to_string(scan.validBytes) + "; " +
              std::to_string(scan.badBytes) + " bytes skipped" + (saved ? " and saved in " + badPath : ""));
  }
  // Start every run from a compact journal: one grant per held lock.
  written_ = table_;
  if (scan.badBytes > 0 || scan.changes.size() != table_.Size()) {
    // Here the rewrite must succeed: writing behind a bad tail would hide
    // every later record from the next replay.
    const std::string snapshot = Snapshot(table_);
    if (platform::ReplaceFileContents(journalPath_, snapshot, platform::FileAccess::Shared, error) != platform::Replacement::Done) return false;
    journalBytes_ = snapshotBytes_ = snapshot.size();
  } else {
    journalBytes_ = snapshotBytes_ = scan.validBytes;
  }
  if (!journal_.Open(journalPath_, journalBytes_, error)) return false;
  figures_.bytes = journalBytes_;
  if (mode_ != CommitMode::Inline) writer_ = std::thread([this] { WriterLoop(); });
  return true;
}

void LockStore::Close() {
  if (writer_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
  } else if (!failed_ && !pending_.empty() && journal_.IsOpen()) {
    // Nobody waits for these any more; they are written all the same.
    std::string error;
    failed_ = !WriteGroup(pending_, pendingChanges_, error);
    pending_.clear();
    pendingChanges_.clear();
  }
  journal_.Close(/*trimReserve=*/!failed_);
}

std::uint64_t LockStore::Append(const LockChange& change) {
  const std::uint64_t seq = ++lastSeq_;
  std::lock_guard lock(mutex_);
  EncodeRecord(change, pending_);
  pendingChanges_.push_back(change);
  pendingSeq_ = seq;
  return seq;
}

void LockStore::Commit(bool blockingAllowed) {
  std::unique_lock lock(mutex_);
  if (pending_.empty() || failed_) return;
  const bool inlineNow = mode_ == CommitMode::Inline ||
                         (mode_ == CommitMode::Adaptive && blockingAllowed && !writing_ && !handOff_);
  if (!inlineNow) {
    handOff_ = true;
    lock.unlock();
    wake_.notify_one();
    return;
  }
  std::string batch;
  batch.swap(pending_);
  std::vector<LockChange> changes;
  changes.swap(pendingChanges_);
  const std::uint64_t seq = pendingSeq_;
  writing_ = true;
  lock.unlock();

  std::string error;
  const bool ok = WriteGroup(batch, changes, error);
  lock.lock();
  writing_ = false;
  failed_ = !ok;
  idle_.notify_all();
  // Keep the buffer's memory for the next group unless it grew large.
  if (pending_.empty() && batch.capacity() <= (1u << 20)) {
    batch.clear();
    pending_.swap(batch);
  }
  lock.unlock();
  onDurable_(seq, ok, error);
}

void JournalFigures::RecordSync(std::chrono::steady_clock::duration took) noexcept {
  const auto nanoseconds = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count());
  const double seconds = static_cast<double>(nanoseconds) / 1e9;
  std::size_t bucket = 0;
  while (bucket < kBounds.size() && seconds > kBounds[bucket]) ++bucket;
  if (bucket < kBounds.size()) buckets[bucket].fetch_add(1, std::memory_order_relaxed);
  syncs.fetch_add(1, std::memory_order_relaxed);
  totalNanoseconds.fetch_add(nanoseconds, std::memory_order_relaxed);
  lastNanoseconds.store(nanoseconds, std::memory_order_relaxed);
  lastAt.store(static_cast<std::int64_t>(std::time(nullptr)), std::memory_order_relaxed);
  std::uint64_t slowest = slowestNanoseconds.load(std::memory_order_relaxed);
  while (nanoseconds > slowest && !slowestNanoseconds.compare_exchange_weak(slowest, nanoseconds)) {
  }
}

bool LockStore::WriteGroup(const std::string& records, const std::vector<LockChange>& changes, std::string& error) {
  // The group's audit lines reach the file before any reply can leave.
  log_.Flush();
  const auto started = std::chrono::steady_clock::now();
  if (!journal_.WriteDurably(records, error)) return false;
  figures_.RecordSync(std::chrono::steady_clock::now() - started);
  journalBytes_ += records.size();
  // written_ follows the journal only once the group is durable: after a
  // failure it is what a rollback returns to.
  for (const auto& change : changes) written_.Apply(change);
  const LockTable& journalTable = written_;
  // Compact before answering: the replies then follow a journal that holds
  // their changes in either form.
  if (journalBytes_ >= compactAtBytes_ && journalBytes_ >= 4 * snapshotBytes_) {
    const std::uint64_t before = journalBytes_;
    if (!Compact(journalTable, error)) return false;
    if (journalBytes_ == before) {
      // A postponed compaction waits for another quarter of the limit.
      snapshotBytes_ = (before + compactAtBytes_ / 4) / 4;
    } else {
      log_.Line("store: journal compacted from " + std::to_string(before) + " to " + std::to_string(journalBytes_) +
                " bytes");
    }
  }
  figures_.bytes = journalBytes_;
  return true;
}

bool LockStore::Compact(const LockTable& journalTable, std::string& error) {
  const std::string snapshot = Snapshot(journalTable);
  platform::TemporaryFile compacted;
  if (!compacted.Create(journalPath_, platform::FileAccess::Shared, error) || !compacted.WriteDurably(snapshot, error)) {
    log_.Line("store: compaction postponed: " + error);
    return true;
  }
  journal_.Close();
  const platform::Replacement replaced = compacted.ReplaceTarget(error);
  if (replaced == platform::Replacement::Failed) {
    // The old journal is intact (for example a reader on Windows held it
    // open); keep writing to it and try again later.
    log_.Line("store: compaction postponed: " + error);
    return journal_.Open(journalPath_, journalBytes_, error);
  }
  if (replaced == platform::Replacement::NotDurable) return false;
  journalBytes_ = snapshotBytes_ = snapshot.size();
  return journal_.Open(journalPath_, journalBytes_, error);
}

void LockStore::Rollback() {
  std::unique_lock lock(mutex_);
  // A failure is reported once the failing writer has settled, and nothing
  // is written while failed_: written_ is the journal's durable table.
  idle_.wait(lock, [this] { return !writing_; });
  pending_.clear();
  pendingChanges_.clear();
  handOff_ = false;
  pendingSeq_ = lastSeq_;
  table_ = written_;
}

bool LockStore::TryRecover(std::string& error) {
  {
    std::lock_guard lock(mutex_);
    if (!failed_) return true;
  }
  // The old journal may hold bytes of the refused group behind its durable
  // end (a failed sync leaves them in the cache, marked clean): never write
  // behind them again. A fresh, compact file holds exactly the durable table.
  const std::string snapshot = Snapshot(written_);
  journal_.Close();
  if (platform::ReplaceFileContents(journalPath_, snapshot, platform::FileAccess::Shared, error) != platform::Replacement::Done ||
      !journal_.Open(journalPath_, snapshot.size(), error)) {
    journal_.Close();
    return false;
  }
  journalBytes_ = snapshotBytes_ = snapshot.size();
  figures_.bytes = journalBytes_;
  std::lock_guard lock(mutex_);
  failed_ = false;
  return true;
}

void LockStore::WriterLoop() {
  std::string batch;
  std::vector<LockChange> changes;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !writing_ && (stopping_ || (handOff_ && !pending_.empty() && !failed_)); });
    if (stopping_ && (failed_ || pending_.empty())) return;  // stopping with nothing (more) to write
    if (failed_ || pending_.empty()) continue;
    batch.swap(pending_);
    changes.swap(pendingChanges_);
    const std::uint64_t seq = pendingSeq_;
    handOff_ = false;
    writing_ = true;
    lock.unlock();

    std::string error;
    const bool ok = WriteGroup(batch, changes, error);
    changes.clear();
    batch.clear();
    if (batch.capacity() > (1u << 20)) std::string().swap(batch);

    lock.lock();
    writing_ = false;
    failed_ = !ok;
    idle_.notify_all();
    // Reported with the state settled: a rollback may follow at once.
    lock.unlock();
    onDurable_(seq, ok, error);
    lock.lock();
  }
}

}  // namespace quorlane::server
