#pragma once

#include <netinet/in.h>

#include <memory>
#include <mutex>
#include <string>

#include "manualevent.h"

namespace lark {

class EngineNode;
class Waker;

// The address one branch of a download looked up, for its other branches:
// one lookup per download. Its lock is taken alone, never with another.
struct GroupAddress {
    void remember(const std::string& name, unsigned port, const sockaddr_in& address);
    bool recall(const std::string& name, unsigned port, sockaddr_in& address);

private:
    std::mutex lock;
    std::string name;
    unsigned port = 0;
    sockaddr_in address{};
};

// One name lookup on a thread of its own. The job, not the node, is shared
// with the thread, so a node deleted mid-lookup is never written to.
struct ResolveJob {
    std::string name;
    unsigned port = 0;
    sockaddr_in address{};
    ManualEvent done;
    std::shared_ptr<Waker> waker;  // told when the lookup has ended
};

// Looks an IPv4 name (or dotted address) up; 0 on success, -1 on failure.
int resolveserver(const std::string& name, unsigned port, sockaddr_in& address);

// Starts a lookup of the node's server; the node keeps the job, `waker`
// hears when it ends.
void startresolve(EngineNode& node, std::shared_ptr<Waker> waker);

}  // namespace lark
