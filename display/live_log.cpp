#include "live_log.h"

#include <algorithm>
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

LineRenderer::LineRenderer(LineSink add, std::size_t maxLength)
    : add_(std::move(add)), maxLength_(maxLength < 4 ? 4 : maxLength) {} // an escape must fit

void LineRenderer::Feed(const unsigned char* bytes, std::size_t count) {
    if (count == 0) return;
    if (line_.capacity() < maxLength_) line_.reserve(std::min(count * 4, maxLength_));
    char piece[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t n = RenderByte(bytes[i], piece);
        if (line_.size() + n > maxLength_) {
            add_(std::move(line_));
            line_.clear();
            line_.reserve(maxLength_);
        }
        line_.append(piece, n);
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
