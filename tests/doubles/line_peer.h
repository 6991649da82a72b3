// A scripted update-server peer on 127.0.0.1 and the fixed port 9568 (where
// the library looks), for tests of GetAppSelfUpdURL under Wine: it takes one
// connection, records the request up to its line feed, then follows the
// test's script (send, pause, close, reset) and holds the connection until
// the client closes it. Runs on a thread of its own; the look-up blocks the
// test thread.
#pragma once

#include "win32/unique_resource.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testdoubles {

/// WSAStartup and WSACleanup for the lifetime of a double.
class WinsockUse {
 public:
  WinsockUse() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockUse() { ::WSACleanup(); }
  WinsockUse(const WinsockUse&) = delete;
  WinsockUse& operator=(const WinsockUse&) = delete;
};

struct LineStep {
  enum class Kind { Send, Pause, Close, Reset } kind = Kind::Send;
  std::string bytes;
  int pauseMs = 0;
};
LineStep SendLine(std::string bytes);
LineStep PauseFor(int ms);
LineStep CloseNow();
LineStep ResetNow();

class LinePeer {
 public:
  /// Binds 127.0.0.1:port, waiting (bounded) while another program holds it.
  explicit LinePeer(std::vector<LineStep> script, std::uint16_t port = 9568);
  ~LinePeer();
  LinePeer(const LinePeer&) = delete;
  LinePeer& operator=(const LinePeer&) = delete;

  [[nodiscard]] bool listening() const { return static_cast<bool>(m_listener); }
  /// The bytes received before the script ran: the request line with its LF.
  [[nodiscard]] std::string request() const;
  /// Waits (bounded) for the client to end the connection.
  [[nodiscard]] bool WaitDone(int limitMs) const;

 private:
  void Serve();

  WinsockUse m_winsock;
  std::vector<LineStep> m_script;
  win32::UniqueSocket m_listener;
  std::atomic<bool> m_done{false};
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::string m_request;
  std::thread m_thread;
};

/// Holds 127.0.0.1:port bound without listening, so connects there are
/// refused and no other program can take the port meanwhile.
class RefusingPort {
 public:
  explicit RefusingPort(std::uint16_t port = 9568);
  [[nodiscard]] bool held() const { return static_cast<bool>(m_socket); }

 private:
  WinsockUse m_winsock;
  win32::UniqueSocket m_socket;
};

/// Listens on 127.0.0.1:port without ever accepting, its backlog filled by
/// connections of its own: the kernel drops further SYNs, so a connect there
/// hangs until the connecting side gives up. Destroying it closes the
/// listener, and a connect still waiting is then refused at its next SYN.
class HangingPort {
 public:
  explicit HangingPort(std::uint16_t port = 9568);
  /// True once a connect to the port no longer completes.
  [[nodiscard]] bool hangs() const { return m_hangs; }

 private:
  WinsockUse m_winsock;
  win32::UniqueSocket m_listener;
  std::vector<win32::UniqueSocket> m_fillers;
  bool m_hangs = false;
};

}  // namespace testdoubles
