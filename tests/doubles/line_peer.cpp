#include "line_peer.h"

#include <chrono>

namespace testdoubles {
namespace {

constexpr int kBindWaitMs = 30000;

// Another test run on this machine may hold the fixed port for a while.
win32::UniqueSocket BindLoopback(std::uint16_t port, bool reuse) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBindWaitMs);
  do {
    win32::UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    // Lets the peer bind while earlier connections on the port sit in TIME_WAIT.
    const BOOL on = reuse ? TRUE : FALSE;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    address.sin_port = ::htons(port);
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return socket;
    ::Sleep(200);
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &limit) > 0;
}

}  // namespace

LineStep SendLine(std::string bytes) { return {LineStep::Kind::Send, std::move(bytes), 0}; }
LineStep PauseFor(int ms) { return {LineStep::Kind::Pause, {}, ms}; }
LineStep CloseNow() { return {LineStep::Kind::Close, {}, 0}; }
LineStep ResetNow() { return {LineStep::Kind::Reset, {}, 0}; }

LinePeer::LinePeer(std::vector<LineStep> script, std::uint16_t port) : m_script(std::move(script)) {
  m_listener = BindLoopback(port, true);
  if (m_listener && ::listen(m_listener.get(), 4) != 0) m_listener.reset();
  if (m_listener) m_thread = std::thread([this] { Serve(); });
}

LinePeer::~LinePeer() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

void LinePeer::Serve() {
  // Bounded: 20 s for the client to come, as long again to finish.
  for (int waited = 0; !m_stop && waited < 20000 && !Readable(m_listener.get(), 50); waited += 50) {
  }
  if (m_stop) return;
  win32::UniqueSocket connection(::accept(m_listener.get(), nullptr, nullptr));
  if (!connection) return;
  char buffer[65536];
  bool open = true;
  for (int waited = 0; open && !m_stop && waited < 20000;) {
    if (!Readable(connection.get(), 50)) {
      waited += 50;
      continue;
    }
    const int n = ::recv(connection.get(), buffer, sizeof buffer, 0);
    if (n <= 0) {
      open = false;
      break;
    }
    std::lock_guard lock(m_mutex);
    m_request.append(buffer, static_cast<std::size_t>(n));
    if (m_request.find('\n') != std::string::npos) break;
  }
  for (const LineStep& step : m_script) {
    if (!open) break;
    if (step.kind == LineStep::Kind::Send) {
      ::send(connection.get(), step.bytes.data(), static_cast<int>(step.bytes.size()), 0);
    } else if (step.kind == LineStep::Kind::Pause) {
      ::Sleep(static_cast<DWORD>(step.pauseMs));
    } else {
      if (step.kind == LineStep::Kind::Reset) {
        linger hard{1, 0};  // closing with a zero linger sends a reset
        ::setsockopt(connection.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
      }
      connection.reset();
      open = false;
    }
  }
  // Hold the connection, reading and dropping, until the client ends it.
  for (int waited = 0; open && !m_stop && waited < 20000;) {
    if (!Readable(connection.get(), 50)) {
      waited += 50;
      continue;
    }
    if (::recv(connection.get(), buffer, sizeof buffer, 0) <= 0) open = false;
  }
  m_done = true;
}

std::string LinePeer::request() const {
  std::lock_guard lock(m_mutex);
  return m_request;
}

bool LinePeer::WaitDone(int limitMs) const {
  for (int waited = 0; waited < limitMs; waited += 20) {
    if (m_done) return true;
    ::Sleep(20);
  }
  return m_done;
}

RefusingPort::RefusingPort(std::uint16_t port) { m_socket = BindLoopback(port, false); }

HangingPort::HangingPort(std::uint16_t port) {
  m_listener = BindLoopback(port, true);
  if (!m_listener || ::listen(m_listener.get(), 1) != 0) return;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  target.sin_port = ::htons(port);
  // Connect until one no longer completes: the backlog is then full.
  for (int i = 0; i < 32 && !m_hangs; ++i) {
    win32::UniqueSocket filler(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    u_long nonBlocking = 1;
    ::ioctlsocket(filler.get(), FIONBIO, &nonBlocking);
    ::connect(filler.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target);
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(filler.get(), &writable);
    timeval limit{0, 300000};
    if (::select(0, nullptr, &writable, nullptr, &limit) == 0) m_hangs = true;
    m_fillers.push_back(std::move(filler));
  }
}

}  // namespace testdoubles
