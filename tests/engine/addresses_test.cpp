#include <gtest/gtest.h>

#include "socketaddress.h"

namespace {

lark::SocketAddress at(const char* literal)
{
    lark::SocketAddress address;
    EXPECT_TRUE(address.parse(literal, 80)) << literal;
    return address;
}

std::string texts(const lark::AddressList& list)
{
    std::string out;
    for (const lark::SocketAddress& address : list) out += address.text() + " ";
    return out;
}

// Connects try IPv6 first and the families in turn, so a family that goes
// nowhere costs one attempt before the other is tried.
TEST(Addresses, FamiliesAlternateIpv6First)
{
    struct Case {
        std::vector<const char*> found;
        const char* order;
    } cases[] = {
        {{"127.0.0.1", "::1"}, "::1 127.0.0.1 "},
        {{"10.0.0.1", "10.0.0.2", "10.0.0.3", "2001:db8::1", "2001:db8::2"},
         "2001:db8::1 10.0.0.1 2001:db8::2 10.0.0.2 10.0.0.3 "},
        {{"10.0.0.1", "10.0.0.1", "::1", "::1"}, "::1 10.0.0.1 "},
        {{"10.0.0.2", "10.0.0.1"}, "10.0.0.2 10.0.0.1 "},
        {{}, ""},
    };
    for (const Case& c : cases) {
        lark::AddressList found;
        for (const char* literal : c.found) found.push_back(at(literal));
        EXPECT_EQ(texts(lark::interleavefamilies(found)), c.order);
    }
}

} // namespace
