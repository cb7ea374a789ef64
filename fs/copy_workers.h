#pragma once
// The files of one tree copied by several threads at once: on a network
// share most of a file's time goes on waiting for the server's answers, and
// while one file waits the line can carry others'.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Up to `workers` jobs at a time. With one, every job runs on the caller's
// thread as it is handed over, exactly as a plain loop would. Threads are
// started only as jobs arrive and never more than `workers`; the caller
// waits while a few jobs per thread are already waiting, so memory and open
// files stay bounded however large the tree. Jobs must not throw.
class CopyWorkers {
 public:
  explicit CopyWorkers(int workers);
  // Waits for every job handed over.
  ~CopyWorkers();
  CopyWorkers(const CopyWorkers&) = delete;
  CopyWorkers& operator=(const CopyWorkers&) = delete;

  void run(std::function<void()> job);
  // Returns once every job handed over so far is done.
  void finish();
  bool parallel() const { return workers_ > 1; }

 private:
  void work();

  const size_t workers_;
  std::mutex lock_;
  std::condition_variable jobReady_;  // a job waits, or the end has come
  std::condition_variable roomOrDone_;  // a job was taken or finished
  std::deque<std::function<void()>> waiting_;
  size_t busy_ = 0;  // jobs being run now
  bool ending_ = false;
  std::vector<std::thread> threads_;
};

// Files moved at once where a share is involved: enough to keep the line
// busy, few enough not to swamp a small office server.
constexpr int kShareCopyWorkers = 8;
