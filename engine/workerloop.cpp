// Both workers walk the circular list endlessly, one node at a time, each
// acting only on the states that are its own. The list head is the pacing
// point: the control worker sleeps there, the receive worker waits there
// for its sockets when a whole pass found nothing to do.
//
// A worker parks in front of a node that is being deleted (deletenode waits
// for both to park before it unlinks), so neither ever stands on freed nodes.
#include "workerloop.h"

#include <chrono>

namespace lark {

namespace {
constexpr unsigned activeperiod = 800;  // ms: after this without progress, back off
constexpr std::chrono::milliseconds controlpace{200};
constexpr std::chrono::milliseconds backoff{300};

void park(Engine& engine, WorkerKind kind)
{
    std::shared_ptr<ManualEvent> parked = engine.parked[kind];
    std::shared_ptr<ManualEvent> release = engine.release[kind];
    if (!parked || !release) return;
    parked->set();
    release->wait();
}

bool idlelong(const WorkerContext& worker)
{
    return gettickcount() - worker.lastactivity > activeperiod;
}

void pacecontrol(Engine& engine, WorkerContext& worker)
{
    if (engine.stop.isset()) return;  // shutting down: tear down without pauses
    if (engine.controlkick.waitfor(controlpace)) engine.controlkick.reset();
    if (idlelong(worker) && engine.controlkick.waitfor(backoff)) engine.controlkick.reset();
}

// Replaces the busy cycling of an idle receive worker by one wait on every
// socket it looked at, so idle costs nothing and new data is seen at once.
void pacereceive(Engine& engine, WorkerContext& worker)
{
    if (!worker.steppedthispass && !engine.stop.isset()) {
        worker.waitset.push_back(pollfd{engine.receivewaker.fd(), POLLIN, 0});
        poll(worker.waitset.data(), worker.waitset.size(), static_cast<int>(backoff.count()));
        engine.receivewaker.drain();
    }
    worker.waitset.clear();
    worker.steppedthispass = false;
}
}  // namespace

int workerloop(Engine* engine, WorkerKind kind)
{
    if (!engine || !engine->head) return -1;
    WorkerContext worker(*engine, kind);
    worker.lastactivity = gettickcount();
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
            if (kind == ControlWorker) pacecontrol(*engine, worker);
            else pacereceive(*engine, worker);
        }

        if (!current->serverconnected) {
            current = successor(current);
            continue;
        }

        activethispass = true;
        bool changed = false;
        {
            std::lock_guard<std::mutex> guard(current->lock);
            uint8_t before = current->state;
            uint8_t databefore = current->datastate;
            if (kind == ControlWorker) controlstep(*current, worker);
            else receivestep(*current, worker);
            if (current->dataexpected) {
                if (kind == ControlWorker) controldatastep(*current, worker);
                else receivedatastep(*current, worker);
            }
            changed = before != current->state || databefore != current->datastate;
        }
        if (changed && kind == ControlWorker) engine->receivewaker.wake();
        current = successor(current);
    }
}

}  // namespace lark
