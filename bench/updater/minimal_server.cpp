// The smallest look-up server there can be, as a yardstick for what the
// kernel's loopback TCP allows on a machine: accept4 non-blocking, read the
// line, answer one fixed line, close. No mapping, no log, no limits.
//
//   quorlane-minimal-lookup-server PORT
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kReply = "https://updates.example/app1/setup.exe\r\n";

// True when the connection is done with (answered or failed).
bool Serve(int fd) {
  char buffer[512];
  const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
  if (n > 0 && std::memchr(buffer, '\n', static_cast<std::size_t>(n)) == nullptr) return false;
  if (n > 0) send(fd, kReply.data(), kReply.size(), MSG_NOSIGNAL);
  if (n == 0 || n > 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
    close(fd);
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4096) != 0) {
    return 1;
  }
  const int epoll = epoll_create1(0);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listener;
  epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event);
  epoll_event ready[256];
  for (;;) {
    const int n = epoll_wait(epoll, ready, 256, -1);
    for (int i = 0; i < n; ++i) {
      const int fd = ready[i].data.fd;
      if (fd != listener) {
        Serve(fd);
        continue;
      }
      for (int client; (client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
        if (Serve(client)) continue;
        epoll_event wait{};
        wait.events = EPOLLIN;
        wait.data.fd = client;
        epoll_ctl(epoll, EPOLL_CTL_ADD, client, &wait);
      }
    }
  }
}
