// The decisions of the serial layer that need no device: how a name resolves, which devices
// may be opened, what a settings text means and which termios bits a DCB stands for.
// Kept apart from the device code so that every rule can be tested without hardware.
#pragma once

#include "commapi.h"

#include <cstdint>
#include <functional>
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

// The device a COM number stands for when no <devdir>/COMn alias exists: COM1-8 the on-board
// and PCI UARTs ttyS0-7, COM9-24 the USB adapters ttyUSB0-15, COM25-40 the CDC-ACM boards
// ttyACM0-15, COM41-50 the ARM PL011 UARTs ttyAMA0-9. "" from COM51 on: only an alias.
std::string ComDeviceName(int number);

// The node a CreateFileA name opens when port names resolve in dir: a device path as given;
// for COMn the alias dir/COMn when present says it is there, else the fixed map. "" for none.
std::string ResolvePortName(const char* fileName, const std::string& dir,
                            const std::function<bool(const std::string& path)>& present);

// What the pre-open check learned about a device node, without opening it.
struct DeviceFacts {
    bool exists = false;
    bool isCharDevice = false;
    unsigned major = 0;
    unsigned minor = 0;
    std::string subsystem; // sysfs class of the device ("tty", "misc", ...); empty if none
    std::string console;   // sysfs "console" attribute, "" when absent
    std::string uartType;  // sysfs "type" attribute of a serial core port, "" when absent
    std::string driver;    // driver of the hardware behind the tty ("ftdi_sio", "cdc_acm", ...)
};
enum class Verdict { Open, Missing, NotSerial, Console, NoUart };
Verdict ClassifyDevice(const DeviceFacts& facts);

// Which physical device stands behind a node, as far as the system can tell.
struct DeviceIdentity {
    enum Kind {
        Unknown,
        PseudoTerminal, // gone for good once it hangs up: its number goes to the next terminal
        Usb,            // an adapter or a CDC-ACM board
        Node,           // a port fixed to the machine (8250, PL011): known by its node
    } kind = Unknown;
    unsigned major = 0;
    unsigned minor = 0;
    std::string vendor;       // Usb: idVendor
    std::string product;      // Usb: idProduct
    std::string serial;       // Usb: the device's serial number, "" when it has none
    std::string physicalPath; // Usb: the sysfs path of the interface, i.e. the port it is in
};
// Whether a device that appeared under a name is the one that was monitored there before.
// Only then may it be opened again without the user's say.
bool SameDevice(const DeviceIdentity& was, const DeviceIdentity& now);

// The pid a UUCP lock file names: ten ASCII digits (blanks around them allowed) or, from old
// programs, a 4-byte binary int. 0 when the content names none.
long LockFilePid(const char* data, std::size_t size);

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
