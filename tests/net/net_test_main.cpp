// Entry of the network tests: libcurl is initialised before any test (or server) thread
// starts, and every test runs under a time budget.
#include "net/network_init.h"
#include "support/watchdog.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    tavrin::net::initNetwork();
    testing::InitGoogleTest(&argc, argv);
    // Each test needs a few seconds at most; sanitizer builds are several times slower.
    testing::UnitTest::GetInstance()->listeners().Append(
        new tavrin::testing_support::WatchdogListener(std::chrono::seconds(30)));
    return RUN_ALL_TESTS();
}
