#include "blocking_work.h"

namespace quorlane::server {

BlockingWork::BlockingWork(std::size_t fileThreads, std::size_t shortThreads) {
  for (std::size_t i = 0; i < fileThreads; ++i) files_.threads.emplace_back([this] { Run(files_); });
  for (std::size_t i = 0; i < shortThreads; ++i) short_.threads.emplace_back([this] { Run(short_); });
}

// An owner whose Stop() left threads behind never destroys this object.
BlockingWork::~BlockingWork() { (void)Stop(std::chrono::hours(24)); }

void BlockingWork::Post(CommandLane lane, std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    (lane == CommandLane::Files ? files_ : short_).jobs.push_back(std::move(job));
  }
  wake_.notify_all();
}

std::size_t BlockingWork::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

BlockingWork::LaneLoad BlockingWork::Load(CommandLane lane) const {
  std::lock_guard lock(mutex_);
  const Lane& which = lane == CommandLane::Files ? files_ : short_;
  return {which.jobs.size(), which.running};
}

bool BlockingWork::Stop(std::chrono::milliseconds bound) {
  {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    files_.jobs.clear();
    short_.jobs.clear();
    wake_.notify_all();
    if (!idle_.wait_for(lock, bound, [this] { return running_ == 0; })) {
      for (Lane* lane : {&files_, &short_}) {
        for (auto& thread : lane->threads) thread.detach();
        lane->threads.clear();
      }
      return false;
    }
  }
  for (Lane* lane : {&files_, &short_}) {
    for (auto& thread : lane->threads) thread.join();
    lane->threads.clear();
  }
  return true;
}

void BlockingWork::Run(Lane& lane) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !lane.jobs.empty(); });
      if (stopping_) return;
      job = std::move(lane.jobs.front());
      lane.jobs.pop_front();
      ++running_;
      ++lane.running;
    }
    try {
      job();
    } catch (...) {
      // A job reports its own failures in its reply; nothing may end the thread.
    }
    job = nullptr;
    std::lock_guard lock(mutex_);
    --lane.running;
    if (--running_ == 0) idle_.notify_all();
  }
}

}  // namespace quorlane::server
