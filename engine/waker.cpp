#include "waker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace lark {

Waker::Waker() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Waker::~Waker()
{
    if (fd_ >= 0) close(fd_);
}

void Waker::wake()
{
    if (fd_ < 0) return;
    uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can go wrong.
    [[maybe_unused]] ssize_t written = write(fd_, &one, sizeof one);
}

void Waker::drain()
{
    if (fd_ < 0) return;
    uint64_t count;
    [[maybe_unused]] ssize_t got = read(fd_, &count, sizeof count);
}

} // namespace lark
