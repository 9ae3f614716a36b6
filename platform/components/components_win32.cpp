// The components over USER32 and GDI: the form is a top-level window of class TF1, the
// button, the fields and the check box are the system's controls, the memo is a window class
// of our own. Texts stay code page 932 bytes; they become UTF-16 only where the system draws
// them, so the window reads right whatever the system's ANSI code page is.
#include "components.h"

#include "memo_window.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr UINT kCodePage = 932;
constexpr UINT kTimerSoon = WM_APP + 1;
constexpr wchar_t kFormClass[] = L"TF1";

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form && form->Widget() == window) return form->Handle(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FormProc;
    wc.hInstance = Instance();
    wc.hIcon = LoadIconW(Instance(), L"MAINICON");
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);
    MemoWindow::Register();
}

int DpiOf(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    static auto getDpi = reinterpret_cast<GetDpi>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi && window) return static_cast<int>(getDpi(window));
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

// The system's EDIT control, with what it is sent checked first: a character or a paste that
// would leave a text the field does not accept is refused with a beep.
WNDPROC gEditProc = nullptr;

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* edit = reinterpret_cast<TEdit*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    std::wstring inserted;
    if (message == WM_CHAR && wParam >= 0x20 && wParam != 0x7F) {
        inserted.assign(1, static_cast<wchar_t>(wParam));
    } else if (message == WM_PASTE && OpenClipboard(window)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
                inserted = text;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
    }
    if (edit && !inserted.empty()) {
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
        DWORD from = 0, to = 0;
        SendMessageW(window, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        from = std::min<DWORD>(from, static_cast<DWORD>(text.size()));
        to = std::clamp<DWORD>(to, from, static_cast<DWORD>(text.size()));
        text.replace(from, to - from, inserted);
        if (!edit->Accepts(text)) {
            MessageBeep(MB_OK);
            return 0;
        }
    }
    return CallWindowProcW(gEditProc, window, message, wParam, lParam);
}

void SetNativeText(HWND window, const std::string& bytes) {
    SetWindowTextW(window, ToUnicode(bytes).c_str());
}

template <class T> T* Find(const std::vector<std::unique_ptr<TObject>>& components, HWND window) {
    for (const auto& c : components)
        if (auto* t = dynamic_cast<T*>(c.get()); t && t->Widget() == window) return t;
    return nullptr;
}

} // namespace

std::wstring ToUnicode(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), 0x7FFFFFFF));
    const int n = MultiByteToWideChar(kCodePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) MultiByteToWideChar(kCodePage, 0, bytes.data(), size, text.data(), n);
    return text;
}

AnsiString FromUnicode(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(kCodePage, 0, text.data(), size, nullptr, 0, "?", nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0) WideCharToMultiByte(kCodePage, 0, text.data(), size, bytes.data(), n, "?", nullptr);
    return AnsiString(std::move(bytes));
}

// ---- TControl

TControl::~TControl() = default; // a control's window goes with its form's

int TControl::Left() const {
    return bounds_.left;
}
int TControl::Top() const {
    return bounds_.top;
}
int TControl::Width() const {
    return bounds_.right - bounds_.left;
}
int TControl::Height() const {
    return bounds_.bottom - bounds_.top;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    bounds_ = {left, top, left + width, top + height};
    if (owner_)
        MoveWindow(widget_, owner_->Scale(left), owner_->Scale(top), owner_->Scale(width),
                   owner_->Scale(height), TRUE);
}
void TControl::SetWidth(int width) {
    SetBounds(Left(), Top(), width, Height());
}
void TControl::SetHeight(int height) {
    SetBounds(Left(), Top(), Width(), height);
}

void TControl::SetVisible(bool visible) {
    visible_ = visible;
    // A form is shown by the message loop; a control shows with its form.
    if (owner_ || IsWindowVisible(widget_) || !visible)
        ShowWindow(widget_, visible ? (owner_ ? SW_SHOWNA : SW_SHOW) : SW_HIDE);
}

bool TControl::Enabled() const {
    return IsWindowEnabled(widget_);
}
void TControl::SetEnabled(bool enabled) {
    EnableWindow(widget_, enabled);
}

void TControl::SetTabStop(bool tabStop) {
    LONG_PTR style = GetWindowLongPtrW(widget_, GWL_STYLE);
    style = tabStop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    SetWindowLongPtrW(widget_, GWL_STYLE, style);
}

// ---- TForm

TForm::TForm() : TControl(nullptr, nullptr) {
    RegisterClasses();
    // WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX and a fixed frame: bsSingle with no maximize box.
    widget_ = CreateWindowExW(
        0, kFormClass, L"", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
        CW_USEDEFAULT, CW_USEDEFAULT, 200, 200, nullptr, nullptr, Instance(), this);
    if (!widget_) throw Exception("The window could not be created");
    dpi_ = DpiOf(widget_);
}

TForm::~TForm() {
    if (IsWindow(widget_)) {
        SetWindowLongPtrW(widget_, GWLP_USERDATA, 0); // no more events into what goes
        DestroyWindow(widget_);
    }
    components_.clear();
    if (font_) DeleteObject(font_);
}

int TForm::Scale(int pixels) const {
    return MulDiv(pixels, dpi_, 96);
}

HWND TForm::CreateChild(const wchar_t* windowClass, DWORD style, DWORD exStyle) {
    HWND child =
        CreateWindowExW(exStyle, windowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                        0, 0, 10, 10, widget_, nullptr, Instance(), nullptr);
    if (!child) throw Exception("A control could not be created");
    // Stacking: a control made later lies above those made before it.
    SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (font_) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return child;
}

void TForm::SetCaption(const AnsiString& caption) {
    caption_ = caption;
    SetNativeText(widget_, caption.Bytes());
}

int TForm::ClientWidth() const {
    RECT r;
    GetClientRect(widget_, &r);
    return MulDiv(r.right - r.left, 96, dpi_);
}
int TForm::ClientHeight() const {
    RECT r;
    GetClientRect(widget_, &r);
    return MulDiv(r.bottom - r.top, 96, dpi_);
}

void TForm::SetClientSize(int width, int height) {
    RECT r{0, 0, Scale(width), Scale(height)};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(widget_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(widget_, GWL_EXSTYLE)));
    SetWindowPos(widget_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetPosition(int left, int top) {
    SetWindowPos(widget_, nullptr, Scale(left), Scale(top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetFixedFrame() {} // the window is made with one

void TForm::SetFont(const AnsiString& name, int pixelHeight) {
    HFONT font =
        CreateFontW(-Scale(pixelHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, ToUnicode(name.Bytes()).c_str());
    if (!font) return;
    for (const auto& c : components_)
        if (auto* control = dynamic_cast<TControl*>(c.get()))
            SendMessageW(control->Widget(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_) DeleteObject(font_);
    font_ = font;
}

void TForm::SetColor(TColor) {} // the window class paints in the button face colour

void TForm::SetTabOrder(std::initializer_list<TControl*> order) {
    tabOrder_.assign(order.begin(), order.end());
}

LRESULT TForm::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lParam);
        const UINT code = HIWORD(wParam);
        if (code == BN_CLICKED) {
            if (auto* button = Find<TButton>(components_, from)) Dispatch(button->OnClick, button);
            if (auto* box = Find<TCheckBox>(components_, from)) Dispatch(box->OnClick, box);
        } else if (code == EN_CHANGE) {
            if (auto* edit = Find<TEdit>(components_, from)) Dispatch(edit->OnChange, edit);
        }
        return 0;
    }
    case WM_TIMER:
    case kTimerSoon:
        for (const auto& c : components_)
            if (auto* timer = dynamic_cast<TTimer*>(c.get());
                timer && reinterpret_cast<WPARAM>(timer) == wParam)
                timer->Tick(message == kTimerSoon);
        return 0;
    case WM_SIZE:
        Dispatch(OnResize, this);
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        // A borderless field and the check box's caption show in the form's own colour.
        HWND from = reinterpret_cast<HWND>(lParam);
        auto* edit = Find<TEdit>(components_, from);
        if (message == WM_CTLCOLORSTATIC || (edit && edit->Borderless())) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            SetTextColor(dc,
                         GetSysColor(IsWindowEnabled(from) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_CLOSE:
        DestroyWindow(widget_);
        return 0;
    case WM_DESTROY:
        if (Application && Application->MainForm() == this) PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(widget_, message, wParam, lParam);
}

// The Tab key visits the controls in the stored order, skipping those that are no tab stops,
// are hidden or are disabled. Returns whether it moved the focus.
static bool Tab(const std::vector<TControl*>& order, bool back) {
    if (order.empty()) return false;
    HWND focus = GetFocus();
    auto at = std::find_if(order.begin(), order.end(), [&](TControl* c) {
        return c->Widget() == focus || IsChild(c->Widget(), focus);
    });
    std::size_t i =
        at == order.end() ? order.size() - 1 : static_cast<std::size_t>(at - order.begin());
    for (std::size_t step = 0; step < order.size(); ++step) {
        i = back ? (i + order.size() - 1) % order.size() : (i + 1) % order.size();
        HWND w = order[i]->Widget();
        if ((GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(w) &&
            IsWindowEnabled(w)) {
            SetFocus(w);
            return true;
        }
    }
    return false;
}

// ---- TButton

TButton::TButton(TForm* owner) : TControl(owner, owner->CreateChild(L"BUTTON", BS_PUSHBUTTON)) {
    owner->InsertComponent(this);
}

void TButton::SetCaption(const AnsiString& caption) {
    caption_ = caption;
    SetNativeText(widget_, caption.Bytes());
}

void TButton::Click() {
    Dispatch(OnClick, this);
}

// ---- TEdit

TEdit::TEdit(TForm* owner)
    : TControl(owner, owner->CreateChild(L"EDIT", ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE)) {
    owner->InsertComponent(this);
    SetWindowLongPtrW(widget_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(widget_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
    if (!gEditProc) gEditProc = previous;
}

bool TEdit::Accepts(const std::wstring& text) const {
    if (text.empty()) return true;
    BOOL lost = FALSE;
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr,
                                      0, nullptr, &lost);
    return !lost && n > 0 && (maxLength_ <= 0 || n <= maxLength_);
}

AnsiString TEdit::Text() const {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(widget_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(widget_, text.data(), static_cast<int>(text.size()))));
    return FromUnicode(text);
}

void TEdit::SetText(const AnsiString& text) {
    std::string bytes = text.Bytes();
    if (maxLength_ > 0) bytes.resize(WholeCharacters(bytes, static_cast<std::size_t>(maxLength_)));
    SetNativeText(widget_, bytes);
}

void TEdit::SetMaxLength(int bytes) {
    maxLength_ = bytes;
    // No character takes less than one byte, so this never cuts below the byte limit; the
    // bytes themselves are counted as the text changes.
    SendMessageW(widget_, EM_LIMITTEXT, bytes > 0 ? static_cast<WPARAM>(bytes) : 0, 0);
}

void TEdit::SetBorderless(bool borderless) {
    borderless_ = borderless;
    LONG_PTR ex = GetWindowLongPtrW(widget_, GWL_EXSTYLE);
    ex = borderless ? (ex & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE)) : (ex | WS_EX_CLIENTEDGE);
    SetWindowLongPtrW(widget_, GWL_EXSTYLE, ex);
    SetWindowPos(widget_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // Flush with the caption beside it, as the stored layout places it.
    SendMessageW(widget_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

// ---- TCheckBox

TCheckBox::TCheckBox(TForm* owner)
    : TControl(owner, owner->CreateChild(L"BUTTON", BS_AUTOCHECKBOX)) {
    owner->InsertComponent(this);
}

void TCheckBox::SetCaption(const AnsiString& caption) {
    caption_ = caption;
    SetNativeText(widget_, caption.Bytes());
}

bool TCheckBox::Checked() const {
    return SendMessageW(widget_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
    if (checked == Checked()) return;
    SendMessageW(widget_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    Dispatch(OnClick, this);
}

// ---- TMemo

TMemo::TMemo(TForm* owner)
    : TControl(owner, owner->CreateChild(MemoWindow::ClassName(),
                                         WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE)),
      Lines(new TStrings) {
    view_ = std::make_unique<MemoWindow>(widget_, Lines.get());
    if (owner->Font())
        SendMessageW(widget_, WM_SETFONT, reinterpret_cast<WPARAM>(owner->Font()), FALSE);
    owner->InsertComponent(this);
    Lines->OnAdded = [this](int index) { view_->LineAdded(index); };
    Lines->OnCleared = [this] { view_->LinesCleared(); };
}

TMemo::~TMemo() {
    Lines->OnAdded = nullptr;
    Lines->OnCleared = nullptr;
    if (IsWindow(widget_)) SetWindowLongPtrW(widget_, GWLP_USERDATA, 0);
}

// ---- TTimer

TTimer::TTimer(TForm* owner) : window_(owner->Widget()), id_(reinterpret_cast<UINT_PTR>(this)) {
    owner->InsertComponent(this);
    Arm();
}

TTimer::~TTimer() {
    if (IsWindow(window_)) KillTimer(window_, id_);
}

void TTimer::Arm() {
    if (enabled_)
        SetTimer(window_, id_, static_cast<UINT>(std::max(interval_, 1)), nullptr);
    else
        KillTimer(window_, id_);
}

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Arm(); // setting the timer again starts a fresh interval
}

void TTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    Arm();
}

void TTimer::FireSoon() {
    if (soon_) return;
    soon_ = true;
    // A posted message comes after the input that is already waiting.
    PostMessageW(window_, kTimerSoon, id_, 0);
}

void TTimer::Tick(bool soon) {
    if (soon) {
        soon_ = false;
        if (!enabled_) return;
        Arm(); // the regular tick must not follow right behind this one
    }
    Dispatch(OnTimer, this);
}

// ---- TApplication

TApplication::TApplication(int&, char**) {
    Application = this;
    // Declared aware of the monitor's resolution (the manifest says so too): the stored
    // pixels are scaled by the program rather than blurred by the system.
    using SetContext = BOOL(WINAPI*)(HANDLE);
    auto setContext = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!setContext || !setContext(reinterpret_cast<HANDLE>(-4))) SetProcessDPIAware();
    RegisterClasses();
}

TApplication::~TApplication() {
    forms_.clear();
    if (Application == this) Application = nullptr;
}

void TApplication::SetIcon(const char* const*) {} // the MAINICON resource is the icon

void TApplication::Run() {
    TForm* form = MainForm();
    if (!form) return;
    ShowWindow(form->Widget(), SW_SHOW);
    UpdateWindow(form->Widget());
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_KEYDOWN && message.wParam == VK_TAB &&
            IsChild(form->Widget(), message.hwnd) &&
            Tab(form->TabOrder(), GetKeyState(VK_SHIFT) < 0))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void TApplication::ShowException(const std::exception& e) {
    if (OnException) {
        OnException(e);
        return;
    }
    TForm* form = MainForm();
    MessageBoxW(form ? form->Widget() : nullptr, ToUnicode(e.what()).c_str(), L"Quorvane",
                MB_OK | MB_ICONERROR);
}
