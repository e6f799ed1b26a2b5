#include "resolver.h"

#include <netdb.h>

#include <thread>

#include "enginenode.h"
#include "waker.h"

namespace lark {

AddressList resolveserver(const std::string& name, unsigned port)
{
    SocketAddress literal;
    if (literal.parse(name, port)) return {literal};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
    AddressList addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        // The numeric check refuses 0.0.0.0 and ::; the address itself keeps
        // what its text would lose (an IPv6 scope).
        SocketAddress address;
        if (!address.assign(entry->ai_addr, entry->ai_addrlen) || !literal.parse(address.text(), port)) continue;
        address.setport(port);
        addresses.push_back(address);
    }
    freeaddrinfo(found);
    return interleavefamilies(addresses);
}

void GroupAddress::remember(const std::string& newname, unsigned newport, const AddressList& newaddresses)
{
    std::lock_guard<std::mutex> guard(lock);
    name = newname;
    port = newport;
    addresses = newaddresses;
}

bool GroupAddress::recall(const std::string& wanted, unsigned wantedport, AddressList& found)
{
    std::lock_guard<std::mutex> guard(lock);
    if (addresses.empty() || wanted != name || wantedport != port) return false;
    found = addresses;
    return true;
}

void startresolve(EngineNode& node, std::shared_ptr<Waker> waker)
{
    auto job = std::make_shared<ResolveJob>();
    job->waker = std::move(waker);
    job->name = node.servername;
    job->port = node.serverport;
    node.resolveevent = job;
    node.datastate = DataState::Idle;
    node.dataexpected = 0;
    try {
        std::thread([job] {
            job->addresses = resolveserver(job->name, job->port);
            job->done.set();
            if (job->waker) job->waker->wake();
        }).detach();
    } catch (const std::system_error&) {
        job->done.set(); // no thread: the lookup failed, and is tried again
        if (job->waker) job->waker->wake();
    }
}

} // namespace lark
