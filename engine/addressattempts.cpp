#include "addressattempts.h"

#include <algorithm>

#include "enginenode.h"
#include "resolver.h"
#include "socketlayer.h"

namespace lark {

void useaddresses(EngineNode& node, const AddressList& addresses)
{
    node.addresses = addresses;
    node.addressindex = 0;
    node.serveraddr = addresses.empty() ? SocketAddress() : addresses.front();
}

bool nextaddress(EngineNode& node, const std::string& reason)
{
    if (node.addressindex + 1 >= node.addresses.size()) return false;
    const SocketAddress failed = node.serveraddr;
    node.serveraddr = node.addresses[++node.addressindex];
    node.log("connect to " + addresstext(failed) + " failed (" + reason + "), trying " + addresstext(node.serveraddr) +
             "\r\n");
    node.closecontrol();
    node.state = ControlState::Resolve;
    return true;
}

void addressconnected(EngineNode& node)
{
    if (node.addressindex < node.addresses.size() && node.addressindex != 0) {
        auto working = node.addresses.begin() + static_cast<std::ptrdiff_t>(node.addressindex);
        std::rotate(node.addresses.begin(), working, working + 1);
        node.addressindex = 0;
        if (node.groupaddress) node.groupaddress->remember(node.servername, node.serverport, node.addresses);
    }
}

unsigned connectlimit(const EngineNode& node, unsigned connecttimeout)
{
    const bool others = node.addressindex + 1 < node.addresses.size();
    return others ? std::min(connecttimeout, attemptlimitms) : connecttimeout;
}

std::string addresstext(const SocketAddress& address)
{
    const std::string host = address.isipv6() ? "[" + address.text() + "]" : address.text();
    return host + ":" + std::to_string(address.port());
}

} // namespace lark
