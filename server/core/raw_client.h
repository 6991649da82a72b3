// A small blocking client of the site-server protocol with time limits, for
// the admin commands, the probe tool and the tests.
#pragma once

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlane::server {

class RawClient {
 public:
  using Duration = std::chrono::milliseconds;

  RawClient();
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  /// Connects to a numeric address or host name.
  [[nodiscard]] bool Connect(const std::string& host, std::uint16_t port, Duration limit, std::string& error);
  /// Sends bytes as they are.
  [[nodiscard]] bool Send(std::string_view bytes, Duration limit, std::string& error);
  /// Reads until a whole reply frame has arrived; returns the text between
  /// "[BEGIN]" and "[END]". Nothing on time-out, close or error.
  [[nodiscard]] std::optional<std::string> ReadFrame(Duration limit, std::string& error);
  /// Sends "[BEGIN]" + body + "[END]" and reads the reply frame.
  [[nodiscard]] std::optional<std::string> Request(std::string_view body, Duration limit, std::string& error);
  /// True when the server closes the connection (or resets it) within the limit.
  [[nodiscard]] bool WaitClosed(Duration limit);
  void Close();

  /// The payload of a reply body for a tag: what follows its first occurrence.
  [[nodiscard]] static std::optional<std::string> Payload(std::string_view replyBody, std::string_view tag);

 private:
  bool RunUntil(bool& done, Duration limit);

  asio::io_context io_;
  asio::ip::tcp::socket socket_;
  std::string received_;
};

/// "host:port" or "[v6]:port" into its parts.
[[nodiscard]] bool SplitHostPort(std::string_view text, std::string& host, std::uint16_t& port);

}  // namespace quorlane::server
