// What the Linux serial layer offers beyond the Win32 calls: the places where tests and
// benchmarks put a pseudo-terminal where a real device would be. The program itself sets
// none of them.
#pragma once

#include "line_rules.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// How much unread data an open port's input queue holds before the layer stops taking bytes
// from the device (the device is then held back by the kernel). 0 restores the default.
void SetSerialQueueLimit(std::size_t bytes);

// Where UUCP lock files (LCK..ttyUSB0) are looked for. Empty restores /var/lock and /run/lock.
void SetSerialLockDirectories(std::vector<std::string> dirs);

// Who is behind a device number. Empty restores the lookup through sysfs.
using IdentityLookup = std::function<commapi::DeviceIdentity(unsigned major, unsigned minor)>;
void SetDeviceIdentityLookup(IdentityLookup lookup);
