#include "recording_commapi.h"

#include <cstring>

Recording recording;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE tmpl) {
    bool asExpected = access == (GENERIC_READ | GENERIC_WRITE) && share == 0 && !sa &&
                      disposition == OPEN_EXISTING && flags == FILE_ATTRIBUTE_NORMAL && !tmpl;
    recording.calls.push_back(std::string("CreateFileA ") + name +
                              (asExpected ? "" : " (odd flags)"));
    return recording.openResult;
}
BOOL SetupComm(HANDLE, DWORD in, DWORD out) {
    recording.calls.push_back("SetupComm " + std::to_string(in) + " " + std::to_string(out));
    return TRUE;
}
BOOL BuildCommDCBA(LPCSTR def, LPDCB dcb) {
    recording.calls.push_back("BuildCommDCBA");
    recording.settingsText = def;
    if (!recording.buildResult) return FALSE;
    dcb->BaudRate = recording.buildWrites.BaudRate;
    dcb->ByteSize = recording.buildWrites.ByteSize;
    dcb->Parity = recording.buildWrites.Parity;
    dcb->StopBits = recording.buildWrites.StopBits;
    return TRUE;
}
BOOL SetCommState(HANDLE, LPDCB dcb) {
    recording.calls.push_back("SetCommState");
    recording.appliedState = *dcb;
    return recording.setStateResult;
}
BOOL SetCommMask(HANDLE, DWORD mask) {
    recording.calls.push_back("SetCommMask " + std::to_string(mask));
    return TRUE;
}
BOOL ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT stat) {
    recording.calls.push_back("ClearCommError");
    if (!recording.clearResult) return FALSE;
    *errors = CE_FRAME;
    stat->cbInQue = recording.inQueue;
    return TRUE;
}
BOOL ReadFile(HANDLE, LPVOID buffer, DWORD n, LPDWORD got, LPOVERLAPPED) {
    recording.calls.push_back("ReadFile " + std::to_string(n));
    std::memset(buffer, 'r', n);
    *got = recording.readReports == ~0u ? n : recording.readReports;
    return recording.readResult;
}
BOOL EscapeCommFunction(HANDLE, DWORD func) {
    recording.calls.push_back(func == CLRDTR ? "CLRDTR" : func == CLRRTS ? "CLRRTS" : "Escape?");
    return FALSE; // as a pty answers
}
BOOL CloseHandle(HANDLE) {
    recording.calls.push_back("CloseHandle");
    return TRUE;
}
void SetSerialDeviceDirectory(const char*) {}
int SerialLastErrno() {
    return 0;
}
