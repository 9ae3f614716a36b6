// Turning the bytes of one poll into display lines of the live log.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

constexpr int kReceiveAreaSize = 5000;
constexpr std::size_t kMaxDisplayLine = 4999;
// Reads of the receive area one tick may take; what is still waiting goes to the next tick.
// 64 areas are 320,000 bytes a tick, 1.6 MB/s: far above any serial line.
constexpr int kMaxReadsPerTick = 64;

// The display text of count bytes: 0x20..0x7F stand for themselves, every other byte becomes
// "<" two lowercase hex digits ">". Empty for a count below 1.
std::string RenderBytes(const unsigned char* bytes, int count);

// The same text cut into lines of at most maxLength characters, never inside an escape.
// Appends to lines; nothing is appended for no bytes.
void RenderLines(const unsigned char* bytes, std::size_t count, std::vector<std::string>& lines,
                 std::size_t maxLength = kMaxDisplayLine);

// One tick of the live log: takes every byte waiting through read (which fills at most the
// size it is given and returns how many bytes it placed), and returns the lines to append.
using AreaReader = std::function<int(unsigned char* area, int areaSize)>;
std::vector<std::string> PollLines(const AreaReader& read);
