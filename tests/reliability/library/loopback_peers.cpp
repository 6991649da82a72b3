#include "loopback_peers.h"

#include <chrono>

namespace fuzzing {
namespace {

// How many requests a silent connection lets wait out before it ends.
constexpr int kSilentWaits = 2;

bool Readable(SOCKET s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &limit) > 0;
}

void SendAll(SOCKET s, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = ::send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void ResetOnClose(SOCKET s) {
  linger hard{1, 0};  // closing with a zero linger sends a reset
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
}

// Sleeps in short steps so that a stopping peer does not wait for a pause.
void Pause(int ms, const std::atomic<bool>& stop) {
  for (int waited = 0; waited < ms && !stop; waited += 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

LoopbackPeer::LoopbackPeer(std::uint16_t port, Serve serve, int bindWaitMs) : m_serve(std::move(serve)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  address.sin_port = ::htons(port);
  for (int waited = 0;; waited += 100) {
    win32::UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::listen(listener.get(), 64) == 0) {
      m_listener = std::move(listener);
      break;
    }
    if (waited >= bindWaitMs) return;
    ::Sleep(100);
  }
  int size = sizeof(address);
  ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
  m_port = ::ntohs(address.sin_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
}

LoopbackPeer::~LoopbackPeer() {
  m_stop = true;
  if (m_acceptor.joinable()) m_acceptor.join();
  Reap(true);
}

void LoopbackPeer::AcceptLoop() {
  while (!m_stop) {
    Reap(false);
    if (!Readable(m_listener.get(), 20)) continue;
    SOCKET raw = ::accept(m_listener.get(), nullptr, nullptr);
    if (raw == INVALID_SOCKET) continue;
    ++m_connections;
    ++m_active;
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_served.push_back({std::thread([this, raw, done] {
                          {
                            win32::UniqueSocket connection(raw);
                            m_serve(connection.get(), m_stop);
                          }
                          --m_active;
                          *done = true;
                        }),
                        done});
  }
}

void LoopbackPeer::Reap(bool all) {
  for (auto it = m_served.begin(); it != m_served.end();) {
    if (all || *it->done) {
      it->thread.join();
      it = m_served.erase(it);
    } else {
      ++it;
    }
  }
}

bool LoopbackPeer::WaitIdle(int limitMs) {
  for (int waited = 0; m_active > 0; waited += 10) {
    if (waited >= limitMs) return false;
    ::Sleep(10);
  }
  // Give the acceptor a pass to join what ended.
  ::Sleep(50);
  return true;
}

int PeerDice::Roll(int bound) {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_random() % static_cast<std::uint64_t>(bound));
}

std::string PeerDice::Bytes(int maxLength) {
  std::lock_guard lock(m_mutex);
  std::string bytes(static_cast<std::size_t>(m_random() % static_cast<std::uint64_t>(maxLength + 1)), '\0');
  for (char& c : bytes) c = static_cast<char>(1 + m_random() % 255);
  return bytes;
}

void ServeSiteConnection(SOCKET connection, const std::atomic<bool>& stop, PeerDice& dice, SitePeerCounts& counts,
                         int silentPermille) {
  static const char kEnd[] = "[END]";
  std::string head;    // the first bytes of the request in progress: its tag
  int matched = 0;     // how much of "[END]" the last bytes matched
  int unanswered = 0;  // requests let wait out since the peer fell silent
  char buffer[64 * 1024];
  while (!stop) {
    if (!Readable(connection, 20)) continue;
    const int n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    for (int i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (head.size() < 64) head.push_back(c);
      matched = c == kEnd[matched] ? matched + 1 : (c == '[' ? 1 : 0);
      if (matched < 5) continue;
      matched = 0;
      ++counts.requests;
      // "[BEGIN][TAG]...": the reply names the request's tag.
      std::string tag = "[NOTAG]";
      if (head.rfind("[BEGIN][", 0) == 0) tag = head.substr(7, head.find(']', 7) - 6);
      head.clear();
      if (unanswered > 0) {
        // A hung server is noticed and restarted at last: after two waits
        // have run out, the next request finds the connection closed.
        if (++unanswered > kSilentWaits) return;
        continue;
      }
      static const char* const kPayloads[] = {"Y", "Y;", "Y;;;", "N;ann;PC01;2024/1/2 10:00;", "", ";;;;;", "N;"};
      const std::string payload = dice.Roll(4) == 0 ? dice.Bytes(120) : std::string(kPayloads[dice.Roll(7)]);
      const std::string frame = "[BEGIN]" + tag + payload + "[END]";
      if (dice.Roll(1000) < silentPermille) {
        ++counts.silent;
        unanswered = 1;  // holds the connection and answers nothing more
        continue;
      }
      const int roll = dice.Roll(100);
      if (roll < 40) {
        ++counts.answered;
        SendAll(connection, frame);
        return;  // and close: the next operation finds the connection gone
      } else if (roll < 60) {
        ++counts.answered;
        SendAll(connection, frame);
      } else if (roll < 75) {
        ++counts.late;  // while the client waits, its host's handlers call in
        Pause(150 + dice.Roll(450), stop);
        SendAll(connection, frame);
        if (dice.Roll(2) == 0) return;
      } else if (roll < 80) {
        ++counts.answered;
        for (std::size_t at = 0; at < frame.size();) {
          const std::size_t piece = 1 + static_cast<std::size_t>(dice.Roll(12));
          SendAll(connection, frame.substr(at, piece));
          at += piece;
          Pause(dice.Roll(3) * 10, stop);
        }
      } else if (roll < 88) {
        ++counts.broken;  // killed in the middle of a reply
        SendAll(connection, "[BEGIN]" + tag + "N;ann");
        Pause(20, stop);
        if (dice.Roll(2) == 0) ResetOnClose(connection);
        return;
      } else if (roll < 92) {
        ++counts.broken;  // the frame not at the start of the chunk, then a close
        SendAll(connection, "xx" + frame);
        Pause(20, stop);
        return;
      } else if (roll < 96) {
        ++counts.broken;
        ResetOnClose(connection);
        return;
      } else if (roll < 99) {
        ++counts.answered;  // junk in front of the tag, a second frame behind
        SendAll(connection, "[BEGIN]junk" + tag + payload + "[END][BEGIN]" + tag + "Y;[END]");
      } else {
        ++counts.oversized;  // beyond the library's reply cap, without "[END]"
        SendAll(connection, "[BEGIN]" + tag + std::string(17u * 1024u * 1024u, 'x'));
        Pause(200, stop);
        return;
      }
    }
  }
}

void ServeUpdateConnection(SOCKET connection, const std::atomic<bool>& stop, PeerDice& dice) {
  char buffer[64 * 1024];
  bool line = false;
  for (int idle = 0; !stop && !line && idle < 250;) {
    if (!Readable(connection, 20)) {
      ++idle;
      continue;
    }
    idle = 0;
    const int n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    for (int i = 0; i < n && !line; ++i) line = buffer[i] == '\n';
  }
  switch (dice.Roll(6)) {
    case 0: SendAll(connection, "https://updates.example/app/" + std::to_string(dice.Roll(1000)) + "\r\n"); break;
    case 1: SendAll(connection, "\n"); break;
    case 2: SendAll(connection, std::string(16384 + dice.Roll(8000), 'u') + "\n"); break;
    case 3: SendAll(connection, "partial line, then the end"); break;
    case 4: break;  // closes without a word
    default: ResetOnClose(connection); break;
  }
}

}  // namespace fuzzing
