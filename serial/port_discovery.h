// Which of COM1..COM50 can be opened on this PC right now.
#pragma once

#include "ansi_string.h"

// The names of the ports the last scan opened, ascending, each followed by ", ".
extern AnsiString PortList;

// Rebuilds PortList by probing COM1 to COM50, every one, in order.
void ScanPorts();
// Opens portName with the probe settings; lists it if it opened; closes what it opened.
void ProbePort(const char* portName);
// "このPCのCOM port： " followed by PortList: the line the window shows.
AnsiString ListingLine();
