// Every test executable starts here. On Linux port names resolve in a fresh temporary
// directory, so no test can reach a real serial device, and Qt draws offscreen.
#include "commapi.h"
#include "test_env.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {
std::filesystem::path gDeviceDir;
}

const std::filesystem::path& TestDeviceDir() {
    return gDeviceDir;
}

int main(int argc, char** argv) {
#ifdef _WIN32
    // Ports are the system's own here: the directory only holds what tests write.
    std::error_code made;
    gDeviceDir = std::filesystem::temp_directory_path() /
                 ("quorvane-test-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(gDeviceDir, made);
    if (made) return 2;
#else
    char pattern[] = "/tmp/quorvane-dev-XXXXXX";
    if (!mkdtemp(pattern)) return 2;
    gDeviceDir = pattern;
    SetSerialDeviceDirectory(pattern);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(gDeviceDir, ignored);
    return result;
}
