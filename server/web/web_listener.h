// The web console's listener: HTTP/1.1 on a port of its own (web_listen),
// never the workstations', on a thread of its own, so parsing and rendering
// never run on the thread that answers the workstations. Only networks in
// web_allow may connect; the console decides everything else. HTTP is read
// and written by Boost.Beast; nothing here parses HTTP by hand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "console.h"
#include "log/audit_log.h"
#include "net/asio.h"
#include "net/tcp_listener.h"
#include "server_config.h"

namespace quorlane::server::web {

class WebListener {
 public:
  WebListener(const ServerConfig& config, Console& console, audit::AuditLog& log);
  ~WebListener();
  WebListener(const WebListener&) = delete;
  WebListener& operator=(const WebListener&) = delete;

  /// Binds and listens on web_listen; false with `error` when it cannot.
  [[nodiscard]] bool Listen(std::string& error);
  [[nodiscard]] std::uint16_t Port() const;
  /// Starts the web thread.
  void Start();
  /// Stops the web thread and waits for it (from any other thread).
  void Stop();

  /// Connections open at once at most; further ones are closed at once.
  static constexpr std::size_t kMaxConnections = 64;

 private:
  void OnAccepted(asio::ip::tcp::socket socket, const asio::ip::address& address, std::uint16_t port);
  void ScheduleSample();

  const ServerConfig& config_;
  Console& console_;
  audit::AuditLog& log_;
  asio::io_context io_{1};
  net::TcpListener listener_;
  asio::steady_timer sampleTimer_;
  std::thread thread_;
  std::shared_ptr<std::size_t> open_ = std::make_shared<std::size_t>(0);
};

}  // namespace quorlane::server::web
