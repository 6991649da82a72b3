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
  if (!ReadWholeFile(Join(folder, kJournalName), data, error)) return false;
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
  if (!MakeFolder(folder, error)) return false;
  if (!folderLock_.Acquire(Join(folder, "server.lock"), error)) return false;
  journalPath_ = Join(folder, kJournalName);

  std::string data;
  if (!ReadWholeFile(journalPath_, data, error)) return false;
  const JournalScan scan = ScanJournal(data);
  for (const auto& change : scan.changes) table_.Apply(change);
  log_.Line("store: " + std::to_string(scan.changes.size()) + " journal records replayed, " +
            std::to_string(table_.Size()) + " locks held");
  if (scan.badBytes > 0) {
    // Keep the damaged bytes for inspection; they are never applied.
    char stamp[32];
    const std::tm t = LocalTime(std::time(nullptr));
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
    const std::string badPath = journalPath_ + ".bad-" + stamp;
    std::string ignored;
    const bool saved = WriteFileDurably(badPath, std::string_view(data).substr(scan.validBytes, scan.badBytes), ignored);
    log_.Line("store: journal has a " + scan.problem + " at byte " + std::to_string(scan.validBytes) + "; " +
              std::to_string(scan.badBytes) + " bytes skipped" + (saved ? " and saved in " + badPath : ""));
  }
  // Start every run from a compact journal: one grant per held lock.
  if (mode_ != CommitMode::Inline) written_ = table_;
  if (scan.badBytes > 0 || scan.changes.size() != table_.Size()) {
    // Here the rewrite must succeed: writing behind a bad tail would hide
    // every later record from the next replay.
    const std::string snapshot = Snapshot(table_);
    const std::string tmp = journalPath_ + ".new";
    if (!WriteFileDurably(tmp, snapshot, error) || !ReplaceFileDurably(tmp, journalPath_, error)) return false;
    journalBytes_ = snapshotBytes_ = snapshot.size();
  } else {
    journalBytes_ = snapshotBytes_ = scan.validBytes;
  }
  if (!journal_.Open(journalPath_, journalBytes_, error)) return false;
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
    failed_ = !WriteGroup(pending_, table_, error);
    pending_.clear();
  }
  journal_.Close(/*trimReserve=*/!failed_);
}

std::uint64_t LockStore::Append(const LockChange& change) {
  const std::uint64_t seq = ++lastSeq_;
  std::lock_guard lock(mutex_);
  EncodeRecord(change, pending_);
  if (mode_ != CommitMode::Inline) pendingChanges_.push_back(change);
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

  // Inline mode: the table is exactly what the journal holds once this group
  // is written (every change applied to it has been queued). Adaptive: the
  // writer's copy follows, as it does for the writer's own groups.
  if (mode_ == CommitMode::Adaptive) {
    for (const auto& change : changes) written_.Apply(change);
  }
  std::string error;
  const bool ok = WriteGroup(batch, mode_ == CommitMode::Inline ? table_ : written_, error);
  lock.lock();
  writing_ = false;
  failed_ = !ok;
  // Keep the buffer's memory for the next group unless it grew large.
  if (pending_.empty() && batch.capacity() <= (1u << 20)) {
    batch.clear();
    pending_.swap(batch);
  }
  lock.unlock();
  onDurable_(seq, ok, error);
}

bool LockStore::WriteGroup(const std::string& records, const LockTable& journalTable, std::string& error) {
  // The group's audit lines reach the file before any reply can leave.
  log_.Flush();
  if (!journal_.WriteDurably(records, error)) return false;
  journalBytes_ += records.size();
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
  return true;
}

bool LockStore::Compact(const LockTable& journalTable, std::string& error) {
  const std::string snapshot = Snapshot(journalTable);
  const std::string tmp = journalPath_ + ".new";
  if (!WriteFileDurably(tmp, snapshot, error)) {
    log_.Line("store: compaction postponed: " + error);
    return true;
  }
  journal_.Close();
  if (!ReplaceFileDurably(tmp, journalPath_, error)) {
    // The old journal is intact (for example a reader on Windows held it
    // open); keep writing to it and try again later.
    log_.Line("store: compaction postponed: " + error);
    return journal_.Open(journalPath_, journalBytes_, error);
  }
  journalBytes_ = snapshotBytes_ = snapshot.size();
  return journal_.Open(journalPath_, journalBytes_, error);
}

void LockStore::WriterLoop() {
  std::string batch;
  std::vector<LockChange> changes;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return !writing_ && (stopping_ || (handOff_ && !pending_.empty())); });
    if (failed_ || pending_.empty()) return;  // stopping with nothing (more) to write
    batch.swap(pending_);
    changes.swap(pendingChanges_);
    const std::uint64_t seq = pendingSeq_;
    handOff_ = false;
    writing_ = true;
    lock.unlock();

    for (const auto& change : changes) written_.Apply(change);
    changes.clear();
    std::string error;
    const bool ok = WriteGroup(batch, written_, error);
    batch.clear();
    if (batch.capacity() > (1u << 20)) std::string().swap(batch);
    onDurable_(seq, ok, error);

    lock.lock();
    writing_ = false;
    failed_ = !ok;
  }
}

}  // namespace quorlane::server
