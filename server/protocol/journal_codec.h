// The on-disk form of the lock journal: a sequence of records, each checked
// by length and CRC-32, so a torn or corrupt tail is found at start-up and
// never half-applied. Zeros may follow the last record (space reserved for
// the next ones, see platform::JournalFile); they end the journal cleanly.
//
// Record: "QJ" | u32 payload length | u32 CRC-32 of the payload | payload,
// integers little-endian. Payload: kind byte ('G' grant, 'R' release) and
// four length-prefixed (u32) texts: key, user, computer, start time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lock_table.h"

namespace quorlane::server {

[[nodiscard]] std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

/// Appends one record to `out`.
void EncodeRecord(const LockChange& change, std::string& out);

struct JournalScan {
  std::vector<LockChange> changes;  ///< every whole, valid record, in order
  std::size_t validBytes = 0;       ///< length of the valid prefix
  std::size_t badBytes = 0;         ///< bytes behind it up to the last one not zero (torn or corrupt tail)
  std::string problem;              ///< what was wrong with the first bad record
};

/// Reads records until the data ends, only zeros follow, or a record is torn
/// or corrupt; everything from the first bad record on (up to the trailing
/// zeros) counts as the bad tail, because a damaged length leaves no
/// trustworthy place to resume.
[[nodiscard]] JournalScan ScanJournal(std::string_view data);

}  // namespace quorlane::server
