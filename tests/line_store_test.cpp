// The memo's line store: lines come back byte for byte from wherever their chunk went, and a
// store that can take no more keeps what it has.
#include "test_env.h"
#include "tstrings.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Lines as the memos hold them: display text of every length up to the live log's limit,
// empty lines, Shift-JIS text, and one line larger than a chunk.
std::vector<std::string> SampleLines(std::size_t textBytes, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::string> lines;
    std::size_t total = 0;
    const char* pieces[] = {"<02>", "<03>", "<0d>", "<0a>", "A", "7", " ", "<ff>", "x"};
    while (total < textBytes) {
        std::string line;
        const std::size_t length = random() % 5000;
        while (line.size() < length)
            line += pieces[random() % std::size(pieces)];
        if (lines.size() % 97 == 5) line.clear();
        if (lines.size() % 101 == 7)
            line = "\x82\xb1\x82\xcc"
                   "PC";
        total += line.size();
        lines.push_back(std::move(line));
    }
    lines.insert(lines.begin() + static_cast<long>(lines.size() / 2), std::string(3u << 20, 'L'));
    return lines;
}

// Open files of this process; -1 where the system does not say.
int OpenFiles() {
#ifdef __linux__
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
#else
    return -1;
#endif
}

TEST(LineStore, LinesComeBackByteForByteFromPlainCompressedAndSpilledChunks) {
    const std::vector<std::string> lines = SampleLines(12u << 20, 1);
    const std::filesystem::path spill = TestDeviceDir() / "spill";
    std::filesystem::create_directories(spill);
    struct Case {
        const char* where;
        std::size_t budget;
        bool spills;
    } const cases[] = {
        {"all compressed in memory", std::size_t(1) << 30, false},
        {"half spilled", 3u << 20, true},
        {"every closed chunk spilled", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        auto owned = std::make_unique<TStrings>();
        TStrings& store = *owned;
        TStrings::Limits limits;
        limits.memoryBudget = c.budget;
        limits.spillDir = spill.string();
        store.SetLimits(limits);
        std::size_t memoryAtHalf = 0;
        for (const std::string& line : lines) {
            store.Add(line);
            if (store.Count() == static_cast<int>(lines.size() / 2))
                memoryAtHalf = store.MemoryBytes();
        }
        ASSERT_EQ(store.Count(), static_cast<int>(lines.size()));
        if (c.budget == 0) {
            EXPECT_LT(store.MemoryBytes(), memoryAtHalf + (1u << 20))
                << "memory grew with the text";
        }
        EXPECT_EQ(store.FileBytes() > 0, c.spills);
#ifdef __linux__
        EXPECT_TRUE(std::filesystem::is_empty(spill)) << "the temporary file has a name";
#endif
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (store.Line(static_cast<int>(i)) != lines[i]) FAIL() << "line " << i;
        // Out of order, as scrolling and selecting read.
        std::mt19937 random(2);
        for (int k = 0; k < 300; ++k) {
            std::size_t i = random() % lines.size();
            if (store.Line(static_cast<int>(i)) != lines[i]) FAIL() << "line " << i;
        }
        EXPECT_EQ(store.LongestLine(), std::size_t(3) << 20);
        owned.reset();
        EXPECT_TRUE(std::filesystem::is_empty(spill)) << "the temporary file outlived the store";
    }
}

TEST(LineStore, ClearGivesBackTheMemoryAndTheFile) {
    TStrings store;
    TStrings::Limits limits;
    limits.memoryBudget = 0;
    limits.spillDir = TestDeviceDir().string();
    store.SetLimits(limits);
    const int filesBefore = OpenFiles();
    for (const std::string& line : SampleLines(8u << 20, 3))
        store.Add(line);
    ASSERT_GT(store.FileBytes(), 0u);
    if (filesBefore >= 0) {
        EXPECT_EQ(OpenFiles(), filesBefore + 1);
    }
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.FileBytes(), 0u);
    if (filesBefore >= 0) {
        EXPECT_EQ(OpenFiles(), filesBefore) << "the file, and its space, go";
    }
    EXPECT_LT(store.MemoryBytes(), 64u << 10);
    store.Add("again");
    EXPECT_EQ(store.Line(0), "again");
}

// The disk refuses more: closed chunks stay in memory past the budget by a quarter, then new
// lines are not stored. Nothing captured is lost.
TEST(LineStore, AFullDiskStopsStoringButKeepsEverythingCaptured) {
    TStrings store;
    TStrings::Limits limits;
    limits.memoryBudget = 1u << 20;
    limits.spillDir = TestDeviceDir().string();
    limits.diskLimit = 2u << 20;
    store.SetLimits(limits);
    std::vector<std::string> lines = SampleLines(60u << 20, 4);
    std::size_t stored = 0;
    for (const std::string& line : lines) {
        store.Add(line);
        if (store.Count() == static_cast<int>(stored) + 1) ++stored;
    }
    ASSERT_LT(stored, lines.size()) << "the store never filled";
    ASSERT_GT(stored, 0u);
    EXPECT_LE(store.FileBytes(), 2u << 20);
    for (std::size_t i = 0; i < stored; ++i)
        if (store.Line(static_cast<int>(i)) != lines[i]) FAIL() << "line " << i;
    store.Add("refused");
    EXPECT_EQ(store.Count(), static_cast<int>(stored));
}

std::atomic<int> gAllocationsLeft{-1}; // -1: no limit
void* Rationed(std::size_t size) {
    if (gAllocationsLeft.load() == 0) return nullptr;
    if (gAllocationsLeft.load() > 0) --gAllocationsLeft;
    return std::malloc(size);
}

TEST(LineStore, AFailedAllocationLosesTheNewLineNotTheLog) {
    TStrings store;
    TStrings::Limits limits;
    limits.allocate = Rationed;
    store.SetLimits(limits);
    const std::string line(4000, 'a');
    gAllocationsLeft = -1;
    for (int i = 0; i < 600; ++i) // more than two chunks: some compressed
        store.Add(line + std::to_string(i));
    const int captured = store.Count();
    gAllocationsLeft = 0; // no new chunk, no compression buffer, no cache
    for (int i = 0; i < 600; ++i)
        store.Add(line);
    EXPECT_LT(store.Count(), captured + 600);
    gAllocationsLeft = -1;
    for (int i = 0; i < captured; ++i)
        if (store.Line(i) != line + std::to_string(i)) FAIL() << "line " << i;
    store.Add("later");
    EXPECT_EQ(store.Line(store.Count() - 1), "later") << "storing resumes";
}

} // namespace
