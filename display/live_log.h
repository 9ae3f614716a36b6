// Turning the bytes of one poll into display lines of the live log.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

constexpr int kReceiveAreaSize = 5000;
constexpr std::size_t kMaxDisplayLine = 4999;

// The display text of count bytes: 0x20..0x7F stand for themselves, every other byte becomes
// "<" two lowercase hex digits ">". Empty for a count below 1.
std::string RenderBytes(const unsigned char* bytes, int count);

// Receives each display line as soon as it is complete.
using LineSink = std::function<void(std::string&& line)>;

// Renders bytes fed in pieces into lines of at most maxLength characters, never cutting an
// escape: a poll that fits gives one line, a longer one continues on further lines.
class LineRenderer {
  public:
    explicit LineRenderer(LineSink add, std::size_t maxLength = kMaxDisplayLine);
    void Feed(const unsigned char* bytes, std::size_t count);
    // Hands over the line being filled, if anything was fed since the last one.
    void Finish();

  private:
    LineSink add_;
    std::size_t maxLength_;
    std::string line_;
};

// The same text cut into lines as LineRenderer does. Appends to lines; nothing for no bytes.
void RenderLines(const unsigned char* bytes, std::size_t count, std::vector<std::string>& lines,
                 std::size_t maxLength = kMaxDisplayLine);

// Reads the receive area: fills at most the size it is given, returns how many bytes it placed.
using AreaReader = std::function<int(unsigned char* area, int areaSize)>;

// Where one poll stops taking bytes, besides a read that leaves the queue empty.
struct PollBounds {
    // Bytes already taken that end the poll: the queue as it stood at a moment.
    std::size_t maxBytes = static_cast<std::size_t>(-1);
    // Asked after each area; true ends the poll and leaves the rest for the next one. The
    // window bounds a tick by its working time, so that it answers input whatever the rate.
    std::function<bool()> timeUp;
};

// One poll of the live log: takes waiting bytes through read, area by area, and hands the
// display lines to add as they fill. Returns the number of bytes taken.
std::size_t PollLines(const AreaReader& read, const LineSink& add, const PollBounds& bounds = {});
