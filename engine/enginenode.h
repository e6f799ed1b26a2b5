// The engine's per-connection record and the circular list it hangs on.
//
// Groups are linked behind the list head, newest first. A download is a
// chain of branches along `nextbranch`; its first and last branch carry the
// same `nextnode`, the middle ones none. Only addnode and deletenode change
// the links; the workers read them without a lock, so they are atomic.
#pragma once

#include "chunkdecoder.h"
#include "lark.h"
#include "socketaddress.h"
#include "tlscontext.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace lark {

struct ResolveJob;
struct GroupAddress;
struct RestProof;
class TlsConnection;

constexpr int nosocket = -1;

// The values are the ones the node record has always used; only the names
// are new. The control worker owns Resolve, Connect, Ready, RestSent,
// SendCommand and Close; the receive worker owns the others.
enum class ControlState : uint8_t {
    Resolve = 0,
    Connect = 1,
    Connecting = 2,
    Ready = 3,
    RestSent = 4,
    AwaitReply = 5,
    SendCommand = 6,
    ReadReply = 7,
    Close = 8,
};

enum class DataState : uint8_t {
    Idle = 0,
    Requested = 1,
    Connecting = 2,
    Connected = 3,
    Reading = 7,
    Failed = 8,
};

// A queued request's result: none asked for, asked for, handed over and
// waiting for takeoutcontent.
enum class NotifyState : uint8_t { None = 0, Armed = 1, Ready = 2 };

enum : unsigned { ProtocolFtp = 0, ProtocolHttp = 1 };

class EngineNode {
public:
    EngineNode();
    virtual ~EngineNode();

    EngineNode(const EngineNode&) = delete;
    EngineNode& operator=(const EngineNode&) = delete;

    // A new branch of this node's download: every field copied except the
    // lock, the activity flag and what belongs to a live connection.
    std::unique_ptr<EngineNode> makebranch() const;

    void appendcommand(const std::string& line);
    void popcommand();
    void poprequest();
    // Keeps the log bounded: a server that talks without end cannot grow it.
    void log(const std::string& line);
    // Ends the connection; the first failure since connect is kept for
    // getfailure, and its reason goes to the log.
    void fail(FailureKind kind, const std::string& reason);

    bool isdownload() const { return lastbranch.load() != nullptr; }
    bool ishttp() const { return serverprotocol == ProtocolHttp; }
    bool addressknown() const { return !serveraddr.empty(); }
    // A new server: the next connect looks its name up again.
    void forgetaddress();

    unsigned serverprotocol = ProtocolFtp;
    std::string servername;
    unsigned serverport = 21;
    std::string ftppathfile;
    std::string filename;
    std::string localdir;
    SocketAddress serveraddr; // the address connected to, or being tried
    std::shared_ptr<ResolveJob> resolveevent;
    std::string user;
    std::string pass;
    std::atomic<int> serverconnected{0};
    int dataexpected = 0;
    int pasvmode = 1;
    int ascimode = 0;
    int filedata = 0;
    int headerskipped = 0;
    int downstarted = 0;
    std::atomic<int> deleterequest{0};
    std::atomic<int> resumeenable{1};
    std::string newoutput;
    std::string outputlog;
    std::string commandqueue;
    std::string initcommand;
    std::string currentcommand;
    std::string lastcommand;
    std::string replytext;
    std::string datatext;
    std::string content;
    int localfile = nosocket;
    std::atomic<int64_t> filepointer[3] = {0, 0, 0};
    std::atomic<unsigned> lasttime{0};
    std::atomic<unsigned> starttime{0};
    void* notifywnd = nullptr;
    unsigned notifymsg = 0;
    int notifylparam = 0;
    unsigned notifyextra = 0;
    NotifyState notifystate = NotifyState::None;
    std::mutex lock;
    int listensocket = nosocket;
    int datasocket = nosocket;
    std::atomic<DataState> datastate{DataState::Idle};
    int controlsocket = nosocket;
    std::atomic<ControlState> state{ControlState::Resolve};
    std::atomic<EngineNode*> nextnode{nullptr};
    std::atomic<EngineNode*> nextbranch{nullptr};
    std::atomic<EngineNode*> lastbranch{nullptr};

    // Beyond the record: protections against a hostile or broken server.
    int redirectcount = 0;  // redirects followed since the last connect
    std::string unsent;     // the rest of a partial send, sent before anything else
    std::string pasvreply;  // a PASV reply that arrived in pieces
    int epsvrefused = 0;    // FTP: the server refused EPSV on this connection
    int64_t restoffset = 0; // FTP: the offset of the last "rest" line sent
    int restconfirmed = 0;  // FTP: the server answered 350 to that "rest"
    int bodyverified = 0;   // HTTP: status and range checked before the first write
    int chunked = 0;        // HTTP: the body comes in chunked transfer coding
    ChunkDecoder chunks;
    // FTP: the server ended the control connection after announcing a
    // retrieval; the failure it names waits until the data connection ends.
    std::string controlend;
    uint64_t timer = 0;                // the armed deadline's token, 0 none
    const char* timerreason = nullptr; // what the deadline waits for
    unsigned timerlimit = 0;           // how long that wait may be silent, ms
    int64_t lastactivity = 0;          // monotonic ms of the last byte or change of wait
    int lookupfailures = 0;            // name lookups in a row that found nothing
    std::string failreason;
    FailureKind failkind = FailureNone;
    unsigned retryafter = 0; // seconds, from a 429 or 503
    // The file offset of the next byte the stream brings, -1 before it is
    // known; bytes below the write offset are compared with the disk.
    int64_t streamoffset = -1;
    int64_t streambegin = -1;                      // where the stream started
    AddressList addresses;                         // every address of the server, in the order tried
    size_t addressindex = 0;                       // which of them serveraddr is
    std::shared_ptr<GroupAddress> groupaddress;    // shared by a download's branches
    std::shared_ptr<RestProof> restproof;          // likewise
    TlsMode tlsmode = TlsMode::None;               // from the URL's scheme
    std::unique_ptr<TlsConnection> controltls;     // on controlsocket once it is secured
    std::unique_ptr<TlsConnection> datatls;        // on datasocket likewise
    std::shared_ptr<TlsSessionStore> tlssessions;  // shared by a download's branches
    std::shared_ptr<TlsSessionStore> datasessions; // the data connections' of this control connection

    // Forgets everything that belonged to the connection just torn down.
    void resetconnection();
    // Closes the connection's socket and ends its TLS first, if it has one.
    void closecontrol();
    void closedata();
};

// Cuts a log kept outside a node (the program's copy) to the same bound.
void keeplogbounded(std::string& log);

// The walk order of the list: along the branches, then to the next group.
inline EngineNode* successor(const EngineNode* node)
{
    EngineNode* branch = node->nextbranch.load();
    return branch ? branch : node->nextnode.load();
}

} // namespace lark
