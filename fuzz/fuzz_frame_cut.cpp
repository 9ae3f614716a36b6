// The linear frame cutter against the rule as literally stated.
#include "frame_cut.h"
#include "literal_cut.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Byte 0: break mode and token length (0..4); then the token; the rest is the log, cut
    // into lines at every newline.
    bool before = data[0] & 1;
    std::size_t tokenLength = std::min<std::size_t>((data[0] >> 1) % 5, size - 1);
    std::string token(reinterpret_cast<const char*>(data + 1), tokenLength);
    std::vector<std::string> lines;
    std::string line;
    bool any = false;
    for (std::size_t i = 1 + tokenLength; i < size; ++i) {
        any = true;
        if (data[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(data[i]));
        }
    }
    if (any) lines.push_back(line);
    if (CutFrames(lines, token, before) != literal::LiteralCut(lines, token, before)) std::abort();
    return 0;
}
