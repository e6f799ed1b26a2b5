#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>

#include "manualevent.h"

namespace lark {

class EngineNode;

// One name lookup on a thread of its own. The job, not the node, is shared
// with the thread, so a node deleted mid-lookup is never written to.
struct ResolveJob {
    std::string name;
    unsigned port = 0;
    sockaddr_in address{};
    ManualEvent done;
};

// Looks an IPv4 name (or dotted address) up; 0 on success, -1 on failure.
int resolveserver(const std::string& name, unsigned port, sockaddr_in& address);

// Starts a lookup of the node's server; the node keeps the job.
void startresolve(EngineNode& node);

}  // namespace lark
