#include "ftprestart.h"

#include <poll.h>

#include "replyparsers.h"
#include "restproof.h"

namespace lark {

namespace {
// True once the server has answered 350 to a "rest" line.
bool restartconfirmed(const std::string& reply)
{
    return replyhasline(reply, "350 ");
}

// The retrieval's own preliminary (1xx) or final (226, 250) reply came with
// no 350 before it: the server did not take the restart.
bool restartpassedover(const std::string& reply)
{
    return replyhasline(reply, "1") || replyhasline(reply, "226 ") || replyhasline(reply, "250 ");
}
} // namespace

// A retrieval the program queued itself on a connection that is not a
// branch: the probe's REST sample, never bytes of the file.
bool issample(const EngineNode& node)
{
    return node.filedata && !node.downstarted && node.notifystate != NotifyState::None && !node.ishttp();
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
        return true; // from byte 0, or proven by its overlap with the disk
    switch (node.restproof->state()) {
    case RestProof::Sampled: return false;
    case RestProof::Disproven:
        node.fail(FailureUnproven, "the server does not start a retrieval where REST asks");
        return false;
    case RestProof::Unknown: // no sample taken: nothing to prove it with
    case RestProof::Proven: break;
    }
    return true;
}

// The probe's retrieval after "rest 1": its first bytes are the download's
// REST sample, never file bytes.
void takesample(EngineNode& node, const char* data, size_t length, bool ended)
{
    if (!node.restproof) return;
    bool full = ended ? (node.restproof->sealsample(), true) : node.restproof->addsample(node.restoffset, data, length);
    if (!full) return;
    node.closedata();
    node.log("REST sample taken\r\n");
    node.state = ControlState::Close;
    node.datastate = DataState::Failed;
}

} // namespace lark
