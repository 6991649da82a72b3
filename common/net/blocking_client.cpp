#include "net/blocking_client.h"

namespace quorlane::net {

using asio::ip::tcp;

BlockingClient::BlockingClient() : socket_(io_) {}
BlockingClient::~BlockingClient() { Close(); }

bool BlockingClient::RunUntil(bool& done, Duration limit) {
  io_.restart();
  io_.run_for(limit);
  if (!done) {
    // Time is up: cancel what is pending and let its handler run.
    ErrorCode ec;
    socket_.cancel(ec);
    io_.restart();
    io_.run_for(Duration(1000));
  }
  return done;
}

bool BlockingClient::Connect(const std::string& host, std::uint16_t port, Duration limit, std::string& error) {
  Close();
  ErrorCode ec;
  tcp::resolver resolver(io_);
  const auto endpoints = resolver.resolve(host, std::to_string(port), ec);
  if (ec) return error = "cannot resolve " + host + ": " + ec.message(), false;
  bool done = false;
  ErrorCode result = asio::error::timed_out;
  asio::async_connect(socket_, endpoints, [&](const ErrorCode& e, const tcp::endpoint&) {
    result = e;
    done = true;
  });
  if (!RunUntil(done, limit) || result) {
    if (!done || result == asio::error::operation_aborted) result = asio::error::timed_out;
    error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + result.message();
    Close();
    return false;
  }
  socket_.set_option(tcp::no_delay(true), ec);
  received_.clear();
  return true;
}

bool BlockingClient::Send(std::string_view bytes, Duration limit, std::string& error) {
  bool done = false;
  ErrorCode result = asio::error::timed_out;
  asio::async_write(socket_, asio::buffer(bytes.data(), bytes.size()), [&](const ErrorCode& e, std::size_t) {
    result = e;
    done = true;
  });
  if (!RunUntil(done, limit) || result) return error = "send failed: " + result.message(), false;
  return true;
}

std::optional<std::string> BlockingClient::ReadMessage(const MessageTaker& take, std::string_view what,
                                                       Duration limit, std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const auto late = [&] { return error = "no " + std::string(what) + " in time", std::nullopt; };
  for (;;) {
    if (auto message = take(received_)) return message;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return late();
    char buffer[65536];
    bool done = false;
    ErrorCode result;
    std::size_t got = 0;
    socket_.async_read_some(asio::buffer(buffer), [&](const ErrorCode& e, std::size_t n) {
      result = e;
      got = n;
      done = true;
    });
    if (!RunUntil(done, std::chrono::duration_cast<Duration>(deadline - now) + Duration(1))) return late();
    if (result) return error = "connection ended: " + result.message(), std::nullopt;
    received_.append(buffer, got);
  }
}

bool BlockingClient::WaitClosed(Duration limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    char buffer[4096];
    bool done = false;
    ErrorCode result;
    socket_.async_read_some(asio::buffer(buffer), [&](const ErrorCode& e, std::size_t) {
      result = e;
      done = true;
    });
    const auto left = std::chrono::duration_cast<Duration>(deadline - std::chrono::steady_clock::now());
    if (!RunUntil(done, left + Duration(1))) return false;
    if (result) return result != asio::error::operation_aborted;
  }
  return false;
}

void BlockingClient::Close() {
  ErrorCode ec;
  socket_.close(ec);
}

}  // namespace quorlane::net
