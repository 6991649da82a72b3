// A scripted site-server peer on 127.0.0.1 (port chosen at run time) for
// tests of the session under Wine. It answers each request frame with what
// the test scripts: split frames, junk, wrong tags, no "[END]", late replies,
// an abrupt close or reset. Connections that send nothing before closing are
// counted as probes. Runs on threads of its own, since the session pumps the
// test thread's messages while it waits.
#pragma once

#include "win32/unique_resource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testdoubles {

/// What the peer does for one request, step by step.
struct ReplyStep {
  enum class Kind { Send, Pause, Close, Reset } kind = Kind::Send;
  std::string bytes;
  int pauseMs = 0;
};
using Reply = std::vector<ReplyStep>;

ReplyStep Send(std::string bytes);
ReplyStep Pause(int ms);
ReplyStep Close();
ReplyStep Reset();
/// "[BEGIN]" + tag + payload + "[END]" in one send.
Reply Frame(const std::string& tag, const std::string& payload);

class ScriptedPeer {
 public:
  /// `script` gets the request (the whole frame as received) and its number
  /// (0, 1, ...) over all connections, and returns what to do.
  using Script = std::function<Reply(const std::string& request, int index)>;

  /// Listens on 127.0.0.1:`port`; 0 picks a free port.
  explicit ScriptedPeer(Script script, std::uint16_t port = 0);
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  [[nodiscard]] std::uint16_t port() const { return m_port; }
  [[nodiscard]] int connections() const;
  /// Connections that ended without a single byte received.
  [[nodiscard]] int probes() const;
  /// Service connections the client closed (the peer saw end of stream).
  [[nodiscard]] int closedByClient() const;
  [[nodiscard]] std::vector<std::string> requests() const;
  /// Waits (bounded) until at least `count` requests arrived.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const;
  /// Waits (bounded) until `count` connections have ended.
  bool WaitForEnded(int count, std::chrono::milliseconds limit) const;

 private:
  void AcceptLoop();
  void Serve(SOCKET connection);

  Script m_script;
  win32::UniqueSocket m_listener;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  int m_connections = 0;
  int m_probes = 0;
  int m_ended = 0;
  int m_closedByClient = 0;
  std::vector<std::string> m_requests;
  // Each connection's thread, joined by the acceptor once it has ended, so
  // that a long test does not collect the handles of finished threads.
  struct Server {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::list<Server> m_servers;
  std::thread m_acceptor;
};

/// A listener whose backlog is full and which never accepts: a connect to it
/// hangs (the SYN is dropped) until the connecting side gives up.
class HangingListener {
 public:
  HangingListener();
  [[nodiscard]] std::uint16_t port() const { return m_port; }
  [[nodiscard]] bool hangs() const { return m_hangs; }

 private:
  win32::UniqueSocket m_listener;
  std::vector<win32::UniqueSocket> m_fillers;
  std::uint16_t m_port = 0;
  bool m_hangs = false;
};

/// Winsock for the test program itself.
struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockSession() { ::WSACleanup(); }
};

}  // namespace testdoubles
