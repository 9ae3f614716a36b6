#include "port_discovery.h"

#include "serial_port.h"

#include <cstdio>
#include <cstring>

AnsiString PortList;

namespace {
constexpr int kLastPort = 50;
constexpr char kProbeSettings[] = ",38400,E,8";
// このPCのCOM port： (the full-width colon is 81 46), then one blank.
constexpr char kListingPrefix[] = "\x82\xb1\x82\xcc"
                                  "PC"
                                  "\x82\xcc"
                                  "COM port\x81\x46 ";
} // namespace

void ScanPorts() {
    PortList = AnsiString();
    for (int n = 1; n <= kLastPort; ++n) {
        char number[12];
        char name[20];
        std::snprintf(number, sizeof number, "%d", n);
        std::strcpy(name, "COM");
        std::strcat(name, number);
        ProbePort(name);
    }
}

void ProbePort(const char* portName) {
    char definition[32];
    // A name that leaves no room for the settings cannot be a port name of ours.
    if (std::strlen(portName) + sizeof kProbeSettings > sizeof definition) return;
    std::strcpy(definition, portName);
    std::strcat(definition, kProbeSettings);
    HANDLE port = OpenPort(definition);
    if (port != INVALID_HANDLE_VALUE) {
        PortList += portName;
        PortList += ", ";
    }
    ClosePort(port);
}

AnsiString ListingLine() {
    return AnsiString(kListingPrefix) + PortList;
}
