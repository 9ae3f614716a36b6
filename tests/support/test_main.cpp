// Every test executable starts here. Port names resolve in a fresh temporary directory, so
// no test can reach a real serial device, and Qt draws offscreen.
#include "commapi.h"
#include "test_env.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {
std::filesystem::path gDeviceDir;
}

const std::filesystem::path& TestDeviceDir() {
    return gDeviceDir;
}

int main(int argc, char** argv) {
    char pattern[] = "/tmp/quorvane-dev-XXXXXX";
    if (!mkdtemp(pattern)) return 2;
    gDeviceDir = pattern;
    SetSerialDeviceDirectory(pattern);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(gDeviceDir, ignored);
    return result;
}
