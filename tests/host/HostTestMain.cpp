// main() of the test binaries that act as a media server: arguments, the
// process's apartment, and the server registered before any test runs.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/host/HostSupport.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    hosttest::SetArguments(argc, argv);
    hosttest::ComScope com;
    if (!hosttest::RegisterServer()) {
        std::fprintf(stderr, "cannot register the server\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
