#include "engine.h"

#include <time.h>

#include <chrono>
#include <cstdio>

#include "workerloop.h"

namespace lark {

namespace {
// The one engine of the process (owned, and published for lock-free reads)
// and the program's poster.
std::unique_ptr<Engine> engineowner;
std::atomic<Engine*> theengine{nullptr};
std::atomic<MessagePoster> theposter{nullptr};

constexpr std::chrono::milliseconds workerendlimit{5000};

void runworker(Engine* engine, WorkerKind kind)
{
    workerloop(engine, kind);
    engine->finished[kind].set();
}

// Workers end cooperatively; one that is still running after the limit is
// left alone (and the nodes with it), never freed under its feet.
bool endworker(Engine& engine, WorkerKind kind)
{
    std::thread& worker = engine.workers[kind];
    if (!worker.joinable()) return true;
    if (engine.finished[kind].waitfor(workerendlimit)) {
        worker.join();
        return true;
    }
    std::fprintf(stderr, "lark: the %s worker did not end within 5000 ms\n",
                 kind == ControlWorker ? "control" : "receive");
    worker.detach();
    return false;
}

void freelist(std::unique_ptr<EngineNode> head)
{
    EngineNode* node = head->nextnode.exchange(nullptr);
    head->nextbranch = nullptr;
    while (node && node != head.get()) {
        EngineNode* following = successor(node);
        delete node; // the list owns its nodes
        node = following;
    }
}
} // namespace

Engine::Engine() : head(std::make_unique<EngineNode>())
{
    head->nextnode = head.get();
}

Engine::~Engine() = default;

Engine* runningengine()
{
    return theengine.load();
}

EngineNode* listhead()
{
    Engine* engine = theengine.load();
    return engine ? engine->head.get() : nullptr;
}

void nudgeworkers()
{
    if (Engine* engine = theengine.load()) {
        engine->controlwaker->wake();
        engine->receivewaker.wake();
    }
}

void postmessage(EngineNode& node)
{
    if (MessagePoster poster = theposter.load()) poster(node.notifywnd, node.notifymsg, &node, node.notifylparam);
}

void notify(EngineNode& node, const std::string& text)
{
    node.notifystate = NotifyState::Ready;
    if (!node.content.empty()) return;
    node.content = text.empty() ? std::string(" ") : text;
    postmessage(node);
}

unsigned gettickcount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<unsigned>(ms);
}

unsigned startengine()
{
    if (theengine.load()) return 1;
    auto engine = std::make_unique<Engine>();
    Engine* raw = engine.get();
    raw->workers[ControlWorker] = std::thread(runworker, raw, ControlWorker);
    raw->workers[ReceiveWorker] = std::thread(runworker, raw, ReceiveWorker);
    engineowner = std::move(engine);
    theengine = raw;
    return 0;
}

unsigned releasedllres()
{
    Engine* engine = theengine.load();
    if (!engine) return 1;
    EngineNode* head = engine->head.get();
    for (EngineNode* node = successor(head); node && node != head; node = successor(node)) {
        std::lock_guard<std::mutex> guard(node->lock);
        if (node->serverconnected) {
            node->state = ControlState::Close;
            node->notifystate = NotifyState::None;
        }
    }
    engine->stop.set();
    engine->controlwaker->wake();
    engine->receivewaker.wake();
    bool receiveended = endworker(*engine, ReceiveWorker);
    bool controlended = endworker(*engine, ControlWorker);
    theengine = nullptr;
    if (receiveended && controlended) {
        freelist(std::move(engine->head));
        engineowner.reset();
    } else {
        // A worker may still touch the nodes: leaking them is the safe choice.
        [[maybe_unused]] Engine* abandoned = engineowner.release();
    }
    return 0;
}

unsigned setmessageposter(MessagePoster poster)
{
    theposter = poster;
    return theengine.load() ? 0 : 1;
}

} // namespace lark
