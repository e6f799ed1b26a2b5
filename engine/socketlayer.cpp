#include "socketlayer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lark {

namespace {
bool keepalive(int socket)
{
    int on = 1;
    return setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
}
} // namespace

int wait_socket(int socket, int kind, int timeoutms)
{
    if (kind != Readable && kind != Writable && kind != Failed) return 0;
    if (socket < 0) return 0;
    pollfd entry{socket, 0, 0};
    if (kind == Readable) entry.events = POLLIN;
    if (kind == Writable) entry.events = POLLOUT;
    int ready = poll(&entry, 1, timeoutms);
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    switch (kind) {
    case Readable: return (entry.revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 0;
    case Writable: return (entry.revents & POLLOUT) && !(entry.revents & POLLERR) ? 1 : 0;
    default: {
        if (entry.revents & POLLERR) return 1;
        if (entry.revents & POLLHUP) {
            int error = 0;
            socklen_t size = sizeof error;
            if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0) return 1;
        }
        return 0;
    }
    }
}

std::string socketerrortext(int socket)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    return error != 0 ? std::strerror(error) : "connection failed";
}

int open_stream_socket(int family)
{
    int socket = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0) return -1;
    if (!keepalive(socket)) {
        close(socket);
        return -1;
    }
    return socket;
}

ConnectResult connectsocket(int socket, const SocketAddress& address, std::string* reason)
{
    int error = EBADF;
    if (socket >= 0 && !address.empty()) {
        if (::connect(socket, address.get(), address.length) == 0) return ConnectStarted;
        error = errno;
        if (error == EINPROGRESS || error == EALREADY || error == EINTR) return ConnectStarted;
    }
    if (reason) *reason = std::strerror(error);
    return ConnectFailed;
}

long sendsome(int socket, const char* data, size_t length)
{
    if (length == 0) return 0;
    ssize_t sent = send(socket, data, length, MSG_NOSIGNAL);
    if (sent >= 0) return sent;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

long receivechunk(int socket, char* buffer, size_t capacity)
{
    ssize_t got;
    do {
        got = recv(socket, buffer, capacity, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return wouldblock;
    return got;
}

bool localaddress(int socket, SocketAddress& address)
{
    sockaddr_storage local{};
    socklen_t size = sizeof local;
    return getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
           address.assign(reinterpret_cast<const sockaddr*>(&local), size);
}

int openlistener(int controlsocket)
{
    SocketAddress address;
    if (!localaddress(controlsocket, address)) return -1;
    address.setport(0);
    int listener = open_stream_socket(address.family());
    if (listener < 0) return -1;
    if (bind(listener, address.get(), address.length) != 0 || listen(listener, 5) != 0) {
        close(listener);
        return -1;
    }
    return listener;
}

int acceptconnection(int listener)
{
    int socket = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (socket < 0) return -1;
    keepalive(socket); // a connection without keep-alive still works
    return socket;
}

void closehandle(int& handle)
{
    if (handle < 0) return;
    close(handle); // the descriptor is gone whatever close reports
    handle = -1;
}

std::string chunktext(const char* buffer, size_t length)
{
    const void* nul = std::memchr(buffer, 0, length);
    size_t textlength = nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : length;
    return std::string(buffer, textlength);
}

} // namespace lark
