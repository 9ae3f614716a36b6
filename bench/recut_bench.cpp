// Re-cutting a 100 MB log: the linear cutter against the rule as literally stated, measured
// in the same run. The literal rule rescans the carried text after every line, so with the
// token absent it is quadratic: it is timed on smaller logs there, and the growth shown.
#include "frame_cut.h"
#include "literal_cut.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Display lines of at most 4999 characters holding `total` characters of frames: each frame
// is the token followed by filler, `period` characters in all.
std::vector<std::string> MakeLog(std::size_t total, const std::string& token, std::size_t period) {
    std::string frame = token + std::string(period - token.size(), 'A');
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t made = 0; made < total;) {
        std::size_t room = 4999 - line.size();
        std::size_t offset = made % frame.size();
        std::size_t take = std::min(room, frame.size() - offset);
        line.append(frame, offset, take);
        made += take;
        if (line.size() == 4999) lines.push_back(std::move(line)), line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

template <class F> double Seconds(F&& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Ours(const std::vector<std::string>& log, std::size_t& pieces) {
    pieces = 0;
    return Seconds([&] {
        FrameCutter cutter("<02>", false, [&](std::string_view) { ++pieces; });
        for (const std::string& line : log)
            cutter.Feed(line);
        cutter.Finish();
    });
}

double Literal(const std::vector<std::string>& log, std::size_t& pieces) {
    double s = Seconds([&] { pieces = literal::LiteralCut(log, "<02>", false).size(); });
    return s;
}

} // namespace

int main() {
    const std::size_t mb = 1 << 20;
    std::size_t ours = 0, theirs = 0;

    auto framed = MakeLog(100 * mb, "<02>", 40);
    double a = Ours(framed, ours);
    double b = Literal(framed, theirs);
    std::printf(
        "100 MB, token every 40 bytes: ours %.3f s, literal %.3f s (%.1fx); %zu pieces (%s)\n", a,
        b, b / a, ours, ours == theirs ? "same" : "DIFFERENT");

    auto bare = MakeLog(100 * mb, "<7f>", 40); // filler only: the token never occurs
    a = Ours(bare, ours);
    std::printf("100 MB, token absent: ours %.3f s, %zu piece\n", a, ours);
    for (std::size_t size : {1 * mb, 2 * mb, 4 * mb}) {
        auto small = MakeLog(size, "<7f>", 40);
        double mine = Ours(small, ours);
        double lit = Literal(small, theirs);
        std::printf("  %zu MB, token absent: ours %.4f s, literal %.3f s (%.0fx)\n", size / mb,
                    mine, lit, lit / mine);
    }
    return 0;
}
