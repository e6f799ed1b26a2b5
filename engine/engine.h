// Engine-wide state: the one list head, the stop event, the two workers and
// the park handshake that lets deletenode unlink nodes under their feet.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "enginenode.h"
#include "lark.h"
#include "manualevent.h"
#include "timerheap.h"
#include "waker.h"

namespace lark {

enum WorkerKind { ControlWorker = 0, ReceiveWorker = 1 };

struct Engine {
    Engine();
    ~Engine();

    // The list owns every node linked into it; the head is never handed out.
    std::unique_ptr<EngineNode> head;
    ManualEvent stop;
    // Each ends its worker's wait; the control worker's is shared with the
    // lookup threads, which may outlive the engine.
    std::shared_ptr<Waker> controlwaker = std::make_shared<Waker>();
    Waker receivewaker;
    TimerHeap timers;                            // the nodes' deadlines, served by the control worker
    std::atomic<unsigned> connecttimeout{30000}; // ms
    std::atomic<unsigned> idletimeout{60000};    // ms
    std::atomic<int> extendedpassive{0};         // EPSV and EPRT on IPv4 too
    std::thread workers[2];
    ManualEvent finished[2];

    // Created afresh by each deletenode call, before the request is flagged.
    std::shared_ptr<ManualEvent> parked[2];
    std::shared_ptr<ManualEvent> release[2];
};

// The running engine, or null.
Engine* runningengine();
EngineNode* listhead();

// Tells both workers that a node changed, so they look at it at once.
void nudgeworkers();

// Posts a completion message through the installed poster (lock held).
void postmessage(EngineNode& node);

// Hands a finished request's result to the program: one message per arming
// (an empty result is handed over as " ", so the program always gets text).
void notify(EngineNode& node, const std::string& text);

// The node behind a handle, or null when the engine is not running or the
// handle is null.
inline EngineNode* nodeof(void* handle)
{
    return runningengine() && handle ? static_cast<EngineNode*>(handle) : nullptr;
}

// Milliseconds of the monotonic clock, truncated to 32 bits.
unsigned gettickcount();

} // namespace lark
