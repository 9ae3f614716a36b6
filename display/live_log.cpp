#include "live_log.h"

#include <memory>

namespace {

char HexDigit(unsigned v) {
    return static_cast<char>(v < 10 ? '0' + v : 'a' + (v - 10));
}

// Writes the piece for b at out and returns its length (1 or 4).
std::size_t RenderByte(unsigned char b, char* out) {
    if (b >= 0x20 && b <= 0x7F) {
        out[0] = static_cast<char>(b);
        return 1;
    }
    out[0] = '<';
    out[1] = HexDigit((b & 0xF0u) >> 4);
    out[2] = HexDigit(b & 0x0Fu);
    out[3] = '>';
    return 4;
}

} // namespace

std::string RenderBytes(const unsigned char* bytes, int count) {
    std::string text;
    if (count < 1) return text;
    text.reserve(static_cast<std::size_t>(count) * 4);
    char piece[4];
    for (int i = 0; i < count; ++i)
        text.append(piece, RenderByte(bytes[i], piece));
    return text;
}

void RenderLines(const unsigned char* bytes, std::size_t count, std::vector<std::string>& lines,
                 std::size_t maxLength) {
    if (count == 0) return;
    if (maxLength < 4) maxLength = 4; // an escape must fit a line
    std::string line;
    line.reserve(count * 4 < maxLength ? count * 4 : maxLength);
    char piece[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t n = RenderByte(bytes[i], piece);
        if (line.size() + n > maxLength) {
            lines.push_back(std::move(line));
            line.clear();
        }
        line.append(piece, n);
    }
    lines.push_back(std::move(line));
}

std::vector<std::string> PollLines(const AreaReader& read) {
    std::vector<unsigned char> received;
    auto area = std::make_unique<unsigned char[]>(kReceiveAreaSize);
    for (int reads = 0; reads < kMaxReadsPerTick; ++reads) {
        int count = read(area.get(), kReceiveAreaSize);
        if (count < 1) break;
        if (count > kReceiveAreaSize) count = kReceiveAreaSize;
        received.insert(received.end(), area.get(), area.get() + count);
        // A short read emptied the queue as it stood when it was asked.
        if (count < kReceiveAreaSize) break;
    }
    std::vector<std::string> lines;
    RenderLines(received.data(), received.size(), lines);
    return lines;
}
