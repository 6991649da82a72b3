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
    const bool saved = WriteFileDurably(badPath, std::string_view(data).substr(scan.validBytes), ignored);
    log_.Line("store: journal has a " + scan.problem + " at byte " + std::to_string(scan.validBytes) + "; " +
              std::to_string(scan.badBytes) + " bytes skipped" + (saved ? " and saved in " + badPath : ""));
  }
  // Start every run from a compact journal: one grant per held lock.
  written_ = table_;
  if (scan.badBytes > 0 || scan.changes.size() != table_.Size()) {
    // Here the rewrite must succeed: appending behind a bad tail would hide
    // every later record from the next replay.
    const std::string snapshot = Snapshot(table_);
    const std::string tmp = journalPath_ + ".new";
    if (!WriteFileDurably(tmp, snapshot, error) || !ReplaceFileDurably(tmp, journalPath_, error)) return false;
    journalBytes_ = snapshotBytes_ = snapshot.size();
    if (!journal_.Open(journalPath_, error)) return false;
  } else {
    journalBytes_ = snapshotBytes_ = scan.validBytes;
    if (!journal_.Open(journalPath_, error)) return false;
  }
  writer_ = std::thread([this] { WriterLoop(); });
  return true;
}

void LockStore::Close() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
  journal_.Close();
}

std::uint64_t LockStore::Append(const LockChange& change) {
  const std::uint64_t seq = ++lastSeq_;
  {
    std::lock_guard lock(mutex_);
    EncodeRecord(change, pending_);
    pendingChanges_.push_back(change);
    pendingSeq_ = seq;
  }
  return seq;
}

void LockStore::Commit() { wake_.notify_one(); }

bool LockStore::Compact(std::string& error) {
  const std::string snapshot = Snapshot(written_);
  const std::string tmp = journalPath_ + ".new";
  if (!WriteFileDurably(tmp, snapshot, error)) {
    log_.Line("store: compaction postponed: " + error);
    return true;
  }
  journal_.Close();
  if (!ReplaceFileDurably(tmp, journalPath_, error)) {
    // The old journal is intact (for example a reader on Windows held it
    // open); keep appending to it and try again later.
    log_.Line("store: compaction postponed: " + error);
    return journal_.Open(journalPath_, error);
  }
  journalBytes_ = snapshotBytes_ = snapshot.size();
  return journal_.Open(journalPath_, error);
}

void LockStore::WriterLoop() {
  std::string batch;
  std::vector<LockChange> changes;
  while (true) {
    std::uint64_t seq = 0;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (pending_.empty()) return;  // stopping with nothing left to write
      batch.swap(pending_);
      pending_.clear();
      changes.swap(pendingChanges_);
      pendingChanges_.clear();
      seq = pendingSeq_;
    }
    log_.Flush();
    std::string error;
    bool ok = journal_.Append(batch, error) && journal_.Sync(error);
    journalBytes_ += batch.size();
    for (const auto& change : changes) written_.Apply(change);
    changes.clear();
    // Compact before answering: the replies then follow a journal that
    // holds their changes in either form.
    if (ok && journalBytes_ >= compactAtBytes_ && journalBytes_ >= 4 * snapshotBytes_) {
      const std::uint64_t before = journalBytes_;
      ok = Compact(error);
      // A postponed compaction waits for another quarter of the limit.
      if (ok && journalBytes_ == before) snapshotBytes_ = (before + compactAtBytes_ / 4) / 4;
      else if (ok) {
        log_.Line("store: journal compacted from " + std::to_string(before) + " to " + std::to_string(journalBytes_) +
                  " bytes");
      }
    }
    batch.clear();
    if (batch.capacity() > (1u << 20)) std::string().swap(batch);
    onDurable_(seq, ok, error);
    if (!ok) return;
  }
}

}  // namespace quorlane::server
