#include "memo_window.h"

#include "components.h"
#include "memo_menu.h"
#include "tstrings.h"

#include <algorithm>
#include <windowsx.h>

namespace {

constexpr int kMargin = 2;
constexpr std::size_t kRecentLayouts = 64;
constexpr UINT kSync = WM_APP + 2;

LRESULT CALLBACK MemoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* memo = reinterpret_cast<MemoWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (memo) return memo->Handle(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring Wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

bool IsWordChar(wchar_t c) {
    return IsCharAlphaNumericW(c) || c == L'_';
}

bool Down(int key) {
    return GetKeyState(key) < 0;
}

} // namespace

const wchar_t* MemoWindow::ClassName() {
    return L"QuorvaneMemo";
}

void MemoWindow::Register() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = MemoProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_IBEAM);
    wc.hbrBackground = nullptr; // everything is painted, nothing erased: no flicker
    wc.lpszClassName = ClassName();
    RegisterClassExW(&wc);
}

MemoWindow::MemoWindow(HWND window, const TStrings* lines) : window_(window), lines_(lines) {
    fontMetrics_.advance = [this](char16_t c) {
        HDC dc = GetDC(window_);
        HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
        wchar_t one = static_cast<wchar_t>(c);
        SIZE size{};
        GetTextExtentPoint32W(dc, &one, 1, &size);
        SelectObject(dc, old);
        ReleaseDC(window_, dc);
        return static_cast<double>(size.cx);
    };
    fontMetrics_.decode = [](std::string_view bytes) {
        const std::wstring text = ToUnicode(bytes);
        return text.empty() ? char16_t(0xFFFD) : static_cast<char16_t>(text[0]);
    };
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetFont(nullptr);
}

void MemoWindow::SetFont(HFONT font) {
    font_ = font;
    HDC dc = GetDC(window_);
    HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    lineHeight_ = std::max<int>(1, tm.tmHeight + tm.tmExternalLeading);
    // Integer advances, as the text is drawn with: what is measured is where it lands.
    INT widths[128] = {};
    GetCharWidth32W(dc, 0, 127, widths);
    for (int c = 0; c < 128; ++c)
        fontMetrics_.ascii[c] = widths[c];
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    layouts_.clear();
    widest_ = 0;
    measuredLongest_ = -1;
    SyncScrollBars();
}

const LineLayout& MemoWindow::LayoutOf(int line) const {
    for (std::size_t i = 0; i < layouts_.size(); ++i)
        if (layouts_[i].first == line) {
            std::rotate(layouts_.begin(), layouts_.begin() + static_cast<long>(i),
                        layouts_.begin() + static_cast<long>(i) + 1);
            return *layouts_.front().second;
        }
    if (layouts_.size() >= kRecentLayouts) layouts_.pop_back();
    layouts_.insert(layouts_.begin(),
                    {line, std::make_shared<LineLayout>(lines_->Line(line), fontMetrics_)});
    return *layouts_.front().second;
}

int MemoWindow::Columns(int line) const {
    if (line < 0 || line >= lines_->Count()) return 0;
    return LayoutOf(line).Columns();
}

int MemoWindow::Rows() const {
    RECT r;
    GetClientRect(window_, &r);
    return std::max(1, static_cast<int>(r.bottom - r.top) / lineHeight_);
}

int MemoWindow::TopLine() const {
    return GetScrollPos(window_, SB_VERT);
}

int MemoWindow::ScrollX() const {
    return GetScrollPos(window_, SB_HORZ);
}

void MemoWindow::ScrollTo(int bar, int value) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE;
    GetScrollInfo(window_, bar, &si);
    const int top = std::max(si.nMin, si.nMax - static_cast<int>(si.nPage) + 1);
    value = std::clamp(value, si.nMin, std::max(si.nMin, top));
    SetScrollPos(window_, bar, value, TRUE);
    InvalidateRect(window_, nullptr, FALSE);
    if (GetFocus() == window_) {
        POINT caret = PointOf(cursor_);
        SetCaretPos(caret.x, caret.y);
    }
}

void MemoWindow::LineAdded(int) {
    if (syncPending_) return;
    // However many lines arrive in one handler, the scroll bars are set once afterwards.
    syncPending_ = true;
    PostMessageW(window_, kSync, 0, 0);
}

void MemoWindow::LinesCleared() {
    anchor_ = cursor_ = Position{};
    widest_ = 0;
    measuredLongest_ = -1;
    layouts_.clear();
    LineAdded(0);
}

void MemoWindow::SyncScrollBars() {
    syncPending_ = false;
    const int count = lines_->Count();
    const int rows = Rows();
    SCROLLINFO v{};
    v.cbSize = sizeof v;
    v.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    GetScrollInfo(window_, SB_VERT, &v);
    const bool following = v.nPos >= std::max(0, v.nMax - static_cast<int>(v.nPage) + 1);
    v.fMask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
    v.nMin = 0;
    v.nMax = std::max(0, count - 1);
    v.nPage = static_cast<UINT>(rows);
    SetScrollInfo(window_, SB_VERT, &v, TRUE);
    if (following) SetScrollPos(window_, SB_VERT, std::max(0, count - rows), TRUE);

    const std::size_t longest = lines_->LongestLine();
    if (static_cast<long long>(longest) != measuredLongest_ && count > 0) {
        measuredLongest_ = static_cast<long long>(longest);
        // The exact width of the longest line: one pass over it, however long.
        widest_ = std::max(widest_, static_cast<int>(LayoutOf(lines_->LongestIndex()).Width()));
    }
    RECT r;
    GetClientRect(window_, &r);
    SCROLLINFO h{};
    h.cbSize = sizeof h;
    h.fMask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
    h.nMin = 0;
    h.nMax = std::max(0, widest_ + 2 * kMargin - 1);
    h.nPage = static_cast<UINT>(std::max<LONG>(1, r.right - r.left));
    SetScrollInfo(window_, SB_HORZ, &h, TRUE);
    InvalidateRect(window_, nullptr, FALSE);
}

MemoWindow::Position MemoWindow::PositionAt(POINT point) const {
    const int count = lines_->Count();
    if (count == 0) return {};
    const int row = point.y < 0 ? -1 : point.y / lineHeight_;
    const int line = TopLine() + row;
    if (line < 0) return {};
    if (line >= count) return {count - 1, Columns(count - 1)};
    return {line, LayoutOf(line).ColumnAt(point.x + ScrollX() - kMargin)};
}

POINT MemoWindow::PointOf(Position p) const {
    const double x = p.line < lines_->Count() ? LayoutOf(p.line).X(p.column) : 0;
    return {kMargin - ScrollX() + static_cast<LONG>(x), (p.line - TopLine()) * lineHeight_};
}

void MemoWindow::Paint(HDC target, const RECT& area) {
    RECT client;
    GetClientRect(window_, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    // Drawn off screen, then shown in one go.
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, std::max(1, width), std::max(1, height));
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    const int first = TopLine();
    const int scrolled = ScrollX();
    const int x0 = kMargin - scrolled;
    const Position from = std::min(anchor_, cursor_);
    const Position to = std::max(anchor_, cursor_);
    for (int row = 0; row <= height / lineHeight_; ++row) {
        const int line = first + row;
        if (line >= lines_->Count()) break;
        const LineLayout& layout = LayoutOf(line);
        const int y = row * lineHeight_;
        // Only the characters in sight are converted and drawn.
        const int begin = layout.ColumnAt(scrolled - kMargin, true);
        const int end = std::min(layout.Columns(), layout.ColumnAt(scrolled + width, true) + 1);
        const std::wstring shown = Wide(layout.Text(begin, end));
        const int x = x0 + static_cast<int>(layout.X(begin));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        ExtTextOutW(dc, x, y, 0, nullptr, shown.c_str(), static_cast<UINT>(shown.size()), nullptr);
        if (HasSelection() && line >= from.line && line <= to.line) {
            const int left = x0 + (line == from.line ? static_cast<int>(layout.X(from.column)) : 0);
            const int right = x0 + (line == to.line ? static_cast<int>(layout.X(to.column))
                                                    : static_cast<int>(layout.Width()) + 4);
            RECT band{std::max(left, 0), y, std::min(right, width), y + lineHeight_};
            if (band.right > band.left) {
                FillRect(dc, &band, GetSysColorBrush(COLOR_HIGHLIGHT));
                SaveDC(dc);
                IntersectClipRect(dc, band.left, band.top, band.right, band.bottom);
                SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
                ExtTextOutW(dc, x, y, 0, nullptr, shown.c_str(), static_cast<UINT>(shown.size()),
                            nullptr);
                RestoreDC(dc, -1);
            }
        }
    }
    BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, dc,
           area.left, area.top, SRCCOPY);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void MemoWindow::Select(Position anchor, Position cursor) {
    anchor_ = anchor;
    cursor_ = cursor;
    InvalidateRect(window_, nullptr, FALSE);
    if (GetFocus() == window_) {
        POINT caret = PointOf(cursor_);
        SetCaretPos(caret.x, caret.y);
    }
}

void MemoWindow::SelectAll() {
    const int last = lines_->Count() - 1;
    if (last < 0) return Select({}, {});
    Select({0, 0}, {last, Columns(last)});
}

std::wstring MemoWindow::TextBetween(Position from, Position to) const {
    if (lines_->Count() == 0 || !(from < to)) return {};
    to.line = std::min(to.line, lines_->Count() - 1);
    if (from.line == to.line) return Wide(LayoutOf(from.line).Text(from.column, to.column));
    std::wstring text = Wide(LayoutOf(from.line).Text(from.column, Columns(from.line)));
    text += L"\r\n";
    // The lines in between are taken whole and converted in one go.
    text += ToUnicode(lines_->Joined(from.line + 1, to.line, "\r\n"));
    text += Wide(LayoutOf(to.line).Text(0, to.column));
    return text;
}

std::wstring MemoWindow::SelectedText() const {
    return TextBetween(std::min(anchor_, cursor_), std::max(anchor_, cursor_));
}

void MemoWindow::Copy() const {
    if (!HasSelection() || !OpenClipboard(window_)) return;
    const std::wstring text = SelectedText();
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
        if (void* at = GlobalLock(memory)) {
            std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(at));
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void MemoWindow::ShowCaret() {
    const int rows = Rows();
    if (cursor_.line < TopLine()) ScrollTo(SB_VERT, cursor_.line);
    if (cursor_.line >= TopLine() + rows) ScrollTo(SB_VERT, cursor_.line - rows + 1);
    RECT r;
    GetClientRect(window_, &r);
    const int x = static_cast<int>(LayoutOf(cursor_.line).X(cursor_.column));
    const int room = static_cast<int>(r.right - r.left) - 2 * kMargin - 1;
    if (x < ScrollX()) ScrollTo(SB_HORZ, x);
    if (x > ScrollX() + room) ScrollTo(SB_HORZ, x - room);
}

void MemoWindow::MoveCaret(Position to, bool extend) {
    Select(extend ? anchor_ : to, to);
    ShowCaret();
}

void MemoWindow::Key(WPARAM key) {
    const bool ctrl = Down(VK_CONTROL);
    if (ctrl && key == 'C') return Copy();
    if (ctrl && key == 'A') return SelectAll();
    const int count = lines_->Count();
    if (count == 0) return;
    struct Step {
        WPARAM key;
        CaretKey caret;
    };
    static constexpr Step steps[] = {
        {VK_LEFT, CaretKey::Left}, {VK_RIGHT, CaretKey::Right},  {VK_UP, CaretKey::Up},
        {VK_DOWN, CaretKey::Down}, {VK_PRIOR, CaretKey::PageUp}, {VK_NEXT, CaretKey::PageDown},
        {VK_HOME, CaretKey::Home}, {VK_END, CaretKey::End},
    };
    const Step* step = std::find_if(std::begin(steps), std::end(steps),
                                    [&](const Step& s) { return s.key == key; });
    if (step == std::end(steps)) return;
    const int rows = Rows();
    // The page and the caret move together.
    if (step->caret == CaretKey::PageUp || step->caret == CaretKey::PageDown)
        ScrollTo(SB_VERT, TopLine() + (step->caret == CaretKey::PageUp ? -rows : rows));
    const Position p = MovedCaret(cursor_, step->caret, ctrl, count, rows,
                                  [this](int line) { return Columns(line); });
    MoveCaret(p, Down(VK_SHIFT));
}

void MemoWindow::Menu(POINT screen) {
    enum { kCopyCommand = 1, kSelectAllCommand };
    HMENU menu = CreatePopupMenu();
    auto add = [&](const char* caption, UINT id, bool enabled) {
        AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), id, ToUnicode(caption).c_str());
    };
    add(memo_menu::kUndo, 100, false);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(memo_menu::kCut, 101, false);
    add(memo_menu::kCopy, kCopyCommand, HasSelection());
    add(memo_menu::kPaste, 102, false);
    add(memo_menu::kDelete, 103, false);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    add(memo_menu::kSelectAll, kSelectAllCommand, lines_->Count() > 0);
    if (screen.x == -1 && screen.y == -1) { // from the keyboard: at the caret
        screen = PointOf(cursor_);
        ClientToScreen(window_, &screen);
    }
    const UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                                       window_, nullptr);
    DestroyMenu(menu);
    if (chosen == kCopyCommand) Copy();
    if (chosen == kSelectAllCommand) SelectAll();
}

LRESULT MemoWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFONT:
        SetFont(reinterpret_cast<HFONT>(wParam));
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        Paint(dc, ps.rcPaint);
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_SIZE:
        SyncScrollBars();
        return 0;
    case kSync:
        SyncScrollBars();
        return 0;
    case WM_VSCROLL:
    case WM_HSCROLL: {
        const int bar = message == WM_VSCROLL ? SB_VERT : SB_HORZ;
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(window_, bar, &si);
        const int line = bar == SB_VERT ? 1 : 20;
        int value = si.nPos;
        switch (LOWORD(wParam)) {
        case SB_LINEUP:
            value -= line;
            break;
        case SB_LINEDOWN:
            value += line;
            break;
        case SB_PAGEUP:
            value -= static_cast<int>(si.nPage);
            break;
        case SB_PAGEDOWN:
            value += static_cast<int>(si.nPage);
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            value = si.nTrackPos; // 32 bits, unlike the message's own
            break;
        case SB_TOP:
            value = si.nMin;
            break;
        case SB_BOTTOM:
            value = si.nMax;
            break;
        default:
            return 0;
        }
        ScrollTo(bar, value);
        return 0;
    }
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: {
        const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        // Shift turns the wheel sideways, as in an edit box.
        if (message == WM_MOUSEHWHEEL || (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT))
            ScrollTo(SB_HORZ, ScrollX() + (message == WM_MOUSEHWHEEL ? 60 : -60) * notches);
        else
            ScrollTo(SB_VERT, TopLine() - 3 * notches);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        SetFocus(window_);
        SetCapture(window_);
        const Position p = PositionAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        Select(wParam & MK_SHIFT ? anchor_ : p, p);
        selecting_ = true;
        return 0;
    }
    case WM_MOUSEMOVE:
        if (selecting_) Select(anchor_, PositionAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
        return 0;
    case WM_LBUTTONUP:
        if (selecting_) ReleaseCapture();
        selecting_ = false;
        return 0;
    case WM_LBUTTONDBLCLK: {
        if (lines_->Count() == 0) return 0;
        const Position p = PositionAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        const int from = std::max(0, p.column - 4096);
        const std::wstring text = Wide(LayoutOf(p.line).Text(from, p.column + 4096));
        if (text.empty()) return 0;
        const int at = std::min(p.column - from, static_cast<int>(text.size()) - 1);
        const bool word = IsWordChar(text[static_cast<std::size_t>(at)]);
        int begin = at, end = at + 1;
        auto same = [&](int i) { return IsWordChar(text[static_cast<std::size_t>(i)]) == word; };
        while (begin > 0 && same(begin - 1))
            --begin;
        while (end < static_cast<int>(text.size()) && same(end))
            ++end;
        Select({p.line, from + begin}, {p.line, from + end});
        return 0;
    }
    case WM_KEYDOWN:
        Key(wParam);
        return 0;
    case WM_CHAR:
        return 0; // typing changes nothing
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_CONTEXTMENU:
        Menu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_SETFOCUS: {
        // The caret shows where the keys act, and that the memo has the focus.
        CreateCaret(window_, nullptr, 1, lineHeight_);
        const POINT caret = PointOf(cursor_);
        SetCaretPos(caret.x, caret.y);
        ::ShowCaret(window_);
        return 0;
    }
    case WM_KILLFOCUS:
        DestroyCaret();
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}
