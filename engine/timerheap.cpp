#include "timerheap.h"

#include <time.h>

namespace lark {

int64_t monotonicms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

TimerHeap::Token TimerHeap::add(int64_t deadline, void* owner)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Token token = next_++;
    ordered_.emplace(Key{deadline, token}, owner);
    deadlines_.emplace(token, deadline);
    return token;
}

bool TimerHeap::cancel(Token token)
{
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = deadlines_.find(token);
    if (found == deadlines_.end()) return false;
    ordered_.erase(Key{found->second, token});
    deadlines_.erase(found);
    return true;
}

void TimerHeap::cancelowner(const void* owner)
{
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto entry = ordered_.begin(); entry != ordered_.end();) {
        if (entry->second == owner) {
            deadlines_.erase(entry->first.second);
            entry = ordered_.erase(entry);
        } else {
            ++entry;
        }
    }
}

int64_t TimerHeap::waittime(int64_t now) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (ordered_.empty()) return -1;
    int64_t wait = ordered_.begin()->first.first - now;
    return wait > 0 ? wait : 0;
}

std::vector<TimerHeap::Expired> TimerHeap::expire(int64_t now)
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<Expired> due;
    while (!ordered_.empty() && ordered_.begin()->first.first <= now) {
        auto first = ordered_.begin();
        due.push_back(Expired{first->first.second, first->second});
        deadlines_.erase(first->first.second);
        ordered_.erase(first);
    }
    return due;
}

size_t TimerHeap::size() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return ordered_.size();
}

} // namespace lark
