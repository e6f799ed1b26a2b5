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
    bool steppedthispass = false; // a forward step happened since the head
    std::vector<pollfd> waitset;  // sockets the worker waits on when a pass did nothing
    std::unique_ptr<char[]> buffer{new char[receivebuffersize]};

    void refresh() { steppedthispass = true; }
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

// TLS on a node's control or data connection (tlssteps.cpp). starttls
// begins it on the connected socket; handshakestep moves it on and is true
// once it is done. A failure ends the node with the reason.
enum class Link { Control, Data };
bool starttls(EngineNode& node, Link link);
bool handshakestep(EngineNode& node, WorkerContext& worker, Link link);
// A handshake of either connection is under way.
bool handshaking(const EngineNode& node);

// A `default:` of either worker's switch: the node's log says so.
void unexpectedstate(EngineNode& node, const char* worker);

// Keeps the node's deadline in step with what it waits for now (a
// connect, a reply, data): a new wait arms one, no wait cancels it. Each
// byte received pushes it on (`lastactivity`), checked when it comes due.
void watch(EngineNode& node, Engine& engine);
// The deadline passed: the node ends with a reason that names the wait.
void timedout(EngineNode& node);

} // namespace lark
