// The real server under kill -9 while 64 clients lock, unlock, force-unlock
// and save the VAT list. Each client owns its keys, so a checker knows the
// exact state each acknowledged reply implies (and checks the reply itself);
// a request without a reply is in flight and may have happened or not.
// After every restart the checker reads every key and the list back: nothing
// acknowledged may be lost, nothing may appear that was neither acknowledged
// nor in flight. Short: 10 kills; long: 100 (QUORLANE_KILL_CYCLES).
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "../../server/server_process.h"
#include "reliability.h"

namespace quorlane::server::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace reliability;

constexpr int kClients = 64;
constexpr int kKeysPerClient = 8;

/// "user;computer" of a key's holder; nothing when free.
using Holder = std::optional<std::string>;

struct KeyState {
  Holder confirmed;
  // A request without a reply: the state may be this one instead.
  bool inFlight = false;
  Holder inFlightAfter;
};

struct VatSave {
  std::string list;
  Clock::time_point sent, answered;
  bool acknowledged = false;
};

struct Counts {
  std::atomic<std::uint64_t> acknowledged{0}, changes{0}, vatSaves{0}, inFlight{0}, wrongReplies{0};
};

std::string KeyName(int client, int key) { return "c" + std::to_string(client) + "-k" + std::to_string(key); }

/// The holder a CHECKDBLOCK payload names: "Y;user;computer;time;" or "N;;;".
std::optional<Holder> HolderOf(const std::string& payload) {
  if (payload == "N;;;") return Holder{};
  if (payload.rfind("Y;", 0) != 0) return std::nullopt;
  const auto second = payload.find(';', 2);
  const auto third = second == std::string::npos ? second : payload.find(';', second + 1);
  if (third == std::string::npos) return std::nullopt;
  return Holder{payload.substr(2, third - 2)};
}

class KillChecker {
 public:
  explicit KillChecker(std::uint32_t seed) : seed_(seed), keys_(kClients * kKeysPerClient) {}

  /// One client's run until its connection fails (the kill) or `stop`.
  void RunClient(int client, std::uint16_t port, std::uint32_t cycle, const std::atomic<bool>& stop) {
    RawClient connection;
    std::string error;
    if (!connection.Connect("127.0.0.1", port, std::chrono::seconds(5), error)) return;
    std::mt19937 random(seed_ ^ (cycle * 7919u) ^ static_cast<std::uint32_t>(client * 104729));
    const std::string identities[2] = {"user" + std::to_string(client) + ";pc" + std::to_string(client),
                                       "other" + std::to_string(client) + ";opc" + std::to_string(client)};
    for (std::uint32_t n = 0; !stop; ++n) {
      const int pick = static_cast<int>(random() % 100);
      if (pick < 12) {
        if (!SaveVat(connection, client, cycle, n, random)) return;
        continue;
      }
      const int index = static_cast<int>(random() % kKeysPerClient);
      KeyState& key = keys_[client * kKeysPerClient + index];
      const std::string name = KeyName(client, index);
      const std::string& who = identities[random() % 2];
      std::string tag, expected;
      Holder after = key.confirmed;
      if (pick < 55) {
        tag = "[LOCKDB]";
        if (!key.confirmed) after = who;
        expected = !key.confirmed || *key.confirmed == who ? "Y;;;" : "N;";
      } else if (pick < 85) {
        tag = "[UNLOCKDB]";
        if (key.confirmed == Holder{who}) after.reset();
        expected = !key.confirmed || *key.confirmed == who ? "Y;;;" : "N;";
      } else if (pick < 95) {
        tag = "[FORCEUNLOCKDB]";
        after.reset();
        expected = "Y;;;";
      } else {
        tag = "[CHECKDBLOCK]";
        expected = key.confirmed ? "Y;" + *key.confirmed + ";" : "N;;;";
      }
      key.inFlight = true;
      key.inFlightAfter = after;
      const auto reply = connection.Request(tag + name + ";" + who + ";", std::chrono::seconds(12), error);
      if (!reply) {
        ++counts_.inFlight;
        return;  // the server is gone; the key stays in flight
      }
      const auto payload = RawClient::Payload(*reply, tag);
      if (!payload || payload->rfind(expected, 0) != 0) {
        std::lock_guard lock(mutex_);
        ++counts_.wrongReplies;
        problems_.push_back(name + " " + tag + " by " + who + ": expected " + expected + "..., got " + *reply);
      }
      ++counts_.acknowledged;
      if (after != key.confirmed) ++counts_.changes;
      key.confirmed = after;
      key.inFlight = false;
    }
  }

  /// After a restart: every key and the list hold an allowed state.
  void Verify(ServerProcess& server) {
    RawClient client;
    ASSERT_TRUE(server.Connect(client));
    for (int c = 0; c < kClients; ++c) {
      for (int k = 0; k < kKeysPerClient; ++k) {
        KeyState& key = keys_[c * kKeysPerClient + k];
        const auto observed = HolderOf(Ask(client, "[CHECKDBLOCK]", KeyName(c, k) + ";checker;checker;"));
        ASSERT_TRUE(observed.has_value()) << KeyName(c, k);
        const bool allowed = *observed == key.confirmed || (key.inFlight && *observed == key.inFlightAfter);
        EXPECT_TRUE(allowed) << KeyName(c, k) << " holds " << observed->value_or("nothing") << ", acknowledged "
                             << key.confirmed.value_or("nothing")
                             << (key.inFlight ? ", in flight " + key.inFlightAfter.value_or("nothing") : "");
        key.confirmed = *observed;
        key.inFlight = false;
      }
    }
    const std::string list = Ask(client, "[GetVATList]", "");
    std::set<std::string> allowed;
    bool anyAcknowledged = false;
    for (const auto& save : saves_) {
      if (!save.acknowledged) {
        allowed.insert(save.list);
        continue;
      }
      anyAcknowledged = true;
      bool superseded = false;
      for (const auto& later : saves_) superseded |= later.acknowledged && later.sent > save.answered;
      if (!superseded) allowed.insert(save.list);
    }
    if (!anyAcknowledged) allowed.insert(vatList_);
    EXPECT_TRUE(allowed.count(list)) << "the VAT list (" << list.size() << " bytes) is none of the " << allowed.size()
                                     << " lists allowed";
    vatList_ = list;
    saves_.clear();
  }

  [[nodiscard]] const Counts& Totals() const noexcept { return counts_; }
  [[nodiscard]] std::vector<std::string> Problems() {
    std::lock_guard lock(mutex_);
    return problems_;
  }

 private:
  bool SaveVat(RawClient& connection, int client, std::uint32_t cycle, std::uint32_t n, std::mt19937& random) {
    std::string list = "cycle " + std::to_string(cycle) + " client " + std::to_string(client) + " save " +
                       std::to_string(n) + "\r\n";
    for (std::uint32_t line = random() % 40; line > 0; --line) list += "item" + std::to_string(line) + ";0.17;\r\n";
    std::size_t index = 0;
    {
      std::lock_guard lock(mutex_);
      index = saves_.size();
      saves_.push_back(VatSave{list, Clock::now(), {}, false});
    }
    std::string error;
    const auto reply = connection.Request("[SaveVATList]" + list + ";", std::chrono::seconds(30), error);
    if (!reply) {
      ++counts_.inFlight;
      return false;
    }
    std::lock_guard lock(mutex_);
    if (RawClient::Payload(*reply, "[SaveVATList]") != std::optional<std::string>("Y;")) {
      ++counts_.wrongReplies;
      problems_.push_back("SaveVATList: " + *reply);
    }
    saves_[index].answered = Clock::now();
    saves_[index].acknowledged = true;
    ++counts_.acknowledged;
    ++counts_.vatSaves;
    return true;
  }

  std::uint32_t seed_;
  std::vector<KeyState> keys_;  // each client touches only its own
  std::mutex mutex_;            // guards what follows
  std::vector<VatSave> saves_;  // this cycle's
  std::string vatList_;
  std::vector<std::string> problems_;
  Counts counts_;
};

TEST(SiteServerUnderKill, NothingAcknowledgedIsLostAndNothingUnsentAppears) {
  const int cycles = static_cast<int>(Setting("QUORLANE_KILL_CYCLES", 10, 100));
  const auto seed = static_cast<std::uint32_t>(Setting("QUORLANE_RELIABILITY_SEED", 20261209, 20261209));
  const auto limit = std::chrono::seconds(Setting("QUORLANE_KILL_SECONDS", 90, 900));
  TempFolder folder;
  const std::vector<std::string> args{"--data", (folder.Path() / "data").string()};
  ServerProcess server;
  KillChecker checker(seed);
  std::mt19937 random(seed);
  const auto started = Clock::now();
  int cycle = 0;
  std::chrono::milliseconds longestRestart{0};
  for (; cycle < cycles && Clock::now() - started < limit; ++cycle) {
    const auto before = Clock::now();
    ASSERT_TRUE(server.Start(folder.Path(), args)) << server.Output();
    longestRestart = std::max(longestRestart, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before));
    checker.Verify(server);
    if (::testing::Test::HasFailure()) break;
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
      clients.emplace_back([&, c] { checker.RunClient(c, server.Port(), static_cast<std::uint32_t>(cycle), stop); });
    }
    // The kill lands anywhere from the first connections to a busy run.
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 600));
    server.Kill();
    stop = true;
    for (auto& thread : clients) thread.join();
  }
  ASSERT_TRUE(server.Start(folder.Path(), args)) << server.Output();
  checker.Verify(server);
  for (const auto& problem : checker.Problems()) ADD_FAILURE() << problem;
  EXPECT_EQ(cycle, cycles) << "the run hit its time limit";

  const Counts& totals = checker.Totals();
  Figure("kill.cycles", std::to_string(cycle) + " kill -9 and restarts (seed " + std::to_string(seed) + ", " +
                            std::to_string(kClients) + " clients)");
  Figure("kill.acknowledged", std::to_string(totals.acknowledged) + " replies checked, " +
                                  std::to_string(totals.changes) + " lock changes, " +
                                  std::to_string(totals.vatSaves) + " VAT-list saves");
  Figure("kill.in_flight", std::to_string(totals.inFlight) + " requests cut by a kill");
  Figure("kill.wrong", std::to_string(totals.wrongReplies) + " wrong replies, " +
                           std::to_string(::testing::Test::HasFailure() ? 1 : 0) + " failed checks");
  Figure("kill.longest_restart_ms", std::to_string(longestRestart.count()));
  Figure("kill.seconds", std::to_string(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count()));
}

}  // namespace
}  // namespace quorlane::server::testing
