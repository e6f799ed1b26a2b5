#pragma once

namespace lark {

// Wakes a worker that waits in poll() for its sockets: an eventfd that
// becomes readable when anyone changes a node the worker serves.
class Waker {
public:
    Waker();
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    void wake();
    void drain();
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace lark
