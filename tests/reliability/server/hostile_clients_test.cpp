// The real server under load and hostile clients: thousands of idle
// connections, a flood past the connection limit, slow senders, a frame
// streamed towards 1 GiB without "[END]", half-open and half-closed
// connections, and a client that sends without ever reading. Meanwhile a
// well-behaved client locks and unlocks and must get every answer within
// the library's 12 s; its latency and the server's memory are recorded.
// Short: 500 idle connections, a 64 MiB stream; long: 10,000 and 1 GiB.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <thread>

#include "../../server/server_process.h"
#include "reliability.h"

namespace quorlane::server::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace reliability;

/// A plain blocking loopback socket, closed with its owner.
class Socket {
 public:
  Socket() = default;
  explicit Socket(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Reset();
  }
  Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Socket& operator=(Socket&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Socket() { Reset(); }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  [[nodiscard]] bool Valid() const noexcept { return fd_ >= 0; }
  [[nodiscard]] int Fd() const noexcept { return fd_; }
  /// Sends without blocking; false when the server has closed the connection.
  bool Send(std::string_view bytes, std::size_t* sent = nullptr) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent) *sent = n > 0 ? static_cast<std::size_t>(n) : 0;
    return n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK;
  }
  /// True when the server has closed (or reset) the connection by now.
  bool ClosedNow() {
    char byte = 0;
    const ssize_t n = ::recv(fd_, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  }
  /// True when the server closes (or resets) the connection within `limit`;
  /// whatever arrives before that is appended to `received`.
  bool ClosedWithin(milliseconds limit, std::string* received = nullptr) {
    const auto deadline = Clock::now() + limit;
    timeval tick{0, 50 * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    char buffer[4096];
    while (Clock::now() < deadline) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0) return true;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return true;
      if (n > 0 && received) received->append(buffer, static_cast<std::size_t>(n));
    }
    return false;
  }

 private:
  int fd_ = -1;
};

std::size_t OpenDescriptors(pid_t pid) {
  std::error_code ec;
  std::size_t n = 0;
  for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    ++n;
  }
  return n;
}

std::string Mib(std::uint64_t kib) { return std::to_string(kib / 1024) + "." + std::to_string(kib % 1024 * 10 / 1024) + " MiB"; }

/// The well-behaved client: lock and unlock its key until stopped.
struct GoodClient {
  std::vector<double> latenciesMs;
  std::atomic<bool> connected{false};  // its connection is in before the flood
  int failures = 0;
  std::string firstFailure;

  void Run(std::uint16_t port, const std::atomic<bool>& stop) {
    RawClient client;
    std::string error;
    if (!client.Connect("127.0.0.1", port, std::chrono::seconds(12), error)) {
      ++failures;
      firstFailure = error;
      connected = true;
      return;
    }
    for (int n = 0; !stop; ++n) {
      const std::string tag = n % 2 == 0 ? "[LOCKDB]" : "[UNLOCKDB]";
      const auto start = Clock::now();
      const auto reply = client.Request(tag + "good;ann;PC01;", std::chrono::seconds(12), error);
      latenciesMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      connected = true;
      if (!reply || RawClient::Payload(*reply, tag) != std::optional<std::string>("Y;;;")) {
        if (failures++ == 0) firstFailure = reply ? *reply : error;
        if (!reply && !client.Connect("127.0.0.1", port, std::chrono::seconds(12), error)) return;
      }
      std::this_thread::sleep_for(milliseconds(5));
    }
  }
  [[nodiscard]] double Percentile(double p) const {
    if (latenciesMs.empty()) return 0;
    std::vector<double> sorted = latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
  }
};

TEST(SiteServerUnderAttack, AnswersAWellBehavedClientAndStaysBounded) {
  const auto idle = static_cast<std::size_t>(Setting("QUORLANE_IDLE_CONNECTIONS", 500, 10000));
  const auto flood = static_cast<std::size_t>(Setting("QUORLANE_FLOOD_CONNECTIONS", 100, 1000));
  const auto slow = static_cast<std::size_t>(Setting("QUORLANE_SLOW_SENDERS", 10, 100));
  const auto halfOpen = static_cast<std::size_t>(Setting("QUORLANE_HALF_OPEN", 10, 100));
  const auto streamLimit = static_cast<std::uint64_t>(Setting("QUORLANE_STREAM_MIB", 64, 1024)) << 20;
  constexpr std::uint64_t kMaxRequest = 1u << 20;  // the server's default frame limit
  constexpr int kFrameTimeout = 3;
  // Room for everything but the flood (which comes first and then goes):
  // idle, good client, slow senders, stream, three kinds of half-open, the
  // never-reader and a little more.
  const std::size_t limit = idle + 1 + slow + 1 + 3 * halfOpen + 1 + 8;
  const std::uint64_t ownLimit = RaiseOwnFileLimit();
  ASSERT_GT(ownLimit, idle + flood + slow + 3 * halfOpen + 64) << "raise the hard open-file limit";

  TempFolder folder;
  std::ofstream(folder.Path() / "server.ini") << "[server]\nmax_connections = " << limit
                                               << "\nframe_timeout_seconds = " << kFrameTimeout << "\n";
  ServerProcess server;
  ASSERT_TRUE(server.Start(folder.Path(), {"--config", (folder.Path() / "server.ini").string(), "--data",
                                           (folder.Path() / "data").string()}))
      << server.Output();
  const pid_t pid = server.Pid();
  const std::uint64_t serverFileLimit = [&] {
    std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("Max open files", 0) == 0) return std::strtoull(line.c_str() + 26, nullptr, 10);
    }
    return 0ull;
  }();
  const std::uint64_t rssStart = StatusKiB(pid, "VmRSS");
  // The port file appears before the server has closed what wrote it (and
  // synced its folder): the fewest descriptors seen over a moment are its own.
  std::size_t baseDescriptors = OpenDescriptors(pid);
  for (int i = 0; i < 10; ++i) {
    std::this_thread::sleep_for(milliseconds(20));
    baseDescriptors = std::min(baseDescriptors, OpenDescriptors(pid));
  }

  // Idle service connections, all accepted.
  std::vector<Socket> idlers;
  idlers.reserve(idle);
  for (std::size_t i = 0; i < idle; ++i) {
    idlers.emplace_back(server.Port());
    ASSERT_TRUE(idlers.back().Valid()) << "connection " << i << ": " << std::strerror(errno);
  }
  for (int i = 0; i < 400 && OpenDescriptors(pid) < baseDescriptors + idle; ++i) std::this_thread::sleep_for(milliseconds(50));
  ASSERT_GE(OpenDescriptors(pid), baseDescriptors + idle) << "the server did not accept every idle connection";
  const std::uint64_t rssIdle = StatusKiB(pid, "VmRSS");

  std::atomic<bool> stop{false};
  GoodClient good;
  std::thread goodThread([&] { good.Run(server.Port(), stop); });
  for (int i = 0; i < 500 && !good.connected; ++i) std::this_thread::sleep_for(milliseconds(20));

  // The flood: at most the limit is held, every connection past it is
  // closed at once. Then the flood goes, and the other attacks have room.
  std::size_t floodClosed = 0;
  {
    std::vector<Socket> flooders;
    for (std::size_t i = 0; i < flood; ++i) flooders.emplace_back(server.Port());
    // Bounded: the server may take a moment to reach the last of them.
    for (int i = 0; i < 100 && floodClosed + (limit - idle) < flood; ++i) {
      std::this_thread::sleep_for(milliseconds(100));
      floodClosed = 0;
      for (auto& s : flooders) floodClosed += (!s.Valid() || s.ClosedNow()) ? 1 : 0;
    }
  }
  std::this_thread::sleep_for(milliseconds(200));

  // A stream towards the limit without "[END]": cut at the frame limit.
  std::uint64_t streamed = 0;
  bool streamCut = false;
  std::thread streamer([&] {
    Socket s(server.Port());
    const std::string chunk(64 * 1024, 'x');
    std::size_t sent = 0;
    s.Send("[BEGIN][LOCKDB]", &sent);
    streamed = sent;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (streamed < streamLimit && Clock::now() < deadline) {
      if (!s.Send(chunk, &sent)) {
        streamCut = true;
        return;
      }
      streamed += sent;
      if (sent == 0) std::this_thread::sleep_for(milliseconds(2));
    }
    streamCut = s.ClosedWithin(milliseconds(5000));
  });

  // Half-open: a partial frame, then silence (the frame timeout ends it);
  // half-closed: a partial frame and FIN; reset: a partial frame and RST.
  std::vector<Socket> silent, halfClosed;
  for (std::size_t i = 0; i < halfOpen; ++i) {
    silent.emplace_back(server.Port());
    silent.back().Send("[BEGIN][LOCKDB]half");
    halfClosed.emplace_back(server.Port());
    halfClosed.back().Send("[BEGIN][CHECKDBLOCK]x;");
    ::shutdown(halfClosed.back().Fd(), SHUT_WR);
    Socket reset(server.Port());
    reset.Send("[BEGIN][LOCKDB]reset;");
    linger hard{1, 0};
    ::setsockopt(reset.Fd(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }

  // A client that sends requests and never reads the replies.
  std::uint64_t unreadAccepted = 0;
  Socket neverReads(server.Port());
  {
    std::string requests;
    for (int i = 0; i < 1000; ++i) requests += "[BEGIN][CHECKDBLOCK]db;u;c;[END]";
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    for (auto lastProgress = Clock::now(); Clock::now() < deadline && Clock::now() - lastProgress < milliseconds(500);) {
      std::size_t sent = 0;
      if (!neverReads.Send(requests, &sent)) break;
      unreadAccepted += sent;
      if (sent > 0) lastProgress = Clock::now(); else std::this_thread::sleep_for(milliseconds(10));
      if (unreadAccepted > (256u << 20)) break;
    }
  }

  // Slow senders: one byte at a time, half within a quarter of the frame
  // timeout (answered), half over twice as long (cut).
  const std::string frame = "[BEGIN][LOCKDB]slow;u;c;[END]";
  std::vector<Socket> slowSockets;
  for (std::size_t i = 0; i < slow; ++i) slowSockets.emplace_back(server.Port());
  const auto fastGap = milliseconds(kFrameTimeout * 1000 / 4 / static_cast<int>(frame.size()));
  const auto slowGap = milliseconds(kFrameTimeout * 1000 * 2 / static_cast<int>(frame.size()));
  std::vector<std::size_t> slowSent(slow, 0);
  std::vector<bool> slowClosed(slow, false);
  {
    const auto start = Clock::now();
    const auto end = start + slowGap * static_cast<int>(frame.size()) / 2;  // the slow ones are long cut by then
    while (Clock::now() < end) {
      for (std::size_t i = 0; i < slow; ++i) {
        const auto gap = i % 2 == 0 ? fastGap : slowGap;
        if (slowClosed[i] || slowSent[i] >= frame.size() || Clock::now() - start < gap * static_cast<int>(slowSent[i])) continue;
        if (!slowSockets[i].Send(std::string_view(frame).substr(slowSent[i], 1))) slowClosed[i] = true;
        else ++slowSent[i];
      }
      std::this_thread::sleep_for(milliseconds(5));
    }
  }

  // Outcomes of the slow senders and the half-open connections.
  std::size_t slowAnswered = 0, slowCut = 0;
  for (std::size_t i = 0; i < slow; ++i) {
    std::string received;
    const bool closed = slowClosed[i] || slowSockets[i].ClosedWithin(milliseconds(i % 2 == 0 ? 300 : 3000), &received);
    if (i % 2 == 0) slowAnswered += received.find("[LOCKDB]") != std::string::npos ? 1 : 0;
    else slowCut += closed && slowSent[i] < frame.size() ? 1 : 0;
  }
  std::size_t silentCut = 0, halfClosedCut = 0;
  for (auto& s : silent) silentCut += s.ClosedWithin(milliseconds((kFrameTimeout + 3) * 1000)) ? 1 : 0;
  for (auto& s : halfClosed) halfClosedCut += s.ClosedWithin(milliseconds(1000)) ? 1 : 0;
  streamer.join();
  const std::uint64_t peakKiB = StatusKiB(pid, "VmHWM");

  stop = true;
  goodThread.join();
  neverReads.Reset();
  idlers.clear();
  ASSERT_FALSE(server.Wait(milliseconds(10)).has_value()) << "the server ended\n" << server.Output();
  {
    RawClient after;
    ASSERT_TRUE(server.Connect(after));
    // Its last request locked the key when their count is odd.
    EXPECT_EQ(Ask(after, "[CHECKDBLOCK]", "good;x;y;").substr(0, 4), good.latenciesMs.size() % 2 == 1 ? "Y;an" : "N;;;");
  }

  EXPECT_EQ(good.failures, 0) << good.firstFailure;
  EXPECT_GT(good.latenciesMs.size(), 10u);
  EXPECT_LE(good.Percentile(1.0), 12000.0);
  EXPECT_GE(floodClosed + (limit - idle), flood) << "connections past the limit were kept";
  EXPECT_EQ(slowAnswered, (slow + 1) / 2);
  EXPECT_EQ(slowCut, slow / 2);
  EXPECT_EQ(silentCut, halfOpen);
  EXPECT_EQ(halfClosedCut, halfOpen);
  EXPECT_TRUE(streamCut) << streamed << " bytes streamed without being cut";
  EXPECT_LT(streamed, 32u << 20) << "the server took far more than its frame limit";
  EXPECT_LT(unreadAccepted, 64u << 20) << "the server reads on for a client that never reads";

  Figure("load.idle", std::to_string(idle) + " idle connections: server RSS " + Mib(rssStart) + " before, " +
                          Mib(rssIdle) + " with them (" + std::to_string((rssIdle - std::min(rssIdle, rssStart)) * 1024 / idle) +
                          " bytes each); server open-file limit " + std::to_string(serverFileLimit) +
                          ", max_connections " + std::to_string(limit));
  Figure("load.flood", std::to_string(floodClosed) + " of " + std::to_string(flood) +
                           " connections past the limit closed at once");
  Figure("load.slow", std::to_string(slowAnswered) + " of " + std::to_string((slow + 1) / 2) +
                          " slow senders within the frame timeout answered, " + std::to_string(slowCut) + " of " +
                          std::to_string(slow / 2) + " slower ones cut at " + std::to_string(kFrameTimeout) + " s");
  Figure("load.stream", "a frame without [END] cut after " + std::to_string(streamed) + " bytes sent (frame limit " +
                            std::to_string(kMaxRequest) + ", attempt up to " + std::to_string(streamLimit) + ")");
  Figure("load.half_open", std::to_string(silentCut) + "/" + std::to_string(halfOpen) + " silent partial frames cut, " +
                               std::to_string(halfClosedCut) + "/" + std::to_string(halfOpen) +
                               " half-closed ones closed, " + std::to_string(halfOpen) + " reset");
  Figure("load.never_reads", "a client that never reads got " + std::to_string(unreadAccepted) +
                                 " bytes of requests in before the server stopped reading");
  Figure("load.good_client", std::to_string(good.latenciesMs.size()) + " lock/unlock requests during the attack, " +
                                 std::to_string(good.failures) + " failed; latency p50 " +
                                 std::to_string(good.Percentile(0.5)) + " ms, p99 " + std::to_string(good.Percentile(0.99)) +
                                 " ms, max " + std::to_string(good.Percentile(1.0)) + " ms");
  const char* build = std::getenv("QUORLANE_TEST_SERVER");
  Figure("load.peak_rss", "server peak RSS " + Mib(peakKiB) + (build && *build ? " (release build)" : " (ASan build)"));
}

}  // namespace
}  // namespace quorlane::server::testing
