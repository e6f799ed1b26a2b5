#include "resolver.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>
#include <thread>

#include "enginenode.h"
#include "waker.h"

namespace lark {

int resolveserver(const std::string& name, unsigned port, sockaddr_in& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    in_addr ip{};
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found) {
        ip = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    } else if (inet_pton(AF_INET, name.c_str(), &ip) != 1) {
        return -1;
    }
    if (ip.s_addr == 0) return -1;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port & 0xFFFF));
    address.sin_addr = ip;
    return 0;
}

void GroupAddress::remember(const std::string& newname, unsigned newport, const sockaddr_in& newaddress)
{
    std::lock_guard<std::mutex> guard(lock);
    name = newname;
    port = newport;
    address = newaddress;
}

bool GroupAddress::recall(const std::string& wanted, unsigned wantedport, sockaddr_in& found)
{
    std::lock_guard<std::mutex> guard(lock);
    if (address.sin_addr.s_addr == 0 || wanted != name || wantedport != port) return false;
    found = address;
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
            resolveserver(job->name, job->port, job->address);
            job->done.set();
            if (job->waker) job->waker->wake();
        }).detach();
    } catch (const std::system_error&) {
        job->done.set();  // no thread: the lookup failed, and is tried again
        if (job->waker) job->waker->wake();
    }
}

}  // namespace lark
