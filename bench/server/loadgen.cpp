// quorlane-loadgen: closed-loop load generator for the site server and, for
// comparison, Redis (SET NX + DEL; GET for a check). Every connection runs one request at a
// time, like a workstation; latencies are measured per lock+unlock pair (or
// per CHECKDBLOCK) from the first byte sent to the last reply byte read.
// One thread and a plain epoll loop (two system calls per request and a
// share of one epoll_wait), so that the generator costs little of the CPU
// the servers compete for and costs the same whichever server it drives.
//
//   quorlane-loadgen --target quorlane|redis --connect HOST:PORT
//                    --mode pairs|check|idle --connections N --seconds S [--warmup S]
//
// idle: opens N connections, prints "idle connections open: N", holds them
// until standard input ends (or S seconds pass), then reports how many the
// server kept open all along ("still_open=N").
//
//   quorlane-loadgen --mode syncprobe --dir FOLDER
// times 100 small durable writes each way, interleaved, in FOLDER: appended
// and fdatasync'ed (as Redis's appendfsync always does) and written in place
// into synced zeros with RWF_DSYNC (as our journal does), and prints the
// medians: how fast the disk syncs at the moment.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
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
  bool redis = false;
  std::string mode = "pairs";
  std::string host = "127.0.0.1";
  std::string dir = ".";
  int port = 4000;
  int connections = 1;
  double seconds = 5;
  double warmup = 1;
};

std::string RespCommand(const std::vector<std::string>& parts) {
  std::string out(1, '*');
  out.append(std::to_string(parts.size())).append("\r\n");
  for (const auto& p : parts) out.append("$").append(std::to_string(p.size())).append("\r\n").append(p).append("\r\n");
  return out;
}

struct Connection {
  int fd = -1;
  std::vector<std::string> steps;
  std::size_t step = 0;
  std::string received;
  Clock::time_point cycleStart;
  bool busy = false;
};

bool ReplyComplete(const Settings& s, const std::string& r) {
  if (s.redis) return r.size() >= 2 && r.compare(r.size() - 2, 2, "\r\n") == 0;
  return r.size() >= 5 && r.compare(r.size() - 5, 5, "[END]") == 0;
}

bool ReplyGood(const Settings& s, const Connection& c) {
  if (s.redis && s.mode == "check") return c.received == "$-1\r\n";  // GET of a key nobody set
  if (s.redis) return c.step == 0 ? c.received == "+OK\r\n" : c.received == ":1\r\n";
  if (s.mode == "check") return c.received.find("N;;;") != std::string::npos;
  return c.received.find("Y;;;") != std::string::npos;
}

int ConnectTo(const Settings& s) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(s.port));
  ::inet_pton(AF_INET, s.host.c_str(), &address.sin_addr);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

bool SendAll(int fd, const std::string& data) {
  std::size_t at = 0;
  while (at < data.size()) {
    const ssize_t n = ::send(fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 1000);
      continue;
    }
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

double Percentile(std::vector<std::uint32_t>& values, double p) {
  if (values.empty()) return 0;
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int ProbeSyncs(const Settings& s) {
  const std::string appended = s.dir + "/syncprobe-append", inPlace = s.dir + "/syncprobe-inplace";
  const int a = ::open(appended.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  const int p = ::open(inPlace.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const std::string zeros(1 << 20, '\0'), record(60, 'r');
  if (a < 0 || p < 0 || ::write(p, zeros.data(), zeros.size()) != static_cast<ssize_t>(zeros.size()) ||
      ::fsync(p) != 0 || ::fsync(a) != 0) {
    std::fprintf(stderr, "syncprobe: %s\n", std::strerror(errno));
    return 1;
  }
  std::vector<double> appendUs, inPlaceUs;
  for (int i = 0; i < 100; ++i) {
    auto t0 = Clock::now();
    if (::write(a, record.data(), record.size()) < 0 || ::fdatasync(a) != 0) return 1;
    auto t1 = Clock::now();
    iovec part{const_cast<char*>(record.data()), record.size()};
    if (::pwritev2(p, &part, 1, static_cast<off_t>(i * record.size()), RWF_DSYNC) < 0) return 1;
    auto t2 = Clock::now();
    appendUs.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    inPlaceUs.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
  }
  ::close(a);
  ::close(p);
  ::unlink(appended.c_str());
  ::unlink(inPlace.c_str());
  std::sort(appendUs.begin(), appendUs.end());
  std::sort(inPlaceUs.begin(), inPlaceUs.end());
  std::printf("sync_append_fdatasync_p50_us=%.0f sync_inplace_rwf_dsync_p50_us=%.0f\n", appendUs[50], inPlaceUs[50]);
  return 0;
}

int HoldIdle(const Settings& s) {
  std::vector<int> fds;
  fds.reserve(static_cast<std::size_t>(s.connections));
  for (int i = 0; i < s.connections; ++i) {
    const int fd = ConnectTo(s);
    if (fd < 0) {
      std::fprintf(stderr, "connect %d failed: %s\n", i, std::strerror(errno));
      break;
    }
    fds.push_back(fd);
  }
  std::printf("idle connections open: %zu\n", fds.size());
  std::fflush(stdout);
  // Hold until the caller has looked (standard input ends) or time is up.
  pollfd in{0, POLLIN, 0};
  const auto until = Clock::now() + std::chrono::milliseconds(static_cast<int>(s.seconds * 1000));
  char sink[256];
  while (Clock::now() < until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (::poll(&in, 1, static_cast<int>(std::max<long long>(left, 1))) > 0 && ::read(0, sink, sizeof sink) <= 0) break;
  }
  // A connection the server closed reads as end of file; an open one has nothing to read.
  std::size_t open = 0;
  for (const int fd : fds) {
    char byte;
    if (::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) < 0 && errno == EAGAIN) ++open;
  }
  std::printf("still_open=%zu\n", open);
  for (const int fd : fds) ::close(fd);
  return open == static_cast<std::size_t>(s.connections) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Settings s;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--target") s.redis = value == "redis";
    else if (key == "--mode") s.mode = value;
    else if (key == "--connections") s.connections = std::stoi(value);
    else if (key == "--seconds") s.seconds = std::stod(value);
    else if (key == "--warmup") s.warmup = std::stod(value);
    else if (key == "--dir") s.dir = value;
    else if (key == "--connect") {
      const auto colon = value.rfind(':');
      if (colon == std::string::npos) return 2;
      s.host = value.substr(0, colon);
      s.port = std::stoi(value.substr(colon + 1));
    } else {
      std::fprintf(stderr, "unknown option %s\n", key.c_str());
      return 2;
    }
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (s.mode == "idle") return HoldIdle(s);
  if (s.mode == "syncprobe") return ProbeSyncs(s);

  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  std::vector<Connection> connections(static_cast<std::size_t>(s.connections));
  for (int i = 0; i < s.connections; ++i) {
    auto& c = connections[static_cast<std::size_t>(i)];
    const std::string number = std::to_string(i);
    const std::string key = std::string("bench-key-").append(number);
    const std::string who = std::string(";bench").append(number).append(";LOADGEN;");
    if (s.redis && s.mode == "check") {
      c.steps = {RespCommand({"GET", key})};
    } else if (s.redis) {
      c.steps = {RespCommand({"SET", key, std::string("bench").append(number), "NX"}), RespCommand({"DEL", key})};
    } else if (s.mode == "check") {
      c.steps = {std::string("[BEGIN][CHECKDBLOCK]").append(key).append(who).append("[END]")};
    } else {
      c.steps = {std::string("[BEGIN][LOCKDB]").append(key).append(who).append("[END]"),
                 std::string("[BEGIN][UNLOCKDB]").append(key).append(who).append("[END]")};
    }
    c.fd = ConnectTo(s);
    if (c.fd < 0) {
      std::fprintf(stderr, "connect failed: %s\n", std::strerror(errno));
      return 1;
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = static_cast<std::uint64_t>(i);
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, c.fd, &ev);
  }

  const auto begin = Clock::now();
  const auto measureFrom = begin + std::chrono::milliseconds(static_cast<int>(s.warmup * 1000));
  const auto stopAt = measureFrom + std::chrono::milliseconds(static_cast<int>(s.seconds * 1000));
  std::vector<std::uint32_t> latencies;
  latencies.reserve(1 << 20);
  std::uint64_t failures = 0;
  std::uint64_t requests = 0;  // every reply, warm-up included (for the server's CPU per request)
  double cpuAtMeasure = -1;
  std::size_t busy = 0;
  const auto startCycle = [&](Connection& c, Clock::time_point now) {
    c.cycleStart = now;
    c.step = 0;
    c.received.clear();
    c.busy = true;
    ++busy;
    if (!SendAll(c.fd, c.steps[0])) {
      ++failures;
      c.busy = false;
      --busy;
    }
  };
  for (auto& c : connections) startCycle(c, Clock::now());

  std::vector<epoll_event> events(1024);
  char buffer[65536];
  while (busy > 0) {
    const int n = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 1000);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && Clock::now() > stopAt + std::chrono::seconds(5)) break;  // a server that stopped answering
    const auto now = Clock::now();
    if (cpuAtMeasure < 0 && now >= measureFrom) cpuAtMeasure = CpuSeconds();
    for (int i = 0; i < n; ++i) {
      auto& c = connections[events[static_cast<std::size_t>(i)].data.u64];
      const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, 0);
      if (got <= 0) {
        if (got < 0 && errno == EAGAIN) continue;
        ++failures;
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, c.fd, nullptr);
        if (c.busy) {
          c.busy = false;
          --busy;
        }
        continue;
      }
      c.received.append(buffer, static_cast<std::size_t>(got));
      if (!ReplyComplete(s, c.received)) continue;
      if (!ReplyGood(s, c)) ++failures;
      ++requests;
      c.received.clear();
      if (++c.step < c.steps.size()) {
        if (!SendAll(c.fd, c.steps[c.step])) ++failures;
        continue;
      }
      c.busy = false;
      --busy;
      if (c.cycleStart >= measureFrom && now <= stopAt) {
        latencies.push_back(static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(now - c.cycleStart).count()));
      }
      if (now < stopAt) startCycle(c, now);
    }
  }
  const double cpu = CpuSeconds() - std::max(cpuAtMeasure, 0.0);
  const double count = static_cast<double>(latencies.size());
  const double p50 = Percentile(latencies, 0.50);
  const double p90 = Percentile(latencies, 0.90);
  const double p99 = Percentile(latencies, 0.99);
  const double p999 = Percentile(latencies, 0.999);
  double sum = 0;
  for (const auto v : latencies) sum += v;
  std::printf("target=%s mode=%s connections=%d ops_per_s=%.0f p50_us=%.0f p99_us=%.0f mean_us=%.0f p90_us=%.0f "
              "p999_us=%.0f failures=%llu client_cpu_us_per_op=%.1f requests=%llu\n",
              s.redis ? "redis" : "quorlane", s.mode.c_str(), s.connections, count / s.seconds, p50, p99,
              count > 0 ? sum / count : 0.0, p90, p999,
              static_cast<unsigned long long>(failures), count > 0 ? cpu * 1e6 / count : 0.0, static_cast<unsigned long long>(requests));
  for (auto& c : connections) ::close(c.fd);
  return failures == 0 ? 0 : 1;
}
