// The settings text parser and the port name parser: all or nothing, values in range.
#include "line_rules.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    DCB dcb{};
    dcb.BaudRate = 1234;
    dcb.ByteSize = 6;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonLim = 99;
    DCB before = dcb;
    if (commapi::ParseCommSettings(text.c_str(), dcb)) {
        if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
            dcb.StopBits > TWOSTOPBITS)
            std::abort();
        if (dcb.XonLim != 99) std::abort();
        if (commapi::DcbIsApplicable(dcb) != (dcb.BaudRate > 0)) std::abort();
    } else if (std::memcmp(&dcb, &before, sizeof dcb) != 0) {
        std::abort(); // a rejected text changed the record
    }
    commapi::PortName name = commapi::ParsePortName(text.c_str());
    if (name.kind == commapi::PortName::ComNumber && (name.number < 1 || name.number > 256))
        std::abort();
    if (name.kind == commapi::PortName::DevicePath && name.path.empty()) std::abort();
    return 0;
}
