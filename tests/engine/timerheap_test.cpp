// The deadline store both workers' waits are bounded by.
#include <gtest/gtest.h>

#include "timerheap.h"

namespace {

using lark::TimerHeap;

TEST(TimerHeap, ExpiresInDeadlineOrderAndHonoursCancels)
{
    TimerHeap heap;
    int a = 0, b = 0, c = 0;
    EXPECT_EQ(heap.waittime(0), -1) << "no timer, no bound";
    heap.add(300, &a);
    TimerHeap::Token early = heap.add(100, &b);
    TimerHeap::Token middle = heap.add(200, &c);
    TimerHeap::Token tie = heap.add(100, &c);
    EXPECT_EQ(heap.waittime(40), 60);
    EXPECT_EQ(heap.waittime(150), 0) << "a due deadline asks for no wait";

    EXPECT_TRUE(heap.cancel(middle));
    EXPECT_FALSE(heap.cancel(middle)) << "a token cancels once";
    EXPECT_TRUE(heap.expire(99).empty());

    auto due = heap.expire(250);
    ASSERT_EQ(due.size(), 2u);
    EXPECT_EQ(due[0].token, early) << "equal deadlines keep the order they were set in";
    EXPECT_EQ(due[1].token, tie);
    EXPECT_FALSE(heap.cancel(early)) << "an expired entry is gone";

    heap.add(400, &a);
    heap.cancelowner(&a);
    EXPECT_EQ(heap.size(), 0u) << "a deleted node takes all its deadlines";
    EXPECT_TRUE(heap.expire(1000).empty());
}

} // namespace
