// The Win32 serial port operations the serial channel calls. On Windows they are the
// system's own. Elsewhere they are ours, over the host's serial driver: types, constants and
// semantics follow the public documentation of the Windows communications functions; only
// what the channel and the port scan use is here. A test that puts a stand-in of its own in
// their place defines QUORVANE_SERIAL_STANDIN, on any system.
#pragma once

#if defined(_WIN32) && !defined(QUORVANE_SERIAL_STANDIN)
#include <windows.h>
#else

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LPDWORD = DWORD*;
using LPVOID = void*;
using LPCSTR = const char*;
using HANDLE = void*;

struct OVERLAPPED;
struct SECURITY_ATTRIBUTES;
using LPOVERLAPPED = OVERLAPPED*;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// All bits set: no port at all.
inline HANDLE const INVALID_HANDLE_VALUE =
    reinterpret_cast<HANDLE>(~static_cast<std::uintptr_t>(0));

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// Event mask bits.
constexpr DWORD EV_ERR = 0x0080;

// EscapeCommFunction codes.
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;

// ClearCommError error bits.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// DCB Parity and StopBits values.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

// Device-control block: the line settings of a serial device.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
using LPDCB = DCB*;

// Communications status, as ClearCommError reports it.
struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
};
using LPCOMSTAT = COMSTAT*;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL BuildCommDCBA(LPCSTR def, LPDCB dcb);
BOOL SetCommState(HANDLE file, LPDCB dcb);
BOOL SetCommMask(HANDLE file, DWORD eventMask);
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL EscapeCommFunction(HANDLE file, DWORD func);
BOOL CloseHandle(HANDLE object);

// Where port names resolve: "/dev" unless a test points it at a directory of its own.
// The text is copied.
void SetSerialDeviceDirectory(const char* dir);

// The errno behind the last failed operation on this thread, for diagnostics.
int SerialLastErrno();

#endif // _WIN32
