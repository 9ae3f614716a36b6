#include "live_log.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

char HexDigit(unsigned v) {
    return static_cast<char>(v < 10 ? '0' + v : 'a' + (v - 10));
}

// The piece of display text for each byte value: itself, or "<" two hex digits ">".
struct Piece {
    char text[4];
    std::size_t length;
};
struct Pieces {
    Piece of[256];
    Pieces() {
        for (unsigned b = 0; b < 256; ++b) {
            Piece& p = of[b];
            if (b >= 0x20 && b <= 0x7F) {
                p = {{static_cast<char>(b), 0, 0, 0}, 1};
            } else {
                p = {{'<', HexDigit((b & 0xF0u) >> 4), HexDigit(b & 0x0Fu), '>'}, 4};
            }
        }
    }
};
const Pieces kPieces;

// Writes the pieces of count bytes at out, which has room for four characters a byte, and
// returns the end of what it wrote. A piece is copied whole, whatever its length: the room is
// there, and one fixed-size copy beats a branch per byte.
char* RenderInto(const unsigned char* bytes, std::size_t count, char* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const Piece& p = kPieces.of[bytes[i]];
        std::memcpy(out, p.text, 4);
        out += p.length;
    }
    return out;
}

} // namespace

std::string RenderBytes(const unsigned char* bytes, int count) {
    std::string text;
    if (count < 1) return text;
    text.resize(static_cast<std::size_t>(count) * 4);
    char* end = RenderInto(bytes, static_cast<std::size_t>(count), text.data());
    text.resize(static_cast<std::size_t>(end - text.data()));
    return text;
}

LineRenderer::LineRenderer(LineSink add, std::size_t maxLength)
    : add_(std::move(add)), maxLength_(maxLength < 4 ? 4 : maxLength) {} // an escape must fit

void LineRenderer::Feed(const unsigned char* bytes, std::size_t count) {
    std::size_t i = 0;
    while (i < count) {
        // As many bytes as fit the line even if every one is escaped go in one pass.
        const std::size_t sure = std::min(count - i, (maxLength_ - line_.size()) / 4);
        if (sure > 0) {
            const std::size_t old = line_.size();
            line_.resize(old + sure * 4);
            char* end = RenderInto(bytes + i, sure, line_.data() + old);
            line_.resize(static_cast<std::size_t>(end - line_.data()));
            i += sure;
            continue;
        }
        // The last few characters of a line: a piece that does not fit starts the next one.
        const Piece& p = kPieces.of[bytes[i]];
        if (line_.size() + p.length > maxLength_) {
            add_(std::move(line_));
            line_.clear();
            line_.reserve(maxLength_);
            continue;
        }
        line_.append(p.text, p.length);
        ++i;
    }
}

void LineRenderer::Finish() {
    if (line_.empty()) return; // a rendered byte is never empty, so nothing was fed
    add_(std::move(line_));
    line_.clear();
}

void RenderLines(const unsigned char* bytes, std::size_t count, std::vector<std::string>& lines,
                 std::size_t maxLength) {
    LineRenderer renderer([&](std::string&& line) { lines.push_back(std::move(line)); }, maxLength);
    renderer.Feed(bytes, count);
    renderer.Finish();
}

std::size_t PollLines(const AreaReader& read, const LineSink& add, const PollBounds& bounds) {
    auto area = std::make_unique<unsigned char[]>(kReceiveAreaSize);
    LineRenderer renderer(add);
    std::size_t taken = 0;
    while (taken < bounds.maxBytes) {
        const std::size_t left = bounds.maxBytes - taken;
        const int size = left < static_cast<std::size_t>(kReceiveAreaSize) ? static_cast<int>(left)
                                                                           : kReceiveAreaSize;
        int count = read(area.get(), size);
        if (count < 1) break;
        if (count > size) count = size;
        renderer.Feed(area.get(), static_cast<std::size_t>(count));
        taken += static_cast<std::size_t>(count);
        // A short read emptied the queue as it stood when it was asked.
        if (count < size) break;
        if (bounds.timeUp && bounds.timeUp()) break;
    }
    renderer.Finish();
    return taken;
}
