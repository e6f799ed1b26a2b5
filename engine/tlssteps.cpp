// The workers' TLS steps: a handshake is a wait like any other, for the
// socket event OpenSSL asks for, under the node's lock like every step.
#include <openssl/ssl.h>

#include "tlsconnection.h"
#include "workerloop.h"

namespace lark {

namespace {
std::unique_ptr<TlsConnection>& tlsof(EngineNode& node, Link link)
{
    return link == Link::Control ? node.controltls : node.datatls;
}
} // namespace

bool starttls(EngineNode& node, Link link)
{
    std::string error;
    SSL_SESSION* resume = nullptr;
    std::shared_ptr<TlsSessionStore> store;
    if (link == Link::Control) {
        // HTTP branches resume each other's session. An FTP control
        // connection does not: vsftpd then refuses to resume its session on
        // the data connections once it has turned down the one offered.
        if (node.ishttp()) store = node.tlssessions;
        if (store) resume = store->recall(node.servername);
        node.datasessions = std::make_shared<TlsSessionStore>();
    } else if (node.controltls) {
        // A data connection resumes its control connection's session:
        // servers check that the two belong together. A TLS 1.3 ticket
        // serves once, so each one takes the newest its predecessor got.
        store = node.datasessions;
        if (store) resume = store->recall(node.servername);
        if (!resume) resume = node.controltls->session();
    }
    const int socket = link == Link::Control ? node.controlsocket : node.datasocket;
    tlsof(node, link) = TlsConnection::start(socket, node.servername, store, resume, error);
    SSL_SESSION_free(resume);
    if (!tlsof(node, link)) {
        node.fail(FailureRetry, error);
        return false;
    }
    node.lastactivity = monotonicms();
    return true;
}

bool handshakestep(EngineNode& node, WorkerContext& worker, Link link)
{
    TlsConnection& tls = *tlsof(node, link);
    const int socket = link == Link::Control ? node.controlsocket : node.datasocket;
    switch (tls.handshake()) {
    case TlsConnection::Done:
        node.log(std::string(link == Link::Control ? "TLS connected (" : "Data TLS connected (") + tls.description() +
                 ")\r\n");
        node.lastactivity = monotonicms();
        worker.refresh();
        return true;
    case TlsConnection::WantRead: worker.waitfor(socket, POLLIN); return false;
    case TlsConnection::WantWrite: worker.waitfor(socket, POLLOUT); return false;
    case TlsConnection::Failed: break;
    }
    node.fail(tls.failurefinal() ? FailureFinal : FailureRetry, tls.failure());
    worker.refresh();
    return false;
}

bool handshaking(const EngineNode& node)
{
    return (node.controltls && !node.controltls->established()) || (node.datatls && !node.datatls->established());
}

} // namespace lark
