// The view of a memo on Windows: a window class of our own that draws only the lines in sight
// with GDI, straight from the memo's lines, converted to UTF-16 as they are drawn. The
// system's EDIT control is not used: it slows to a crawl on large texts. It behaves as a
// read-only edit box: both scroll bars, a caret while it has the focus, selection with the
// mouse and the keyboard, Ctrl+A, Ctrl+C and the context menu; typing changes nothing.
#pragma once

#include "line_layout.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class TStrings;

class MemoWindow {
  public:
    using Position = TextPosition;

    static const wchar_t* ClassName();
    static void Register();

    MemoWindow(HWND window, const TStrings* lines);
    HWND Handle() const { return window_; }

    void LineAdded(int index);
    void LinesCleared();
    // Brings the scroll bars up to date now rather than when the loop next runs.
    void SyncScrollBars();

    void Select(Position anchor, Position cursor);
    void SelectAll();
    bool HasSelection() const { return anchor_ != cursor_; }
    Position Cursor() const { return cursor_; }
    std::wstring SelectedText() const;
    void Copy() const;

    int LineHeight() const { return lineHeight_; }
    Position PositionAt(POINT point) const;
    POINT PointOf(Position position) const;
    int Columns(int line) const;

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    const LineLayout& LayoutOf(int line) const;
    void SetFont(HFONT font);
    void Paint(HDC dc, const RECT& area);
    int Rows() const;
    int TopLine() const;
    int ScrollX() const;
    void ScrollTo(int bar, int value);
    void ShowCaret();
    void MoveCaret(Position to, bool extend);
    void Key(WPARAM key);
    void Menu(POINT screen);
    std::wstring TextBetween(Position from, Position to) const;

    HWND window_;
    const TStrings* lines_;
    HFONT font_ = nullptr;
    int lineHeight_ = 16;
    Position anchor_;
    Position cursor_;
    bool selecting_ = false;
    bool syncPending_ = false;
    int widest_ = 0;
    long long measuredLongest_ = -1;
    LineLayout::Font fontMetrics_;
    mutable std::vector<std::pair<int, std::shared_ptr<LineLayout>>> layouts_;
};
