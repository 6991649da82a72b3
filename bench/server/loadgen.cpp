// quorlane-loadgen: closed-loop load generator for the site server and, for
// comparison, Redis (SET NX + DEL). Every connection runs one request at a
// time, like a workstation; latencies are measured per lock+unlock pair (or
// per CHECKDBLOCK) from the first byte sent to the last reply byte read.
//
//   quorlane-loadgen --target quorlane|redis --connect HOST:PORT
//                    --mode pairs|check|idle --connections N --seconds S
#include <sys/resource.h>

#include <asio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "raw_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

struct Settings {
  bool redis = false;
  std::string mode = "pairs";
  std::string host = "127.0.0.1";
  std::uint16_t port = 4000;
  int connections = 1;
  double seconds = 5;
  double warmup = 1;
};

std::string RespCommand(const std::vector<std::string>& parts) {
  std::string out = "*";
  out.append(std::to_string(parts.size())).append("\r\n");
  for (const auto& p : parts) out.append("$").append(std::to_string(p.size())).append("\r\n").append(p).append("\r\n");
  return out;
}

struct Stats {
  std::vector<std::uint32_t> latencyUs;
  std::uint64_t failures = 0;
};

class Worker : public std::enable_shared_from_this<Worker> {
 public:
  Worker(asio::io_context& io, const Settings& settings, int index, Stats& stats, Clock::time_point measureFrom,
         Clock::time_point stopAt)
      : socket_(io), settings_(settings), stats_(stats), measureFrom_(measureFrom), stopAt_(stopAt) {
    const std::string key = "bench-key-" + std::to_string(index);
    const std::string who = ";bench" + std::to_string(index) + ";LOADGEN;";
    if (settings.redis) {
      steps_ = {RespCommand({"SET", key, "bench" + std::to_string(index), "NX"}), RespCommand({"DEL", key})};
    } else if (settings.mode == "check") {
      steps_ = {"[BEGIN][CHECKDBLOCK]" + key + who + "[END]"};
    } else {
      steps_ = {"[BEGIN][LOCKDB]" + key + who + "[END]", "[BEGIN][UNLOCKDB]" + key + who + "[END]"};
    }
  }

  void Start(const tcp::endpoint& endpoint, std::function<void()> onConnected) {
    socket_.async_connect(endpoint, [self = shared_from_this(), onConnected](const std::error_code& ec) {
      if (ec) {
        std::fprintf(stderr, "connect failed: %s\n", ec.message().c_str());
        ++self->stats_.failures;
        return;
      }
      self->socket_.set_option(tcp::no_delay(true));
      onConnected();
      if (self->settings_.mode != "idle") self->Next();
    });
  }

 private:
  void Next() {
    const auto now = Clock::now();
    if (step_ == 0) {
      if (now >= stopAt_) return;
      cycleStart_ = now;
    }
    asio::async_write(socket_, asio::buffer(steps_[step_]), [self = shared_from_this()](const std::error_code& ec, std::size_t) {
      if (ec) return self->Fail();
      self->received_.clear();
      self->Read();
    });
  }

  bool ReplyComplete() const {
    if (settings_.redis) return received_.size() >= 2 && received_.compare(received_.size() - 2, 2, "\r\n") == 0;
    return received_.size() >= 5 && received_.compare(received_.size() - 5, 5, "[END]") == 0;
  }

  bool ReplyGood() const {
    if (settings_.redis) return step_ == 0 ? received_ == "+OK\r\n" : received_ == ":1\r\n";
    if (settings_.mode == "check") return received_.find("N;;;") != std::string::npos;
    return received_.find("Y;;;") != std::string::npos;
  }

  void Read() {
    socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](const std::error_code& ec, std::size_t n) {
      if (ec) return self->Fail();
      self->received_.append(self->buffer_.data(), n);
      if (!self->ReplyComplete()) return self->Read();
      if (!self->ReplyGood()) ++self->stats_.failures;
      if (++self->step_ == self->steps_.size()) {
        self->step_ = 0;
        const auto done = Clock::now();
        if (self->cycleStart_ >= self->measureFrom_ && done <= self->stopAt_) {
          self->stats_.latencyUs.push_back(static_cast<std::uint32_t>(
              std::chrono::duration_cast<std::chrono::microseconds>(done - self->cycleStart_).count()));
        }
      }
      self->Next();
    });
  }

  void Fail() { ++stats_.failures; }

  tcp::socket socket_;
  const Settings& settings_;
  Stats& stats_;
  Clock::time_point measureFrom_, stopAt_, cycleStart_;
  std::vector<std::string> steps_;
  std::size_t step_ = 0;
  std::string received_;
  std::array<char, 4096> buffer_{};
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
    if (key == "--target") s.redis = value == "redis";
    else if (key == "--mode") s.mode = value;
    else if (key == "--connections") s.connections = std::stoi(value);
    else if (key == "--seconds") s.seconds = std::stod(value);
    else if (key == "--warmup") s.warmup = std::stod(value);
    else if (key == "--connect") {
      if (!quorlane::server::SplitHostPort(value, s.host, s.port)) return 2;
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
  asio::io_context io(1);
  const tcp::endpoint endpoint(asio::ip::make_address(s.host), s.port);
  Stats stats;
  const auto begin = Clock::now();
  const auto measureFrom = begin + std::chrono::milliseconds(static_cast<int>(s.warmup * 1000));
  const auto stopAt = measureFrom + std::chrono::milliseconds(static_cast<int>(s.seconds * 1000));
  int connected = 0;
  for (int i = 0; i < s.connections; ++i) {
    std::make_shared<Worker>(io, s, i, stats, measureFrom, stopAt)->Start(endpoint, [&] {
      if (++connected == s.connections && s.mode == "idle") {
        std::printf("idle connections open: %d\n", connected);
        std::fflush(stdout);
      }
    });
  }
  if (s.mode == "idle") {
    io.run_for(std::chrono::milliseconds(static_cast<int>((s.warmup + s.seconds) * 1000)));
    return connected == s.connections ? 0 : 1;
  }
  io.run();
  const double n = static_cast<double>(stats.latencyUs.size());
  const double p50 = Percentile(stats.latencyUs, 0.50);
  const double p99 = Percentile(stats.latencyUs, 0.99);
  std::printf("target=%s mode=%s connections=%d ops_per_s=%.0f p50_us=%.0f p99_us=%.0f failures=%llu\n",
              s.redis ? "redis" : "quorlane", s.mode.c_str(), s.connections, n / s.seconds, p50, p99,
              static_cast<unsigned long long>(stats.failures));
  return stats.failures == 0 ? 0 : 1;
}
