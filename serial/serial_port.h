// The serial port channel: opens a port from its definition, reads what is waiting, closes it.
// It only ever receives.
#pragma once

#include "commapi.h"
#include "port_definition.h"

// Process-wide records, zero at start. LineSettings is never reset between opens: a member
// that an open's text does not set keeps what an earlier open left in it.
extern DCB LineSettings;
extern COMSTAT LineStatus;

constexpr DWORD kQueueSize = 2048;

// Returns the open, configured port, or INVALID_HANDLE_VALUE. Nothing is called for a
// definition that does not fit the working texts.
HANDLE OpenPort(const char* definition);

// Places at most areaSize of the waiting bytes at the start of area and returns how many it
// placed; the rest stays queued. 0 when nothing waits, for INVALID_HANDLE_VALUE, and when the
// port cannot be queried or read.
int ReadPort(HANDLE port, unsigned char* area, int areaSize);

// How many bytes wait in the port's input queue right now: 0 for INVALID_HANDLE_VALUE and when
// the port cannot be queried.
DWORD QueuedBytes(HANDLE port);

// Drops DTR, then RTS, then releases the port. Always returns INVALID_HANDLE_VALUE.
HANDLE ClosePort(HANDLE port);
