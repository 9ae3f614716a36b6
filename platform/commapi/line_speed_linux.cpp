#include "line_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace commapi {
namespace {

// The rates with a constant of their own; older drivers know only these, and tools that read
// the speed back with cfgetospeed see them as such.
std::uint32_t StandardCode(std::uint32_t baud) {
    struct Rate {
        std::uint32_t baud, code;
    };
    static constexpr Rate rates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Rate& r : rates)
        if (r.baud == baud) return r.code;
    return BOTHER;
}

} // namespace

int SetCflagAndSpeed(int fd, std::uint32_t cflag, std::uint32_t baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    // BOTHER takes any other rate; the driver picks the nearest divisor. A zero input rate
    // in CIBAUD means "same as output".
    t.c_cflag = (cflag & ~static_cast<std::uint32_t>(CBAUD | CIBAUD)) | StandardCode(baud);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) return errno;
    return 0;
}

} // namespace commapi
