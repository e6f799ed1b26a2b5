#include "tlsconnection.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>

#include "socketlayer.h"

namespace lark {

namespace {
// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a
// connection the peer has closed; this one sends with MSG_NOSIGNAL.
int bioread(BIO* bio, char* buffer, int size)
{
    BIO_clear_retry_flags(bio);
    const int socket = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    ssize_t got;
    do {
        got = recv(socket, buffer, static_cast<size_t>(size), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_read(bio);
    return static_cast<int>(got);
}

int biowrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    const int socket = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    ssize_t sent;
    do {
        sent = send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

long bioctrl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int biocreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

BIO* socketbio(int socket)
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "lark socket");
        if (m && (BIO_meth_set_read(m, bioread) != 1 || BIO_meth_set_write(m, biowrite) != 1 ||
                  BIO_meth_set_ctrl(m, bioctrl) != 1 || BIO_meth_set_create(m, biocreate) != 1)) {
            BIO_meth_free(m);
            m = nullptr;
        }
        return m;
    }();
    if (!method) return nullptr;
    BIO* bio = BIO_new(method);
    if (bio) BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(socket)));
    return bio;
}

int connectionslot()
{
    static const int slot = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return slot;
}

std::string asn1text(const ASN1_STRING* text)
{
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                       static_cast<size_t>(ASN1_STRING_length(text)));
}

// The names a certificate is for: its subject alternative names, else its
// common name.
std::string certificatenames(X509* certificate)
{
    std::string names;
    auto add = [&](const std::string& name) {
        if (names.size() < 200) names += (names.empty() ? "" : ", ") + name;
    };
    auto* alternatives =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alternatives && i < sk_GENERAL_NAME_num(alternatives); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives, i);
        if (name->type == GEN_DNS) {
            add(asn1text(name->d.dNSName));
        } else if (name->type == GEN_IPADD) {
            const int length = ASN1_STRING_length(name->d.iPAddress);
            char text[INET6_ADDRSTRLEN] = "";
            if ((length == 4 || length == 16) && inet_ntop(length == 4 ? AF_INET : AF_INET6,
                                                           ASN1_STRING_get0_data(name->d.iPAddress), text, sizeof text))
                add(text);
        }
    }
    GENERAL_NAMES_free(alternatives);
    if (names.empty()) {
        char common[256] = "";
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common, sizeof common) > 0)
            add(common);
    }
    return names.empty() ? std::string("no name") : names;
}

std::string verifytext(int error, X509* certificate, const std::string& server)
{
    switch (error) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "certificate is for " + (certificate ? certificatenames(certificate) : std::string("another host")) +
               ", not " + server;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT: return "self-signed certificate";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        return "certificate issuer not trusted (unable to get local issuer certificate)";
    default: return X509_verify_cert_error_string(error);
    }
}

bool isipliteral(const std::string& server)
{
    unsigned char address[16];
    return inet_pton(AF_INET, server.c_str(), address) == 1 || inet_pton(AF_INET6, server.c_str(), address) == 1;
}

std::string lasterror(const char* fallback)
{
    unsigned long code = ERR_peek_last_error();
    const char* text = code ? ERR_reason_error_string(code) : nullptr;
    return text ? std::string(text) : std::string(fallback);
}
} // namespace

int TlsConnection::verifycallback(int ok, X509_STORE_CTX* context)
{
    if (ok) return ok;
    SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(context, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* self = ssl ? static_cast<TlsConnection*>(SSL_get_ex_data(ssl, connectionslot())) : nullptr;
    if (self && self->rejected.empty())
        self->rejected =
            verifytext(X509_STORE_CTX_get_error(context), X509_STORE_CTX_get_current_cert(context), self->server);
    return ok;
}

std::unique_ptr<TlsConnection> TlsConnection::start(int socket, const std::string& server,
                                                    std::shared_ptr<TlsSessionStore> store, SSL_SESSION* resume,
                                                    std::string& error)
{
    std::unique_ptr<TlsConnection> tls(new TlsConnection);
    tls->server = server;
    tls->store = std::move(store);
    tls->slot = TlsSessionSlot{tls->store.get(), server};
    SSL_CTX* context = tlsclientcontext();
    tls->ssl = context ? SSL_new(context) : nullptr;
    SSL_CTX_free(context); // the SSL holds its own reference
    BIO* bio = tls->ssl ? socketbio(socket) : nullptr;
    if (!bio) {
        error = "no TLS for the connection: " + lasterror("out of memory");
        return nullptr;
    }
    SSL_set_bio(tls->ssl, bio, bio);
    SSL_set_ex_data(tls->ssl, connectionslot(), tls.get());
    SSL_set_ex_data(tls->ssl, tlssessionslot(), &tls->slot);
    SSL_set_verify(tls->ssl, SSL_get_verify_mode(tls->ssl), verifycallback);
    const bool literal = isipliteral(server);
    // A name goes in SNI and is matched against the certificate; an address
    // is matched as an address and never sent as a name.
    bool ok = literal ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls->ssl), server.c_str()) == 1
                      : SSL_set_tlsext_host_name(tls->ssl, server.c_str()) == 1 &&
                            SSL_set1_host(tls->ssl, server.c_str()) == 1;
    if (ok && resume) ok = SSL_set_session(tls->ssl, resume) == 1;
    if (!ok) {
        error = "no TLS for the connection: " + lasterror("bad server name");
        return nullptr;
    }
    SSL_set_connect_state(tls->ssl);
    return tls;
}

TlsConnection::~TlsConnection()
{
    SSL_free(ssl);
}

TlsConnection::Progress TlsConnection::progress(int result, bool handshaking)
{
    switch (SSL_get_error(ssl, result)) {
    case SSL_ERROR_WANT_READ: wantwrite = false; return WantRead;
    case SSL_ERROR_WANT_WRITE: wantwrite = true; return WantWrite;
    case SSL_ERROR_SSL:
        final = true;
        reason = !rejected.empty() ? rejected
                 : handshaking     ? "TLS handshake failed: " + lasterror("protocol error")
                                   : "TLS error: " + lasterror("protocol error");
        return Failed;
    default: // the peer closed or reset the connection
        final = false;
        reason = handshaking ? "connection closed during the TLS handshake" : "connection lost";
        return Failed;
    }
}

TlsConnection::Progress TlsConnection::handshake()
{
    if (done) return Done;
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl);
    if (result == 1) {
        done = true;
        return Done;
    }
    return progress(result, true);
}

long TlsConnection::read(char* buffer, size_t capacity)
{
    if (broken) return -1;
    if (closed) return 0;
    size_t total = 0;
    // One call returns one record (16 KiB at most); taking all the socket
    // holds in one go saves the polls between them.
    while (total < capacity) {
        size_t got = 0;
        ERR_clear_error();
        const int result = SSL_read_ex(ssl, buffer + total, capacity - total, &got);
        if (result == 1) {
            total += got;
            continue;
        }
        const int error = SSL_get_error(ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN)
            closed = true;
        else if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            broken = true;
        else
            wantwrite = error == SSL_ERROR_WANT_WRITE;
        break;
    }
    if (total > 0) return static_cast<long>(total);
    if (closed) return 0;
    return broken ? -1 : wouldblock;
}

long TlsConnection::write(const char* data, size_t length)
{
    if (length == 0) return 0;
    size_t sent = 0;
    ERR_clear_error();
    const int result = SSL_write_ex(ssl, data, length, &sent);
    if (result == 1) return static_cast<long>(sent);
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        wantwrite = error == SSL_ERROR_WANT_WRITE;
        return 0;
    }
    return -1;
}

bool TlsConnection::hasdata()
{
    if (broken || closed) return true;
    char byte;
    size_t got = 0;
    ERR_clear_error();
    const int result = SSL_peek_ex(ssl, &byte, 1, &got);
    if (result == 1) return true;
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        wantwrite = error == SSL_ERROR_WANT_WRITE;
        return false;
    }
    if (error == SSL_ERROR_ZERO_RETURN)
        closed = true;
    else
        broken = true;
    return true;
}

bool TlsConnection::pending() const
{
    return closed || broken || SSL_has_pending(ssl) == 1;
}

SSL_SESSION* TlsConnection::session() const
{
    return SSL_get1_session(ssl);
}

std::string TlsConnection::description() const
{
    std::string text = std::string(SSL_get_version(ssl)) + ", " + SSL_get_cipher_name(ssl);
    return SSL_session_reused(ssl) == 1 ? text + ", resumed" : text;
}

void TlsConnection::shutdown()
{
    if (!done || broken) return;
    ERR_clear_error();
    SSL_shutdown(ssl); // one try: a peer that does not answer is not waited for
}

long receiveon(int socket, TlsConnection* tls, char* buffer, size_t capacity)
{
    return tls ? tls->read(buffer, capacity) : receivechunk(socket, buffer, capacity);
}

long sendon(int socket, TlsConnection* tls, const char* data, size_t length)
{
    return tls ? tls->write(data, length) : sendsome(socket, data, length);
}

bool readableon(int socket, const TlsConnection* tls)
{
    if (tls && tls->established() && tls->pending()) return true;
    return wait_socket(socket, Readable, 0) == 1;
}

short waiteventsof(const TlsConnection* tls)
{
    return tls ? tls->waitevents() : POLLIN;
}

void closetls(std::unique_ptr<TlsConnection>& tls, int& socket)
{
    if (tls && socket >= 0) tls->shutdown();
    tls.reset();
    closehandle(socket);
}

} // namespace lark
