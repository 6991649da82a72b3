#include "update_lookup.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "update_reply.h"
#include "win32/unique_resource.h"

#ifndef QUORLANE_UPDATE_HOST
#error "QUORLANE_UPDATE_HOST names the update server (CMake cache variable of the same name)"
#endif

namespace quorlane::update {
namespace {

/// WSAStartup and its balancing WSACleanup for the length of one look-up.
class WinsockUse {
 public:
  WinsockUse() {
    WSADATA data;
    m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockUse() {
    if (m_started) ::WSACleanup();
  }
  WinsockUse(const WinsockUse&) = delete;
  WinsockUse& operator=(const WinsockUse&) = delete;
  [[nodiscard]] bool started() const noexcept { return m_started; }

 private:
  bool m_started = false;
};

enum class Wait { Ready, TimedOut, Failed };

/// Waits until the socket can be read (or written), at most limitMs.
Wait WaitFor(SOCKET socket, bool forWriting, int limitMs) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval limit{limitMs / 1000, (limitMs % 1000) * 1000};
  const int n = ::select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &limit);
  if (n == 0) return Wait::TimedOut;
  if (n < 0 || FD_ISSET(socket, &failed)) return Wait::Failed;
  return Wait::Ready;
}

bool Resolve(const std::string& host, std::uint16_t port, sockaddr_in& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  address.sin_port = ::htons(port);
  ::freeaddrinfo(found);
  return true;
}

// A non-blocking connect bounded by kConnectLimitMs; the socket stays
// non-blocking, every later wait goes through select with its own limit.
win32::UniqueSocket Connect(const sockaddr_in& address) {
  win32::UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket) return {};
  u_long nonBlocking = 1;
  if (::ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0) return {};
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return {};
    if (WaitFor(socket.get(), true, kConnectLimitMs) != Wait::Ready) return {};
  }
  int error = 0;
  int size = sizeof(error);
  if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0) {
    return {};
  }
  return socket;
}

// The request is small, but a server that never reads must not hold the
// caller for ever: each wait to send more is bounded like a reply wait.
bool SendAll(SOCKET socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 1 << 20));
    const int n = ::send(socket, bytes.data() + sent, chunk, 0);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK && WaitFor(socket, true, kSilenceLimitMs) == Wait::Ready) {
      continue;
    }
    return false;
  }
  return true;
}

Lookup ReadReply(SOCKET socket) {
  ReplyLineReader reader;
  char buffer[4096];
  for (;;) {
    const Wait wait = WaitFor(socket, false, kSilenceLimitMs);
    // Silence ends the read with an empty reply, even after part of a line.
    if (wait == Wait::TimedOut) return {Lookup::Outcome::Reply, {}};
    if (wait == Wait::Failed) return {Lookup::Outcome::Failed, {}};
    const int n = ::recv(socket, buffer, sizeof buffer, 0);
    if (n == 0) return {Lookup::Outcome::Failed, {}};  // closed before a whole line
    if (n < 0) {
      if (::WSAGetLastError() == WSAEWOULDBLOCK) continue;
      return {Lookup::Outcome::Failed, {}};
    }
    switch (reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
      case ReplyLineReader::Status::NeedMore: break;
      case ReplyLineReader::Status::Line: return {Lookup::Outcome::Reply, reader.Line()};
      case ReplyLineReader::Status::TooLong: return {Lookup::Outcome::Failed, {}};
    }
  }
}

}  // namespace

const char* HostName() noexcept { return QUORLANE_UPDATE_HOST; }

Lookup LookUp(const std::string& host, std::uint16_t port, const std::string& identifier) {
  const WinsockUse winsock;
  if (!winsock.started()) return {Lookup::Outcome::Unreachable, {}};
  sockaddr_in address{};
  if (!Resolve(host, port, address)) return {Lookup::Outcome::Unreachable, {}};
  const win32::UniqueSocket socket = Connect(address);
  if (!socket) return {Lookup::Outcome::Unreachable, {}};
  if (!SendAll(socket.get(), RequestLine(identifier))) return {Lookup::Outcome::Failed, {}};
  // Anything the server sends after the line goes with the connection.
  return ReadReply(socket.get());
}

}  // namespace quorlane::update
