#include "enginenode.h"

#include "socketlayer.h"
#include "tlsconnection.h"

namespace lark {

namespace {
// Each node's log keeps at most this much; older lines go first.
constexpr size_t maxlog = 1u << 20;

void droppedhead(std::string& text, size_t keep)
{
    if (text.size() <= keep) return;
    size_t cut = text.size() - keep;
    size_t lineend = text.find('\n', cut);
    cut = lineend == std::string::npos ? text.size() : lineend + 1;
    text = "(earlier log lines dropped)\r\n" + text.substr(cut);
}
} // namespace

EngineNode::EngineNode() = default;

void EngineNode::log(const std::string& line)
{
    newoutput += line;
    if (newoutput.size() + outputlog.size() <= maxlog) return;
    droppedhead(outputlog, maxlog / 4);
    droppedhead(newoutput, maxlog / 2);
}

void keeplogbounded(std::string& log)
{
    droppedhead(log, maxlog);
}

void EngineNode::fail(FailureKind kind, const std::string& reason)
{
    log(reason + "\r\n");
    if (failkind == FailureNone) {
        failkind = kind;
        failreason = reason;
    }
    state = ControlState::Close;
    datastate = DataState::Failed;
}

EngineNode::~EngineNode()
{
    // Teardown closes these first; this only keeps a leak out of odd paths.
    closecontrol();
    closedata();
    closehandle(listensocket);
    closehandle(localfile);
}

void EngineNode::forgetaddress()
{
    serveraddr = SocketAddress();
    addresses.clear();
    addressindex = 0;
}

void EngineNode::closecontrol()
{
    closetls(controltls, controlsocket);
}

void EngineNode::closedata()
{
    closetls(datatls, datasocket);
}

void EngineNode::resetconnection()
{
    // The next connection starts again from the address that worked last.
    if (!addresses.empty()) serveraddr = addresses.front();
    addressindex = 0;
    redirectcount = 0;
    unsent.clear();
    pasvreply.clear();
    epsvrefused = 0;
    restoffset = 0;
    restconfirmed = 0;
    bodyverified = 0;
    controlend.clear();
    chunked = 0;
    chunks.reset();
    streamoffset = -1;
    streambegin = -1;
}

std::unique_ptr<EngineNode> EngineNode::makebranch() const
{
    auto branch = std::make_unique<EngineNode>();
    branch->serverprotocol = serverprotocol;
    branch->servername = servername;
    branch->serverport = serverport;
    branch->ftppathfile = ftppathfile;
    branch->filename = filename;
    branch->localdir = localdir;
    branch->serveraddr = serveraddr;
    branch->addresses = addresses;
    branch->addressindex = addressindex;
    branch->groupaddress = groupaddress;
    branch->restproof = restproof;
    branch->tlsmode = tlsmode;
    branch->tlssessions = tlssessions;
    branch->user = user;
    branch->pass = pass;
    branch->dataexpected = dataexpected;
    branch->pasvmode = pasvmode;
    branch->ascimode = ascimode;
    branch->filedata = filedata;
    branch->headerskipped = headerskipped;
    branch->downstarted = downstarted;
    branch->resumeenable = resumeenable.load();
    branch->newoutput = newoutput;
    branch->outputlog = outputlog;
    branch->commandqueue = commandqueue;
    branch->initcommand = initcommand;
    branch->currentcommand = currentcommand;
    branch->lastcommand = lastcommand;
    branch->replytext = replytext;
    branch->datatext = datatext;
    branch->content = content;
    for (int i = 0; i < 3; ++i) branch->filepointer[i] = filepointer[i].load();
    branch->lasttime = lasttime.load();
    branch->starttime = starttime.load();
    branch->notifywnd = notifywnd;
    branch->notifymsg = notifymsg;
    branch->notifylparam = notifylparam;
    branch->notifyextra = notifyextra;
    branch->notifystate = notifystate;
    branch->datastate = datastate.load();
    branch->state = state.load();
    return branch;
}

void EngineNode::appendcommand(const std::string& line)
{
    commandqueue += line;
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) commandqueue += "\r\n";
}

namespace {
void popthrough(std::string& queue, std::string& current, const char* separator, size_t seplen)
{
    size_t at = queue.find(separator, 0, seplen);
    if (at == std::string::npos) return;
    current = queue.substr(0, at + seplen);
    queue.erase(0, at + seplen);
}
} // namespace

void EngineNode::popcommand()
{
    popthrough(commandqueue, currentcommand, "\r\n", 2);
}

void EngineNode::poprequest()
{
    popthrough(commandqueue, currentcommand, "\r\n\r\n", 4);
}

} // namespace lark
