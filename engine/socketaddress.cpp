#include "socketaddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace lark {

unsigned SocketAddress::port() const
{
    if (family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    if (family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    return 0;
}

void SocketAddress::setport(unsigned port)
{
    const uint16_t value = htons(static_cast<uint16_t>(port & 0xFFFF));
    if (family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = value;
    if (family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = value;
}

std::string SocketAddress::text() const
{
    char buffer[INET6_ADDRSTRLEN] = "";
    const void* raw = nullptr;
    if (family() == AF_INET) raw = &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr;
    if (family() == AF_INET6) raw = &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr;
    if (!raw || !inet_ntop(family(), raw, buffer, sizeof buffer)) return std::string();
    return buffer;
}

bool SocketAddress::assign(const sockaddr* address, socklen_t size)
{
    if (!address) return false;
    const bool v4 = address->sa_family == AF_INET && size >= static_cast<socklen_t>(sizeof(sockaddr_in));
    const bool v6 = address->sa_family == AF_INET6 && size >= static_cast<socklen_t>(sizeof(sockaddr_in6));
    if (!v4 && !v6) return false;
    storage = sockaddr_storage{};
    length = v4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    std::memcpy(&storage, address, length);
    return true;
}

bool SocketAddress::parse(const std::string& literal, unsigned port)
{
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET, literal.c_str(), &v4.sin_addr) == 1) {
        if (v4.sin_addr.s_addr == 0) return false;
        v4.sin_family = AF_INET;
        assign(reinterpret_cast<const sockaddr*>(&v4), sizeof v4);
    } else if (inet_pton(AF_INET6, literal.c_str(), &v6.sin6_addr) == 1) {
        if (IN6_IS_ADDR_UNSPECIFIED(&v6.sin6_addr)) return false;
        v6.sin6_family = AF_INET6;
        assign(reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
    } else {
        return false;
    }
    setport(port);
    return true;
}

bool SocketAddress::operator==(const SocketAddress& other) const
{
    return length == other.length && std::memcmp(&storage, &other.storage, length) == 0;
}

AddressList interleavefamilies(const AddressList& found)
{
    AddressList v6, v4;
    for (const SocketAddress& address : found) {
        AddressList& family = address.isipv6() ? v6 : v4;
        bool seen = false;
        for (const SocketAddress& known : family) seen = seen || known == address;
        if (!seen) family.push_back(address);
    }
    AddressList ordered;
    for (size_t i = 0; i < v6.size() || i < v4.size(); ++i) {
        if (i < v6.size()) ordered.push_back(v6[i]);
        if (i < v4.size()) ordered.push_back(v4[i]);
    }
    return ordered;
}

} // namespace lark
