// Window components in the shape the window's handlers use them: 8-bit code page 932 text
// everywhere, converted to Unicode only where it is drawn. One interface; the build chooses
// the implementation: over Qt Widgets on Linux (components.cpp), over USER32 and GDI on
// Windows (components_win32.cpp). Only the few accessors of the native objects differ.
#pragma once

#include "ansi_string.h"
#include "tstrings.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#endif

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
class MemoWindow;
using NativeWidget = HWND;
// Code page 932 <-> Unicode. A character with no code page 932 form becomes "?".
std::wstring ToUnicode(std::string_view bytes);
AnsiString FromUnicode(const std::wstring& text);
#else
class QApplication;
class QCheckBox;
class QLineEdit;
class MemoView;
class QPushButton;
class QTimer;
using NativeWidget = QWidget*;
// Code page 932 <-> Unicode. A character with no code page 932 form becomes "?".
QString ToUnicode(std::string_view bytes);
AnsiString FromUnicode(const QString& text);
#endif

// The platform's exception class: what escapes a handler or the start-up is shown by
// TApplication::ShowException.
class Exception : public std::exception {
  public:
    explicit Exception(AnsiString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    AnsiString Message;
};

class TObject {
  public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

class TForm;

class TControl : public TObject {
  public:
    virtual ~TControl();
    NativeWidget Widget() const { return widget_; }

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetBounds(int left, int top, int width, int height);
    void SetWidth(int width);
    void SetHeight(int height);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    void SetTabStop(bool tabStop);

  protected:
#ifdef _WIN32
    TControl(TForm* owner, HWND widget) : widget_(widget), owner_(owner) {}
    HWND widget_;
    TForm* owner_ = nullptr;
    RECT bounds_{}; // as stored, in pixels at 96 dots per inch
#else
    explicit TControl(QWidget* widget) : widget_(widget) {}
    QPointer<QWidget> widget_;
#endif
    bool visible_ = true; // as stored, not as shown: a control of a hidden form is still Visible
};

// Colours as 0xRRGGBB.
using TColor = std::uint32_t;
constexpr TColor clBtnFace = 0xF0F0F0;

class TForm : public TControl {
  public:
    TForm();
    ~TForm() override;
    AnsiString Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption);
    // The font of every control that sets none of its own: a face name in code page 932 and a
    // character height in pixels.
    void SetFont(const AnsiString& name, int pixelHeight);
    void SetColor(TColor color);
    // The Tab key visits the controls in this order, skipping those that are no tab stops.
    void SetTabOrder(std::initializer_list<TControl*> order);
    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientSize(int width, int height);
    void SetPosition(int left, int top);
    // bsSingle with biSystemMenu and biMinimize: a fixed frame and no maximize box.
    void SetFixedFrame();

    TNotifyEvent OnCreate;
    TNotifyEvent OnResize;

    // Raised by TApplication::CreateForm once the window is completely built.
    void DoCreate();
    // The form frees the components it owns when it goes.
    void InsertComponent(TObject* component) { components_.emplace_back(component); }

  private:
    AnsiString caption_;
    std::vector<std::unique_ptr<TObject>> components_;
#ifdef _WIN32
  public:
    // The stored pixels are for 96 dots per inch: scaled to the monitor's.
    int Scale(int pixels) const;
    HFONT Font() const {
        return font_;
    }
    // The form's window procedure hands its messages here.
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The window of a control: WS_CHILD of the form, above every control made before it.
    HWND CreateChild(const wchar_t* windowClass, DWORD style, DWORD exStyle = 0);
    const std::vector<TControl*>& TabOrder() const {
        return tabOrder_;
    }

  private:
    HFONT font_ = nullptr;
    std::vector<TControl*> tabOrder_;
    int dpi_ = 96;
#endif
};

class TButton : public TControl {
  public:
    explicit TButton(TForm* owner);
    AnsiString Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption);
    void Click(); // as a user's click: raises OnClick
    TNotifyEvent OnClick;

  private:
#ifndef _WIN32
    QPushButton* button() const;
#endif
    AnsiString caption_;
};

class TEdit : public TControl {
  public:
    explicit TEdit(TForm* owner);
    AnsiString Text() const;
    void SetText(const AnsiString& text);
    // In bytes of the code page 932 text, as an 8-bit platform counts them. 0: no limit.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int bytes);
    // BorderStyle bsNone with ParentColor: the field shows in the window's own colour.
    void SetBorderless(bool borderless);
    TNotifyEvent OnChange;
#ifdef _WIN32
    bool Borderless() const {
        return borderless_;
    }
    // Whether a text may stand in the field: every character has a code page 932 form, and
    // the bytes fit MaxLength.
    bool Accepts(const std::wstring& text) const;

  private:
    bool borderless_ = false;
#else
    QLineEdit* LineEdit() const;

  private:
    QFont fitFont_; // a borderless field's font before it is narrowed to fit
#endif
    int maxLength_ = 0;
};

class TCheckBox : public TControl {
  public:
    explicit TCheckBox(TForm* owner);
    AnsiString Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption);
    bool Checked() const;
    void SetChecked(bool checked); // raises OnClick when the state changes
    TNotifyEvent OnClick;

  private:
#ifndef _WIN32
    QCheckBox* box() const;
#endif
    AnsiString caption_;
};

class TMemo : public TControl {
  public:
    explicit TMemo(TForm* owner);
    ~TMemo() override;
    std::unique_ptr<TStrings> Lines;
    void Clear() { Lines->Clear(); }
#ifdef _WIN32
    MemoWindow* View() const {
        return view_.get();
    }

  private:
    std::unique_ptr<MemoWindow> view_;
#else
    MemoView* View() const;
#endif
};

class TTimer : public TObject {
  public:
    explicit TTimer(TForm* owner);
    ~TTimer() override;
    bool Enabled() const { return enabled_; }
    // Enabling starts a fresh interval; disabling drops any tick not yet delivered.
    void SetEnabled(bool enabled);
    int Interval() const { return interval_; }
    void SetInterval(int milliseconds);
    // One extra tick as soon as the message loop has dealt with what waits (input first), for
    // a handler that stopped with work left. None if the timer is disabled by then.
    void FireSoon();
    TNotifyEvent OnTimer;
#ifdef _WIN32
    // WM_TIMER and the extra tick of FireSoon come to the owner form's window.
    void Tick(bool soon);

  private:
    void Arm();
    HWND window_;
    UINT_PTR id_;
#else
    QTimer* Timer() const {
        return timer_;
    }

  private:
    QTimer* timer_;
#endif
    bool enabled_ = true;
    bool soon_ = false;
    int interval_ = 1000;
};

// The application object: its message loop, its main form and its error box.
class TApplication {
  public:
    TApplication(int& argc, char** argv);
    ~TApplication();
    void Initialize() {}
    // The first form created becomes the main form. Its OnCreate has run when this returns.
    template <class Form> void CreateForm(Form*& ref) {
        auto form = std::make_unique<Form>();
        ref = form.get();
        Adopt(std::move(form));
    }
    void Run();
    // The application icon, shown in the title bar and the task bar (an XPM image).
    void SetIcon(const char* const* xpm);
    void ShowException(const std::exception& e);
    // Shows what escaped an event handler; the program carries on.
    void HandleException(std::exception_ptr error);

    // Replaces the error box, as with the platform's OnException event.
    std::function<void(const std::exception&)> OnException;
    TForm* MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }
#ifndef _WIN32
    QApplication* Qt() const {
        return app_.get();
    }
#endif

  private:
    void Adopt(std::unique_ptr<TForm> form);
#ifndef _WIN32
    std::unique_ptr<QApplication> app_;
#endif
    std::vector<std::unique_ptr<TForm>> forms_;
};

extern TApplication* Application;

// Runs an event handler the way the message loop does: an exception it throws is shown and
// goes no further.
void Dispatch(const TNotifyEvent& handler, TObject* sender);
