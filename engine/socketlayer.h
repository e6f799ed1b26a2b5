// Non-blocking sockets for the workers: nothing here ever waits unless the
// caller asks for a time-out, and no call can raise SIGPIPE.
#pragma once

#include <cstddef>
#include <string>

#include "socketaddress.h"

namespace lark {

enum SocketKind { Readable = 1, Writable = 2, Failed = 3 };

// 1 when the socket is ready in the way `kind` asks, 0 when not within the
// time-out, -1 when the wait itself failed. A peer's close counts as
// readable; any other kind returns 0 at once.
int wait_socket(int socket, int kind, int timeoutms);

// A non-blocking stream socket of `family` (AF_INET, AF_INET6) with
// keep-alive on, or -1.
int open_stream_socket(int family);

enum ConnectResult { ConnectStarted, ConnectFailed };
// A failure at once (no route, say) leaves its reason in `reason`.
ConnectResult connectsocket(int socket, const SocketAddress& address, std::string* reason = nullptr);

// Sends what the socket takes now; returns the count sent, 0 when it would
// block, -1 when the connection is broken.
long sendsome(int socket, const char* data, size_t length);

constexpr long wouldblock = -2;

// One receive of at most `capacity` bytes: > 0 bytes, 0 closed, -1 error,
// `wouldblock` when nothing was there after all.
long receivechunk(int socket, char* buffer, size_t capacity);

// A listener for an active-mode data connection on the local address of
// the control connection, port chosen by the system; -1 on failure.
int openlistener(int controlsocket);

// Accepts one connection as a non-blocking, keep-alive socket, or -1.
int acceptconnection(int listener);

bool localaddress(int socket, SocketAddress& address);

// Why a socket's connect failed ("Connection refused"), from SO_ERROR.
std::string socketerrortext(int socket);

// Closes a socket or file the node holds, and forgets it.
void closehandle(int& handle);

// The text of a received chunk: up to its first NUL byte or its end.
std::string chunktext(const char* buffer, size_t length);

} // namespace lark
