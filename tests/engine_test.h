// Every test runs inside one stand-in request and fails if it leaves request memory behind or
// changes how much persistent memory is live.
#ifndef CORVANE_TESTS_ENGINE_TEST_H
#define CORVANE_TESTS_ENGINE_TEST_H

#include <corvane/ZVal.h>
#include "host.h"

#include <gtest/gtest.h>

#include <string_view>

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::requestStartup();
        persistentBefore_ = host::livePersistentBlocks();
    }

    void TearDown() override {
        EXPECT_EQ(host::requestShutdown(), 0u) << "request memory leaked (listed on stderr)";
        if (host::persistentFreesVisible()) {
            ACCOUNTED_EQ(host::livePersistentBlocks(), persistentBefore_) << "persistent memory leaked";
        }
    }

    // A fresh request string with count 1 that the test owns.
    static zend_string* newString(std::string_view text) { return ZendString(text).detach(); }

    static unsigned int countOf(const void* counted) {
        return static_cast<const zend_refcounted*>(counted)->gc.refcount;
    }
    static unsigned int typeInfoOf(const void* counted) {
        return static_cast<const zend_refcounted*>(counted)->gc.u.type_info;
    }

private:
    size_t persistentBefore_ = 0;
};

#endif
