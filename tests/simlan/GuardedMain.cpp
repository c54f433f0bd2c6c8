// GoogleTest entry of the simulated-LAN clients: they broadcast, so they refuse to run in the
// machine's own network namespace.
#include "NetnsGuard.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
