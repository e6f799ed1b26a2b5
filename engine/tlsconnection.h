// One connection's TLS: a non-blocking client handshake, reads, writes and
// close_notify over a socket the node already holds.
//
// Threads: an SSL object is used only by a worker that holds its node's
// lock (every worker step runs under it), so the control worker's writes
// and the receive worker's reads and handshakes on one connection never
// overlap. No other lock is needed; the session store has its own.
#pragma once

#include <poll.h>

#include <memory>
#include <string>

#include "tlscontext.h"

typedef struct ssl_st SSL;
typedef struct x509_store_ctx_st X509_STORE_CTX;

namespace lark {

class TlsConnection {
public:
    enum Progress { Done, WantRead, WantWrite, Failed };

    // A client for `server` (the host name, or an IP literal) on `socket`,
    // resuming `resume` (may be null; the caller keeps its reference) and
    // filing new sessions in `store` (may be null). Null, with `error` set,
    // when OpenSSL cannot make one.
    static std::unique_ptr<TlsConnection> start(int socket, const std::string& server,
                                                std::shared_ptr<TlsSessionStore> store, SSL_SESSION* resume,
                                                std::string& error);
    ~TlsConnection();
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    // Moves the handshake on; Failed leaves the reason in failure().
    Progress handshake();
    bool established() const { return done; }
    // The failure would recur on every try (a rejected certificate, a peer
    // that speaks no TLS), as opposed to a connection cut mid-handshake.
    bool failurefinal() const { return final; }
    const std::string& failure() const { return reason; }

    // As receivechunk: > 0 bytes, 0 closed, -1 broken, wouldblock.
    long read(char* buffer, size_t capacity);
    // As sendsome: the count taken, 0 when it would block, -1 broken.
    long write(const char* data, size_t length);
    // Takes in what the socket holds and says whether application bytes
    // (or the end of the stream) are there to read.
    bool hasdata();
    // Decrypted or received bytes wait inside OpenSSL: the socket may poll
    // empty while a read would still return data.
    bool pending() const;
    // The socket event the last call waited for (POLLIN or POLLOUT).
    short waitevents() const { return wantwrite ? POLLOUT : POLLIN; }
    // A reference to the current session for a data connection to resume;
    // the caller frees it.
    SSL_SESSION* session() const;
    // "TLSv1.3, TLS_AES_256_GCM_SHA384", and ", resumed" for a resumed session.
    std::string description() const;
    // Sends close_notify if the socket takes it now; never waits.
    void shutdown();

private:
    TlsConnection() = default;
    Progress progress(int result, bool handshaking);

    SSL* ssl = nullptr;
    std::shared_ptr<TlsSessionStore> store;
    TlsSessionSlot slot;
    std::string server;
    std::string reason;
    std::string rejected; // why the certificate was refused, from the verify callback
    bool done = false;
    bool final = false;
    bool wantwrite = false;

    bool broken = false; // a read failed: later reads fail too
    bool closed = false; // the peer ended the stream

    static int verifycallback(int ok, X509_STORE_CTX* context);
};

// The socket's reads and writes, through `tls` when it is there.
long receiveon(int socket, TlsConnection* tls, char* buffer, size_t capacity);
long sendon(int socket, TlsConnection* tls, const char* data, size_t length);
// Readable now, counting bytes OpenSSL holds already.
bool readableon(int socket, const TlsConnection* tls);
short waiteventsof(const TlsConnection* tls);

// Sends close_notify (best effort) and frees the TLS, then closes the socket.
void closetls(std::unique_ptr<TlsConnection>& tls, int& socket);

} // namespace lark
