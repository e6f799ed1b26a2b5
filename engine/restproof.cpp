#include "restproof.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lark {

RestProof::State RestProof::state()
{
    std::lock_guard<std::mutex> guard(lock);
    return current;
}

bool RestProof::addsample(int64_t at, const char* data, size_t length)
{
    std::lock_guard<std::mutex> guard(lock);
    if (current != Unknown) return true;
    if (offset < 0) offset = at;
    size_t take = std::min(length, samplesize - sample.size());
    sample.append(data, take);
    if (sample.size() < samplesize) return false;
    current = Sampled;
    return true;
}

void RestProof::sealsample()
{
    std::lock_guard<std::mutex> guard(lock);
    if (current == Unknown && !sample.empty()) current = Sampled;
}

RestProof::State RestProof::check(int fd, int64_t begin, int64_t end)
{
    std::lock_guard<std::mutex> guard(lock);
    if (current != Sampled || begin > offset || end < offset + static_cast<int64_t>(sample.size())) return current;
    std::string disk(sample.size(), '\0');
    size_t got = 0;
    while (got < disk.size()) {
        ssize_t n = pread(fd, disk.data() + got, disk.size() - got, offset + static_cast<int64_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return current; // unreadable: stays open for another stream
        got += static_cast<size_t>(n);
    }
    current = disk == sample ? Proven : Disproven;
    sample.clear();
    return current;
}

void RestProof::settle(bool honoured)
{
    std::lock_guard<std::mutex> guard(lock);
    if (current == Proven || current == Disproven) return;
    current = honoured ? Proven : Disproven;
    sample.clear();
}

} // namespace lark
