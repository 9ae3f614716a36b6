// The memo's line store against a plain store of the same chunks (what the memo had before its
// lines were compressed), measured in the same run on two logs appended as the live log
// appends them (display lines of up to 4999 characters): realistic frames (STX, a sequence
// number, 30 printable bytes, ETX) and random bytes. Then both logs again with the memory
// budget lowered to 64 MB; and, in the real memo view, scrolling to random places and drawing.
//
//   build/store_bench [frames GB] [random GB]      (default 2 and 1)
#include "components.h"
#include "live_log.h"
#include "memo_view.h"
#include "tstrings.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}
double MB(double bytes) {
    return bytes / 1e6;
}

std::size_t Resident() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// The store as it was: the same 1 MB chunks, kept plain.
class PlainStore {
  public:
    void Add(std::string_view line) {
        if (chunks_.empty() || chunks_.back().used + line.size() > chunks_.back().size) {
            std::size_t size = std::max<std::size_t>(line.size(), 1 << 20);
            chunks_.push_back({std::make_unique<char[]>(size), size, 0});
        }
        Chunk& c = chunks_.back();
        std::memcpy(c.data.get() + c.used, line.data(), line.size());
        lines_.push_back({chunks_.size() - 1, c.used, line.size()});
        c.used += line.size();
    }
    std::size_t Count() const { return lines_.size(); }
    std::string_view Line(std::size_t i) const {
        const Entry& e = lines_[i];
        return {chunks_[e.chunk].data.get() + e.offset, e.size};
    }

  private:
    struct Chunk {
        std::unique_ptr<char[]> data;
        std::size_t size, used;
    };
    struct Entry {
        std::size_t chunk, offset, size;
    };
    std::vector<Chunk> chunks_;
    std::vector<Entry> lines_;
};

// A pool of display lines, cycled through to make a log of any size.
std::vector<std::string> Pool(bool frames, std::size_t textBytes) {
    std::mt19937 random(42);
    std::vector<unsigned char> bytes;
    std::vector<std::string> lines;
    LineRenderer renderer([&](std::string&& line) { lines.push_back(std::move(line)); });
    std::size_t rendered = 0;
    unsigned sequence = 0;
    while (rendered < textBytes) {
        bytes.clear();
        if (frames) {
            // A run of frames as one poll would take them.
            for (int f = 0; f < 150; ++f, ++sequence) {
                bytes.push_back(0x02);
                bytes.push_back(static_cast<unsigned char>(sequence >> 8));
                bytes.push_back(static_cast<unsigned char>(sequence));
                const char* body = "T=21.4C H=48% P=1013hPa OK ";
                for (int i = 0; i < 30; ++i)
                    bytes.push_back(static_cast<unsigned char>(body[(i + sequence) % 27]));
                bytes.push_back(0x03);
            }
        } else {
            for (int i = 0; i < 4000; ++i)
                bytes.push_back(static_cast<unsigned char>(random()));
        }
        std::size_t before = lines.size();
        renderer.Feed(bytes.data(), bytes.size());
        renderer.Finish();
        for (std::size_t i = before; i < lines.size(); ++i)
            rendered += lines[i].size();
    }
    return lines;
}

struct Fill {
    double seconds = 0;
    double longestAdd = 0;
    std::size_t text = 0;
    std::size_t resident = 0;
};

template <class Store>
Fill Append(Store& store, const std::vector<std::string>& pool, std::size_t textBytes) {
    Fill fill;
    const std::size_t before = Resident();
    const auto start = Clock::now();
    for (std::size_t i = 0; fill.text < textBytes; ++i) {
        const std::string& line = pool[i % pool.size()];
        const auto t = Clock::now();
        store.Add(line);
        fill.longestAdd = std::max(fill.longestAdd, Seconds(Clock::now() - t));
        fill.text += line.size();
    }
    fill.seconds = Seconds(Clock::now() - start);
    fill.resident = Resident() - std::min(before, Resident());
    return fill;
}

template <class Store> double ReadAll(const Store& store, std::size_t count) {
    const auto start = Clock::now();
    std::size_t sum = 0, escapes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view line = store.Line(static_cast<int>(i));
        sum += line.size();
        escapes += static_cast<std::size_t>(std::count(line.begin(), line.end(), '<'));
    }
    double s = Seconds(Clock::now() - start);
    if (escapes == 1) std::printf(" "); // every byte was looked at
    return static_cast<double>(sum) / s;
}

void Paint(QWidget* viewport) {
    static QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    viewport->render(&image);
}

void Compare(const char* what, const std::vector<std::string>& pool, std::size_t textBytes,
             TMemo& memo) {
    std::printf("\n%s, %.0f MB of text:\n", what, MB(static_cast<double>(textBytes)));
    std::size_t read = 0;
    {
        PlainStore plain;
        Fill f = Append(plain, pool, textBytes);
        double rate = ReadAll(plain, plain.Count());
        std::printf("  plain store (baseline): append %6.0f MB/s, longest Add %5.2f ms, "
                    "resident %6.0f MB, sequential read %6.0f MB/s\n",
                    MB(f.text / f.seconds), f.longestAdd * 1e3, MB(f.resident), MB(rate));
        read = f.resident;
    }
    TStrings& store = *memo.Lines;
    store.Clear();
    store.SetLimits(TStrings::DefaultLimits());
    Fill f = Append(store, pool, textBytes);
    const std::size_t count = static_cast<std::size_t>(store.Count());
    const double ratio =
        static_cast<double>(f.text) / static_cast<double>(store.MemoryBytes() + store.FileBytes());
    std::printf("  compressed store:       append %6.0f MB/s, longest Add %5.2f ms, "
                "resident %6.0f MB (%.3f of the baseline; %.3f of the text), ratio %.1f:1, "
                "the store's own count %.0f MB\n",
                MB(f.text / f.seconds), f.longestAdd * 1e3, MB(f.resident),
                static_cast<double>(f.resident) / static_cast<double>(read),
                static_cast<double>(f.resident) / static_cast<double>(f.text), ratio,
                MB(static_cast<double>(store.MemoryBytes())));
    std::printf("                          sequential read %6.0f MB/s\n",
                MB(ReadAll(store, count)));

    // Scrolling to a random place and drawing it, in the memo's own view.
    MemoView* view = memo.View();
    view->SyncScrollBars();
    std::mt19937 random(7);
    double longest = 0, total = 0;
    const int jumps = 50;
    for (int i = 0; i < jumps; ++i) {
        const auto t = Clock::now();
        view->verticalScrollBar()->setValue(static_cast<int>(random() % count));
        Paint(view->viewport());
        const double s = Seconds(Clock::now() - t);
        longest = std::max(longest, s);
        total += s;
    }
    std::printf("  scroll to a random place and draw: mean %.2f ms, longest %.2f ms\n",
                total / jumps * 1e3, longest * 1e3);

    store.Clear();
    TStrings::Limits low = TStrings::DefaultLimits();
    low.memoryBudget = std::size_t(64) << 20;
    store.SetLimits(low);
    f = Append(store, pool, textBytes);
    std::printf(
        "  budget 64 MiB (67 MB): the store holds %6.0f MB in memory, temporary file %6.0f MB, "
        "append %6.0f MB/s, longest Add %5.2f ms\n",
        MB(static_cast<double>(store.MemoryBytes())), MB(static_cast<double>(store.FileBytes())),
        MB(f.text / f.seconds), f.longestAdd * 1e3);
    store.Clear();
}

// A log in which the token never occurs re-cuts into one line: click, drag and scroll to the
// end of a 100 MB line, after it was first shown.
void LongLine(TMemo& memo) {
    memo.Lines->Clear();
    std::string line(100u << 20, 'W');
    for (std::size_t i = 0; i < line.size(); i += 37)
        line.replace(i, 4, "<02>");
    memo.Lines->Add(line);
    line.clear();
    MemoView* view = memo.View();
    auto t = Clock::now();
    view->SyncScrollBars();
    Paint(view->viewport());
    const double first = Seconds(Clock::now() - t);
    auto mouse = [&](QEvent::Type type, QPoint at) {
        QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    };
    t = Clock::now();
    view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
    Paint(view->viewport());
    const double scroll = Seconds(Clock::now() - t);
    t = Clock::now();
    mouse(QEvent::MouseButtonPress, QPoint(100, 5));
    mouse(QEvent::MouseButtonRelease, QPoint(100, 5));
    Paint(view->viewport());
    const double click = Seconds(Clock::now() - t);
    t = Clock::now();
    mouse(QEvent::MouseButtonPress, QPoint(20, 5));
    for (int x = 20; x < 300; x += 10)
        mouse(QEvent::MouseMove, QPoint(x, 5));
    mouse(QEvent::MouseButtonRelease, QPoint(300, 5));
    Paint(view->viewport());
    const double drag = Seconds(Clock::now() - t) / 29;
    std::printf("\na 100 MB line: first shown %.0f ms (one pass to measure it); then scroll to its "
                "end and draw %.2f ms, click %.2f ms, each step of a drag %.2f ms\n",
                first * 1e3, scroll * 1e3, click * 1e3, drag * 1e3);
    memo.Lines->Clear();
}

} // namespace

int main(int argc, char** argv) {
    const double framesGB = argc > 1 ? std::atof(argv[1]) : 2;
    const double randomGB = argc > 2 ? std::atof(argv[2]) : 1;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    TApplication app(qtArgc, argv);
    TForm form;
    form.SetClientSize(342, 374);
    auto* memo = new TMemo(&form);
    memo->SetBounds(0, 20, 342, 354);
    form.SetVisible(true);

    const std::size_t pool = std::size_t(64) << 20;
    Compare("frames", Pool(true, pool), static_cast<std::size_t>(framesGB * 1e9), *memo);
    Compare("random bytes", Pool(false, pool), static_cast<std::size_t>(randomGB * 1e9), *memo);
    LongLine(*memo);
    std::printf("\n(the budget of the default run: %.0f MB)\n",
                MB(static_cast<double>(TStrings::DefaultLimits().memoryBudget)));
    return 0;
}
