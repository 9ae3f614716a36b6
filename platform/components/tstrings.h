// The lines of a memo: its model. Every line is kept as the bytes added and read back
// unchanged. The bytes live in large chunks that are never grown or copied, and each line costs
// one 8-byte record, so that appending stays constant-time at any size and a million short
// lines take little more than their text.
#pragma once

#include "ansi_string.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TStrings {
  public:
    TStrings() = default;
    ~TStrings();
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;

    void Add(const AnsiString& line) { Add(std::string_view(line.Bytes())); }
    void Add(const char* line) { Add(std::string_view(line)); }
    void Add(const std::string& line) { Add(std::string_view(line)); }
    void Add(std::string_view line);
    void Clear();
    int Count() const { return static_cast<int>(count_); }
    AnsiString Strings(int index) const;
    // Valid until the next Add or Clear; empty for an index out of range.
    std::string_view Line(int index) const;
    std::size_t LongestLine() const { return longest_; } // in bytes

    // The memo's view follows the model through these.
    std::function<void(int index)> OnAdded;
    std::function<void()> OnCleared;

  private:
    struct Chunk {
        char* data;
        std::size_t size;
        std::size_t used;
    };
    static constexpr std::size_t kChunkBytes = std::size_t(1) << 20;
    static constexpr std::size_t kBlockLines = std::size_t(1) << 16;
    static constexpr int kOffsetBits = 40;

    std::uint64_t Record(std::size_t index) const {
        return blocks_[index / kBlockLines][index % kBlockLines];
    }
    void CloseChunk();

    std::vector<Chunk> chunks_;
    std::vector<std::unique_ptr<std::uint64_t[]>> blocks_; // chunk << 40 | offset, per line
    std::size_t count_ = 0;
    std::size_t longest_ = 0;
};
