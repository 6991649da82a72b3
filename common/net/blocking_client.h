// A small blocking TCP client with a time limit on every step, for the admin
// commands, the probe tool and the tests of both servers. Each step runs the
// client's own io_context until its handler has run or the limit passes; what
// is still pending then is cancelled, so no handler outlives its step.
#pragma once

#include "net/asio.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorlane::net {

class BlockingClient {
 public:
  using Duration = std::chrono::milliseconds;
  /// Takes one whole message off the front of the bytes received so far,
  /// or nothing while it is incomplete.
  using MessageTaker = std::function<std::optional<std::string>(std::string& received)>;

  BlockingClient();
  ~BlockingClient();
  BlockingClient(const BlockingClient&) = delete;
  BlockingClient& operator=(const BlockingClient&) = delete;

  /// Connects to a numeric address or host name.
  [[nodiscard]] bool Connect(const std::string& host, std::uint16_t port, Duration limit, std::string& error);
  /// Sends bytes as they are.
  [[nodiscard]] bool Send(std::string_view bytes, Duration limit, std::string& error);
  /// Reads until `take` finds a whole message; nothing when the connection
  /// ends or the limit passes first (`error` then says "no <what> in time").
  [[nodiscard]] std::optional<std::string> ReadMessage(const MessageTaker& take, std::string_view what,
                                                       Duration limit, std::string& error);
  /// True when the server closes the connection (or resets it) within the
  /// limit; bytes that arrive meanwhile are dropped.
  [[nodiscard]] bool WaitClosed(Duration limit);
  void Close();

 private:
  bool RunUntil(bool& done, Duration limit);

  asio::io_context io_;
  asio::ip::tcp::socket socket_;
  std::string received_;
};

}  // namespace quorlane::net
