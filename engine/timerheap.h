#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lark {

// Deadlines on the monotonic clock in milliseconds, nearest first. A worker
// waits no longer than the nearest one; a token names an entry so the state
// change that makes a deadline pointless cancels it without a search.
// Safe to use from several threads.
class TimerHeap {
public:
    using Token = uint64_t; // 0 is never handed out: "no timer"

    Token add(int64_t deadline, void* owner);
    bool cancel(Token token);
    void cancelowner(const void* owner);

    // Milliseconds from `now` to the nearest deadline (0 when one is due),
    // or -1 when none is set.
    int64_t waittime(int64_t now) const;

    struct Expired {
        Token token;
        void* owner;
    };
    // Removes and returns every entry due at `now`, earliest first.
    std::vector<Expired> expire(int64_t now);

    size_t size() const;

private:
    using Key = std::pair<int64_t, Token>;
    mutable std::mutex mutex_;
    std::map<Key, void*> ordered_;
    std::unordered_map<Token, int64_t> deadlines_;
    Token next_ = 1;
};

// Milliseconds of the monotonic clock, not truncated.
int64_t monotonicms();

} // namespace lark
