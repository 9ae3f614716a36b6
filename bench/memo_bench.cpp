// The memo against QPlainTextEdit, measured in the same run: memory for a million 40-byte
// lines, the time to fill a memo with them, to append one more, to repaint; and a whole
// re-cut of a 100 MB log into 2.5 million frames with the frame view showing.
//
//   build/memo_bench [lines]        (default 1000000)
#include "commapi.h"
#include "components.h"
#include "main_window.h"
#include "memo_view.h"

#include <QApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}
std::size_t HeapInUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// A repaint of the whole view, into an image so that it is drawn now and drawn fully.
void Paint(QWidget* viewport) {
    static QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    viewport->render(&image);
}

std::string Line(int i) { // 40 bytes, like a short frame of display text
    std::string s = "<02>FRAME " + std::to_string(1000000 + i) + " T=21 OK<03>";
    s.resize(40, '.');
    return s;
}

struct Figures {
    double memoryPerLine, fill, append, repaint;
};

// settle: what the memo does once the handler that added lines returns to the loop.
template <class AddLine, class Settle, class Repaint>
Figures Measure(const std::vector<std::string>& lines, AddLine add, Settle settle, Repaint repaint,
                std::size_t text) {
    const int count = static_cast<int>(lines.size());
    std::size_t before = HeapInUse();
    auto start = Clock::now();
    for (const std::string& line : lines)
        add(line);
    settle();
    double fill = Since(start);
    std::size_t used = HeapInUse() - before;
    const int appends = 1000;
    start = Clock::now();
    for (int i = 0; i < appends; ++i) {
        add(lines[static_cast<std::size_t>(i)]);
        settle();
    }
    double append = Since(start) / appends;
    const int paints = 50;
    start = Clock::now();
    for (int i = 0; i < paints; ++i)
        repaint();
    double paint = Since(start) / paints;
    return {(double(used) - double(text)) / count, fill, append, paint};
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char dir[] = "/tmp/quorvane-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    SetSerialDeviceDirectory(dir); // the re-cut's port scan finds nothing, touches nothing
    int qtArgc = 1;
    TApplication app(qtArgc, argv);
    const std::size_t text = std::size_t(count) * 40;
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        lines.push_back(Line(i));

    Figures ours;
    {
        TForm form;
        form.SetClientSize(342, 374);
        auto* memo = new TMemo(&form);
        memo->SetBounds(0, 20, 342, 354);
        form.SetVisible(true);
        ours = Measure(
            lines, [&](const std::string& s) { memo->Lines->Add(s); },
            [&] { memo->View()->SyncScrollBars(); }, [&] { Paint(memo->View()->viewport()); },
            text);
    }
    Figures theirs;
    {
        QPlainTextEdit edit;
        edit.resize(342, 354);
        edit.setLineWrapMode(QPlainTextEdit::NoWrap);
        edit.setReadOnly(true);
        edit.show();
        theirs = Measure(
            lines, [&](const std::string& s) { edit.appendPlainText(QString::fromLatin1(s)); },
            [] {}, [&] { Paint(edit.viewport()); }, text);
    }
    std::printf("%d lines of 40 bytes (%.1f MB of text)\n", count, text / 1048576.0);
    std::printf("%-28s %14s %16s %8s\n", "", "TMemo", "QPlainTextEdit", "ratio");
    std::printf("%-28s %11.1f B %13.1f B %7.1fx\n", "memory per line beyond text",
                ours.memoryPerLine, theirs.memoryPerLine,
                theirs.memoryPerLine / ours.memoryPerLine);
    std::printf("%-28s %12.3f s %14.3f s %7.1fx\n", "fill", ours.fill, theirs.fill,
                theirs.fill / ours.fill);
    std::printf("%-28s %11.4f ms %13.4f ms %7.1fx\n", "append one more line", ours.append * 1e3,
                theirs.append * 1e3, theirs.append / ours.append);
    std::printf("%-28s %11.3f ms %13.3f ms %7.1fx\n", "repaint", ours.repaint * 1e3,
                theirs.repaint * 1e3, theirs.repaint / ours.repaint);
    std::printf("memory in all, TMemo: %.2f x the text + 16 B/line allowance -> %s\n",
                (text + ours.memoryPerLine * count) / double(text),
                ours.memoryPerLine * count <= 0.3 * text + 16.0 * count ? "within target" : "OVER");

    // Repaint where every line in sight is a full 4999-character display line, scrolled to the
    // middle of the lines.
    {
        TForm form;
        form.SetClientSize(342, 374);
        auto* memo = new TMemo(&form);
        memo->SetBounds(0, 20, 342, 354);
        form.SetVisible(true);
        std::string wide;
        while (wide.size() + 4 <= 4999)
            wide += "<02>";
        wide.resize(4999, 'A');
        for (int i = 0; i < 20000; ++i)
            memo->Lines->Add(wide);
        memo->View()->SyncScrollBars();
        QScrollBar* h = memo->View()->horizontalScrollBar();
        h->setValue(h->maximum() / 2);
        const int paints = 50;
        auto start = Clock::now();
        for (int i = 0; i < paints; ++i)
            Paint(memo->View()->viewport());
        std::printf("repaint, 4999-character lines scrolled halfway: %.3f ms\n",
                    Since(start) / paints * 1e3);
    }

    // A whole re-cut of a 100 MB log, token every 40 bytes, the frame view showing.
    {
        TF1 form;
        form.DoCreate();
        form.SetVisible(true);
        std::string frame = "<02>" + std::string(36, 'A');
        std::string line;
        for (std::size_t made = 0; made < (std::size_t(100) << 20); made += 40) {
            if (line.size() + 40 > 4999) {
                form.Me1->Lines->Add(line);
                line.clear();
            }
            line += frame;
        }
        form.Me1->Lines->Add(line);
        auto start = Clock::now();
        form.CB->SetChecked(true); // CBClick: caption, then the re-cut
        QApplication::processEvents();
        double recut = Since(start);
        std::printf(
            "re-cut of 100 MB into %d frames, frame view shown: %.3f s (port scan included, "
            "no ports)\n",
            form.Me2->Lines->Count() - 2, recut);
    }
    return 0;
}
