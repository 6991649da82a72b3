// The listening socket both servers accept on: bound to a numeric address,
// accepting for ever on the io_context's thread, each new connection handed
// over with its peer's address. When an accept fails (out of descriptors,
// say) it waits 100 ms instead of spinning, and says so in the log.
#pragma once

#include "net/asio.h"

#include <cstdint>
#include <functional>
#include <string>

#include "log/audit_log.h"
#include "net/listen_address.h"
#include "net/network_filter.h"

namespace quorlane::net {

class TcpListener {
 public:
  /// The socket and where it comes from (an IPv4 peer of an IPv6 socket
  /// appears as its IPv4 address).
  using Accepted = std::function<void(asio::ip::tcp::socket socket, const asio::ip::address& peer, std::uint16_t port)>;

  TcpListener(asio::io_context& io, audit::AuditLog& log);

  /// Binds and listens; false with `error` when the address cannot be used.
  [[nodiscard]] bool Listen(const ListenAddress& address, std::string& error);
  /// The bound port (for port 0: the one the system chose).
  [[nodiscard]] std::uint16_t Port() const;
  void Start(Accepted onAccepted);
  /// Stops accepting; no handler runs afterwards.
  void Stop();

 private:
  void Accept();

  audit::AuditLog& log_;
  asio::ip::tcp::acceptor acceptor_;
  asio::ip::tcp::endpoint acceptedFrom_;
  asio::steady_timer acceptRetry_;
  Accepted onAccepted_;
  bool stopped_ = false;
};

/// "192.168.1.20:50112", "[fe80::1]:50112".
[[nodiscard]] std::string PeerText(const asio::ip::address& address, std::uint16_t port);

/// A peer's address as the allow lists read it (an IPv4-mapped IPv6 address
/// as the IPv4 one).
[[nodiscard]] IpAddress IpOf(const asio::ip::address& address);

}  // namespace quorlane::net
