// One peer or local address of either family, as the socket calls take it.
#pragma once

#include <sys/socket.h>

#include <string>
#include <vector>

namespace lark {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0; // 0: no address

    bool empty() const { return length == 0; }
    int family() const { return empty() ? AF_UNSPEC : storage.ss_family; }
    bool isipv6() const { return family() == AF_INET6; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }

    unsigned port() const;
    void setport(unsigned port);
    // "192.0.2.1" or "2001:db8::1", without brackets or port.
    std::string text() const;

    // An IPv4 or IPv6 sockaddr of `size` bytes; false for another family.
    bool assign(const sockaddr* address, socklen_t size);
    // A numeric address ("127.0.0.1", "::1"); no name is looked up. The
    // unspecified addresses (0.0.0.0, ::) name no server and are refused.
    bool parse(const std::string& literal, unsigned port);

    bool operator==(const SocketAddress& other) const;
};

using AddressList = std::vector<SocketAddress>;

// The order connects try a host's addresses in: IPv6 first when the host
// has both, the families alternating, each family in the resolver's order,
// so one broken family costs one attempt, not all of its addresses.
AddressList interleavefamilies(const AddressList& found);

} // namespace lark
