#pragma once

#include <filesystem>

// The directory port names resolve in during this test run.
const std::filesystem::path& TestDeviceDir();
