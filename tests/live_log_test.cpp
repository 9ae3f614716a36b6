#include "live_log.h"

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(std::initializer_list<int> values) {
    std::vector<unsigned char> v;
    for (int b : values)
        v.push_back(static_cast<unsigned char>(b));
    return v;
}

TEST(RenderBytes, DisplayLines) {
    struct Case {
        std::vector<unsigned char> bytes;
        std::string line;
    } const cases[] = {
        {Bytes({0x41, 0x42, 0x02, 0x43, 0x44}), "AB<02>CD"},
        {Bytes({0x02, 0x41, 0x42, 0x43, 0x03}), "<02>ABC<03>"},
        {Bytes({0x0D, 0x0A}), "<0d><0a>"},
        {Bytes({0x00, 0x41}), "<00>A"},
        {Bytes({0x1B, 0x5B, 0x41}), "<1b>[A"},
        {Bytes({0x20, 0x7E, 0x7F}), " ~\x7f"},
        {Bytes({0x80, 0xFF}), "<80><ff>"},
        {Bytes({0x82, 0xA0}), "<82><a0>"},
        {Bytes({0x83, 0x41}), "<83>A"},
        {Bytes({0x3C, 0x30, 0x32, 0x3E}), "<02>"},
        {Bytes({0x1F, 0x9A, 0xAB, 0xC0, 0xDE, 0xEF}), "<1f><9a><ab><c0><de><ef>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(RenderBytes(c.bytes.data(), static_cast<int>(c.bytes.size())), c.line);
    }
    EXPECT_EQ(RenderBytes(nullptr, 0), "");
    EXPECT_EQ(RenderBytes(nullptr, -3), "");
}

TEST(RenderBytes, EveryByteValueRendersWithinTheDisplayAlphabet) {
    std::vector<unsigned char> all(256);
    std::iota(all.begin(), all.end(), 0);
    std::string text = RenderBytes(all.data(), 256);
    EXPECT_EQ(text.size(), 96u + 160u * 4u);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) {
        return c >= 0x20 && static_cast<unsigned char>(c) <= 0x7F;
    }));
}

TEST(RenderLines, APollWithinTheLimitIsOneLine) {
    std::vector<unsigned char> escapes(1249, 0x02);
    std::vector<std::string> lines;
    RenderLines(escapes.data(), escapes.size(), lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 4996u);

    std::vector<unsigned char> plain(4999, 'A');
    lines.clear();
    RenderLines(plain.data(), plain.size(), lines);
    ASSERT_EQ(lines.size(), 1u);
}

TEST(RenderLines, ALongerPollContinuesOnFurtherLinesWithoutSplittingAnEscape) {
    // 1250 escapes: 5000 characters, one more than a line holds. Then a mix that lands an
    // escape across the boundary.
    std::vector<unsigned char> escapes(1250, 0xFF);
    std::vector<unsigned char> mixed(4997, 'x');
    mixed.push_back(0x02);
    mixed.push_back('y');
    for (const auto& bytes : {escapes, mixed}) {
        std::vector<std::string> lines;
        RenderLines(bytes.data(), bytes.size(), lines);
        ASSERT_EQ(lines.size(), 2u);
        std::string joined;
        for (const std::string& line : lines) {
            EXPECT_LE(line.size(), kMaxDisplayLine);
            joined += line;
        }
        EXPECT_EQ(joined, RenderBytes(bytes.data(), static_cast<int>(bytes.size())));
        EXPECT_EQ(lines[1].front(), '<') << "the escape moved whole to the next line";
    }
}

// A port whose queue the test fills; reads take at most the area's size.
struct FakeQueue {
    std::deque<unsigned char> waiting;
    int reads = 0;
    int Read(unsigned char* area, int size) {
        ++reads;
        int n = std::min<int>(size, static_cast<int>(waiting.size()));
        std::copy_n(waiting.begin(), n, area);
        waiting.erase(waiting.begin(), waiting.begin() + n);
        return n;
    }
};

// What one poll handed to the memo.
struct Polled {
    std::vector<std::string> lines;
    std::size_t taken = 0;
    std::string Joined() const {
        std::string joined;
        for (const std::string& line : lines)
            joined += line;
        return joined;
    }
};

Polled Poll(FakeQueue& port, const PollBounds& bounds = {}) {
    Polled out;
    out.taken =
        PollLines([&](unsigned char* a, int n) { return port.Read(a, n); },
                  [&](std::string&& line) { out.lines.push_back(std::move(line)); }, bounds);
    return out;
}

TEST(PollLines, TakesEveryByteWaitingAcrossSeveralAreas) {
    FakeQueue port;
    std::vector<unsigned char> sent;
    for (int i = 0; i < 12000; ++i)
        sent.push_back(static_cast<unsigned char>(i * 7));
    port.waiting.assign(sent.begin(), sent.end());
    Polled polled = Poll(port);
    EXPECT_TRUE(port.waiting.empty());
    EXPECT_EQ(port.reads, 3); // 5000 + 5000 + 2000: the short read ends the tick
    EXPECT_EQ(polled.taken, sent.size());
    for (const std::string& line : polled.lines)
        EXPECT_LE(line.size(), kMaxDisplayLine);
    EXPECT_EQ(polled.Joined(), RenderBytes(sent.data(), static_cast<int>(sent.size())));
}

TEST(PollLines, NothingWaitingAddsNoLine) {
    FakeQueue port;
    Polled polled = Poll(port);
    EXPECT_TRUE(polled.lines.empty());
    EXPECT_EQ(port.reads, 1);
}

// However much waits, a tick takes it all unless its time is up; then the rest, whole and in
// order, goes to the next tick. The stop takes exactly the queue as it stood at the click.
TEST(PollLines, AFloodIsBoundedByTimeOrByTheCountAtAMomentNeverByAFixedNumberOfReads) {
    const std::size_t flood = 1000u * kReceiveAreaSize + 17;
    std::vector<unsigned char> sent(flood);
    for (std::size_t i = 0; i < flood; ++i)
        sent[i] = static_cast<unsigned char>(i * 13 + i / 7);
    const std::string expected = RenderBytes(sent.data(), static_cast<int>(sent.size()));

    FakeQueue port;
    port.waiting.assign(sent.begin(), sent.end());
    EXPECT_EQ(Poll(port).Joined(), expected) << "no time bound: everything in one tick";

    port.waiting.assign(sent.begin(), sent.end());
    int asked = 0;
    std::string shown;
    int ticks = 0;
    while (!port.waiting.empty()) {
        ++ticks;
        shown += Poll(port, {.timeUp = [&] { return ++asked % 300 == 0; }}).Joined();
    }
    EXPECT_EQ(ticks, 4);
    EXPECT_TRUE(shown == expected) << "split over ticks, nothing lost or reordered";

    port.waiting.assign(sent.begin(), sent.end());
    const std::size_t atClick = 2 * kReceiveAreaSize + 123;
    Polled stop = Poll(port, {.maxBytes = atClick, .timeUp = nullptr});
    EXPECT_EQ(stop.taken, atClick);
    EXPECT_EQ(port.waiting.size(), flood - atClick) << "what came after the click stays";
    EXPECT_EQ(stop.Joined(), RenderBytes(sent.data(), static_cast<int>(atClick)));
}

TEST(PollLines, AReaderThatOverstatesItsCountIsClamped) {
    int calls = 0;
    Polled out;
    PollLines(
        [&](unsigned char* a, int n) {
            std::fill_n(a, n, 'z');
            return ++calls == 1 ? n * 2 : 0;
        },
        [&](std::string&& line) { out.lines.push_back(std::move(line)); });
    EXPECT_EQ(out.Joined().size(), static_cast<std::size_t>(kReceiveAreaSize));
}

} // namespace
