// The threads for the requests that block: file copies and deletes, service
// control, the VAT list's synced writes. The network thread hands a job over
// and goes on serving other connections; the job posts its reply back to the
// network thread when done.
//
// Two lanes with threads of their own: file jobs can take long (a large copy,
// a slow share), and must never hold up the short requests (VAT list, key,
// services) of other workstations.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "commands.h"

namespace quorlane::server {

class BlockingWork {
 public:
  BlockingWork(std::size_t fileThreads, std::size_t shortThreads);
  ~BlockingWork();
  BlockingWork(const BlockingWork&) = delete;
  BlockingWork& operator=(const BlockingWork&) = delete;

  /// Queues a job on its lane (Files or Short); ignored after Stop().
  void Post(CommandLane lane, std::function<void()> job);

  /// Drops the jobs not started and waits up to `bound` for those running.
  /// True when every thread has ended. False when a job still runs (a system
  /// call that does not return, such as a read from a hung network share):
  /// its thread is left behind, and whatever the job uses must then stay
  /// alive until the process ends.
  [[nodiscard]] bool Stop(std::chrono::milliseconds bound);
  /// How many jobs are running now.
  [[nodiscard]] std::size_t Running() const;
  /// A lane's jobs waiting for a thread and running now (for the console).
  struct LaneLoad {
    std::size_t queued = 0, running = 0;
  };
  [[nodiscard]] LaneLoad Load(CommandLane lane) const;

 private:
  struct Lane {
    std::deque<std::function<void()>> jobs;
    std::vector<std::thread> threads;
    std::size_t running = 0;
  };
  void Run(Lane& lane);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  Lane files_, short_;
  std::size_t running_ = 0;
  bool stopping_ = false;
};

}  // namespace quorlane::server
