// Rendering and line splitting: lines within their limit, escapes whole, the same text as
// the unsplit rendering, and only characters 0x20..0x7F.
#include "live_log.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks a line limit, small ones included, so that splits are common.
    std::size_t limit = data[0] < 200 ? data[0] : kMaxDisplayLine;
    const unsigned char* bytes = data + 1;
    std::size_t count = size - 1;
    std::vector<std::string> lines;
    RenderLines(bytes, count, lines, limit);
    std::string whole = RenderBytes(bytes, static_cast<int>(count));
    std::string joined;
    for (const std::string& line : lines) {
        if (line.empty() || line.size() > std::max<std::size_t>(limit, 4)) std::abort();
        for (char c : line)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7F)
                std::abort();
        joined += line;
    }
    if (joined != whole) std::abort();
    if ((count == 0) != lines.empty()) std::abort();
    // No line starts inside an escape: each line renders whole bytes.
    std::size_t line = 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t piece = (bytes[i] >= 0x20 && bytes[i] <= 0x7F) ? 1 : 4;
        if (used + piece > lines[line].size()) {
            if (used != lines[line].size()) std::abort();
            ++line;
            used = 0;
        }
        used += piece;
    }
    return 0;
}
