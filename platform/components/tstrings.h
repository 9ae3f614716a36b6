// The lines of a memo: its model. Every line is kept as the bytes added and read back
// unchanged, for as long as the disk holds.
//
// The bytes live in chunks of a quarter megabyte. The chunk being filled stays plain; a full one is
// compressed, and once the compressed chunks pass a memory budget, further ones go to one
// unlinked temporary file that nothing else sees and that vanishes with the process, even
// after a crash. Reading a line brings its chunk back into a small cache of recent chunks.
// Each line costs one 8-byte record. When neither memory nor the disk can take more, new lines
// are not stored and everything captured so far stays readable.
#pragma once

#include "ansi_string.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class SpillFile;

class TStrings {
  public:
    struct Limits {
        // Compressed bytes kept in memory before chunks go to the temporary file.
        std::size_t memoryBudget = 0;
        // Where the temporary file is made; empty: $TMPDIR, else /var/tmp.
        std::string spillDir;
        // What the temporary file may grow to: a full disk, for tests.
        std::uint64_t diskLimit = ~std::uint64_t(0);
        // Where buffers come from: a failed allocation, for tests. nullptr: malloc.
        void* (*allocate)(std::size_t) = nullptr;
    };
    // An eighth of the physical memory, at most 2 GB.
    static Limits DefaultLimits();

    TStrings();
    ~TStrings();
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;

    // Takes effect for chunks closed from now on.
    void SetLimits(Limits limits);

    void Add(const AnsiString& line) { Add(std::string_view(line.Bytes())); }
    void Add(const char* line) { Add(std::string_view(line)); }
    void Add(const std::string& line) { Add(std::string_view(line)); }
    void Add(std::string_view line);
    void Clear();
    int Count() const { return static_cast<int>(count_); }
    AnsiString Strings(int index) const;
    // Valid until the next call of Line, Strings, Add or Clear on this object: copy what must
    // outlive it. Empty for an index out of range.
    std::string_view Line(int index) const;
    // Lines [first, end), each followed by separator.
    std::string Joined(int first, int end, std::string_view separator) const;
    std::size_t LongestLine() const { return longest_; } // in bytes
    int LongestIndex() const { return longestIndex_; }   // the first line of that length

    // Where the text is now: bytes of memory the store holds (plain, compressed and cached),
    // and bytes of the temporary file.
    std::size_t MemoryBytes() const;
    std::uint64_t FileBytes() const { return fileEnd_; }
    // Text bytes added and stored.
    std::uint64_t TextBytes() const { return textBytes_; }

    // The memo's view follows the model through these.
    std::function<void(int index)> OnAdded;
    std::function<void()> OnCleared;

  private:
    struct Chunk;
    struct Cached;

    std::uint64_t Record(std::size_t index) const {
        return blocks_[index / kBlockLines][index % kBlockLines];
    }
    void* Allocate(std::size_t size) const;
    bool OpenChunk(std::size_t size);
    void CloseChunk();
    bool Spill(Chunk& chunk);
    const char* Plain(std::size_t chunk) const;

    // Small enough that compressing a full one stays well within a few milliseconds of the Add
    // that closes it, even for text that packs badly; large enough to pack well.
    static constexpr std::size_t kChunkBytes = std::size_t(256) << 10;
    static constexpr std::size_t kBlockLines = std::size_t(1) << 16;
    static constexpr int kOffsetBits = 40;
    static constexpr std::size_t kCachedChunks = 4;

    Limits limits_;
    std::vector<Chunk> chunks_;
    std::vector<std::unique_ptr<std::uint64_t[]>> blocks_; // chunk << 40 | offset, per line
    std::size_t count_ = 0;
    std::size_t longest_ = 0;
    int longestIndex_ = 0;
    std::uint64_t textBytes_ = 0;
    std::size_t packedInMemory_ = 0; // compressed bytes held in memory
    std::size_t plainBytes_ = 0;     // bytes of plain chunks: the one being filled, and any
                                     // that could not be compressed
    mutable std::size_t cacheBytes_ = 0;
    std::unique_ptr<SpillFile> file_; // the temporary file, opened when first needed
    std::uint64_t fileEnd_ = 0;
    std::size_t nextToSpill_ = 0; // chunks before it are not packed in memory
    bool diskRefused_ = false;    // the last chunk the memory could not keep found no room on disk
    mutable std::vector<Cached> cache_;
    mutable std::uint64_t tick_ = 0;
    void* compressor_ = nullptr;
    mutable void* decompressor_ = nullptr;
};
