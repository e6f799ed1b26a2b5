#pragma once

#include <gtest/gtest.h>

#include "lark.h"

// Every test gets a fresh engine, released afterwards.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(lark::startengine(), 0u); }
    void TearDown() override { lark::releasedllres(); }

    void* addbrowse(const std::string& url)
    {
        void* node = nullptr;
        EXPECT_EQ(lark::addnode(node, url, 1, 0, "", "", "/tmp", false, true, false, false), 0u);
        return node;
    }
    void* adddownload(const std::string& url, unsigned branches, const std::string& dir = "/tmp")
    {
        void* node = nullptr;
        EXPECT_EQ(lark::addnode(node, url, branches, 0, "", "", dir, false, true, false, false), 1u);
        return node;
    }
};
