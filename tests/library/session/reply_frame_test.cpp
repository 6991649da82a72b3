// Reply frame assembly and field splitting, natively with sanitizers. Each
// reply is fed as the sender wrote it, in one-byte pieces, in random pieces
// and in one chunk; the payload must not depend on how the bytes were cut
// unless the case says the chunk boundary is what it is about.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lock_reply.h"
#include "reply_frame.h"

namespace {

using quorlane::ReplyAssembler;

struct FrameCase {
  const char* name;
  std::vector<std::string> writes;  // what the sender wrote, in order
  const char* tag;
  const char* payload;
  bool boundariesMatter = false;  // only fed as written
};

std::string Feed(const std::vector<std::string>& chunks, const char* tag) {
  ReplyAssembler reply;
  reply.ResetForSend();
  for (const auto& chunk : chunks) {
    if (reply.ClientSocketRead(chunk) == ReplyAssembler::ChunkResult::Overflow) return "<overflow>";
  }
  return reply.TakePayload(tag);
}

std::string Joined(const std::vector<std::string>& writes) {
  std::string all;
  for (const auto& w : writes) all += w;
  return all;
}

std::vector<std::string> OneByte(const std::string& all) {
  std::vector<std::string> chunks;
  for (char c : all) chunks.emplace_back(1, c);
  return chunks;
}

std::vector<std::string> RandomPieces(const std::string& all, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::string> chunks;
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(1, 12)(random);
    chunks.push_back(all.substr(at, n));
    at += n;
  }
  return chunks;
}

class FrameAssembly : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameAssembly, PayloadIsTheSameHoweverTheBytesAreCut) {
  const FrameCase& c = GetParam();
  EXPECT_EQ(Feed(c.writes, c.tag), c.payload) << "as written";
  if (c.boundariesMatter) return;
  const std::string all = Joined(c.writes);
  EXPECT_EQ(Feed({all}, c.tag), c.payload) << "one chunk";
  EXPECT_EQ(Feed(OneByte(all), c.tag), c.payload) << "one-byte chunks";
  for (unsigned seed = 1; seed <= 20; ++seed) {
    EXPECT_EQ(Feed(RandomPieces(all, seed), c.tag), c.payload) << "random chunks, seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FrameAssembly,
    ::testing::Values(
        FrameCase{"Granted", {"[BEGIN][LOCKDB]Y;;;[END]"}, "[LOCKDB]", "Y;;;"},
        FrameCase{"SplitCheck", {"[BEGIN][CHECKDBLOCK]Y;ann;", "PC01;2024/1/2 10:00;[END]"}, "[CHECKDBLOCK]",
                  "Y;ann;PC01;2024/1/2 10:00;"},
        FrameCase{"JunkBeforeTag", {"[BEGIN]junk[DELETEFILE]Y;[END]"}, "[DELETEFILE]", "Y;"},
        FrameCase{"OtherTag", {"[BEGIN][UNLOCKDB]Y;;;[END]"}, "[LOCKDB]", ""},
        FrameCase{"NoEnd", {"[BEGIN][LOCKDB]Y;;;"}, "[LOCKDB]", ""},
        FrameCase{"CutAtFirstEnd", {"[BEGIN][LOCKDB]Y;", ";;[END]N;[END]"}, "[LOCKDB]", "Y;;;"},
        FrameCase{"EmptyBody", {"[BEGIN][END]"}, "[LOCKDB]", ""},
        FrameCase{"EmptyPayload", {"[BEGIN][GETTAXATIONKEY][END]"}, "[GETTAXATIONKEY]", ""},
        FrameCase{"TagTwiceKeepsTheRest", {"[BEGIN][LOCKDB]a[LOCKDB]b[END]"}, "[LOCKDB]", "a[LOCKDB]b"},
        FrameCase{"ShortFirstSegment", {"[BE", "GIN][LOCKDB]Y;;;[END]"}, "[LOCKDB]", "Y;;;"},
        FrameCase{"NotBeginningWithBegin", {"xx[BEGIN][LOCKDB]Y;;;[END]"}, "[LOCKDB]", "", true},
        FrameCase{"JunkChunkThenFrame", {"xx", "[BEGIN][LOCKDB]Y;;;[END]"}, "[LOCKDB]", "Y;;;", true},
        FrameCase{"WholeFrameReplacesPartOne", {"[BEGIN][LOCKDB]Y;", "[BEGIN][LOCKDB]N;a;b;c;[END]"}, "[LOCKDB]",
                  "N;a;b;c;", true},
        FrameCase{"HighBytesPassThrough", {"[BEGIN][LOCKDB]N;\xB1\x69;\xA4\xA4;t;[END]"}, "[LOCKDB]",
                  "N;\xB1\x69;\xA4\xA4;t;"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ReplyState, ReceivingUntilEndAndReplyStartedUntilTheNextSend) {
  ReplyAssembler reply;
  EXPECT_EQ(reply.ClientSocketRead("stray bytes"), ReplyAssembler::ChunkResult::Consumed);
  EXPECT_FALSE(reply.ReplyStarted()) << "bytes while idle that do not begin a frame are dropped";
  EXPECT_TRUE(reply.ReceivedData().empty());
  static_cast<void>(reply.ClientSocketRead("[BEGIN][LOCKDB]Y;"));
  EXPECT_TRUE(reply.Receiving());
  EXPECT_EQ(reply.TakePayload("[LOCKDB]"), "") << "an incomplete reply has no payload";
  static_cast<void>(reply.ClientSocketRead(";;[END]"));
  EXPECT_FALSE(reply.Receiving());
  EXPECT_TRUE(reply.ReplyComplete());
  EXPECT_EQ(reply.TakePayload("[LOCKDB]"), "Y;;;");
  EXPECT_EQ(reply.ReceivedData(), "Y;;;") << "the remainder stays until the next send";
  reply.ResetForSend();
  EXPECT_FALSE(reply.ReplyStarted());
  EXPECT_TRUE(reply.ReceivedData().empty());
}

TEST(ReplyState, ClosingMidReplyForgetsItAndClearsTheFlags) {
  ReplyAssembler reply;
  static_cast<void>(reply.ClientSocketRead("[BEGIN][LOCKDB]N;ann"));
  reply.ConnectionClosed();
  EXPECT_FALSE(reply.Receiving());
  EXPECT_FALSE(reply.ReplyStarted());
  EXPECT_EQ(reply.TakePayload("[LOCKDB]"), "") << "a cut-off reply must not pass for a payload";
  static_cast<void>(reply.ClientSocketRead("[BEGIN][LOCKDB]Y;;;[END]"));
  EXPECT_EQ(reply.TakePayload("[LOCKDB]"), "Y;;;");
}

TEST(ReplyState, ReplyPastTheCapWithoutEndIsDropped) {
  ReplyAssembler reply;
  EXPECT_EQ(reply.ClientSocketRead("[BEGIN][LOCKDB]Y;"), ReplyAssembler::ChunkResult::Consumed);
  const std::string piece(1024 * 1024, 'x');
  ReplyAssembler::ChunkResult result = ReplyAssembler::ChunkResult::Consumed;
  for (int i = 0; i < 17 && result == ReplyAssembler::ChunkResult::Consumed; ++i) result = reply.ClientSocketRead(piece);
  EXPECT_EQ(result, ReplyAssembler::ChunkResult::Overflow);
  EXPECT_FALSE(reply.Receiving());
  EXPECT_TRUE(reply.ReceivedData().empty());
  EXPECT_EQ(reply.TakePayload("[LOCKDB]"), "");
}

TEST(ReplyState, LargeReplyUnderTheCapCompletes) {
  ReplyAssembler reply;
  const std::string body(8 * 1024 * 1024, 'v');
  static_cast<void>(reply.ClientSocketRead("[BEGIN][GetVATList]"));
  EXPECT_EQ(reply.ClientSocketRead(body), ReplyAssembler::ChunkResult::Consumed);
  EXPECT_EQ(reply.ClientSocketRead("[END]"), ReplyAssembler::ChunkResult::Consumed);
  EXPECT_EQ(reply.TakePayload("[GetVATList]").size(), body.size());
}

struct SplitCase {
  const char* name;
  const char* text;
  std::vector<std::string> fields;
};

class FieldSplitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(FieldSplitting, Fields) { EXPECT_EQ(quorlane::SplitFields(GetParam().text, ";"), GetParam().fields); }

INSTANTIATE_TEST_SUITE_P(
    Texts, FieldSplitting,
    ::testing::Values(SplitCase{"FourFields", "Y;a;b;c;", {"Y", "a", "b", "c"}},
                      SplitCase{"EmptyFields", "N;;;", {"N", "", ""}},
                      SplitCase{"Empty", "", {}},
                      SplitCase{"NoSeparator", "abc", {"abc"}},
                      SplitCase{"Spaces", "Y; ; ; ", {"Y", " ", " ", " "}},
                      SplitCase{"LeadingSeparator", ";x", {"", "x"}},
                      SplitCase{"OnlySeparator", ";", {""}}),
    [](const auto& param) { return std::string(param.param.name); });

struct PayloadCase {
  const char* name;
  const char* payload;
  bool result;
  quorlane::LockHolder holder;
};

class LockPayload : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(LockPayload, JudgedAndHolderFilled) {
  quorlane::LockHolder holder{"old", "oldpc", "oldtime"};
  EXPECT_EQ(quorlane::EvaluateLockPayload(GetParam().payload, holder), GetParam().result);
  EXPECT_EQ(holder.userName, GetParam().holder.userName);
  EXPECT_EQ(holder.computerName, GetParam().holder.computerName);
  EXPECT_EQ(holder.startTime, GetParam().holder.startTime);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, LockPayload,
    ::testing::Values(PayloadCase{"Granted", "Y;;;", true, {"", "", "oldtime"}},
                      PayloadCase{"Refused", "N;ann;PC01;2024/1/2 10:00;", false, {"ann", "PC01", "2024/1/2 10:00"}},
                      PayloadCase{"Unexpected", "X;ann;PC01;10:00;", false, {"ann", "PC01", "10:00"}},
                      PayloadCase{"ShortLeavesTheRest", "N;ann;", false, {"ann", "oldpc", "oldtime"}},
                      PayloadCase{"EmptyFirstField", ";ann;PC01;t;", false, {"ann", "PC01", "t"}},
                      PayloadCase{"LowerCaseY", "y;;;", false, {"", "", "oldtime"}},
                      PayloadCase{"Empty", "", false, {"old", "oldpc", "oldtime"}},
                      PayloadCase{"OnlySeparators", ";;;;", false, {"", "", ""}},
                      PayloadCase{"YWithoutSeparator", "Y", true, {"old", "oldpc", "oldtime"}}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
