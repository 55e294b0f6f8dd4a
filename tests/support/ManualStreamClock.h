#pragma once

// A stream clock that only moves when the test says so. advance() moves the
// time on and then waits until every attached stream thread has done all the
// work that time made due and is waiting again for a later moment (or for new
// buffers), so each step of a test sees a settled stream.

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "midi/stream/StreamClock.h"

namespace selvik::testing_support {

class ManualStreamClock final : public selvik::StreamClock {
public:
    Nanos now() const override {
        std::lock_guard guard(lock_);
        return now_;
    }

    void waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                   Nanos deadline) override {
        const auto self = std::this_thread::get_id();
        {
            std::lock_guard guard(lock_);
            Waiter& waiter = waiters_[self];
            if (waiter.poked || now_ >= deadline) {
                waiter.poked = false;
                waiter.waiting = false;
                return;
            }
            waiter.waiting = true;
            waiter.deadline = deadline;
        }
        // Real time only paces the polling; the clock's time does not move.
        wake.wait_for(lock, std::chrono::milliseconds(1));
        std::lock_guard guard(lock_);
        waiters_[self].waiting = false;
    }

    void poke() override {
        std::lock_guard guard(lock_);
        for (auto& [id, waiter] : waiters_) {
            waiter.poked = true;
            waiter.waiting = false;
        }
    }

    void attach() override {
        std::lock_guard guard(lock_);
        ++attached_;
    }

    void detach() override {
        std::lock_guard guard(lock_);
        waiters_.erase(std::this_thread::get_id());
        --attached_;
    }

    // Moves the time on by `step` and waits until the streams have settled.
    // False when they have not settled within a generous real-time limit.
    bool advance(Nanos step) {
        // What is due now happens now, before the time moves on.
        if (!settle()) return false;
        {
            std::lock_guard guard(lock_);
            now_ += step;
        }
        return settle();
    }
    bool advanceTo(Nanos time) {
        if (!settle()) return false;
        {
            std::lock_guard guard(lock_);
            if (time > now_) now_ = time;
        }
        return settle();
    }

    bool settle() {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < limit) {
            {
                std::lock_guard guard(lock_);
                bool idle = static_cast<int>(waiters_.size()) == attached_;
                for (const auto& [id, waiter] : waiters_) {
                    idle = idle && waiter.waiting && waiter.deadline > now_;
                }
                if (idle) return true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        return false;
    }

private:
    struct Waiter {
        bool waiting = false;
        bool poked = false;
        Nanos deadline{0};
    };

    mutable std::mutex lock_;
    Nanos now_{0};
    std::map<std::thread::id, Waiter> waiters_;
    int attached_ = 0;
};

}  // namespace selvik::testing_support
