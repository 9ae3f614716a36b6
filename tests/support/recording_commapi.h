// A stand-in for the serial layer that records every call and answers as the test scripts.
#pragma once

#include "commapi.h"

#include <string>
#include <vector>

struct Recording {
    std::vector<std::string> calls; // "CreateFileA \\.\COM9", "ReadFile 0", ...
    HANDLE openResult = reinterpret_cast<HANDLE>(0x1234);
    BOOL buildResult = TRUE;
    BOOL setStateResult = TRUE;
    DCB buildWrites{}; // what a successful BuildCommDCBA puts into the record
    BOOL clearResult = TRUE;
    DWORD inQueue = 0;
    BOOL readResult = TRUE;
    DWORD readReports = ~0u;  // the count ReadFile reports; ~0u: the count asked
    std::string settingsText; // the last text BuildCommDCBA was given
    DCB appliedState{};       // the record SetCommState was given
};

extern Recording recording;
