#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "manualevent.h"
#include "socketaddress.h"

namespace lark {

class EngineNode;
class Waker;

// The addresses one branch of a download looked up, for its other
// branches: one lookup per download, the address that connected first.
// Its lock is taken alone, never with another.
struct GroupAddress {
    void remember(const std::string& name, unsigned port, const AddressList& addresses);
    bool recall(const std::string& name, unsigned port, AddressList& addresses);

private:
    std::mutex lock;
    std::string name;
    unsigned port = 0;
    AddressList addresses;
};

// One name lookup on a thread of its own. The job, not the node, is shared
// with the thread, so a node deleted mid-lookup is never written to.
struct ResolveJob {
    std::string name;
    unsigned port = 0;
    AddressList addresses; // empty: nothing found
    ManualEvent done;
    std::shared_ptr<Waker> waker; // told when the lookup has ended
};

// Every address of a name (or numeric address) of either family, in the
// order connects try them; empty when nothing was found.
AddressList resolveserver(const std::string& name, unsigned port);

// Starts a lookup of the node's server; the node keeps the job, `waker`
// hears when it ends.
void startresolve(EngineNode& node, std::shared_ptr<Waker> waker);

} // namespace lark
