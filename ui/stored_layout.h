// The main window as stored: every property of the window and its controls in one place.
// TF1's constructor applies it; nothing else knows these numbers.
#pragma once

#include "texts.h"

namespace layout {

struct Bounds {
    int left, top, width, height;
};

struct Form {
    const char* caption;
    int left, top, clientWidth, clientHeight;
    const char* fontName;
    int fontPixels;
};
struct Button {
    Bounds bounds;
    const char* caption;
    bool tabStop;
};
struct Edit {
    Bounds bounds;
    const char* text;
    int maxLength;
    bool tabStop;
    bool borderless; // BorderStyle bsNone, ParentColor, AutoSize off
};
struct CheckBox {
    Bounds bounds;
    const char* caption;
    bool checked;
};
struct Memo {
    Bounds bounds;
    bool visible;
};
struct Timer {
    bool enabled;
    int interval;
};

struct Window {
    Form form;
    // In the order of creation: a later control lies above an earlier one.
    Button Bu1;
    Edit Ed1;
    CheckBox CB;
    Edit Ed2;
    Memo Me1;
    Memo Me2;
    Timer Timer1;
};

inline constexpr Window kMainWindow = {
    .form = {"Quorvane", 259, 165, 342, 374, texts::kFontName, 12},
    .Bu1 = {{3, 1, 62, 20}, texts::kStart, false},
    .Ed1 = {{64, 2, 100, 20}, "COM9,38400,E,8", 50, false, false},
    .CB = {{195, 3, 118, 17}, texts::kBreakAfter, false},
    .Ed2 = {{211, 5, 27, 16}, "<02>", 4, false, true},
    .Me1 = {{0, 20, 569, 353}, true},
    .Me2 = {{0, 20, 569, 353}, false},
    .Timer1 = {false, 200},
};

// Replaced by the start-up listing before the window is first shown.
inline constexpr const char* kMe1SampleLines[] = {"Me1"};

} // namespace layout
