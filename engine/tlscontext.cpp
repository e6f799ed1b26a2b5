#include "tlscontext.h"

#include <openssl/ssl.h>

#include "lark.h"

namespace lark {

namespace {
struct Settings {
    std::mutex lock;
    SSL_CTX* context = nullptr; // made on first use, remade when settings change
    std::string cafile;
    bool verify = true;
};

Settings& settings()
{
    static Settings one;
    return one;
}

// A client that found a new session (TLS 1.3 sends them after the
// handshake) files it for the download's other connections.
int newsession(SSL* ssl, SSL_SESSION* session)
{
    auto* slot = static_cast<TlsSessionSlot*>(SSL_get_ex_data(ssl, tlssessionslot()));
    if (slot && slot->store) slot->store->remember(slot->server, session);
    return 0; // the store took its own reference
}

constexpr size_t readbuffer = 256 * 1024;

SSL_CTX* makecontext(const std::string& cafile, bool verify)
{
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) return nullptr;
    bool ok =
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 && SSL_CTX_set_default_verify_paths(context) == 1;
    if (ok && !cafile.empty()) ok = SSL_CTX_load_verify_locations(context, cafile.c_str(), nullptr) == 1;
    if (!ok) {
        SSL_CTX_free(context);
        return nullptr;
    }
    SSL_CTX_set_verify(context, verify ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    // Sends may be cut and continued from a moved buffer; a server that
    // closes without close_notify ends the stream like a plain close does
    // (the range end and the FTP reply say whether it was complete).
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_clear_mode(context, SSL_MODE_RELEASE_BUFFERS);
    // Records are taken from the socket in large reads, not two calls each.
    SSL_CTX_set_read_ahead(context, 1);
    SSL_CTX_set_default_read_buffer_len(context, readbuffer);
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, newsession);
    return context;
}
} // namespace

int tlssessionslot()
{
    static const int slot = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return slot;
}

SSL_CTX* tlsclientcontext()
{
    Settings& s = settings();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.context) s.context = makecontext(s.cafile, s.verify);
    if (s.context) SSL_CTX_up_ref(s.context);
    return s.context;
}

bool settlscontext(const std::string& cafile, bool verify)
{
    SSL_CTX* fresh = makecontext(cafile, verify);
    if (!fresh) return false;
    Settings& s = settings();
    std::lock_guard<std::mutex> guard(s.lock);
    // Live connections hold their own reference to the old one.
    SSL_CTX_free(s.context);
    s.context = fresh;
    s.cafile = cafile;
    s.verify = verify;
    return true;
}

TlsSessionStore::~TlsSessionStore()
{
    SSL_SESSION_free(session);
}

void TlsSessionStore::remember(const std::string& name, SSL_SESSION* fresh)
{
    if (!fresh || SSL_SESSION_is_resumable(fresh) != 1) return;
    SSL_SESSION_up_ref(fresh);
    std::lock_guard<std::mutex> guard(lock);
    SSL_SESSION_free(session);
    session = fresh;
    server = name;
}

SSL_SESSION* TlsSessionStore::recall(const std::string& name)
{
    std::lock_guard<std::mutex> guard(lock);
    if (!session || server != name) return nullptr;
    SSL_SESSION_up_ref(session);
    return session;
}

unsigned settlsoptions(std::string cafile, int verify)
{
    return settlscontext(cafile, verify != 0) ? StatusOk : StatusWrongState;
}

} // namespace lark
