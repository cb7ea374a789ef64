#include "fs/copy_workers.h"

#include <algorithm>
#include <utility>

namespace {

// Jobs waiting per thread before the caller waits. On a share a folder's
// creations and renames take turns, so the threads copy fastest with the
// files of several folders to choose from: enough jobs wait that the walk
// lists a destination's next folders while the first one's files are still
// being copied, instead of waiting on them.
constexpr size_t kWaitingPerWorker = 16;
// Lanes with jobs waiting per thread: each keeps its folders open, so a job
// for one more lane waits once this many have jobs waiting.
constexpr size_t kLanesPerWorker = 2;

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

void CopyWorkers::run(std::function<void()> job, const void* lane) {
  if (workers_ == 1) {
    job();
    return;
  }
  std::unique_lock<std::mutex> hold(lock_);
  auto found = lanes_.end();
  roomOrDone_.wait(hold, [&] {
    if (waiting_ >= workers_ * kWaitingPerWorker) return false;
    found = std::find_if(lanes_.begin(), lanes_.end(),
                         [lane](const Lane& waiting) { return waiting.key == lane; });
    return found != lanes_.end() || lanes_.size() < workers_ * kLanesPerWorker;
  });
  if (found == lanes_.end()) found = lanes_.insert(lanes_.end(), Lane{lane, {}});
  found->jobs.push_back(std::move(job));
  ++waiting_;
  // A thread more only while every one started is busy.
  if (threads_.size() < workers_ && busy_ + waiting_ > threads_.size())
    threads_.emplace_back([this] { work(); });
  hold.unlock();
  jobReady_.notify_one();
}

void CopyWorkers::finish() {
  std::unique_lock<std::mutex> hold(lock_);
  roomOrDone_.wait(hold, [this] { return waiting_ == 0 && busy_ == 0; });
}

void CopyWorkers::work() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    jobReady_.wait(hold, [this] { return ending_ || waiting_ > 0; });
    if (waiting_ == 0) return;  // ending, and nothing left
    // The first lane's next job; the lane then waits behind the others.
    Lane lane = std::move(lanes_.front());
    lanes_.pop_front();
    std::function<void()> job = std::move(lane.jobs.front());
    lane.jobs.pop_front();
    if (!lane.jobs.empty()) lanes_.push_back(std::move(lane));
    --waiting_;
    ++busy_;
    hold.unlock();
    roomOrDone_.notify_all();
    job();
    job = nullptr;  // what the job held goes before it counts as done
    hold.lock();
    --busy_;
    if (waiting_ == 0 && busy_ == 0) roomOrDone_.notify_all();
  }
}
