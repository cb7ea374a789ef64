#include "fs/copy_workers.h"

#include <utility>

namespace {

// Jobs waiting per thread before the caller waits: enough that no thread
// idles while the caller lists a folder, few enough that the open folders
// the waiting jobs hold stay few.
constexpr size_t kWaitingPerWorker = 4;

}  // namespace

CopyWorkers::CopyWorkers(int workers) : workers_(workers < 1 ? 1 : static_cast<size_t>(workers)) {}

CopyWorkers::~CopyWorkers() {
  finish();
  {
    std::lock_guard<std::mutex> hold(lock_);
    ending_ = true;
  }
  jobReady_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void CopyWorkers::run(std::function<void()> job) {
  if (workers_ == 1) {
    job();
    return;
  }
  std::unique_lock<std::mutex> hold(lock_);
  roomOrDone_.wait(hold, [this] { return waiting_.size() < workers_ * kWaitingPerWorker; });
  waiting_.push_back(std::move(job));
  // A thread more only while every one started is busy.
  if (threads_.size() < workers_ && busy_ + waiting_.size() > threads_.size())
    threads_.emplace_back([this] { work(); });
  hold.unlock();
  jobReady_.notify_one();
}

void CopyWorkers::finish() {
  std::unique_lock<std::mutex> hold(lock_);
  roomOrDone_.wait(hold, [this] { return waiting_.empty() && busy_ == 0; });
}

void CopyWorkers::work() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    jobReady_.wait(hold, [this] { return ending_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // ending, and nothing left
    std::function<void()> job = std::move(waiting_.front());
    waiting_.pop_front();
    ++busy_;
    hold.unlock();
    roomOrDone_.notify_all();
    job();
    job = nullptr;  // what the job held goes before it counts as done
    hold.lock();
    --busy_;
    if (waiting_.empty() && busy_ == 0) roomOrDone_.notify_all();
  }
}
