#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "socketaddress.h"

namespace {

// Connects try IPv6 first and the families in turn, so a family that goes
// nowhere costs one attempt before the other is tried.
TEST(Addresses, FamiliesAlternateIpv6First)
{
    struct Case {
        std::vector<const char*> found;
        const char* order;
    } cases[] = {
        {{"10.0.0.1", "10.0.0.2", "10.0.0.3", "2001:db8::1", "2001:db8::2"},
         "2001:db8::1 10.0.0.1 2001:db8::2 10.0.0.2 10.0.0.3 "},
        {{"10.0.0.1", "10.0.0.1", "::1", "::1"}, "::1 10.0.0.1 "},
    };
    for (const Case& c : cases) {
        lark::AddressList found(c.found.size());
        for (size_t i = 0; i < found.size(); ++i) ASSERT_TRUE(found[i].parse(c.found[i], 80)) << c.found[i];
        std::string order;
        for (const lark::SocketAddress& address : lark::interleavefamilies(found)) order += address.text() + " ";
        EXPECT_EQ(order, c.order);
    }
}

} // namespace
