#include "net/tcp_listener.h"

#include <algorithm>

namespace quorlane::net {

using asio::ip::tcp;

TcpListener::TcpListener(asio::io_context& io, audit::AuditLog& log) : log_(log), acceptor_(io), acceptRetry_(io) {}

bool TcpListener::Listen(const ListenAddress& address, std::string& error) {
  ErrorCode ec;
  const auto ip = asio::ip::make_address(address.host, ec);
  if (ec) return error = "bad listen address " + address.host, false;
  const tcp::endpoint endpoint(ip, address.port);
  acceptor_.open(endpoint.protocol(), ec);
#ifndef _WIN32
  // Lets a restarted server bind while closed connections linger in
  // TIME_WAIT. Windows allows that by default, and there the option would
  // let another program bind the same port.
  if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) return error = "cannot listen on " + address.ToString() + ": " + ec.message(), false;
  return true;
}

std::uint16_t TcpListener::Port() const {
  ErrorCode ec;
  return acceptor_.local_endpoint(ec).port();
}

void TcpListener::Start(Accepted onAccepted) {
  onAccepted_ = std::move(onAccepted);
  Accept();
}

void TcpListener::Stop() {
  stopped_ = true;
  ErrorCode ec;
  acceptor_.close(ec);
  acceptRetry_.cancel();
}

void TcpListener::Accept() {
  // The peer's address comes with the accept itself: no extra system call.
  acceptor_.async_accept(acceptedFrom_, [this](const ErrorCode& ec, tcp::socket socket) {
    if (stopped_ || !acceptor_.is_open()) return;
    if (ec) {
      if (ec == asio::error::operation_aborted) return;
      log_.Line("accept failed: " + ec.message());
      acceptRetry_.expires_after(std::chrono::milliseconds(100));
      acceptRetry_.async_wait([this](const ErrorCode& waitError) {
        if (!waitError && !stopped_) Accept();
      });
      return;
    }
    auto address = acceptedFrom_.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
      address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    onAccepted_(std::move(socket), address, acceptedFrom_.port());
    if (!stopped_) Accept();
  });
}

IpAddress IpOf(const asio::ip::address& address) {
  IpAddress ip;
  if (address.is_v4()) {
    const auto bytes = address.to_v4().to_bytes();
    std::copy(bytes.begin(), bytes.end(), ip.bytes.begin());
  } else {
    ip.v6 = true;
    const auto bytes = address.to_v6().to_bytes();
    std::copy(bytes.begin(), bytes.end(), ip.bytes.begin());
  }
  return ip.Unmapped();
}

std::string PeerText(const asio::ip::address& address, std::uint16_t port) {
  const std::string host = address.to_string();
  return (address.is_v6() ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace quorlane::net
