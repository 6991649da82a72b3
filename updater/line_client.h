// A small blocking client of the update protocol with time limits, for the
// admin commands and the tests: connect, send bytes, read one line.
#pragma once

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlane::updater {

class LineClient {
 public:
  using Duration = std::chrono::milliseconds;

  LineClient() : socket_(io_) {}
  ~LineClient() { Close(); }
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  /// Connects to a numeric address or host name.
  [[nodiscard]] bool Connect(const std::string& host, std::uint16_t port, Duration limit, std::string& error);
  /// Sends bytes as they are.
  [[nodiscard]] bool Send(std::string_view bytes, Duration limit, std::string& error);
  /// The next line without its LF (and a CR before it); nothing when the
  /// connection ends or the limit passes first.
  [[nodiscard]] std::optional<std::string> ReadLine(Duration limit, std::string& error);
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

}  // namespace quorlane::updater
