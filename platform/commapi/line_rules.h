// The decisions of the serial layer that need no device: how a name resolves, which devices
// may be opened, what a settings text means and which termios bits a DCB stands for.
// Kept apart from the device code so that every rule can be tested without hardware.
#pragma once

#include "commapi.h"

#include <cstdint>
#include <string>
#include <termios.h>

namespace commapi {

// "\\.\COM9", "\\.\com12", "\\.\/dev/ttyUSB0".
struct PortName {
    enum Kind { Invalid, ComNumber, DevicePath } kind = Invalid;
    int number = 0;   // ComNumber: 1..256
    std::string path; // DevicePath: as given
};
PortName ParsePortName(const char* fileName);

// What the pre-open check learned about a device node, without opening it.
struct DeviceFacts {
    bool exists = false;
    bool isCharDevice = false;
    unsigned major = 0;
    unsigned minor = 0;
    std::string subsystem; // sysfs class of the device ("tty", "misc", ...); empty if none
    std::string console;   // sysfs "console" attribute, "" when absent
    std::string uartType;  // sysfs "type" attribute of a serial core port, "" when absent
};
enum class Verdict { Open, Missing, NotSerial, Console, NoUart };
Verdict ClassifyDevice(const DeviceFacts& facts);

// Parses "COMn:Baud=38400 Parity=E Data=8 Stop=1" into dcb; all or nothing.
bool ParseCommSettings(const char* text, DCB& dcb);

// Checks a DCB for what can be put on a line; the parts SetCommState applies.
bool DcbIsApplicable(const DCB& dcb);
// The c_cflag for the DCB's data bits, parity and stop bits, other bits kept from cflag.
tcflag_t CflagForDcb(tcflag_t cflag, const DCB& dcb);

// A listen-only line: no echo, no canonical processing, no software or hardware flow control,
// no translation, reads that never wait. Size, parity and speed are left alone.
void MakeRaw(termios& t);

} // namespace commapi
