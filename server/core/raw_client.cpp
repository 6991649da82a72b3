#include "raw_client.h"

#include <charconv>

#include "frame_parser.h"

namespace quorlane::server {

using asio::ip::tcp;

RawClient::RawClient() : socket_(io_) {}
RawClient::~RawClient() { Close(); }

bool RawClient::RunUntil(bool& done, Duration limit) {
  io_.restart();
  io_.run_for(limit);
  if (!done) {
    // Time is up: cancel what is pending and let its handler run.
    std::error_code ec;
    socket_.cancel(ec);
    io_.restart();
    io_.run_for(Duration(1000));
  }
  return done;
}

bool RawClient::Connect(const std::string& host, std::uint16_t port, Duration limit, std::string& error) {
  Close();
  std::error_code ec;
  tcp::resolver resolver(io_);
  const auto endpoints = resolver.resolve(host, std::to_string(port), ec);
  if (ec) return error = "cannot resolve " + host + ": " + ec.message(), false;
  bool done = false;
  std::error_code result = asio::error::timed_out;
  asio::async_connect(socket_, endpoints, [&](const std::error_code& e, const tcp::endpoint&) {
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

bool RawClient::Send(std::string_view bytes, Duration limit, std::string& error) {
  bool done = false;
  std::error_code result = asio::error::timed_out;
  asio::async_write(socket_, asio::buffer(bytes.data(), bytes.size()), [&](const std::error_code& e, std::size_t) {
    result = e;
    done = true;
  });
  if (!RunUntil(done, limit) || result) {
    error = "send failed: " + result.message();
    return false;
  }
  return true;
}

std::optional<std::string> RawClient::ReadFrame(Duration limit, std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    if (received_.size() >= kFrameBegin.size() && received_.compare(0, kFrameBegin.size(), kFrameBegin) == 0) {
      const auto end = received_.find(kFrameEnd, kFrameBegin.size());
      if (end != std::string::npos) {
        std::string body = received_.substr(kFrameBegin.size(), end - kFrameBegin.size());
        received_.erase(0, end + kFrameEnd.size());
        return body;
      }
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return error = "no reply in time", std::nullopt;
    char buffer[65536];
    bool done = false;
    std::error_code result;
    std::size_t got = 0;
    socket_.async_read_some(asio::buffer(buffer), [&](const std::error_code& e, std::size_t n) {
      result = e;
      got = n;
      done = true;
    });
    if (!RunUntil(done, std::chrono::duration_cast<Duration>(deadline - now) + Duration(1))) {
      return error = "no reply in time", std::nullopt;
    }
    if (result) return error = "connection ended: " + result.message(), std::nullopt;
    received_.append(buffer, got);
  }
}

std::optional<std::string> RawClient::Request(std::string_view body, Duration limit, std::string& error) {
  std::string frame;
  frame.append(kFrameBegin).append(body).append(kFrameEnd);
  if (!Send(frame, limit, error)) return std::nullopt;
  return ReadFrame(limit, error);
}

bool RawClient::WaitClosed(Duration limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    char buffer[4096];
    bool done = false;
    std::error_code result;
    socket_.async_read_some(asio::buffer(buffer), [&](const std::error_code& e, std::size_t) {
      result = e;
      done = true;
    });
    const auto left = std::chrono::duration_cast<Duration>(deadline - std::chrono::steady_clock::now());
    if (!RunUntil(done, left + Duration(1))) return false;
    if (result) return result != asio::error::operation_aborted;
  }
  return false;
}

void RawClient::Close() {
  std::error_code ec;
  socket_.close(ec);
}

std::optional<std::string> RawClient::Payload(std::string_view replyBody, std::string_view tag) {
  const auto at = replyBody.find(tag);
  if (at == std::string_view::npos) return std::nullopt;
  return std::string(replyBody.substr(at + tag.size()));
}

bool SplitHostPort(std::string_view text, std::string& host, std::uint16_t& port) {
  std::string_view portText;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find("]:");
    if (close == std::string_view::npos) return false;
    host = std::string(text.substr(1, close - 1));
    portText = text.substr(close + 2);
  } else {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    host = std::string(text.substr(0, colon));
    portText = text.substr(colon + 1);
  }
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
  if (ec != std::errc() || end != portText.data() + portText.size() || value == 0 || value > 65535 || host.empty()) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace quorlane::server
