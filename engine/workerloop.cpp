// Both workers walk the circular list, one node at a time, each acting only
// on the states that are its own. The list head is the pacing point: a
// worker whose whole pass did nothing waits there in one poll() on the
// sockets it looked at plus its wake-up descriptor, so it sleeps while
// nothing happens and moves the moment a socket, a lookup, the other worker
// or the program has news. The control worker's wait also ends at the
// nearest node deadline.
//
// A worker parks in front of a node that is being deleted (deletenode waits
// for both to park before it unlinks), so neither ever stands on freed nodes.
#include "workerloop.h"

#include "addressattempts.h"

#include <algorithm>
#include <cstdio>

namespace lark {

namespace {
// The longest idle wait: a safety net only, every change wakes the worker.
constexpr int idlewait = 200; // ms
// Control steps chained on one node in one visit (resolve, socket, connect;
// ready, send; rest, retr; pasv, data connect, send).
constexpr int maxchain = 8;

void park(Engine& engine, WorkerKind kind)
{
    std::shared_ptr<ManualEvent> parked = engine.parked[kind];
    std::shared_ptr<ManualEvent> release = engine.release[kind];
    if (!parked || !release) return;
    parked->set();
    release->wait();
}

int waitlimit(Engine& engine, WorkerKind kind)
{
    if (kind != ControlWorker) return idlewait;
    int64_t timer = engine.timers.waittime(monotonicms());
    return timer < 0 ? idlewait : static_cast<int>(std::min<int64_t>(timer, idlewait));
}

void pace(Engine& engine, WorkerContext& worker)
{
    if (!worker.steppedthispass && !engine.stop.isset()) {
        Waker& waker = worker.kind == ControlWorker ? *engine.controlwaker : engine.receivewaker;
        worker.waitset.push_back(pollfd{waker.fd(), POLLIN, 0});
        poll(worker.waitset.data(), worker.waitset.size(), waitlimit(engine, worker.kind));
        // Drained after the wait: a wake that comes later is seen by the pass
        // that follows, which looks at every node anyway.
        waker.drain();
    }
    worker.waitset.clear();
    worker.steppedthispass = false;
}

struct Wait {
    const char* reason = nullptr;
    unsigned limit = 0;
};

// What the node waits for from the peer now, and how long it may wait.
Wait currentwait(const EngineNode& node, const Engine& engine)
{
    const unsigned connect = engine.connecttimeout, idle = engine.idletimeout;
    if (!node.serverconnected || node.state == ControlState::Close) return {};
    if (handshaking(node)) return {"the TLS handshake", idle};
    if (node.dataexpected) {
        switch (node.datastate) {
        case DataState::Requested:
            if (node.pasvmode) return {"the PASV reply", idle};
            break;
        case DataState::Connecting:
            return node.pasvmode ? Wait{"the data connection", connect} : Wait{"the server's data connection", connect};
        case DataState::Connected:
        case DataState::Reading:
            if (node.notifystate == NotifyState::Ready) return {}; // parked for the program
            return {"data", idle};
        default: break;
        }
    }
    switch (node.state) {
    case ControlState::Connecting: return {"the connection", connectlimit(node, connect)};
    case ControlState::AwaitReply:
    case ControlState::ReadReply:
        if (node.notifystate == NotifyState::Ready) return {};
        return {node.ishttp() ? "the response" : "a reply", idle};
    default: break;
    }
    if (!node.unsent.empty()) return {"the server to take the request", idle};
    return {};
}

// Deadlines that passed end their nodes' waits, unless bytes came since it
// was set; a node deleted meanwhile took its entries with it.
void expiretimers(Engine& engine, WorkerContext& worker)
{
    for (const TimerHeap::Expired& due : engine.timers.expire(monotonicms())) {
        auto* node = static_cast<EngineNode*>(due.owner);
        std::lock_guard<std::mutex> guard(node->lock);
        if (node->timer != due.token) continue;
        node->timer = 0;
        const Wait wait = currentwait(*node, engine);
        if (!wait.reason || wait.reason != node->timerreason) {
            node->timerreason = nullptr;
            watch(*node, engine);
            continue;
        }
        const int64_t quietsince = node->lastactivity;
        if (monotonicms() - quietsince < node->timerlimit) {
            node->timer = engine.timers.add(quietsince + node->timerlimit, node);
            continue;
        }
        timedout(*node);
        node->timerreason = nullptr;
        worker.refresh();
    }
}

bool controlowned(ControlState state)
{
    switch (state) {
    case ControlState::Resolve:
    case ControlState::Connect:
    case ControlState::Ready:
    case ControlState::RestSent:
    case ControlState::SendCommand:
    case ControlState::Close: return true;
    case ControlState::Connecting:
    case ControlState::AwaitReply:
    case ControlState::ReadReply: return false;
    }
    return false;
}

// One visit of a worker to a node; true when the node's state changed.
bool visit(EngineNode& node, WorkerContext& worker)
{
    const ControlState before = node.state;
    const DataState databefore = node.datastate;
    if (worker.kind == ControlWorker) {
        for (int step = 0; step < maxchain; ++step) {
            const ControlState statenow = node.state;
            const DataState datanow = node.datastate;
            controlstep(node, worker);
            if (node.dataexpected) controldatastep(node, worker);
            if (statenow == node.state && datanow == node.datastate) break;
            if (!controlowned(node.state) || !node.serverconnected) break;
        }
    } else {
        receivestep(node, worker);
        if (node.dataexpected) receivedatastep(node, worker);
    }
    const bool changed = before != node.state || databefore != node.datastate;
    if (changed) worker.steppedthispass = true;
    watch(node, worker.engine);
    return changed;
}
} // namespace

void unexpectedstate(EngineNode& node, const char* worker)
{
    char line[96];
    std::snprintf(line, sizeof line, "%s worker: unexpected state %u/%u\r\n", worker,
                  static_cast<unsigned>(node.state.load()), static_cast<unsigned>(node.datastate.load()));
    node.log(line);
}

void watch(EngineNode& node, Engine& engine)
{
    const Wait wait = currentwait(node, engine);
    if (wait.reason == node.timerreason && (node.timer != 0 || !wait.reason)) return;
    if (node.timer != 0) engine.timers.cancel(node.timer);
    node.timer = 0;
    node.timerreason = wait.reason;
    if (!wait.reason) return;
    node.timerlimit = wait.limit;
    node.lastactivity = monotonicms();
    node.timer = engine.timers.add(node.lastactivity + wait.limit, &node);
}

int workerloop(Engine* engine, WorkerKind kind)
{
    if (!engine || !engine->head) return -1;
    WorkerContext worker(*engine, kind);
    EngineNode* head = engine->head.get();
    bool activelastpass = true;
    bool activethispass = true;
    EngineNode* current = head;

    for (;;) {
        if (!current) return 0;
        if (engine->stop.isset() && !activelastpass) return 0;

        EngineNode* next = successor(current);
        if (next && next->deleterequest) {
            park(*engine, kind);
            continue;
        }

        if (current == head) {
            activelastpass = activethispass;
            activethispass = false;
            pace(*engine, worker);
            if (kind == ControlWorker) expiretimers(*engine, worker);
        }

        if (!current->serverconnected) {
            current = successor(current);
            continue;
        }

        activethispass = true;
        bool changed = false;
        {
            std::lock_guard<std::mutex> guard(current->lock);
            changed = visit(*current, worker);
        }
        // Each worker hands the node to the other by waking it.
        if (changed) {
            if (kind == ControlWorker)
                engine->receivewaker.wake();
            else
                engine->controlwaker->wake();
        }
        current = successor(current);
    }
}

} // namespace lark
