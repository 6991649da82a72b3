#include "scripted_peer.h"

namespace testdoubles {
namespace {

win32::UniqueSocket LoopbackListener(int backlog, std::uint16_t& port) {
  win32::UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  address.sin_port = ::htons(port);
  ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::listen(listener.get(), backlog);
  int size = sizeof(address);
  ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
  port = ::ntohs(address.sin_port);
  return listener;
}

bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &limit) > 0;
}

}  // namespace

ReplyStep Send(std::string bytes) { return {ReplyStep::Kind::Send, std::move(bytes), 0}; }
ReplyStep Pause(int ms) { return {ReplyStep::Kind::Pause, {}, ms}; }
ReplyStep Close() { return {ReplyStep::Kind::Close, {}, 0}; }
ReplyStep Reset() { return {ReplyStep::Kind::Reset, {}, 0}; }
Reply Frame(const std::string& tag, const std::string& payload) { return {Send("[BEGIN]" + tag + payload + "[END]")}; }

ScriptedPeer::ScriptedPeer(Script script, std::uint16_t port) : m_script(std::move(script)), m_port(port) {
  m_listener = LoopbackListener(16, m_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
}

ScriptedPeer::~ScriptedPeer() {
  m_stop = true;
  m_acceptor.join();
  for (auto& server : m_servers) server.thread.join();
}

void ScriptedPeer::AcceptLoop() {
  while (!m_stop) {
    for (auto it = m_servers.begin(); it != m_servers.end();) {
      if (*it->done) {
        it->thread.join();
        it = m_servers.erase(it);
      } else {
        ++it;
      }
    }
    if (!Readable(m_listener.get(), 50)) continue;
    SOCKET connection = ::accept(m_listener.get(), nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    {
      std::lock_guard lock(m_mutex);
      ++m_connections;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_servers.push_back({std::thread([this, connection, done] {
                           Serve(connection);
                           *done = true;
                         }),
                         done});
  }
}

void ScriptedPeer::Serve(SOCKET raw) {
  win32::UniqueSocket connection(raw);
  std::string pending;
  bool anyByte = false;
  bool clientClosed = false;
  bool open = true;
  while (open && !m_stop) {
    if (!Readable(connection.get(), 50)) continue;
    char buffer[4096];
    const int n = ::recv(connection.get(), buffer, sizeof buffer, 0);
    if (n <= 0) {
      clientClosed = n == 0;
      break;
    }
    anyByte = true;
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end = pending.find("[END]"); open && end != std::string::npos; end = pending.find("[END]")) {
      const std::string request = pending.substr(0, end + 5);
      pending.erase(0, end + 5);
      int index = 0;
      {
        std::lock_guard lock(m_mutex);
        index = static_cast<int>(m_requests.size());
        m_requests.push_back(request);
      }
      m_changed.notify_all();
      for (const ReplyStep& step : m_script(request, index)) {
        if (step.kind == ReplyStep::Kind::Send) {
          ::send(connection.get(), step.bytes.data(), static_cast<int>(step.bytes.size()), 0);
        } else if (step.kind == ReplyStep::Kind::Pause) {
          std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
        } else {
          if (step.kind == ReplyStep::Kind::Reset) {
            linger hard{1, 0};  // closing with a zero linger sends a reset
            ::setsockopt(connection.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
          }
          open = false;
          break;
        }
      }
    }
  }
  connection.reset();
  {
    std::lock_guard lock(m_mutex);
    ++m_ended;
    if (!anyByte) ++m_probes;
    if (anyByte && clientClosed) ++m_closedByClient;
  }
  m_changed.notify_all();
}

int ScriptedPeer::connections() const {
  std::lock_guard lock(m_mutex);
  return m_connections;
}
int ScriptedPeer::probes() const {
  std::lock_guard lock(m_mutex);
  return m_probes;
}
int ScriptedPeer::closedByClient() const {
  std::lock_guard lock(m_mutex);
  return m_closedByClient;
}
std::vector<std::string> ScriptedPeer::requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}
bool ScriptedPeer::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] { return m_requests.size() >= count; });
}
bool ScriptedPeer::WaitForEnded(int count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] { return m_ended >= count; });
}

HangingListener::HangingListener() {
  m_listener = LoopbackListener(1, m_port);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  target.sin_port = ::htons(m_port);
  // Fill the backlog until a connect no longer completes.
  for (int i = 0; i < 32 && !m_hangs; ++i) {
    win32::UniqueSocket filler(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    u_long nonBlocking = 1;
    ::ioctlsocket(filler.get(), FIONBIO, &nonBlocking);
    ::connect(filler.get(), reinterpret_cast<sockaddr*>(&target), sizeof(target));
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(filler.get(), &writable);
    timeval limit{0, 300000};
    if (::select(0, nullptr, &writable, nullptr, &limit) <= 0) m_hangs = true;
    m_fillers.push_back(std::move(filler));
  }
}

}  // namespace testdoubles
