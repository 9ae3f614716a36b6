#include "serial_port.h"

DCB LineSettings{};
COMSTAT LineStatus{};

HANDLE OpenPort(const char* definition) {
    char devicePath[kDevicePathSize];
    char settingsText[kSettingsTextSize];
    if (!BuildPortTexts(definition, devicePath, settingsText)) return INVALID_HANDLE_VALUE;

    HANDLE port = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) return port;
    // A rejected settings text leaves LineSettings as it was, and that is applied regardless.
    SetupComm(port, kQueueSize, kQueueSize);
    BuildCommDCBA(settingsText, &LineSettings);
    SetCommState(port, &LineSettings);
    SetCommMask(port, EV_ERR);
    return port;
}

int ReadPort(HANDLE port, unsigned char* area, int areaSize) {
    if (port == INVALID_HANDLE_VALUE) return 0;
    DWORD errors = 0; // line errors are not shown
    if (!ClearCommError(port, &errors, &LineStatus)) return 0;
    DWORD wanted = LineStatus.cbInQue;
    DWORD room = areaSize > 0 ? static_cast<DWORD>(areaSize) : 0;
    if (wanted > room) wanted = room;
    DWORD got = 0;
    if (!ReadFile(port, area, wanted, &got, nullptr)) return 0;
    return static_cast<int>(got < wanted ? got : wanted);
}

DWORD QueuedBytes(HANDLE port) {
    if (port == INVALID_HANDLE_VALUE) return 0;
    DWORD errors = 0;
    return ClearCommError(port, &errors, &LineStatus) ? LineStatus.cbInQue : 0;
}

HANDLE ClosePort(HANDLE port) {
    if (port != INVALID_HANDLE_VALUE) {
        EscapeCommFunction(port, CLRDTR);
        EscapeCommFunction(port, CLRRTS);
        CloseHandle(port);
    }
    return INVALID_HANDLE_VALUE;
}
