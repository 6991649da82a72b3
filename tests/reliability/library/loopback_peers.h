// Loopback peers for the export fuzzer: a site server that answers each
// request frame with a randomly chosen good, late, broken or hostile reply,
// and an update server on 127.0.0.1:9568 that answers each request line the
// same way. Unlike the scripted peer of the session tests they stream
// (a 64 MiB request is scanned, not kept), keep nothing per request and join
// every finished connection's thread at once, so that the fuzzer's process
// can be measured for handle and memory growth.
#pragma once

#include "win32/unique_resource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace fuzzing {

class LoopbackPeer {
 public:
  /// Serves one accepted connection until it ends or `stop` is set.
  using Serve = std::function<void(SOCKET connection, const std::atomic<bool>& stop)>;

  /// Listens on 127.0.0.1:`port` (0: any free port), retrying a bound port for
  /// up to `bindWaitMs`.
  LoopbackPeer(std::uint16_t port, Serve serve, int bindWaitMs = 0);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  [[nodiscard]] bool listening() const { return static_cast<bool>(m_listener); }
  [[nodiscard]] std::uint16_t port() const { return m_port; }
  [[nodiscard]] int connections() const { return m_connections; }
  /// Waits (bounded) until no connection is being served.
  bool WaitIdle(int limitMs);

 private:
  struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void AcceptLoop();
  void Reap(bool all);

  Serve m_serve;
  win32::UniqueSocket m_listener;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  std::atomic<int> m_active{0};
  std::list<Connection> m_served;  // touched by the acceptor thread only
  std::thread m_acceptor;
};

/// The dice both peers throw, shared by their connection threads.
class PeerDice {
 public:
  explicit PeerDice(std::uint64_t seed) : m_random(seed) {}
  /// 0 .. bound-1
  int Roll(int bound);
  std::string Bytes(int maxLength);

 private:
  std::mutex m_mutex;
  std::mt19937_64 m_random;
};

/// What the site peer did, for the fuzzer's figures.
struct SitePeerCounts {
  std::atomic<int> requests{0}, answered{0}, late{0}, broken{0}, silent{0}, oversized{0};
};

/// A site-server connection: each request frame gets one reply chosen by the
/// dice; `silentPermille` of them get none at all, nor does the next request
/// (the client's waits run out), and the one after that finds the connection
/// closed, as a hung server that is restarted.
void ServeSiteConnection(SOCKET connection, const std::atomic<bool>& stop, PeerDice& dice, SitePeerCounts& counts,
                         int silentPermille);

/// An update-server connection: one request line, one reply chosen by the
/// dice (a line, an empty line, an overlong line, a partial line, a close or
/// a reset), then the connection ends. Never silent.
void ServeUpdateConnection(SOCKET connection, const std::atomic<bool>& stop, PeerDice& dice);

}  // namespace fuzzing
