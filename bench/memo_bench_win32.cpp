// The Windows memo against the system's EDIT control (multi-line, read-only), measured in the
// same run: filling either with the same 40-byte lines, appending one more, repainting, and
// scrolling to a random place and drawing it. The EDIT control gets a tenth of the lines; our
// memo gets them all as well.
//
//   quorvane_memo_bench.exe [lines]        (default 1000000; under Wine, on an X server)
#include "components.h"
#include "memo_window.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Line(int i) { // 40 bytes, like a short frame of display text
    std::string s = "<02>FRAME " + std::to_string(1000000 + i) + " T=21 OK<03>";
    s.resize(40, '.');
    return s;
}

void Repaint(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

struct Figures {
    double fill = 0, append = 0, repaint = 0, jump = 0;
};

Figures Ours(int count) {
    TForm form;
    form.SetClientSize(342, 374);
    auto* memo = new TMemo(&form);
    memo->SetBounds(0, 20, 342, 354);
    ShowWindow(form.Widget(), SW_SHOW);
    Figures f;
    auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        memo->Lines->Add(Line(i));
    memo->View()->SyncScrollBars();
    Repaint(memo->Widget());
    f.fill = Since(start);
    start = Clock::now();
    for (int i = 0; i < 100; ++i) {
        memo->Lines->Add(Line(i));
        memo->View()->SyncScrollBars();
        Repaint(memo->Widget());
    }
    f.append = Since(start) / 100;
    start = Clock::now();
    for (int i = 0; i < 50; ++i)
        Repaint(memo->Widget());
    f.repaint = Since(start) / 50;
    std::mt19937 random(7);
    start = Clock::now();
    for (int i = 0; i < 50; ++i) {
        SetScrollPos(memo->Widget(), SB_VERT, static_cast<int>(random() % count), TRUE);
        Repaint(memo->Widget());
    }
    f.jump = Since(start) / 50;
    Pump();
    return f;
}

Figures Edit(int count) {
    TForm form;
    form.SetClientSize(342, 374);
    ShowWindow(form.Widget(), SW_SHOW);
    HWND edit = form.CreateChild(L"EDIT", ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL |
                                              ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL);
    MoveWindow(edit, 0, 20, 342, 354, TRUE);
    SendMessageW(edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    Figures f;
    std::wstring text;
    for (int i = 0; i < count; ++i) {
        const std::string line = Line(i);
        text.append(line.begin(), line.end());
        text += L"\r\n";
    }
    auto start = Clock::now();
    SetWindowTextW(edit, text.c_str());
    Repaint(edit);
    f.fill = Since(start);
    start = Clock::now();
    for (int i = 0; i < 100; ++i) {
        const int end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, end, end);
        const std::string line = Line(i);
        const std::wstring wide = std::wstring(line.begin(), line.end()) + L"\r\n";
        SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
        Repaint(edit);
    }
    f.append = Since(start) / 100;
    start = Clock::now();
    for (int i = 0; i < 50; ++i)
        Repaint(edit);
    f.repaint = Since(start) / 50;
    std::mt19937 random(7);
    start = Clock::now();
    for (int i = 0; i < 50; ++i) {
        const int line = static_cast<int>(random() % count);
        const int first = static_cast<int>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
        SendMessageW(edit, EM_LINESCROLL, 0, line - first);
        Repaint(edit);
    }
    f.jump = Since(start) / 50;
    Pump();
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    int appArgc = 0;
    TApplication app(appArgc, argv);
    const int editCount = count / 10;
    const Figures ours = Ours(count);
    const Figures oursSmall = Ours(editCount);
    const Figures edit = Edit(editCount);
    std::printf("%-34s %14s %14s %14s %8s\n", "", "memo, all", "memo, a tenth", "EDIT, a tenth",
                "ratio");
    auto row = [](const char* what, double a, double b, double c, double scale, const char* unit) {
        std::printf("%-34s %11.3f %s %11.3f %s %11.3f %s %7.1fx\n", what, a * scale, unit,
                    b * scale, unit, c * scale, unit, c / b);
    };
    std::printf("lines: %d and %d\n", count, editCount);
    row("fill", ours.fill, oursSmall.fill, edit.fill, 1, "s ");
    row("append one line and show it", ours.append, oursSmall.append, edit.append, 1e3, "ms");
    row("repaint", ours.repaint, oursSmall.repaint, edit.repaint, 1e3, "ms");
    row("scroll to a random line and draw", ours.jump, oursSmall.jump, edit.jump, 1e3, "ms");
    std::printf("(ratio: the EDIT control's time over our memo's, on the same tenth)\n");
    return 0;
}
