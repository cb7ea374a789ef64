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
// waits while many jobs, or jobs of many lanes, are already waiting, so
// memory and open files stay bounded however large the tree. Jobs must not
// throw.
//
// Each job belongs to a lane, and the threads take jobs from the waiting
// lanes in turn, each lane's in the order given. On a share, creating and
// renaming a file hold its folder's lock while the server answers, so the
// files of one folder go largely one after another however many threads
// copy them: with a lane per folder, threads go to other folders instead.
class CopyWorkers {
 public:
  explicit CopyWorkers(int workers);
  // Waits for every job handed over.
  ~CopyWorkers();
  CopyWorkers(const CopyWorkers&) = delete;
  CopyWorkers& operator=(const CopyWorkers&) = delete;

  void run(std::function<void()> job, const void* lane = nullptr);
  // Returns once every job handed over so far is done.
  void finish();

 private:
  void work();

  const size_t workers_;
  std::mutex lock_;
  std::condition_variable jobReady_;  // a job waits, or the end has come
  std::condition_variable roomOrDone_;  // a job was taken or finished
  struct Lane {
    const void* key;
    std::deque<std::function<void()>> jobs;
  };
  std::deque<Lane> lanes_;  // those with jobs waiting; the next to serve first
  size_t waiting_ = 0;  // jobs in all lanes
  size_t busy_ = 0;  // jobs being run now
  bool ending_ = false;
  std::vector<std::thread> threads_;
};

// Files moved at once where a share is involved: enough to keep the line
// busy, few enough not to swamp a small office server.
constexpr int kShareCopyWorkers = 8;
