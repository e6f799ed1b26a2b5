#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lark {

// A manual-reset event: once set, every wait returns until it is reset.
class ManualEvent {
public:
    void set()
    {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            signalled_ = true;
        }
        changed_.notify_all();
    }

    void reset()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = false;
    }

    bool isset() const
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return signalled_;
    }

    void wait()
    {
        std::unique_lock<std::mutex> guard(mutex_);
        changed_.wait(guard, [this] { return signalled_; });
    }

    // True when the event was set within the time-out.
    bool waitfor(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, timeout, [this] { return signalled_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

} // namespace lark
