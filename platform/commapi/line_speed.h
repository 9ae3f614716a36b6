// Puts c_cflag and an arbitrary speed on a line in one request. Lives apart from the rest of
// the device code because the kernel's termios2 header cannot share a unit with <termios.h>.
#pragma once

#include <cstdint>

namespace commapi {

// Returns 0, or the errno of the failed request.
int SetCflagAndSpeed(int fd, std::uint32_t cflag, std::uint32_t baud);

} // namespace commapi
