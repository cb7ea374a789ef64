#pragma once
// What a window shell keeps of its workers: the numbers startWorker hands
// out and what each worker returned, for workerResult (ui/shell.h). Any
// thread may call it.

#include <map>
#include <mutex>
#include <optional>

class WorkerResults {
 public:
  // The number of a worker about to start: 1, 2, ...
  int add() {
    std::lock_guard<std::mutex> hold(lock_);
    return ++added_;
  }
  void returned(int worker, int result) {
    std::lock_guard<std::mutex> hold(lock_);
    results_[worker] = result;
  }
  std::optional<int> resultOf(int worker) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = results_.find(worker);
    if (found == results_.end()) return std::nullopt;
    return found->second;
  }

 private:
  mutable std::mutex lock_;
  int added_ = 0;
  std::map<int, int> results_;
};
