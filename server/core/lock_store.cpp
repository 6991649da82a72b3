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
  if (scan.badBytes > 0 || scan.changes.size() != table_.Size()) {
    const std::string tmp = journalPath_ + ".new";
    if (!WriteFileDurably(tmp, Snapshot(table_), error) || !ReplaceFileDurably(tmp, journalPath_, error)) {
      return false;
    }
  }
  if (!journal_.Open(journalPath_, error)) return false;
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
    pendingSeq_ = seq;
  }
  return seq;
}

void LockStore::Commit() { wake_.notify_one(); }

void LockStore::WriterLoop() {
  std::string batch;
  while (true) {
    std::uint64_t seq = 0;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (pending_.empty()) return;  // stopping with nothing left to write
      batch.swap(pending_);
      pending_.clear();
      seq = pendingSeq_;
    }
    log_.Flush();
    std::string error;
    const bool ok = journal_.Append(batch, error) && journal_.Sync(error);
    batch.clear();
    if (batch.capacity() > (1u << 20)) std::string().swap(batch);
    onDurable_(seq, ok, error);
    if (!ok) return;
  }
}

}  // namespace quorlane::server
