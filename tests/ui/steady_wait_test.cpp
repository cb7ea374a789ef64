#include "ui/steady_wait.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(SteadyWait, ASpanWithoutWakeupEndsAfterTheSpanWithThePredicatesAnswer) {
  std::mutex lock;
  std::condition_variable condition;
  std::unique_lock<std::mutex> hold(lock);
  // Longer than one slice: the wait goes on through several.
  auto start = Clock::now();
  EXPECT_FALSE(steady_wait::waitFor(condition, hold, milliseconds(180), [] { return false; }));
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, milliseconds(180));
  EXPECT_LT(waited, milliseconds(180 + 1000));
}

TEST(SteadyWait, ANotifiedPredicateEndsTheWaitAtOnce) {
  std::mutex lock;
  std::condition_variable condition;
  bool stop = false;
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(20));
    std::lock_guard<std::mutex> guard(lock);
    stop = true;
    condition.notify_all();
  });
  std::unique_lock<std::mutex> hold(lock);
  auto start = Clock::now();
  EXPECT_TRUE(steady_wait::waitFor(condition, hold, std::chrono::seconds(30), [&] { return stop; }));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  hold.unlock();
  stopper.join();
}

TEST(SteadyWait, APredicateTrueFromTheStartWaitsNotAtAll) {
  std::mutex lock;
  std::condition_variable condition;
  std::unique_lock<std::mutex> hold(lock);
  auto start = Clock::now();
  EXPECT_TRUE(steady_wait::waitFor(condition, hold, std::chrono::seconds(30), [] { return true; }));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST(SteadyWait, OneWaitEndsAfterItsSpanOrANotification) {
  std::mutex lock;
  std::condition_variable condition;
  std::unique_lock<std::mutex> hold(lock);
  auto start = Clock::now();
  steady_wait::waitOnce(condition, hold, milliseconds(30));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
