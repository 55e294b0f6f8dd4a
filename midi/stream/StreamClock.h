#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace selvik {

// The time a MIDI stream schedules against. The program uses the steady
// clock; tests supply a clock they advance by hand, so that timing is exact
// and nothing depends on how busy the machine is.
class StreamClock {
public:
    using Nanos = std::chrono::nanoseconds;
    static constexpr Nanos kForever = Nanos::max();

    virtual ~StreamClock() = default;
    virtual Nanos now() const = 0;
    // Waits on `wake` (with `lock` held on entry and exit) until now() has
    // reached `deadline` or the waiter is notified; may return early.
    virtual void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                           Nanos deadline) = 0;
    // Called (under the waiter's lock) whenever the waiter has new work, just
    // before it is notified.
    virtual void poke() {}
    // A stream announces its scheduler thread before starting it, and the
    // thread leaves when it ends, so a clock can tell when all are idle.
    virtual void attach() {}
    virtual void detach() {}
};

class SteadyStreamClock final : public StreamClock {
public:
    Nanos now() const override {
        return std::chrono::duration_cast<Nanos>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
    void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                   Nanos deadline) override {
        if (deadline == kForever) {
            wake.wait(lock);
        } else {
            wake.wait_until(lock, std::chrono::steady_clock::time_point(
                                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline)));
        }
    }
};

// The process's steady clock, shared by every stream that is not given another.
StreamClock& steadyStreamClock();

}  // namespace selvik
