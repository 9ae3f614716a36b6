#include "tstrings.h"

#include <cstdlib>
#include <cstring>
#include <new>

TStrings::~TStrings() {
    for (Chunk& c : chunks_)
        std::free(c.data);
}

void TStrings::CloseChunk() {
    // Give back the unused tail of the chunk being left; its lines stay where they are.
    Chunk& last = chunks_.back();
    if (last.used < last.size && last.used > 0) {
        if (void* shrunk = std::realloc(last.data, last.used)) {
            last.data = static_cast<char*>(shrunk);
            last.size = last.used;
        }
    }
}

void TStrings::Add(std::string_view line) {
    const std::size_t n = line.size();
    if (chunks_.empty() || chunks_.back().used + n > chunks_.back().size) {
        if (!chunks_.empty()) CloseChunk();
        std::size_t size = n > kChunkBytes ? n : kChunkBytes;
        char* data = static_cast<char*>(std::malloc(size ? size : 1));
        if (!data) throw std::bad_alloc();
        chunks_.push_back({data, size, 0});
    }
    if (count_ % kBlockLines == 0 && count_ / kBlockLines == blocks_.size())
        blocks_.emplace_back(new std::uint64_t[kBlockLines]);
    Chunk& chunk = chunks_.back();
    if (n) std::memcpy(chunk.data + chunk.used, line.data(), n);
    blocks_[count_ / kBlockLines][count_ % kBlockLines] =
        (static_cast<std::uint64_t>(chunks_.size() - 1) << kOffsetBits) | chunk.used;
    chunk.used += n;
    if (n > longest_) longest_ = n;
    ++count_;
    if (OnAdded) OnAdded(Count() - 1);
}

void TStrings::Clear() {
    for (Chunk& c : chunks_)
        std::free(c.data);
    chunks_.clear();
    blocks_.clear();
    count_ = longest_ = 0;
    if (OnCleared) OnCleared();
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
    return std::string_view(chunks_[chunk].data + begin, end - begin);
}

AnsiString TStrings::Strings(int index) const {
    std::string_view line = Line(index);
    return AnsiString(line.data(), line.size());
}
