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

#include <cerrno>

#include "programdir.h"
#include "replyparsers.h"
#include "socketlayer.h"
#include "urlparse.h"
#include "workerloop.h"

namespace lark {

namespace {
constexpr size_t maxreply = 65536;         // an FTP reply or HTTP header
constexpr size_t maxlisting = 64u << 20;  // a directory listing
constexpr int maxredirects = 20;

bool readable(int socket)
{
    return wait_socket(socket, Readable, 0) == 1;
}

bool failed(int socket)
{
    return wait_socket(socket, Failed, 0) == 1;
}

void closewithreason(EngineNode& node, const char* line)
{
    node.log(line);
    node.state = ControlState::Close;
    node.datastate = DataState::Failed;
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
    closewithreason(node, ("File Error:" + node.localdir + node.filename + "\r\n").c_str());
}

bool openlocalfile(EngineNode& node)
{
    if (node.localfile >= 0) return true;
    std::string path;
    if (!localfilepath(node.localdir, node.filename, path)) return false;
    // Never follow a link planted at the file's name.
    node.localfile = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
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
        node.log("server answered " + std::to_string(status) + ", nothing written\r\n");
        return false;
    }
    if (status == 206) {
        if (contentrangestart(header) != asked) {
            node.log("server sent another range than asked, nothing written\r\n");
            return false;
        }
    } else if (asked != 0) {
        node.log("server ignored the range, nothing written\r\n");
        return false;
    }
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
        if (!bodyacceptable(node, header)) {
            node.state = ControlState::Close;
            node.datastate = DataState::Failed;
            return;
        }
        node.chunked = ischunked(header) ? 1 : 0;
        node.chunks.reset();
        node.headerskipped = 1;
    }
    char* body = chunk + bodystart;
    size_t length = n - bodystart;
    if (node.chunked) {
        size_t decoded = 0;
        ChunkDecoder::Result result = node.chunks.decode(body, length, decoded);
        if (result == ChunkDecoder::Error) {
            closewithreason(node, "bad chunked body\r\n");
            return;
        }
        length = decoded;
        if (result == ChunkDecoder::Done) {
            node.state = ControlState::Close;
            node.datastate = DataState::Failed;
        }
    }
    if (length == 0 && node.state == ControlState::Close) return;
    writefilebytes(node, body, length, true);
}

void followredirect(EngineNode& node, const std::string& newpath, const std::string& newfilename)
{
    if (++node.redirectcount > maxredirects) {
        closewithreason(node, "too many redirects\r\n");
        return;
    }
    node.filename = newfilename;
    node.ftppathfile = newpath;
    size_t firstline = node.lastcommand.find("\r\n");
    std::string request = "GET " + newpath + " HTTP/1.1\r\n" + node.lastcommand.substr(firstline + 2);
    if (newpath.find("http://") != std::string::npos) {
        node.serveraddr = sockaddr_in{};
        std::string oldserver = node.servername;
        if (parseurl(newpath.substr(newpath.find("http://")), node) != 0) {
            closewithreason(node, "redirect not followed\r\n");
            return;
        }
        if (node.filename.empty()) node.filename = extractfilenamefrompath(node.ftppathfile);
        // The request must name the server it now goes to.
        size_t host = request.find("\r\nHost: ");
        if (host != std::string::npos) {
            size_t valueend = request.find("\r\n", host + 2);
            request.replace(host + 8, valueend - host - 8, node.servername);
        }
    }
    node.commandqueue = request;
    node.initcommand = request;
    node.replytext.clear();
    node.headerskipped = 0;
    node.filedata = 0;
    closehandle(node.controlsocket);
    node.state = ControlState::Resolve;
}

// Returns the bytes read this time (0 when none came).
long readreply(EngineNode& node, WorkerContext& worker, char* buffer)
{
    if (!readable(node.controlsocket)) {
        worker.waitfor(node.controlsocket, POLLIN);
        if (node.ishttp() || !replycomplete(node.replytext)) return 0;
        if (ServerRejected(node.replytext, 1, node.lastcommand)) {
            node.replytext.clear();
            node.state = ControlState::Close;
            node.log("server rejected\r\n");
        } else if (node.dataexpected) {
            // A preliminary reply: the end of the data connection moves on.
        } else if (node.notifystate != NotifyState::None) {
            notify(node, node.replytext);
        } else {
            node.state = ControlState::Ready;
            node.replytext.clear();
        }
        return 0;
    }

    long n = receivechunk(node.controlsocket, buffer, receivebuffersize);
    if (n == wouldblock) {
        worker.waitfor(node.controlsocket, POLLIN);
        return 0;
    }
    size_t before = node.replytext.size();
    bool keepstext = !node.ishttp() || !node.headerskipped;
    std::string text;
    if (n > 0 && keepstext) {
        text = chunktext(buffer, static_cast<size_t>(n));
        node.replytext += text;
        std::string shown = text;
        if (node.ishttp()) {
            size_t cut = shown.find("\r\n\r\n");
            if (cut == std::string::npos) cut = shown.find("\n\n");
            if (cut != std::string::npos) shown.erase(cut);
        }
        node.log("recv:" + shown + "\r\n");
    }
    if (n <= 0) {
        node.log("connection closed by server\r\n");
        node.state = ControlState::Close;
        return 0;
    }
    worker.refresh();
    if (!node.ishttp()) {
        if (node.replytext.size() > maxreply) closewithreason(node, "reply too long\r\n");
        return n;
    }

    size_t end = node.headerskipped ? std::string::npos : headerend(node.replytext);
    if (!node.headerskipped && end == std::string::npos) {
        if (node.replytext.size() > maxreply) closewithreason(node, "response header too long\r\n");
        return n;
    }
    if (!node.headerskipped) {
        std::string header = node.replytext.substr(0, end);
        std::string newpath, newfilename;
        int status = 0;
        if (parseresponseheader(header, node.ftppathfile, newpath, status, newfilename) == 0 &&
            node.lastcommand.find("\r\n") != std::string::npos) {
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
        node.replytext.erase(end);
        node.state = ControlState::Close;
    }
    return n;
}

void winddown(EngineNode& node)
{
    closehandle(node.datasocket);
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
    if (!node.filedata || node.restoffset == 0 || node.restconfirmed) return true;
    if (restartconfirmed(node.replytext)) {
        node.restconfirmed = 1;
        return true;
    }
    if (restartpassedover(node.replytext)) {
        closewithreason(node, "restart not confirmed by server, nothing written\r\n");
        return false;
    }
    worker.waitfor(node.controlsocket, POLLIN);
    return false;
}

void readdata(EngineNode& node, WorkerContext& worker, char* buffer)
{
    for (size_t taken = 0; taken < receivebudget;) {
        long n = receivechunk(node.datasocket, buffer, receivebuffersize);
        if (n == wouldblock) {
            worker.waitfor(node.datasocket, POLLIN);
            return;
        }
        if (n <= 0) {
            if (node.notifystate != NotifyState::None) notify(node, node.datatext);
            else winddown(node);
            return;
        }
        worker.refresh();
        taken += static_cast<size_t>(n);
        if (node.filedata) {
            writefilebytes(node, buffer, static_cast<size_t>(n), node.resumeenable != 0);
            if (node.state == ControlState::Close) return;
            continue;
        }
        node.datatext += chunktext(buffer, static_cast<size_t>(n));
        if (node.datatext.size() > maxlisting) {
            closewithreason(node, "listing too long\r\n");
            return;
        }
    }
}
}  // namespace

void receivestep(EngineNode& node, WorkerContext& worker)
{
    char* buffer = worker.buffer.get();
    switch (node.state) {
    case ControlState::Connecting:
        if (node.ishttp()) {
            // A refused or unreachable server ends the node instead of
            // leaving it connecting for ever.
            if (failed(node.controlsocket)) {
                closehandle(node.controlsocket);
                node.state = ControlState::Close;
            } else if (wait_socket(node.controlsocket, Writable, 0) == 1) {
                node.state = ControlState::Ready;
                worker.refresh();
            } else {
                worker.waitfor(node.controlsocket, POLLOUT);
            }
        } else if (failed(node.controlsocket)) {
            node.state = ControlState::Connect;
        } else if (readable(node.controlsocket)) {
            node.state = ControlState::ReadReply;
            worker.refresh();
        } else {
            worker.waitfor(node.controlsocket, POLLIN);
        }
        break;
    case ControlState::Ready:
        if (node.ishttp()) break;
        if (readable(node.controlsocket)) {
            node.state = ControlState::ReadReply;
            worker.refresh();
        } else if (failed(node.controlsocket)) {
            closehandle(node.controlsocket);
            node.state = ControlState::Close;
        } else {
            worker.waitfor(node.controlsocket, POLLIN);
        }
        break;
    case ControlState::AwaitReply:
        if (readable(node.controlsocket)) {
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

void receivedatastep(EngineNode& node, WorkerContext& worker)
{
    char* buffer = worker.buffer.get();
    switch (node.datastate) {
    case DataState::Connecting:
        if (node.pasvmode) {
            if (readable(node.datasocket)) {
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
                node.datastate = DataState::Connected;
                node.log("Data active connected\r\n");
                worker.refresh();
            }
        } else {
            worker.waitfor(node.listensocket, POLLIN);
        }
        break;
    case DataState::Connected:
        if (!readable(node.datasocket)) {
            if (failed(node.datasocket)) {
                closehandle(node.datasocket);
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
        if (!restartproven(node, worker)) break;
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
