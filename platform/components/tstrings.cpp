#include "tstrings.h"

#include "spill_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <zstd.h>

namespace {

// Display lines are short runs of few distinct characters: the fastest level already packs
// them many times over, and keeps a full chunk's compression within a millisecond or two.
constexpr int kLevel = 1;

} // namespace

struct TStrings::Chunk {
    enum State {
        Filling, // plain, lines are still added
        Plain,   // closed, plain: compression found no memory
        Packed,  // compressed, in memory
        Spilled, // compressed, in the temporary file
    } state = Filling;
    char* data = nullptr;     // Filling, Plain: the text; Packed: the compressed bytes
    std::size_t size = 0;     // Filling: room for text
    std::size_t used = 0;     // bytes of text
    std::size_t packed = 0;   // Packed, Spilled: compressed bytes
    std::uint64_t offset = 0; // Spilled: where in the file
};

struct TStrings::Cached {
    std::size_t chunk = 0;
    char* data = nullptr;
    std::size_t capacity = 0;
    std::uint64_t used = 0; // when last read: the least recent goes first
};

TStrings::Limits TStrings::DefaultLimits() {
    Limits limits;
    const std::uint64_t physical = PhysicalMemory();
    limits.memoryBudget = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(physical / 8, 64u << 20, std::uint64_t(2) << 30));
    return limits;
}

TStrings::TStrings() : limits_(DefaultLimits()), file_(std::make_unique<SpillFile>()) {}

TStrings::~TStrings() {
    Clear();
    ZSTD_freeCCtx(static_cast<ZSTD_CCtx*>(compressor_));
    ZSTD_freeDCtx(static_cast<ZSTD_DCtx*>(decompressor_));
}

void TStrings::SetLimits(Limits limits) {
    limits_ = std::move(limits);
}

void* TStrings::Allocate(std::size_t size) const {
    if (size == 0) size = 1;
    return limits_.allocate ? limits_.allocate(size) : std::malloc(size);
}

bool TStrings::OpenChunk(std::size_t size) {
    Chunk chunk;
    chunk.data = static_cast<char*>(Allocate(size));
    if (!chunk.data) return false;
    chunk.size = size;
    try {
        chunks_.push_back(chunk);
    } catch (const std::bad_alloc&) {
        std::free(chunk.data);
        return false;
    }
    plainBytes_ += size;
    return true;
}

void TStrings::CloseChunk() {
    Chunk& c = chunks_.back();
    c.state = Chunk::Plain;
    if (!compressor_) compressor_ = ZSTD_createCCtx();
    const std::size_t bound = ZSTD_compressBound(c.used);
    char* packed = compressor_ ? static_cast<char*>(Allocate(bound)) : nullptr;
    std::size_t n = 0;
    if (packed) {
        n = ZSTD_compressCCtx(static_cast<ZSTD_CCtx*>(compressor_), packed, bound, c.data, c.used,
                              kLevel);
        if (ZSTD_isError(n)) {
            std::free(packed);
            packed = nullptr;
        }
    }
    if (!packed) {
        // Kept plain: give back the unused tail; the lines stay where they are.
        if (c.used < c.size && c.used > 0)
            if (void* shrunk = std::realloc(c.data, c.used)) {
                c.data = static_cast<char*>(shrunk);
                plainBytes_ -= c.size - c.used;
                c.size = c.used;
            }
        return;
    }
    if (void* shrunk = std::realloc(packed, n)) packed = static_cast<char*>(shrunk);
    std::free(c.data);
    plainBytes_ -= c.size;
    c.data = packed;
    c.size = 0;
    c.packed = n;
    c.state = Chunk::Packed;
    packedInMemory_ += n;
    // The budget holds for everything the store keeps in memory, not the packed text alone:
    // while it is exceeded, the oldest packed chunks go to the file.
    diskRefused_ = false;
    while (MemoryBytes() > limits_.memoryBudget && !diskRefused_) {
        while (nextToSpill_ < chunks_.size() && chunks_[nextToSpill_].state != Chunk::Packed)
            ++nextToSpill_;
        if (nextToSpill_ >= chunks_.size()) break; // nothing left that could go
        diskRefused_ = !Spill(chunks_[nextToSpill_]);
    }
}

bool TStrings::Spill(Chunk& c) {
    if (fileEnd_ + c.packed > limits_.diskLimit || !file_->Open(limits_.spillDir) ||
        !file_->Write(fileEnd_, c.data, c.packed))
        return false;
    std::free(c.data);
    c.data = nullptr;
    c.offset = fileEnd_;
    fileEnd_ += c.packed;
    packedInMemory_ -= c.packed;
    c.state = Chunk::Spilled;
    return true;
}

void TStrings::Add(std::string_view line) {
    // Past its budget by a quarter, the memory holds what the disk would not take: from here
    // on lines are not stored, and what was captured stays.
    if (diskRefused_ && MemoryBytes() > limits_.memoryBudget + limits_.memoryBudget / 4) return;
    const std::size_t n = line.size();
    if (chunks_.empty() || chunks_.back().state != Chunk::Filling ||
        chunks_.back().used + n > chunks_.back().size) {
        if (!chunks_.empty() && chunks_.back().state == Chunk::Filling) CloseChunk();
        if (!OpenChunk(std::max(n, kChunkBytes))) return;
    }
    if (count_ % kBlockLines == 0 && count_ / kBlockLines == blocks_.size()) {
        std::unique_ptr<std::uint64_t[]> block(new (std::nothrow) std::uint64_t[kBlockLines]);
        if (!block) return;
        try {
            blocks_.push_back(std::move(block));
        } catch (const std::bad_alloc&) {
            return;
        }
    }
    Chunk& chunk = chunks_.back();
    if (n) std::memcpy(chunk.data + chunk.used, line.data(), n);
    blocks_[count_ / kBlockLines][count_ % kBlockLines] =
        (static_cast<std::uint64_t>(chunks_.size() - 1) << kOffsetBits) | chunk.used;
    chunk.used += n;
    textBytes_ += n;
    if (n > longest_) {
        longest_ = n;
        longestIndex_ = static_cast<int>(count_);
    }
    ++count_;
    if (OnAdded) OnAdded(Count() - 1);
}

void TStrings::Clear() {
    for (Chunk& c : chunks_)
        std::free(c.data);
    chunks_.clear();
    blocks_.clear();
    for (Cached& c : cache_)
        std::free(c.data);
    cache_.clear();
    file_->Close(); // its space goes with it
    fileEnd_ = 0;
    nextToSpill_ = 0;
    diskRefused_ = false;
    packedInMemory_ = plainBytes_ = cacheBytes_ = 0;
    count_ = longest_ = 0;
    longestIndex_ = 0;
    textBytes_ = 0;
    if (OnCleared) OnCleared();
}

const char* TStrings::Plain(std::size_t index) const {
    const Chunk& c = chunks_[index];
    if (c.state == Chunk::Filling || c.state == Chunk::Plain) return c.data;
    for (Cached& hit : cache_)
        if (hit.chunk == index && hit.data) {
            hit.used = ++tick_;
            return hit.data;
        }
    if (cache_.size() < kCachedChunks) cache_.emplace_back();
    Cached& slot =
        *std::min_element(cache_.begin(), cache_.end(),
                          [](const Cached& a, const Cached& b) { return a.used < b.used; });
    if (slot.capacity < c.used || !slot.data) {
        std::free(slot.data);
        cacheBytes_ -= slot.capacity;
        slot.data = static_cast<char*>(Allocate(c.used));
        slot.capacity = slot.data ? std::max<std::size_t>(c.used, 1) : 0;
        cacheBytes_ += slot.capacity;
        if (!slot.data) return nullptr;
    }
    slot.chunk = index;
    slot.used = ++tick_;
    const char* packed = c.data;
    char* read = nullptr;
    if (c.state == Chunk::Spilled) {
        read = static_cast<char*>(Allocate(c.packed));
        if (!read || !file_->Read(c.offset, read, c.packed)) {
            std::free(read);
            slot.chunk = static_cast<std::size_t>(-1);
            return nullptr;
        }
        packed = read;
    }
    if (!decompressor_) decompressor_ = ZSTD_createDCtx();
    std::size_t n = decompressor_ ? ZSTD_decompressDCtx(static_cast<ZSTD_DCtx*>(decompressor_),
                                                        slot.data, slot.capacity, packed, c.packed)
                                  : 0;
    std::free(read);
    if (!decompressor_ || ZSTD_isError(n) || n != c.used) {
        slot.chunk = static_cast<std::size_t>(-1);
        return nullptr;
    }
    return slot.data;
}

std::string_view TStrings::Line(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= count_) return {};
    const std::size_t i = static_cast<std::size_t>(index);
    const std::uint64_t mask = (std::uint64_t(1) << kOffsetBits) - 1;
    const std::uint64_t record = Record(i);
    const std::size_t chunk = record >> kOffsetBits;
    const std::size_t begin = record & mask;
    std::size_t end = chunks_[chunk].used;
    if (i + 1 < count_) {
        const std::uint64_t next = Record(i + 1);
        if ((next >> kOffsetBits) == chunk) end = next & mask;
    }
    if (end == begin) return {};
    const char* text = Plain(chunk);
    if (!text) return {}; // the file could not be read back
    return std::string_view(text + begin, end - begin);
}

std::string TStrings::Joined(int first, int end, std::string_view separator) const {
    std::string text;
    for (int i = std::max(first, 0); i < std::min(end, Count()); ++i) {
        text.append(Line(i));
        text.append(separator);
    }
    return text;
}

AnsiString TStrings::Strings(int index) const {
    std::string_view line = Line(index);
    return AnsiString(line.data(), line.size());
}

std::size_t TStrings::MemoryBytes() const {
    return packedInMemory_ + plainBytes_ + cacheBytes_ +
           blocks_.size() * kBlockLines * sizeof(std::uint64_t) +
           chunks_.capacity() * sizeof(Chunk);
}
