// The control worker starts everything: it resolves, connects, sends one
// command (or one whole HTTP request) at a time, brings FTP data connections
// up (PASV or EPSV, PORT or EPRT), and tears nodes down. It never waits for
// the peer; the receive worker moves a node on once the answer has come.
#include <netinet/in.h>

#include <cstdio>

#include "addressattempts.h"
#include "logprefixes.h"
#include "replyparsers.h"
#include "resolver.h"
#include "socketlayer.h"
#include "tlsconnection.h"
#include "urlparse.h"
#include "workerloop.h"

namespace lark {

namespace {
// A socket that cannot take bytes yet is waited for at the list head.
bool writable(EngineNode& node, WorkerContext& worker)
{
    if (wait_socket(node.controlsocket, Writable, 0) == 1) return true;
    worker.waitfor(node.controlsocket, POLLOUT);
    return false;
}

void exceptioncheck(EngineNode& node)
{
    if (wait_socket(node.controlsocket, Failed, 0) == 1) {
        node.fail(FailureRetry, "connection lost: " + socketerrortext(node.controlsocket));
        node.closecontrol();
    }
}

// Sends what the socket takes and keeps the rest for the next passes, so a
// command or request is never cut.
bool sendtext(EngineNode& node, const std::string& text)
{
    node.unsent += text;
    long sent = sendon(node.controlsocket, node.controltls.get(), node.unsent.data(), node.unsent.size());
    if (sent < 0) {
        node.unsent.clear();
        node.closecontrol();
        node.fail(FailureRetry, "connection lost while sending");
        return false;
    }
    if (sent > 0) node.lastactivity = monotonicms();
    node.unsent.erase(0, static_cast<size_t>(sent));
    return true;
}

void continuesend(EngineNode& node, WorkerContext& worker)
{
    if (!writable(node, worker)) {
        exceptioncheck(node);
        return;
    }
    std::string rest;
    rest.swap(node.unsent);
    if (sendtext(node, rest)) worker.refresh();
}

std::string logged(const std::string& command)
{
    return command.compare(0, 5, "pass ") == 0 ? std::string("pass ******\r\n") : command;
}

bool datacoming(const EngineNode& node)
{
    return node.datastate == DataState::Connecting || node.datastate == DataState::Connected;
}

bool isrestoffsetline(const std::string& command)
{
    return command.compare(0, 4, "rest") == 0 && command != "rest 1\r\n";
}

int64_t restnumber(const std::string& command)
{
    int64_t value = 0;
    for (size_t i = 5; i < command.size() && i < 24 && command[i] >= '0' && command[i] <= '9'; ++i)
        value = value * 10 + (command[i] - '0');
    return value;
}

void opencontrolsocket(EngineNode& node, WorkerContext& worker);

// Lookups of one name before it counts as unknown: a resolver may fail
// for a moment, a name that three lookups miss is not coming back.
constexpr int maxlookups = 3;

void resolved(EngineNode& node, const AddressList& addresses)
{
    node.lookupfailures = 0;
    node.datastate = DataState::Idle;
    node.dataexpected = 0;
    useaddresses(node, addresses);
    if (node.groupaddress) node.groupaddress->remember(node.servername, node.serverport, addresses);
    node.log("server name resolved\r\n");
}

void resolvestep(EngineNode& node, WorkerContext& worker)
{
    if (!node.addressknown()) {
        if (!node.resolveevent) {
            node.log("try to resolve:" + urlhost(node.servername) + "...\r\n");
            // A numeric address, or a name another branch of the download has
            // looked up already, needs no lookup thread.
            AddressList known;
            SocketAddress literal;
            if ((node.groupaddress && node.groupaddress->recall(node.servername, node.serverport, known)) ||
                (literal.parse(node.servername, node.serverport) && (known = {literal}, true))) {
                resolved(node, known);
                return opencontrolsocket(node, worker);
            }
            startresolve(node, worker.engine.controlwaker);
        }
        if (!node.resolveevent->done.isset()) return;
        AddressList found = node.resolveevent->addresses;
        node.resolveevent.reset();
        if (found.empty()) {
            if (++node.lookupfailures >= maxlookups)
                node.fail(FailureFinal, "host not found: " + node.servername);
            else
                worker.refresh(); // a new lookup at once
            return;
        }
        resolved(node, found);
    }
    opencontrolsocket(node, worker);
}

void opencontrolsocket(EngineNode& node, WorkerContext& worker)
{
    node.controltls.reset();
    node.controlsocket = open_stream_socket(node.serveraddr.family());
    if (node.controlsocket < 0) {
        if (nextaddress(node, "no socket of its family")) return worker.refresh();
        node.fail(FailureRetry, "no socket for the connection");
        return;
    }
    node.state = ControlState::Connect;
    node.log("Socket " + std::to_string(node.controlsocket) + "created\r\n");
    worker.refresh();
}

void connectstep(EngineNode& node, WorkerContext& worker)
{
    node.serveraddr.setport(node.serverport);
    std::string reason;
    node.log("try connect to server:" + urlhost(node.servername) +
             (node.addresses.size() > 1 ? " at " + addresstext(node.serveraddr) : std::string()) + "\r\n");
    if (connectsocket(node.controlsocket, node.serveraddr, &reason) == ConnectStarted)
        node.state = ControlState::Connecting;
    else if (!nextaddress(node, reason))
        node.fail(FailureRetry, "could not connect to the server: " + reason);
    worker.refresh();
}

void readystep(EngineNode& node, WorkerContext& worker)
{
    if (node.ishttp()) {
        if (node.currentcommand.empty()) node.poprequest();
        if (!node.currentcommand.empty()) node.state = ControlState::SendCommand;
        return;
    }
    if (!writable(node, worker)) {
        exceptioncheck(node);
        return;
    }
    if (node.currentcommand.empty()) node.popcommand();
    if (node.currentcommand.empty()) return;
    node.state = ControlState::SendCommand;
    if (classifydatacommand(node.currentcommand, node.filename, node.filedata) && !datacoming(node)) {
        node.dataexpected = 1;
        node.log("waiting data connect...\r\n");
    } else {
        worker.refresh();
    }
}

void restsentstep(EngineNode& node, WorkerContext& worker)
{
    if (!writable(node, worker)) {
        exceptioncheck(node);
        return;
    }
    if (node.currentcommand.empty()) node.popcommand();
    node.state = node.currentcommand.empty() ? ControlState::Ready : ControlState::SendCommand;
    worker.refresh();
}

void sendcommandstep(EngineNode& node, WorkerContext& worker)
{
    if (node.ishttp()) {
        std::string request = node.currentcommand;
        node.log(logsent + request);
        node.lastcommand = request;
        node.state = ControlState::AwaitReply;
        node.currentcommand.clear();
        sendtext(node, request);
        worker.refresh();
        return;
    }
    if (!writable(node, worker)) {
        exceptioncheck(node);
        return;
    }
    if (classifydatacommand(node.currentcommand, node.filename, node.filedata) && !datacoming(node)) {
        exceptioncheck(node);
        return;
    }
    std::string command = node.currentcommand;
    node.log(logsent + logged(command));
    node.lastcommand = command;
    if (command.compare(0, 5, "rest ") == 0) node.restoffset = restnumber(command);
    if (isrestoffsetline(command)) {
        node.restconfirmed = 0;
        node.state = ControlState::RestSent;
    } else {
        node.state = ControlState::AwaitReply;
    }
    node.currentcommand.clear();
    if (!sendtext(node, command)) return;
    worker.refresh();
    exceptioncheck(node);
}

void teardown(EngineNode& node)
{
    if (node.ishttp() && !node.downstarted && node.notifystate != NotifyState::None) {
        notify(node, node.replytext); // the header stays connected until taken
        return;
    }
    node.closedata();
    node.closecontrol();
    closehandle(node.listensocket);
    closehandle(node.localfile);
    switch (node.notifystate) {
    case NotifyState::None:
        node.commandqueue.clear();
        node.replytext.clear();
        node.datatext.clear();
        node.state = ControlState::Resolve;
        node.datastate = DataState::Idle;
        node.dataexpected = 0;
        node.headerskipped = 0;
        node.filedata = 0;
        // An FTP file name comes from the "retr" line; a stale one would make
        // the next retrieval's bytes look like a listing.
        if (!node.ishttp()) node.filename.clear();
        node.resetconnection();
        node.serverconnected = 0;
        node.log("connection closed\r\n");
        break;
    case NotifyState::Armed: notify(node, node.replytext); break;
    case NotifyState::Ready: break; // the result waits for takeoutcontent, then the close goes on
    }
}

// PASV and PORT name IPv4 addresses only; EPSV and EPRT work for both.
bool extendeddata(const EngineNode& node, const WorkerContext& worker)
{
    return node.serveraddr.isipv6() || worker.engine.extendedpassive != 0;
}

void sendpassive(EngineNode& node, WorkerContext& worker, const char* command)
{
    node.pasvreply.clear();
    node.datastate = DataState::Requested;
    node.lastcommand = command;
    node.log(std::string(logsent) + command);
    if (sendtext(node, command)) worker.refresh();
}

void startpassive(EngineNode& node, WorkerContext& worker)
{
    node.datatls.reset();
    node.datasocket = open_stream_socket(node.serveraddr.family());
    if (node.datasocket < 0) {
        node.fail(FailureRetry, "no socket for the data connection");
        return;
    }
    sendpassive(node, worker, extendeddata(node, worker) && !node.epsvrefused ? "epsv\r\n" : "pasv\r\n");
}

std::string activecommand(const SocketAddress& local, unsigned port, bool extended)
{
    if (extended)
        return "eprt |" + std::string(local.isipv6() ? "2" : "1") + "|" + local.text() + "|" + std::to_string(port) +
               "|\r\n";
    const auto* ip =
        reinterpret_cast<const unsigned char*>(&reinterpret_cast<const sockaddr_in*>(local.get())->sin_addr);
    char command[64];
    std::snprintf(command, sizeof command, "port %i,%i,%i,%i,%i,%i\r\n", ip[0], ip[1], ip[2], ip[3],
                  static_cast<int>(port >> 8), static_cast<int>(port & 0xFF));
    return command;
}

void startactive(EngineNode& node, WorkerContext& worker)
{
    const bool extended = extendeddata(node, worker);
    SocketAddress local, listening;
    node.listensocket = openlistener(node.controlsocket);
    if (node.listensocket < 0 || !localaddress(node.controlsocket, local) ||
        !localaddress(node.listensocket, listening)) {
        node.fail(FailureRetry, "no socket for the data connection");
        return;
    }
    const std::string command = activecommand(local, listening.port(), extended);
    node.datastate = DataState::Requested;
    node.lastcommand = command;
    node.log(logsent + command);
    if (sendtext(node, command)) worker.refresh();
}

void pasvreplystep(EngineNode& node, WorkerContext& worker, char* buffer, size_t capacity)
{
    if (!readableon(node.controlsocket, node.controltls.get())) {
        worker.waitfor(node.controlsocket, POLLIN);
        return;
    }
    long n = receiveon(node.controlsocket, node.controltls.get(), buffer, capacity);
    if (n == wouldblock) {
        worker.waitfor(node.controlsocket, waiteventsof(node.controltls.get()));
        return;
    }
    if (n == 0) return node.fail(FailureRetry, "connection closed by server");
    if (n < 0) return node.fail(FailureRetry, "connection lost: " + socketerrortext(node.controlsocket));
    std::string text = chunktext(buffer, static_cast<size_t>(n));
    node.log(logreceived + text);
    node.lastactivity = monotonicms();
    worker.refresh();
    appendreplytext(node.pasvreply, text);
    // A reply that came in pieces is gathered before it is read.
    const ReplyCheck check = checkreply(node.pasvreply);
    if (check == ReplyTooLong) return node.fail(FailureFinal, "reply too long");
    if (check == ReplyIncomplete) return;
    std::string reply;
    reply.swap(node.pasvreply);
    const std::string line = finalreplyline(reply);
    const bool epsv = node.lastcommand == "epsv\r\n";
    if (epsv && line.compare(0, 1, "5") == 0) {
        node.epsvrefused = 1; // for the rest of this connection
        return sendpassive(node, worker, "pasv\r\n");
    }
    if (line.compare(0, 1, "4") == 0 || line.compare(0, 1, "5") == 0)
        return node.fail(FailureRetry, "the server refused passive mode: " + line);
    unsigned long port = 0;
    if (epsv) {
        if (line.compare(0, 3, "229") != 0) return node.fail(FailureRetry, "unexpected reply to EPSV: " + line);
        if (!parseepsv(reply, port)) return node.fail(FailureFinal, "bad EPSV reply: " + line);
        if (port == 0 || port > 65535) return node.fail(FailureFinal, "EPSV reply names no usable port: " + line);
    } else {
        if (line.compare(0, 3, "227") != 0) return node.fail(FailureRetry, "unexpected reply to PASV: " + line);
        in_addr address{};
        unsigned pasvport = 0;
        if (!parsepasv(reply, address, pasvport)) return node.fail(FailureFinal, "bad PASV reply: " + line);
        if (pasvport == 0) return node.fail(FailureFinal, "PASV reply names no usable port: " + line);
        port = pasvport;
    }
    // The data connection goes to the server we logged in to, whatever
    // address the reply names: a server must not steer us to a third host.
    SocketAddress target = node.serveraddr;
    target.setport(static_cast<unsigned>(port));
    if (connectsocket(node.datasocket, target) == ConnectStarted) {
        node.log("try data connect...\r\n");
        node.datastate = DataState::Connecting;
    } else {
        node.fail(FailureRetry, "could not open the data connection: " + socketerrortext(node.datasocket));
    }
}
} // namespace

void timedout(EngineNode& node)
{
    if (node.state == ControlState::Connecting &&
        nextaddress(node, "no answer within " + std::to_string(attemptlimitms) + " ms"))
        return;
    node.fail(FailureRetry, std::string("timed out waiting for ") + node.timerreason);
}

void controlstep(EngineNode& node, WorkerContext& worker)
{
    if (!node.unsent.empty() && node.state != ControlState::Close) {
        continuesend(node, worker);
        return;
    }
    switch (node.state) {
    case ControlState::Resolve: resolvestep(node, worker); break;
    case ControlState::Connect: connectstep(node, worker); break;
    case ControlState::Ready: readystep(node, worker); break;
    case ControlState::RestSent: restsentstep(node, worker); break;
    case ControlState::SendCommand: sendcommandstep(node, worker); break;
    case ControlState::Close: teardown(node); break;
    case ControlState::Connecting:
    case ControlState::AwaitReply:
    case ControlState::ReadReply: break; // the receive worker's states
    default: unexpectedstate(node, "control"); break;
    }
}

void controldatastep(EngineNode& node, WorkerContext& worker)
{
    if (node.state == ControlState::Close || !node.unsent.empty()) return;
    switch (node.datastate) {
    case DataState::Idle:
        if (!writable(node, worker)) return;
        if (node.pasvmode)
            startpassive(node, worker);
        else
            startactive(node, worker);
        break;
    case DataState::Requested:
        if (!node.pasvmode) {
            node.datastate = DataState::Connecting;
            worker.refresh();
        } else {
            char buffer[4096];
            pasvreplystep(node, worker, buffer, sizeof buffer);
        }
        break;
    case DataState::Connecting:
    case DataState::Connected:
    case DataState::Reading:
    case DataState::Failed: break; // the receive worker's, or waiting for the close
    default: unexpectedstate(node, "control"); break;
    }
}

} // namespace lark
