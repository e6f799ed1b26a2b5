#include <memory>
#include <vector>

#include "engine.h"
#include "lark.h"
#include "localname.h"
#include "resolver.h"
#include "restproof.h"
#include "urlparse.h"

namespace lark {

namespace {
// The node whose nextnode is `group`, or null when `group` does not start a
// group of the list.
EngineNode* predecessor(EngineNode* head, EngineNode* group)
{
    EngineNode* node = head;
    do {
        EngineNode* next = node->nextnode.load();
        if (next == group) return node;
        node = next;
    } while (node && node != head);
    return nullptr;
}

bool groupactive(EngineNode* node)
{
    if (!node->isdownload()) return node->serverconnected != 0;
    for (EngineNode* branch = node; branch; branch = branch->nextbranch)
        if (branch->serverconnected) return true;
    return false;
}
} // namespace

std::string extractfilenamefrompath(std::string path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

unsigned addnode(void*& handle, std::string url, unsigned branchcount, unsigned port, std::string user,
                 std::string pass, std::string localdir, bool connectnow, bool pasv, bool ascii, bool checkonly)
{
    handle = nullptr;
    EngineNode* head = listhead();
    if (!head) return StatusNoNode;
    auto node = std::make_unique<EngineNode>();
    if (parseurl(url, *node) != 0 || port > 65535) return StatusUrlRejected;

    if (!user.empty() || node->ishttp()) {
        node->user = user;
        node->pass = pass;
    } else if (node->user.empty()) {
        node->user = "anonymous";
        node->pass = "peer@";
    }
    if (port != 0) node->serverport = port;
    node->pasvmode = pasv ? 1 : 0;
    node->ascimode = ascii ? 1 : 0;
    node->localdir = localdir;
    if (node->tlsmode != TlsMode::None) node->tlssessions = std::make_shared<TlsSessionStore>();

    bool isfile = !node->ftppathfile.empty() && node->ftppathfile.back() != '/';
    if (checkonly) return isfile ? AddedDownload : AddedBrowse;

    node->appendcommand("user " + node->user);
    node->appendcommand("pass " + node->pass);
    node->appendcommand(node->ascimode ? "type A" : "type I");
    if (isfile && node->ishttp()) {
        node->commandqueue.clear();
        node->filename = localfilename(node->ftppathfile, NameSource::HttpPath, "index.html");
    }
    node->initcommand = node->commandqueue;
    node->serverconnected = connectnow ? 1 : 0;

    EngineNode* first = node.get();
    if (isfile) {
        first->groupaddress = std::make_shared<GroupAddress>();
        first->restproof = std::make_shared<RestProof>();
        // Build the whole chain before it becomes visible to the workers.
        std::vector<std::unique_ptr<EngineNode>> branches;
        for (unsigned i = 1; i < branchcount; ++i) branches.push_back(first->makebranch());
        EngineNode* last = first;
        for (auto& branch : branches) {
            last->nextbranch = branch.get();
            last = branch.release(); // the list owns its nodes
        }
        first->lastbranch = last;
        EngineNode* oldfirst = head->nextnode.load();
        first->nextnode = oldfirst;
        last->nextnode = oldfirst;
    } else {
        first->nextnode = head->nextnode.load();
    }
    head->nextnode = node.release();
    nudgeworkers();
    handle = first;
    return isfile ? AddedDownload : AddedBrowse;
}

unsigned connect(void* handle, int reload)
{
    EngineNode* node = nodeof(handle);
    if (!node) return StatusNoNode;
    {
        std::lock_guard<std::mutex> guard(node->lock);
        if (node->serverconnected) return StatusWrongState;
        if (reload) node->commandqueue = node->initcommand;
        node->currentcommand.clear();
        node->lastcommand.clear();
        node->redirectcount = 0;
        node->failkind = FailureNone;
        node->failreason.clear();
        node->retryafter = 0;
        node->lookupfailures = 0;
        node->serverconnected = 1;
    }
    nudgeworkers();
    return StatusOk;
}

unsigned getfailure(void* handle, std::string& reason, unsigned& kind)
{
    EngineNode* node = nodeof(handle);
    if (!node) return StatusNoNode;
    std::lock_guard<std::mutex> guard(node->lock);
    reason = node->failreason;
    kind = node->failkind;
    return StatusOk;
}

unsigned getretryafter(void* handle, unsigned& seconds)
{
    EngineNode* node = nodeof(handle);
    if (!node) return StatusNoNode;
    std::lock_guard<std::mutex> guard(node->lock);
    seconds = node->retryafter;
    return StatusOk;
}

unsigned settimeouts(unsigned connectms, unsigned idlems)
{
    Engine* engine = runningengine();
    if (!engine) return StatusNoNode;
    if (connectms != 0) engine->connecttimeout = connectms;
    if (idlems != 0) engine->idletimeout = idlems;
    return StatusOk;
}

unsigned setextendedpassive(int enable)
{
    Engine* engine = runningengine();
    if (!engine) return StatusNoNode;
    engine->extendedpassive = enable ? 1 : 0;
    return StatusOk;
}

namespace {
void requestclose(EngineNode* node)
{
    std::lock_guard<std::mutex> guard(node->lock);
    if (node->serverconnected) {
        node->notifystate = NotifyState::None;
        node->state = ControlState::Close;
    }
}
} // namespace

unsigned disconnect(void* handle, int thisnodeonly)
{
    EngineNode* node = nodeof(handle);
    if (!node) return StatusNoNode;
    if (!thisnodeonly && node->isdownload()) {
        for (EngineNode* branch = node; branch; branch = branch->nextbranch) requestclose(branch);
    } else {
        requestclose(node);
    }
    nudgeworkers();
    return StatusOk;
}

unsigned deletenode(void* handle)
{
    EngineNode* node = nodeof(handle);
    if (!node) return StatusNoNode;
    Engine& engine = *runningengine();
    EngineNode* head = engine.head.get();
    if (groupactive(node)) return StatusActive;
    if (!predecessor(head, node)) return StatusWrongState; // not a handle addnode gave out

    for (int kind = 0; kind < 2; ++kind) {
        engine.parked[kind] = std::make_shared<ManualEvent>();
        engine.release[kind] = std::make_shared<ManualEvent>();
    }
    node->deleterequest = 1;
    nudgeworkers();
    engine.parked[ControlWorker]->wait();
    engine.parked[ReceiveWorker]->wait();

    // addnode may have put new groups in front of the node meanwhile.
    EngineNode* before = predecessor(head, node);
    EngineNode* after = node->nextnode.load();
    before->nextnode = after;
    if (EngineNode* last = before->lastbranch.load()) last->nextnode = after;

    EngineNode* branch = node;
    while (branch) {
        EngineNode* next = branch->nextbranch.load();
        engine.timers.cancelowner(branch);
        delete branch; // the list owned it
        branch = next;
    }

    engine.release[ControlWorker]->set();
    engine.release[ReceiveWorker]->set();
    engine.parked[ControlWorker].reset();
    engine.parked[ReceiveWorker].reset();
    return StatusOk;
}

} // namespace lark
