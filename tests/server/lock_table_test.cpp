// Lock semantics, the start-time text and the journal format with its torn
// and corrupt tails.
#include <gtest/gtest.h>

#include "journal_codec.h"
#include "lock_table.h"

namespace quorlane::server {
namespace {

class LockTableTest : public ::testing::Test {
 protected:
  LockOutcome Run(LockCommand command, const std::string& key, const char* user, const char* computer,
                  const char* time = "2024/1/2 10:00") {
    return table.Execute(command, key, user, computer, time);
  }
  LockTable table;
};

TEST_F(LockTableTest, GrantsAFreeKeyAndRefusesOthersWithTheHolder) {
  EXPECT_EQ(Run(LockCommand::Lock, "db1", "ann", "PC01").payload, "Y;;;");
  EXPECT_EQ(Run(LockCommand::Lock, "db1", "bob", "PC02").payload, "N;ann;PC01;2024/1/2 10:00;");
  // Same user on another computer is someone else.
  EXPECT_EQ(Run(LockCommand::Lock, "db1", "ann", "PC02").payload, "N;ann;PC01;2024/1/2 10:00;");
  EXPECT_EQ(Run(LockCommand::Check, "db1", "x", "y").payload, "Y;ann;PC01;2024/1/2 10:00;");
  EXPECT_EQ(Run(LockCommand::Check, "db2", "x", "y").payload, "N;;;");
}

TEST_F(LockTableTest, RelockByTheHolderKeepsTheOriginalStartTimeAndChangesNothing) {
  ASSERT_TRUE(Run(LockCommand::Lock, "db1", "ann", "PC01", "2024/1/2 10:00").change);
  const auto again = Run(LockCommand::Lock, "db1", "ann", "PC01", "2024/1/2 11:30");
  EXPECT_EQ(again.payload, "Y;;;");
  EXPECT_FALSE(again.change);
  EXPECT_EQ(Run(LockCommand::Check, "db1", "x", "y").payload, "Y;ann;PC01;2024/1/2 10:00;");
}

TEST_F(LockTableTest, UnlockReleasesOnlyForTheHolder) {
  Run(LockCommand::Lock, "db1", "ann", "PC01");
  EXPECT_EQ(Run(LockCommand::Unlock, "db1", "bob", "PC02").payload, "N;ann;PC01;2024/1/2 10:00;");
  EXPECT_TRUE(table.Find("db1"));
  const auto released = Run(LockCommand::Unlock, "db1", "ann", "PC01");
  EXPECT_EQ(released.payload, "Y;;;");
  ASSERT_TRUE(released.change);
  EXPECT_EQ(released.change->kind, LockChange::Kind::Release);
  EXPECT_FALSE(table.Find("db1"));
  const auto free = Run(LockCommand::Unlock, "db1", "bob", "PC02");
  EXPECT_EQ(free.payload, "Y;;;");
  EXPECT_FALSE(free.change);
}

TEST_F(LockTableTest, ForceUnlockReleasesWhateverHoldsTheKey) {
  Run(LockCommand::Lock, "db1", "ann", "PC01");
  EXPECT_EQ(Run(LockCommand::ForceUnlock, "db1", "bob", "PC02").payload, "Y;;;");
  EXPECT_EQ(Run(LockCommand::Check, "db1", "x", "y").payload, "N;;;");
  EXPECT_EQ(Run(LockCommand::ForceUnlock, "db1", "bob", "PC02").payload, "Y;;;");
}

TEST_F(LockTableTest, KeysCompareByteForByte) {
  Run(LockCommand::Lock, "DB1", "ann", "PC01");
  EXPECT_EQ(Run(LockCommand::Lock, "db1", "bob", "PC02").payload, "Y;;;");
  EXPECT_EQ(Run(LockCommand::Lock, "db1 ", "bob", "PC02").payload, "Y;;;");
  EXPECT_EQ(Run(LockCommand::Lock, "\xA4\xA4", "bob", "PC02").payload, "Y;;;");
  EXPECT_EQ(table.Size(), 4u);
}

TEST(StartTime, HasNoLeadingZerosInMonthAndDayButTwoDigitTime) {
  std::tm t{};
  t.tm_year = 124, t.tm_mon = 0, t.tm_mday = 2, t.tm_hour = 9, t.tm_min = 5;
  EXPECT_EQ(FormatStartTime(t), "2024/1/2 09:05");
  t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59;
  EXPECT_EQ(FormatStartTime(t), "2024/12/31 23:59");
}

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EncodeRecord({LockChange::Kind::Grant, "db1", {"ann", "PC01", "2024/1/2 10:00"}}, data);
    EncodeRecord({LockChange::Kind::Grant, "a;b", {"bob", "PC02", "2024/1/2 10:01"}}, data);
    firstTwo = data.size();
    EncodeRecord({LockChange::Kind::Release, "db1", {}}, data);
  }
  std::string data;
  std::size_t firstTwo = 0;
};

TEST_F(JournalTest, ReplaysEveryRecordInOrder) {
  const auto scan = ScanJournal(data);
  ASSERT_EQ(scan.changes.size(), 3u);
  EXPECT_EQ(scan.badBytes, 0u);
  LockTable table;
  for (const auto& c : scan.changes) table.Apply(c);
  EXPECT_FALSE(table.Find("db1"));
  ASSERT_TRUE(table.Find("a;b"));
  EXPECT_EQ(table.Find("a;b")->startTime, "2024/1/2 10:01");
}

// A write torn in reserved space leaves zeros where the rest of the record
// was to go, or nothing at all; either way the records in front stay and the
// damage is reported up to its last byte that is not zero. (Where every
// missing byte is a zero, the record reads whole, as it should.)
TEST_F(JournalTest, EveryTornTailKeepsTheWholeRecordsInFrontOfIt) {
  for (const std::size_t reserve : {std::size_t{0}, std::size_t{64}}) {
    for (std::size_t cut = firstTwo + 1; cut < data.size(); ++cut) {
      SCOPED_TRACE(std::to_string(cut) + " + " + std::to_string(reserve) + " zeros");
      const auto scan = ScanJournal(data.substr(0, cut) + std::string(reserve, '\0'));
      if (reserve > 0 && data.find_first_not_of('\0', cut) == std::string::npos) {
        EXPECT_EQ(scan.changes.size(), 3u);
        EXPECT_EQ(scan.badBytes, 0u);
        continue;
      }
      EXPECT_EQ(scan.changes.size(), 2u);
      EXPECT_EQ(scan.validBytes, firstTwo);
      EXPECT_EQ(scan.badBytes, data.find_last_not_of('\0', cut - 1) + 1 - firstTwo);
      EXPECT_FALSE(scan.problem.empty());
    }
  }
}

TEST_F(JournalTest, AFlippedByteAnywhereInARecordStopsTheReplayThere) {
  for (std::size_t at = firstTwo; at < data.size(); ++at) {
    SCOPED_TRACE(at);
    std::string damaged = data;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    const auto scan = ScanJournal(damaged);
    EXPECT_EQ(scan.changes.size(), 2u);
    EXPECT_EQ(scan.validBytes, firstTwo);
    EXPECT_FALSE(scan.problem.empty());
  }
}

TEST_F(JournalTest, ZerosBehindTheLastRecordAreTheCleanEndButNotInFrontOfOtherBytes) {
  const auto reserved = ScanJournal(data + std::string(4096, '\0'));
  EXPECT_EQ(reserved.changes.size(), 3u);
  EXPECT_EQ(reserved.validBytes, data.size());
  EXPECT_EQ(reserved.badBytes, 0u);
  EXPECT_TRUE(reserved.problem.empty());

  const auto junkBehind = ScanJournal(data + std::string(4096, '\0') + "JUNK" + std::string(10, '\0'));
  EXPECT_EQ(junkBehind.changes.size(), 3u);
  EXPECT_EQ(junkBehind.validBytes, data.size());
  EXPECT_EQ(junkBehind.badBytes, 4100u);
  EXPECT_FALSE(junkBehind.problem.empty());
}

}  // namespace
}  // namespace quorlane::server
