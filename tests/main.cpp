#include "host.h"

#include <gtest/gtest.h>

namespace {

// Engine start-up and shutdown around the whole run, as the PHP process does around requests.
class EngineLifetime : public ::testing::Environment {
public:
    void SetUp() override { host::startup(); }
    void TearDown() override { host::shutdown(); }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new EngineLifetime);
    return RUN_ALL_TESTS();
}
