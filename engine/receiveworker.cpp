// The receive worker does everything that waits for the peer: it sees
// connects complete, reads FTP replies and HTTP headers and bodies, accepts
// and reads data connections, and writes file bytes at the branch's own
// offsets. It reads a readable connection until it is empty or has given
// its share of a pass, so the branches of all downloads take turns.
//
// No byte is written whose position is not proven: an HTTP body only after
// its status (and, for a range, its Content-Range) matched the request, an
// FTP resumed retrieval only after the server confirmed the restart.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "addressattempts.h"
#include "localname.h"
#include "programdir.h"
#include "restproof.h"
#include "replyparsers.h"
#include "socketlayer.h"
#include "tlsconnection.h"
#include "urlparse.h"
#include "workerloop.h"

namespace lark {

namespace {
constexpr size_t maxheader = 65536;        // an HTTP response header
constexpr size_t maxlisting = 64u << 20;  // a directory listing
constexpr int maxredirects = 20;
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

void notify(EngineNode& node, const std::string& text)
{
    node.notifystate = NotifyState::Ready;
    if (!node.content.empty()) return;
    node.content = text.empty() ? std::string(" ") : text;
    postmessage(node);
}

// Where the HTTP header ends (just past its blank line), or npos.
size_t headerend(const std::string& text)
{
    size_t at = text.find("\r\n\r\n");
    if (at != std::string::npos) return at + 4;
    at = text.find("\n\n");
    return at == std::string::npos ? std::string::npos : at + 2;
}

void fileerror(EngineNode& node)
{
    node.fail(FailureFinal, "File Error:" + node.localdir + node.filename);
}

// The status line of a header, for a reason ("HTTP/1.1 404 Not Found").
std::string statusline(const std::string& header)
{
    return header.substr(0, header.find_first_of("\r\n"));
}

// Bytes of the stream below the write offset are on disk already: they are
// compared with it, never written. A match proves the server starts where
// asked; a mismatch means it does not, or the file changed on the server.
bool overlapmatches(EngineNode& node, const char*& data, size_t& length)
{
    int64_t write = node.filepointer[WriteOffset];
    if (node.streamoffset < 0 || node.streamoffset >= write || length == 0) return true;
    size_t overlap = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), write - node.streamoffset));
    char disk[16384];
    for (size_t done = 0; done < overlap;) {
        size_t part = std::min(overlap - done, sizeof disk);
        ssize_t n = pread(node.localfile, disk, part, node.streamoffset + static_cast<int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || std::memcmp(disk, data + done, static_cast<size_t>(n)) != 0) {
            node.fail(FailureUnproven, "the server's bytes at offset " +
                                           std::to_string(node.streamoffset + static_cast<int64_t>(done)) +
                                           " differ from the file on disk");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    node.streamoffset += static_cast<int64_t>(overlap);
    data += overlap;
    length -= overlap;
    if (node.streamoffset == write && node.restproof) node.restproof->settle(true);
    return true;
}

bool openlocalfile(EngineNode& node)
{
    if (node.localfile >= 0) return true;
    std::string path;
    if (!localfilepath(node.localdir, node.filename, path)) return false;
    // Never follow a link planted at the file's name; read back for the
    // overlap and sample checks.
    node.localfile = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    return node.localfile >= 0;
}

// Writes at the write offset, stopping the branch at its end offset. An FTP
// branch without resume writes the whole chunk (the server sends on anyway).
void writefilebytes(EngineNode& node, const char* data, size_t length, bool cutatend)
{
    if (!openlocalfile(node)) {
        fileerror(node);
        return;
    }
    if (!overlapmatches(node, data, length)) return;
    int64_t write = node.filepointer[WriteOffset];
    int64_t end = node.filepointer[EndOffset];
    // Reaching the end offset ends the branch at once: waiting for a byte
    // past it would hold a finished branch open until the server sends more.
    if (end != 0 && write + static_cast<int64_t>(length) >= end) {
        node.state = ControlState::Close;
        node.datastate = DataState::Failed;
        if (cutatend) length = end > write ? static_cast<size_t>(end - write) : 0;
    }
    size_t done = 0;
    while (done < length) {
        ssize_t put = pwrite(node.localfile, data + done, length - done, write + static_cast<int64_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            node.filepointer[WriteOffset] = write + static_cast<int64_t>(done);
            fileerror(node);
            return;
        }
        done += static_cast<size_t>(put);
    }
    node.filepointer[WriteOffset] = write + static_cast<int64_t>(done);
    // Past the overlap the stream and the write offset move together.
    if (node.streamoffset >= 0 && done > 0) node.streamoffset = node.filepointer[WriteOffset];
    // A stream that needed no restart confirms or refutes the REST sample.
    if (!node.ishttp() && node.restproof && node.streambegin == 0 && node.restproof->state() == RestProof::Sampled)
        node.restproof->check(node.localfile, 0, node.filepointer[WriteOffset]);
}

// The offset the request asked for in its "Range: bytes=N-" line; 0 without.
int64_t requestedoffset(const std::string& request)
{
    size_t at = request.find("\r\nRange: bytes=");
    if (at == std::string::npos) return 0;
    int64_t value = 0;
    for (size_t i = at + 15; i < request.size() && request[i] >= '0' && request[i] <= '9'; ++i) {
        if (value > (INT64_MAX - 9) / 10) return -1;
        value = value * 10 + (request[i] - '0');
    }
    return value;
}

// Checks the answer to a download request before its first body byte: a
// status outside 200-299, or bytes from another offset than asked, would
// splice the wrong data into the file.
bool bodyacceptable(EngineNode& node, const std::string& header)
{
    std::string unused, name;
    int status = 0;
    parseresponseheader(header, node.ftppathfile, unused, status, name);
    int64_t asked = requestedoffset(node.lastcommand);
    if (status < 200 || status > 299) {
        // A client error other than a time-out or a rate limit is the same
        // on every try.
        bool final = status >= 400 && status < 500 && status != 408 && status != 429;
        std::string wait;
        if ((status == 429 || status == 503) && headerfield(header, "Retry-After", wait)) {
            // Seconds only; a date is rare and is treated as none.
            unsigned long seconds = std::strtoul(wait.c_str(), nullptr, 10);
            node.retryafter = static_cast<unsigned>(std::min<unsigned long>(seconds, 86400));
        }
        node.fail(final ? FailureFinal : FailureRetry, "the server answered \"" + statusline(header) + "\"");
        return false;
    }
    if (status == 206) {
        if (contentrange(header).start != asked) {
            node.fail(FailureUnproven, "the server sent another range than asked, nothing written");
            return false;
        }
    } else if (asked != 0) {
        node.fail(FailureUnproven, "the server ignored the range, nothing written");
        return false;
    }
    node.streamoffset = node.streambegin = asked;
    return true;
}

void httpbody(EngineNode& node, char* chunk, size_t n, size_t bodystart)
{
    if (!node.filedata) {
        if (headerend(node.replytext) == std::string::npos) return;
        node.filedata = 1;
    }
    if (!node.headerskipped) {
        std::string header = node.replytext.substr(0, headerend(node.replytext));
        if (!bodyacceptable(node, header)) return;
        node.chunked = ischunked(header) ? 1 : 0;
        node.chunks.reset();
        node.headerskipped = 1;
    }
    char* body = chunk + bodystart;
    size_t length = n - bodystart;
    if (node.chunked) {
        size_t decoded = 0;
        ChunkDecoder::Result result = node.chunks.decode(body, length, decoded);
        if (result == ChunkDecoder::Error) return node.fail(FailureFinal, "bad chunked body");
        length = decoded;
        if (result == ChunkDecoder::Done) {
            node.state = ControlState::Close;
            node.datastate = DataState::Failed;
        }
    }
    if (length == 0 && node.state == ControlState::Close) return;
    writefilebytes(node, body, length, true);
}

void replacefield(std::string& request, const std::string& field, const std::string& value)
{
    size_t at = request.find("\r\n" + field + ": ");
    if (at == std::string::npos) return;
    size_t start = at + 4 + field.size();
    request.replace(start, request.find("\r\n", start) - start, value);
}

void removefield(std::string& request, const std::string& field)
{
    size_t at = request.find("\r\n" + field + ": ");
    if (at == std::string::npos) return;
    request.erase(at, request.find("\r\n", at + 2) - at);
}

void followredirect(EngineNode& node, const std::string& newpath, const std::string& newfilename)
{
    if (++node.redirectcount > maxredirects) return node.fail(FailureFinal, "too many redirects");
    const std::string scheme = referencescheme(newpath);
    if (!scheme.empty() && scheme != "http" && scheme != "https")
        return node.fail(FailureFinal, "redirect to an unsupported scheme (" + scheme + ")");
    const bool wassecure = node.tlsmode != TlsMode::None;
    if (node.downstarted) {
        node.filename = newfilename;  // a branch writing on in the task's own file
    } else {
        // A name the server chose never replaces a file that is not the task's.
        node.filename = unusedlocalname(resolvelocaldir(node.localdir), newfilename, "");
        if (node.filename.empty()) return node.fail(FailureFinal, "no free name for the local file");
    }
    node.ftppathfile = newpath;
    size_t firstline = node.lastcommand.find("\r\n");
    std::string tail = node.lastcommand.substr(firstline + 2);
    if (!scheme.empty()) {
        node.forgetaddress();
        if (parseurl(newpath, node) != 0) return node.fail(FailureFinal, "redirect not followed: " + newpath);
        if (node.filename.empty()) node.filename = extractfilenamefrompath(node.ftppathfile);
        // Credentials belong to the origin that was asked, never another.
        node.user.clear();
        node.pass.clear();
        // The request must name the server it now goes to.
        tail = "\r\n" + tail;
        replacefield(tail, "Host", hostfield(node));
        // A secure page's address is not told to a plain server.
        if (wassecure && node.tlsmode == TlsMode::None) removefield(tail, "Referer");
        tail.erase(0, 2);
    }
    node.commandqueue = "GET " + node.ftppathfile + " HTTP/1.1\r\n" + tail;
    node.initcommand = node.commandqueue;
    node.replytext.clear();
    node.headerskipped = 0;
    node.filedata = 0;
    node.closecontrol();
    node.state = ControlState::Resolve;
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
        starttls(node, Link::Control);  // the handshake runs from the next visit
        return;
    }
    if (ServerRejected(node.replytext, 1, node.lastcommand)) {
        node.replytext.clear();
        node.log("server rejected\r\n");
        // A 5xx is a permanent refusal; a 4xx may pass.
        return node.fail(line.compare(0, 1, "5") == 0 ? FailureFinal : FailureRetry, "the server refused: " + line);
    }
    if (line.compare(0, 3, "421") == 0) return node.fail(FailureRetry, "the server closes the connection: " + line);
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
    if (node.state == ControlState::ReadReply) {  // after AUTH TLS; an implicit one awaits the greeting
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
        if (handshaking(node)) worker.refresh();  // AUTH TLS taken: the client speaks first
        return 0;
    }

    long n = receiveon(node.controlsocket, node.controltls.get(), buffer, receivebuffersize);
    if (n == wouldblock) {
        worker.waitfor(node.controlsocket, waiteventsof(node.controltls.get()));
        return 0;
    }
    if (n == 0) {
        node.fail(FailureRetry, "connection closed by server");
        return 0;
    }
    if (n < 0) {
        node.fail(FailureRetry, "connection lost: " + socketerrortext(node.controlsocket));
        return 0;
    }
    node.lastactivity = monotonicms();
    size_t before = node.replytext.size();
    if (!node.ishttp()) {
        std::string text = chunktext(buffer, static_cast<size_t>(n));
        appendreplytext(node.replytext, text);
        node.log("recv:" + text + "\r\n");
        worker.refresh();
        if (checkreply(node.replytext) == ReplyTooLong) node.fail(FailureFinal, "reply too long");
        return n;
    }
    if (!node.headerskipped) {
        std::string text = chunktext(buffer, static_cast<size_t>(n));
        node.replytext += text;
        size_t cut = text.find("\r\n\r\n");
        if (cut == std::string::npos) cut = text.find("\n\n");
        node.log("recv:" + (cut == std::string::npos ? text : text.substr(0, cut)) + "\r\n");
    }
    worker.refresh();

    size_t end = node.headerskipped ? std::string::npos : headerend(node.replytext);
    if (!node.headerskipped) {
        std::string header = node.replytext.substr(0, std::min(end, node.replytext.size()));
        if ((end == std::string::npos ? node.replytext.size() : end) > maxheader ||
            toomanyheaderlines(header)) {
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
    const int64_t end = node.filepointer[EndOffset];
    if (node.downstarted && node.filedata && end != 0 && node.filepointer[WriteOffset] < end &&
        node.state != ControlState::Close)
        node.fail(FailureRetry, "the data connection closed before the end of the range");
    node.closedata();
    closehandle(node.listensocket);
    node.datastate = DataState::Idle;
    // A Close set earlier (a refusal, a disconnect) is never undone here.
    if (node.state != ControlState::Close)
        node.state = node.replytext.find("226 ") != std::string::npos ? ControlState::ReadReply : ControlState::AwaitReply;
    node.dataexpected = 0;
    node.log("Data closed\r\n");
    node.filename.clear();
    node.filedata = 0;
    closehandle(node.localfile);
    node.datatext.clear();
    if (node.downstarted) node.state = ControlState::Close;
}

// A retrieval the program queued itself on a connection that is not a
// branch: the probe's REST sample, never bytes of the file.
bool issample(const EngineNode& node)
{
    return node.filedata && !node.downstarted && node.notifystate != NotifyState::None && !node.ishttp();
}

// True once the server has answered 350 to a "rest" line.
bool restartconfirmed(const std::string& reply)
{
    return reply.compare(0, 4, "350 ") == 0 || reply.find("\n350 ") != std::string::npos;
}

// The retrieval's own preliminary (1xx) or final (226, 250) reply came with
// no 350 before it: the server did not take the restart.
bool restartpassedover(const std::string& reply)
{
    for (size_t at = 0; at < reply.size(); at = reply.find('\n', at) + 1) {
        if (reply[at] == '1' || reply.compare(at, 4, "226 ") == 0 || reply.compare(at, 4, "250 ") == 0) return true;
        if (reply.find('\n', at) == std::string::npos) break;
    }
    return false;
}

// Commands go out pipelined, so a resumed retrieval's data may come before
// the answer to its "rest": the data waits in the socket until the control
// connection has said whether it starts at the offset asked for.
bool restartproven(EngineNode& node, WorkerContext& worker)
{
    // The probe's sample follows a "rest 1" the program saw answered.
    if (!node.filedata || node.restoffset == 0 || node.restconfirmed || issample(node)) return true;
    if (restartconfirmed(node.replytext)) {
        node.restconfirmed = 1;
        return true;
    }
    if (restartpassedover(node.replytext)) {
        node.fail(FailureUnproven, "restart not confirmed by server, nothing written");
        return false;
    }
    worker.waitfor(node.controlsocket, POLLIN);
    return false;
}

// A 350 is a claim, not a proof: a fresh FTP branch that starts past byte 0
// writes only once the download's REST sample has been confirmed. Until
// then its bytes wait in the socket.
bool offsettrusted(EngineNode& node)
{
    if (node.streamoffset < 0) node.streamoffset = node.streambegin = node.restconfirmed ? node.restoffset : 0;
    if (node.ishttp() || issample(node) || !node.restproof || node.streambegin == 0 ||
        node.streambegin < node.filepointer[WriteOffset])
        return true;  // from byte 0, or proven by its overlap with the disk
    switch (node.restproof->state()) {
    case RestProof::Sampled:
        return false;
    case RestProof::Disproven:
        node.fail(FailureUnproven, "the server does not start a retrieval where REST asks");
        return false;
    case RestProof::Unknown:  // no sample taken: nothing to prove it with
    case RestProof::Proven:
        break;
    }
    return true;
}

// The probe's retrieval after "rest 1": its first bytes are the download's
// REST sample, never file bytes.
void takesample(EngineNode& node, const char* data, size_t length, bool ended)
{
    if (!node.restproof) return;
    bool full = ended ? (node.restproof->sealsample(), true)
                      : node.restproof->addsample(node.restoffset, data, length);
    if (!full) return;
    node.closedata();
    node.log("REST sample taken\r\n");
    node.state = ControlState::Close;
    node.datastate = DataState::Failed;
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
            if (issample(node)) takesample(node, buffer, 0, true);
            else if (node.notifystate != NotifyState::None) notify(node, node.datatext);
            else winddown(node);
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
}  // namespace

void receivestep(EngineNode& node, WorkerContext& worker)
{
    char* buffer = worker.buffer.get();
    if (node.controltls && !node.controltls->established() && node.state != ControlState::Close) {
        if (handshakestep(node, worker, Link::Control)) controlsecured(node);
        return;
    }
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
        if (readableon(node.controlsocket, node.controltls.get()) &&
            (!node.controltls || node.controltls->hasdata())) {
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
        if (node.notifystate == NotifyState::Ready) break;  // parked until the program takes the result
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
    case ControlState::Close:
        break;  // the control worker's states
    default:
        unexpectedstate(node, "receive");
        break;
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
}  // namespace

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
        if (node.notifystate == NotifyState::Ready) break;  // the closed connection waits for the program
        if (!restartproven(node, worker) || !offsettrusted(node)) break;
        readdata(node, worker, buffer);
        break;
    case DataState::Idle:
    case DataState::Requested:
    case DataState::Failed:
        break;  // the control worker's states
    default:
        unexpectedstate(node, "receive");
        break;
    }
}

}  // namespace lark
