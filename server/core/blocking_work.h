// A few threads for the requests that block: file copies and deletes,
// service control, the VAT list's synced writes. The network thread hands a
// job over and goes on serving other connections; the job posts its reply
// back to the network thread when done.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorlane::server {

class BlockingWork {
 public:
  explicit BlockingWork(std::size_t threads);
  ~BlockingWork();
  BlockingWork(const BlockingWork&) = delete;
  BlockingWork& operator=(const BlockingWork&) = delete;

  /// Queues a job; it runs on one of the threads. Ignored after Stop().
  void Post(std::function<void()> job);
  /// Lets the jobs in progress finish, drops those not started, joins.
  void Stop();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace quorlane::server
