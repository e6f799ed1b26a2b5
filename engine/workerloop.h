#pragma once

#include <poll.h>

#include <memory>
#include <vector>

#include "engine.h"

namespace lark {

// What one worker keeps between the steps it performs on the nodes.
constexpr size_t receivebuffersize = 256 * 1024;
// The most one connection may read in one visit, so the branches of all
// downloads take turns.
constexpr size_t receivebudget = 1024 * 1024;

struct WorkerContext {
    WorkerContext(Engine& e, WorkerKind k) : engine(e), kind(k) {}

    Engine& engine;
    WorkerKind kind;
    bool steppedthispass = false;  // a forward step happened since the head
    std::vector<pollfd> waitset;   // sockets the worker waits on when a pass did nothing
    std::unique_ptr<char[]> buffer{new char[receivebuffersize]};

    void refresh()
    {
        steppedthispass = true;
    }
    void waitfor(int fd, short events)
    {
        if (fd >= 0) waitset.push_back(pollfd{fd, events, 0});
    }
};

// The loop both workers run over the node list; returns when the engine
// stops (0) or when it was started without a list head (-1).
int workerloop(Engine* engine, WorkerKind kind);

// The per-node steps of each worker, run with the node's lock held.
void controlstep(EngineNode& node, WorkerContext& worker);
void controldatastep(EngineNode& node, WorkerContext& worker);
void receivestep(EngineNode& node, WorkerContext& worker);
void receivedatastep(EngineNode& node, WorkerContext& worker);

// A `default:` of either worker's switch: the node's log says so.
void unexpectedstate(EngineNode& node, const char* worker);

// A deadline for the node's current state; a change of state cancels it,
// reaching it calls timedout() on the control worker (lock held).
void armtimer(EngineNode& node, unsigned milliseconds, const char* waitingfor);
void canceltimer(EngineNode& node);
void timedout(EngineNode& node);

}  // namespace lark
