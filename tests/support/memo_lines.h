// The lines of a memo, as the bytes they hold.
#pragma once

#include "components.h"

#include <string>
#include <vector>

inline std::vector<std::string> LinesOf(TMemo* memo) {
    std::vector<std::string> lines;
    for (int i = 0; i < memo->Lines->Count(); ++i)
        lines.push_back(memo->Lines->Strings(i).Bytes());
    return lines;
}
