#include "blocking_work.h"

namespace quorlane::server {

BlockingWork::BlockingWork(std::size_t threads) {
  for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Run(); });
}

BlockingWork::~BlockingWork() { Stop(); }

void BlockingWork::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void BlockingWork::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && threads_.empty()) return;
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (auto& thread : threads_) thread.join();
  threads_.clear();
}

void BlockingWork::Run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      job();
    } catch (...) {
      // A job reports its own failures in its reply; nothing may end the thread.
    }
  }
}

}  // namespace quorlane::server
