// quorlane-lookup-bench: closed-loop load for the update server. Each client
// does what GetAppSelfUpdURL does, over and over: connect, send one request
// line, read the reply line, close. A look-up's latency runs from creating
// the socket to the reply's line feed. Linux (epoll); one thread drives all
// clients, so the server gets the other core.
//
//   quorlane-lookup-bench --connect ADDR:PORT --clients N --seconds S
//                         [--warmup S] [--ids N] [--expect-prefix TEXT]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
  std::string host = "127.0.0.1";
  int port = 9568;
  int clients = 1;
  double seconds = 5;
  double warmup = 1;
  int ids = 10000;
  std::string expectPrefix = "https://";
};

struct Client {
  int fd = -1;
  int next = 0;  // which identifier to ask for next
  bool sent = false;
  std::string request;
  std::string received;
  Clock::time_point start;
};

double Percentile(std::vector<std::uint32_t>& values, double p) {
  if (values.empty()) return 0;
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--connect") {
      const auto colon = value.rfind(':');
      s.host = value.substr(0, colon);
      s.port = std::stoi(value.substr(colon + 1));
    } else if (key == "--clients") {
      s.clients = std::stoi(value);
    } else if (key == "--seconds") {
      s.seconds = std::stod(value);
    } else if (key == "--warmup") {
      s.warmup = std::stod(value);
    } else if (key == "--ids") {
      s.ids = std::stoi(value);
    } else if (key == "--expect-prefix") {
      s.expectPrefix = value;
    } else {
      std::fprintf(stderr, "unknown option %s\n", key.c_str());
      return 2;
    }
  }
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<std::uint16_t>(s.port));
  if (inet_pton(AF_INET, s.host.c_str(), &server.sin_addr) != 1) return 2;

  const int epoll = epoll_create1(0);
  std::vector<Client> clients(static_cast<std::size_t>(s.clients));
  std::vector<std::uint32_t> latencyUs;
  latencyUs.reserve(1 << 20);
  std::uint64_t failures = 0, wrongReplies = 0;
  const auto begin = Clock::now();
  const auto measureFrom = begin + std::chrono::milliseconds(static_cast<int>(s.warmup * 1000));
  const auto stopAt = measureFrom + std::chrono::milliseconds(static_cast<int>(s.seconds * 1000));
  int running = 0;

  // Starts the next look-up of client `index`; false once time is up.
  auto startLookup = [&](std::size_t index) {
    Client& c = clients[index];
    if (Clock::now() >= stopAt) return false;
    c.start = Clock::now();
    c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    c.request = "A1;APP" + std::to_string(c.next++ % s.ids) + ";\r\n";
    c.received.clear();
    c.sent = false;
    if (connect(c.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 && errno != EINPROGRESS) {
      ++failures;
      close(c.fd);
      c.fd = -1;
      return false;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLET;
    event.data.u64 = index;
    epoll_ctl(epoll, EPOLL_CTL_ADD, c.fd, &event);
    return true;
  };
  auto finish = [&](std::size_t index, bool ok) {
    Client& c = clients[index];
    close(c.fd);  // also leaves the epoll set
    c.fd = -1;
    const auto done = Clock::now();
    if (!ok) {
      ++failures;
    } else if (c.start >= measureFrom && done <= stopAt) {
      latencyUs.push_back(static_cast<std::uint32_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(done - c.start).count()));
    }
    if (!startLookup(index)) --running;
  };

  for (std::size_t i = 0; i < clients.size(); ++i) {
    if (startLookup(i)) ++running;
  }
  std::vector<epoll_event> events(1024);
  while (running > 0) {
    const int n = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 1000);
    for (int e = 0; e < n; ++e) {
      const std::size_t index = events[static_cast<std::size_t>(e)].data.u64;
      Client& c = clients[index];
      if (c.fd < 0) continue;
      const std::uint32_t what = events[static_cast<std::size_t>(e)].events;
      if (!c.sent && (what & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
        const ssize_t sent = send(c.fd, c.request.data(), c.request.size(), MSG_NOSIGNAL);
        if (sent != static_cast<ssize_t>(c.request.size())) {
          finish(index, false);
          continue;
        }
        c.sent = true;
      }
      if (c.sent && (what & (EPOLLIN | EPOLLERR | EPOLLHUP))) {
        char buffer[4096];
        bool ended = false;
        for (;;) {
          const ssize_t got = recv(c.fd, buffer, sizeof buffer, 0);
          if (got > 0) {
            c.received.append(buffer, static_cast<std::size_t>(got));
            if (c.received.find('\n') != std::string::npos) break;
            continue;
          }
          ended = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
          break;
        }
        if (c.received.find('\n') != std::string::npos) {
          if (c.received.rfind(s.expectPrefix, 0) != 0) ++wrongReplies;
          finish(index, true);
        } else if (ended) {
          finish(index, false);
        }
      }
    }
  }
  const double count = static_cast<double>(latencyUs.size());
  const double p50 = Percentile(latencyUs, 0.50);
  const double p99 = Percentile(latencyUs, 0.99);
  std::printf("clients=%d lookups_per_s=%.0f p50_us=%.0f p99_us=%.0f failures=%llu wrong_replies=%llu\n", s.clients,
              count / s.seconds, p50, p99, static_cast<unsigned long long>(failures),
              static_cast<unsigned long long>(wrongReplies));
  return failures == 0 && wrongReplies == 0 ? 0 : 1;
}
