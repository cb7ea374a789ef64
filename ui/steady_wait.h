#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

// Waits on a condition variable for a span of the steady clock, as
// std::condition_variable::wait_for does, without asking the C library for
// more than glibc 2.28 has ("Linux programs for older desktops" in
// docs/design.md; tests/linux/symbols_test.sh).
//
// libstdc++ built on glibc 2.30 or newer makes every wait on the steady clock
// a call of pthread_cond_clockwait (GLIBC_2.30), which the oldest desktops the
// Linux program is for lack, so the program would not start there. A wait on
// the system clock is pthread_cond_timedwait, in every glibc. So the span is
// measured here on the steady clock and waited for on the system clock in
// slices of at most kSlice: the span ends when it would have, and a step of
// the system clock at most stretches or shortens the one slice it falls in.
namespace steady_wait {

inline constexpr std::chrono::milliseconds kSlice{50};

// Returns pred() at the end, as the library's wait_for does.
template <typename Rep, typename Period, typename Predicate>
bool waitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& hold,
             std::chrono::duration<Rep, Period> span, Predicate pred) {
  const auto deadline = std::chrono::steady_clock::now() + span;
  while (!pred()) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= left.zero()) return pred();
    auto slice = std::min<std::chrono::steady_clock::duration>(left, kSlice);
    condition.wait_until(hold, std::chrono::system_clock::now() + slice);
  }
  return true;
}

// One wait of at most span (a wakeup or the end of the span), as the
// library's wait_for without a predicate.
template <typename Rep, typename Period>
void waitOnce(std::condition_variable& condition, std::unique_lock<std::mutex>& hold,
              std::chrono::duration<Rep, Period> span) {
  condition.wait_until(hold, std::chrono::system_clock::now() + span);
}

}  // namespace steady_wait
