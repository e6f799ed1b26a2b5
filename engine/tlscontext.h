// The engine-wide TLS settings and the sessions a download's branches share.
#pragma once

#include <mutex>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_session_st SSL_SESSION;

namespace lark {

// How a node's connection is secured, from the URL's scheme.
enum class TlsMode : unsigned char {
    None = 0,     // ftp://, http://
    Implicit = 1, // https://, ftps://: TLS from the first byte
    Explicit = 2, // ftpes://: plain greeting, then AUTH TLS
};

// The client context every connection is made from: system CA store plus
// the extra CA file, peers verified unless the program said otherwise,
// TLS 1.2 at least. A reference the caller must SSL_CTX_free, or null when
// OpenSSL could not make one.
SSL_CTX* tlsclientcontext();

// Replaces the settings for connections made from now on; false (and
// nothing changed) when the CA file cannot be loaded.
bool settlscontext(const std::string& cafile, bool verify);

// What the new-session callback needs to file a session: the ex_data of
// slot tlssessionslot() of an SSL, owned by its connection.
class TlsSessionStore;
struct TlsSessionSlot {
    TlsSessionStore* store = nullptr;
    std::string server;
};
int tlssessionslot();

// The last session a download's connection to one server got, so its other
// branches resume it instead of a full handshake each. Its lock is taken
// alone, never with another.
class TlsSessionStore {
public:
    TlsSessionStore() = default;
    ~TlsSessionStore();
    TlsSessionStore(const TlsSessionStore&) = delete;
    TlsSessionStore& operator=(const TlsSessionStore&) = delete;

    // Takes its own reference.
    void remember(const std::string& server, SSL_SESSION* session);
    // A reference the caller frees, or null when none for this server.
    SSL_SESSION* recall(const std::string& server);

private:
    std::mutex lock;
    std::string server;
    SSL_SESSION* session = nullptr;
};

} // namespace lark
