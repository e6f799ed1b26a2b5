// The receive worker does everything that waits for the peer: it sees
// connects complete, reads FTP replies and HTTP headers and bodies, accepts
// and reads data connections, and writes file bytes at the branch's own
// offsets. It reads a readable connection until it is empty or has given
// its share of a pass, so the branches of all downloads take turns.
//
// No byte is written whose position is not proven: an HTTP body only after
// its status (and, for a range, its Content-Range) matched the request, an
// FTP resumed retrieval only after the server confirmed the restart.

#include <algorithm>
#include <cstdlib>

#include "addressattempts.h"
#include "filewrite.h"
#include "ftprestart.h"
#include "httpreply.h"
#include "logprefixes.h"
#include "replyparsers.h"
#include "socketlayer.h"
#include "tlsconnection.h"
#include "urlparse.h"
#include "workerloop.h"

namespace lark {

namespace {
constexpr size_t maxheader = 65536;      // an HTTP response header
constexpr size_t maxlisting = 64u << 20; // a directory listing
const std::string authtls = "AUTH TLS\r\n";
// After the handshake, before the login: data connections in TLS too.
const std::string protectdata = "PBSZ 0\r\nPROT P\r\n";

bool readable(int socket)
{
    return wait_socket(socket, Readable, 0) == 1;
}

bool failed(int socket)
{
    return wait_socket(socket, Failed, 0) == 1;
}

// The server ended the control connection (a 421, a close). Once it has
// announced a retrieval, the data connection may still carry bytes it sent
// before: the two connections keep no order between them, so those are
// read to the data connection's end before the node fails.
void controlended(EngineNode& node, const std::string& reason)
{
    const DataState data = node.datastate;
    const bool transferring =
        !node.ishttp() && node.filedata && node.downstarted && node.dataexpected && replyhasline(node.replytext, "1") &&
        (data == DataState::Connecting || data == DataState::Connected || data == DataState::Reading);
    if (!transferring) return node.fail(FailureRetry, reason);
    node.log(reason + "\r\n");
    node.controlend = reason;
}

// A complete FTP reply: a refusal ends the node, a login refusal for good.
void finishreply(EngineNode& node)
{
    const std::string line = finalreplyline(node.replytext);
    const bool login = node.lastcommand.compare(0, 5, "pass ") == 0 || node.lastcommand.compare(0, 5, "user ") == 0;
    if (login && line.compare(0, 1, "5") == 0) {
        node.replytext.clear();
        return node.fail(FailureFinal, "login refused: " + line);
    }
    if (node.lastcommand == authtls) {
        node.replytext.clear();
        if (line.compare(0, 3, "234") != 0) return node.fail(FailureFinal, "the server does not offer TLS: " + line);
        starttls(node, Link::Control); // the handshake runs from the next visit
        return;
    }
    if (ServerRejected(node.replytext, 1, node.lastcommand)) {
        node.replytext.clear();
        node.log("server rejected\r\n");
        // A 5xx is a permanent refusal; a 4xx may pass.
        return node.fail(line.compare(0, 1, "5") == 0 ? FailureFinal : FailureRetry, "the server refused: " + line);
    }
    if (line.compare(0, 3, "421") == 0) return controlended(node, "the server closes the connection: " + line);
    if (node.dataexpected) {
        // A preliminary reply: the end of the data connection moves on.
    } else if (node.notifystate != NotifyState::None) {
        notify(node, node.replytext);
    } else {
        node.state = ControlState::Ready;
        node.replytext.clear();
    }
}

// The control connection is in TLS now.
void controlsecured(EngineNode& node)
{
    if (node.ishttp()) {
        node.state = ControlState::Ready;
        return;
    }
    node.commandqueue.insert(0, protectdata);
    if (node.state == ControlState::ReadReply) { // after AUTH TLS; an implicit one awaits the greeting
        node.replytext.clear();
        node.state = ControlState::Ready;
    }
}

// Returns the bytes read this time (0 when none came).
long readreply(EngineNode& node, WorkerContext& worker, char* buffer)
{
    if (!readableon(node.controlsocket, node.controltls.get())) {
        worker.waitfor(node.controlsocket, POLLIN);
        if (node.ishttp() || !replycomplete(node.replytext)) return 0;
        finishreply(node);
        if (handshaking(node)) worker.refresh(); // AUTH TLS taken: the client speaks first
        return 0;
    }

    long n = receiveon(node.controlsocket, node.controltls.get(), buffer, receivebuffersize);
    if (n == wouldblock) {
        worker.waitfor(node.controlsocket, waiteventsof(node.controltls.get()));
        return 0;
    }
    if (n == 0) {
        // A last reply that came with the close names the reason better.
        if (!node.ishttp() && replycomplete(node.replytext)) finishreply(node);
        if (node.controlend.empty() && node.state != ControlState::Close)
            controlended(node, "connection closed by server");
        return 0;
    }
    if (n < 0) {
        controlended(node, "connection lost: " + socketerrortext(node.controlsocket));
        return 0;
    }
    node.lastactivity = monotonicms();
    size_t before = node.replytext.size();
    if (!node.ishttp()) {
        std::string text = chunktext(buffer, static_cast<size_t>(n));
        appendreplytext(node.replytext, text);
        node.log(logreceived + text + "\r\n");
        worker.refresh();
        if (checkreply(node.replytext) == ReplyTooLong) node.fail(FailureFinal, "reply too long");
        return n;
    }
    if (!node.headerskipped) {
        std::string text = chunktext(buffer, static_cast<size_t>(n));
        node.replytext += text;
        size_t cut = text.find("\r\n\r\n");
        if (cut == std::string::npos) cut = text.find("\n\n");
        node.log(logreceived + (cut == std::string::npos ? text : text.substr(0, cut)) + "\r\n");
    }
    worker.refresh();

    size_t end = node.headerskipped ? std::string::npos : headerend(node.replytext);
    if (!node.headerskipped) {
        std::string header = node.replytext.substr(0, std::min(end, node.replytext.size()));
        if ((end == std::string::npos ? node.replytext.size() : end) > maxheader || toomanyheaderlines(header)) {
            node.fail(FailureFinal, "response header too long");
            return n;
        }
        if (end == std::string::npos) return n;
        std::string newpath, newfilename;
        int status = 0;
        if (parseresponseheader(header, node.ftppathfile, newpath, status, newfilename) == 0 &&
            node.lastcommand.find("\r\n") != std::string::npos) {
            // A reference without a scheme ("//host/x") keeps the one it came over.
            std::string location;
            if (node.tlsmode != TlsMode::None && headerfield(header, "Location", location) &&
                location.compare(0, 2, "//") == 0 && newpath.compare(0, 5, "http:") == 0)
                newpath = "https:" + newpath.substr(5);
            followredirect(node, newpath, newfilename);
            return n;
        }
    }
    if (node.downstarted) {
        size_t bodystart = 0;
        if (!node.headerskipped) bodystart = end > before ? end - before : 0;
        if (bodystart > static_cast<size_t>(n)) bodystart = static_cast<size_t>(n);
        httpbody(node, buffer, static_cast<size_t>(n), bodystart);
    } else {
        node.replytext = crlflines(node.replytext.substr(0, end));
        node.state = ControlState::Close;
    }
    return n;
}

void winddown(EngineNode& node)
{
    if (!node.controlend.empty()) node.fail(FailureRetry, node.controlend);
    const int64_t end = node.filepointer[EndOffset];
    if (node.downstarted && node.filedata && end != 0 && node.filepointer[WriteOffset] < end &&
        node.state != ControlState::Close)
        node.fail(FailureRetry, "the data connection closed before the end of the range");
    node.closedata();
    closehandle(node.listensocket);
    node.datastate = DataState::Idle;
    // A Close set earlier (a refusal, a disconnect) is never undone here.
    if (node.state != ControlState::Close)
        node.state =
            node.replytext.find("226 ") != std::string::npos ? ControlState::ReadReply : ControlState::AwaitReply;
    node.dataexpected = 0;
    node.log("Data closed\r\n");
    node.filename.clear();
    node.filedata = 0;
    closehandle(node.localfile);
    node.datatext.clear();
    if (node.downstarted) node.state = ControlState::Close;
}

void readdata(EngineNode& node, WorkerContext& worker, char* buffer)
{
    for (size_t taken = 0; taken < receivebudget;) {
        long n = receiveon(node.datasocket, node.datatls.get(), buffer, receivebuffersize);
        if (n == wouldblock) {
            worker.waitfor(node.datasocket, waiteventsof(node.datatls.get()));
            return;
        }
        if (n <= 0) {
            if (issample(node))
                takesample(node, buffer, 0, true);
            else if (node.notifystate != NotifyState::None)
                notify(node, node.datatext);
            else
                winddown(node);
            return;
        }
        worker.refresh();
        node.lastactivity = monotonicms();
        taken += static_cast<size_t>(n);
        if (issample(node)) {
            takesample(node, buffer, static_cast<size_t>(n), false);
            if (node.state == ControlState::Close) return;
            continue;
        }
        if (node.filedata) {
            writefilebytes(node, buffer, static_cast<size_t>(n), node.resumeenable != 0);
            if (node.state == ControlState::Close) return;
            continue;
        }
        node.datatext += chunktext(buffer, static_cast<size_t>(n));
        if (node.datatext.size() > maxlisting) return node.fail(FailureFinal, "listing too long");
    }
}
} // namespace

void receivestep(EngineNode& node, WorkerContext& worker)
{
    char* buffer = worker.buffer.get();
    if (node.controltls && !node.controltls->established() && node.state != ControlState::Close) {
        if (handshakestep(node, worker, Link::Control)) controlsecured(node);
        return;
    }
    if (!node.controlend.empty()) return; // only the data connection is left
    switch (node.state) {
    case ControlState::Connecting:
        if (failed(node.controlsocket)) {
            // A refused or unreachable address moves on to the next one, or
            // ends the node instead of leaving it connecting for ever. A
            // fresh socket for the next try: a second connect on this one
            // only returns the pending error.
            const std::string reason = socketerrortext(node.controlsocket);
            if (nextaddress(node, reason)) {
                worker.refresh();
                break;
            }
            node.fail(FailureRetry, "could not connect to the server: " + reason);
            node.closecontrol();
        } else if (node.tlsmode == TlsMode::Implicit && !node.controltls) {
            if (wait_socket(node.controlsocket, Writable, 0) != 1) {
                worker.waitfor(node.controlsocket, POLLOUT);
            } else {
                addressconnected(node);
                if (starttls(node, Link::Control)) worker.refresh();
            }
        } else if (node.ishttp()) {
            if (wait_socket(node.controlsocket, Writable, 0) == 1) {
                addressconnected(node);
                node.state = ControlState::Ready;
                worker.refresh();
            } else {
                worker.waitfor(node.controlsocket, POLLOUT);
            }
        } else if (readableon(node.controlsocket, node.controltls.get())) {
            addressconnected(node);
            node.state = ControlState::ReadReply;
            if (node.tlsmode == TlsMode::Explicit) node.commandqueue.insert(0, authtls);
            worker.refresh();
        } else {
            worker.waitfor(node.controlsocket, POLLIN);
        }
        break;
    case ControlState::Ready:
        if (node.ishttp()) break;
        // Only text the server sent unasked counts: TLS records without
        // any (the session tickets after a handshake) leave the node ready.
        if (readableon(node.controlsocket, node.controltls.get()) && (!node.controltls || node.controltls->hasdata())) {
            node.state = ControlState::ReadReply;
            worker.refresh();
        } else if (failed(node.controlsocket)) {
            node.fail(FailureRetry, "connection lost: " + socketerrortext(node.controlsocket));
            node.closecontrol();
        } else {
            worker.waitfor(node.controlsocket, POLLIN);
        }
        break;
    case ControlState::AwaitReply:
        if (readableon(node.controlsocket, node.controltls.get())) {
            node.state = ControlState::ReadReply;
            worker.refresh();
        } else {
            worker.waitfor(node.controlsocket, POLLIN);
        }
        break;
    case ControlState::ReadReply:
        if (node.notifystate == NotifyState::Ready) break; // parked until the program takes the result
        // A body is read on while it comes; a reply or header once per visit.
        for (size_t taken = 0; taken < receivebudget;) {
            long n = readreply(node, worker, buffer);
            if (n <= 0 || node.state != ControlState::ReadReply || !node.ishttp() || !node.headerskipped) break;
            taken += static_cast<size_t>(n);
        }
        break;
    case ControlState::Resolve:
    case ControlState::Connect:
    case ControlState::RestSent:
    case ControlState::SendCommand:
    case ControlState::Close: break; // the control worker's states
    default: unexpectedstate(node, "receive"); break;
    }
}

namespace {
// A data connection in TLS is connected once its handshake is done; a
// passive one starts it as soon as the connect completes.
void securedata(EngineNode& node, WorkerContext& worker)
{
    if (!node.datatls) {
        if (failed(node.datasocket))
            return node.fail(FailureRetry, "data connection failed: " + socketerrortext(node.datasocket));
        if (wait_socket(node.datasocket, Writable, 0) != 1) return worker.waitfor(node.datasocket, POLLOUT);
        if (!starttls(node, Link::Data)) return;
    }
    if (!handshakestep(node, worker, Link::Data)) return;
    node.datastate = DataState::Connected;
    node.log(node.pasvmode ? "Data passive connected\r\n" : "Data active connected\r\n");
}
} // namespace

void receivedatastep(EngineNode& node, WorkerContext& worker)
{
    char* buffer = worker.buffer.get();
    switch (node.datastate) {
    case DataState::Connecting:
        if (node.datatls || (node.pasvmode && node.tlsmode != TlsMode::None)) {
            securedata(node, worker);
        } else if (node.pasvmode) {
            if (failed(node.datasocket)) {
                node.fail(FailureRetry, "data connection failed: " + socketerrortext(node.datasocket));
            } else if (readableon(node.datasocket, node.datatls.get())) {
                node.datastate = DataState::Connected;
                node.log("Data passive connected\r\n");
                worker.refresh();
            } else {
                worker.waitfor(node.datasocket, POLLIN);
            }
        } else if (readable(node.listensocket)) {
            int accepted = acceptconnection(node.listensocket);
            if (accepted >= 0) {
                node.datasocket = accepted;
                if (node.tlsmode != TlsMode::None) {
                    // The client is the TLS client whichever side connected.
                    if (starttls(node, Link::Data)) securedata(node, worker);
                    break;
                }
                node.datastate = DataState::Connected;
                node.log("Data active connected\r\n");
                worker.refresh();
            }
        } else {
            worker.waitfor(node.listensocket, POLLIN);
        }
        break;
    case DataState::Connected:
        if (!readableon(node.datasocket, node.datatls.get())) {
            if (failed(node.datasocket)) {
                node.closedata();
                node.datastate = DataState::Failed;
                if (!node.controlend.empty()) node.fail(FailureRetry, node.controlend);
            } else {
                worker.waitfor(node.datasocket, POLLIN);
            }
            break;
        }
        node.datastate = DataState::Reading;
        worker.refresh();
        [[fallthrough]];
    case DataState::Reading:
        // Once reading, the connection stays so until it ends: an empty
        // socket is waited for, not a reason to step back.
        if (node.notifystate == NotifyState::Ready) break; // the closed connection waits for the program
        if (!restartproven(node, worker) || !offsettrusted(node)) break;
        readdata(node, worker, buffer);
        break;
    case DataState::Idle:
    case DataState::Requested:
    case DataState::Failed: break; // the control worker's states
    default: unexpectedstate(node, "receive"); break;
    }
}

} // namespace lark
