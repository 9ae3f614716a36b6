#include "components.h"
#include "memo_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStyleFactory>
#include <QTimer>
#include <QValidator>
#include <algorithm>

namespace {

constexpr const char* kCodePage = "windows-31j";

// A fresh converter each time: an ICU-backed converter keeps its error state after a failed
// conversion, which would spoil the next one.
QByteArray EncodeStrict(QStringView text, bool& ok) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    ok = !encoder.hasError();
    return bytes;
}

class FormWidget : public QWidget {
  public:
    explicit FormWidget(TForm* form) : form_(form) {}

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        Dispatch(form_->OnResize, form_);
    }

  private:
    TForm* form_;
};

// Holds a line edit to a number of code page 932 bytes rather than of characters.
class ByteLengthValidator : public QValidator {
  public:
    ByteLengthValidator(const int* maxBytes, QObject* parent)
        : QValidator(parent), max_(maxBytes) {}
    State validate(QString& input, int&) const override {
        // A character with no code page 932 form is refused, typed or pasted, rather than
        // stored as "?".
        bool ok = true;
        const QByteArray bytes = EncodeStrict(input, ok);
        if (!ok) return Invalid;
        return *max_ <= 0 || bytes.size() <= *max_ ? Acceptable : Invalid;
    }

  private:
    const int* max_;
};

} // namespace

QString ToUnicode(std::string_view bytes) {
    // Code page 932 is ASCII below 0x80, and display lines never leave that range.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; }))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // A fresh converter each time, for the reason given at EncodeStrict.
    QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

AnsiString FromUnicode(const QString& text) {
    bool ok = true;
    QByteArray bytes = EncodeStrict(text, ok);
    if (!ok) {
        // Rare: find the characters without a form one by one.
        bytes.clear();
        for (qsizetype i = 0; i < text.size();) {
            qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
            bool one = true;
            QByteArray piece = EncodeStrict(QStringView(text).mid(i, n), one);
            bytes += one ? piece : QByteArray("?");
            i += n;
        }
    }
    return AnsiString(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// ---- TControl

TControl::~TControl() = default;

int TControl::Left() const {
    return widget_ ? widget_->x() : 0;
}
int TControl::Top() const {
    return widget_ ? widget_->y() : 0;
}
int TControl::Width() const {
    return widget_ ? widget_->width() : 0;
}
int TControl::Height() const {
    return widget_ ? widget_->height() : 0;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (widget_) widget_->setGeometry(left, top, width, height);
}
void TControl::SetWidth(int width) {
    if (widget_) widget_->resize(width, widget_->height());
}
void TControl::SetHeight(int height) {
    if (widget_) widget_->resize(widget_->width(), height);
}

void TControl::SetVisible(bool visible) {
    visible_ = visible;
    if (widget_) widget_->setVisible(visible);
}

bool TControl::Enabled() const {
    return widget_ && widget_->isEnabled();
}
void TControl::SetEnabled(bool enabled) {
    if (widget_) widget_->setEnabled(enabled);
}

void TControl::SetTabStop(bool tabStop) {
    if (widget_) widget_->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

// ---- TForm

TForm::TForm() : TControl(new FormWidget(this)) {
    visible_ = false;
}

TForm::~TForm() {
    components_.clear();
    delete widget_.data();
}

void TForm::SetCaption(const AnsiString& caption) {
    caption_ = caption;
    widget_->setWindowTitle(ToUnicode(caption.Bytes()));
}

int TForm::ClientWidth() const {
    return widget_->width();
}
int TForm::ClientHeight() const {
    return widget_->height();
}
void TForm::SetClientSize(int width, int height) {
    widget_->resize(width, height);
}
void TForm::SetPosition(int left, int top) {
    widget_->move(left, top);
}

void TForm::SetFixedFrame() {
    widget_->setFixedSize(widget_->size());
    widget_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                            Qt::WindowCloseButtonHint);
}

void TForm::SetFont(const AnsiString& name, int pixelHeight) {
    QFont font(ToUnicode(name.Bytes()));
    font.setPixelSize(pixelHeight);
    widget_->setFont(font);
}

void TForm::SetColor(TColor color) {
    QPalette palette = widget_->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(color));
    widget_->setPalette(palette);
    widget_->setAutoFillBackground(true);
}

void TForm::SetTabOrder(std::initializer_list<TControl*> order) {
    const TControl* previous = nullptr;
    for (const TControl* control : order) {
        if (previous) QWidget::setTabOrder(previous->Widget(), control->Widget());
        previous = control;
    }
}

// ---- TButton

TButton::TButton(TForm* owner) : TControl(new QPushButton(owner->Widget())) {
    owner->InsertComponent(this);
    QObject::connect(button(), &QPushButton::clicked, [this] { Dispatch(OnClick, this); });
}

QPushButton* TButton::button() const {
    return static_cast<QPushButton*>(widget_.data());
}

void TButton::SetCaption(const AnsiString& caption) {
    caption_ = caption;
    button()->setText(ToUnicode(caption.Bytes()));
}

void TButton::Click() {
    button()->click();
}

// ---- TEdit

TEdit::TEdit(TForm* owner) : TControl(new QLineEdit(owner->Widget())) {
    owner->InsertComponent(this);
    LineEdit()->setValidator(new ByteLengthValidator(&maxLength_, LineEdit()));
    QObject::connect(LineEdit(), &QLineEdit::textChanged, [this] { Dispatch(OnChange, this); });
}

void TEdit::SetBorderless(bool borderless) {
    QLineEdit* line = LineEdit();
    line->setFrame(!borderless);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Base,
                     borderless ? widget_->parentWidget()->palette().color(QPalette::Window)
                                : QApplication::palette().color(QPalette::Base));
    line->setPalette(palette);
    if (!borderless) {
        // The free Gothic runs wider than the face the window layouts were drawn for.
        QFont tight = line->font();
        tight.setLetterSpacing(QFont::AbsoluteSpacing, -0.5);
        line->setFont(tight);
        line->setTextMargins(-2, 0, -2, 0);
        return;
    }
    // A borderless field lies over a caption (the token over the check box's): its text
    // starts at the top of the field, as an edit box draws it, which puts it on the
    // caption's baseline; and it is narrowed, never clipped, when the stored width is too
    // small for it in this font.
    line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    line->setTextMargins(-2, -1, -2, 0);
    fitFont_ = line->font();
    auto fit = [this] {
        QLineEdit* edit = LineEdit();
        QFont font = fitFont_;
        const qreal natural = QFontMetricsF(font).horizontalAdvance(edit->text());
        const qreal room = edit->width() - 1; // the caret's column
        if (natural > room && natural > 0)
            font.setStretch(std::max(50, static_cast<int>(100 * room / natural)));
        edit->setFont(font);
    };
    QObject::connect(line, &QLineEdit::textChanged, line, fit);
    fit();
}

QLineEdit* TEdit::LineEdit() const {
    return static_cast<QLineEdit*>(widget_.data());
}

AnsiString TEdit::Text() const {
    return FromUnicode(LineEdit()->text());
}

void TEdit::SetText(const AnsiString& text) {
    std::string bytes = text.Bytes();
    if (maxLength_ > 0) bytes.resize(WholeCharacters(bytes, static_cast<std::size_t>(maxLength_)));
    LineEdit()->setText(ToUnicode(bytes));
    LineEdit()->setCursorPosition(0); // show the start of a text too long for the field
}

void TEdit::SetMaxLength(int bytes) {
    maxLength_ = bytes;
    // No character takes less than one byte, so this never cuts below the byte limit.
    LineEdit()->setMaxLength(bytes > 0 ? bytes : 32767);
}

// ---- TCheckBox

TCheckBox::TCheckBox(TForm* owner) : TControl(new QCheckBox(owner->Widget())) {
    owner->InsertComponent(this);
    QObject::connect(box(), &QCheckBox::toggled, [this] { Dispatch(OnClick, this); });
}

QCheckBox* TCheckBox::box() const {
    return static_cast<QCheckBox*>(widget_.data());
}

void TCheckBox::SetCaption(const AnsiString& caption) {
    caption_ = caption;
    box()->setText(ToUnicode(caption.Bytes()));
}

bool TCheckBox::Checked() const {
    return box()->isChecked();
}
void TCheckBox::SetChecked(bool checked) {
    box()->setChecked(checked);
}

// ---- TMemo

TMemo::TMemo(TForm* owner) : TControl(nullptr), Lines(new TStrings) {
    widget_ = new MemoView(Lines.get(), owner->Widget());
    owner->InsertComponent(this);
    Lines->OnAdded = [this](int index) {
        if (MemoView* v = View()) v->LineAdded(index);
    };
    Lines->OnCleared = [this] {
        if (MemoView* v = View()) v->LinesCleared();
    };
}

TMemo::~TMemo() {
    Lines->OnAdded = nullptr;
    Lines->OnCleared = nullptr;
}

MemoView* TMemo::View() const {
    return static_cast<MemoView*>(widget_.data());
}

// ---- TTimer

TTimer::TTimer(TForm* owner) : timer_(new QTimer(owner->Widget())) {
    owner->InsertComponent(this);
    timer_->setInterval(interval_);
    QObject::connect(timer_, &QTimer::timeout, [this] { Dispatch(OnTimer, this); });
    timer_->start();
}

TTimer::~TTimer() = default;

void TTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled)
        timer_->start(interval_);
    else
        timer_->stop();
}

void TTimer::FireSoon() {
    if (soon_) return;
    soon_ = true;
    // Not 0: a zero timer can run ahead of timers already due; 1 ms queues behind them.
    QTimer::singleShot(1, Qt::PreciseTimer, timer_, [this] {
        soon_ = false;
        if (!enabled_) return;
        timer_->start(interval_); // the regular tick must not follow right behind this one
        Dispatch(OnTimer, this);
    });
}

void TTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    timer_->setInterval(milliseconds);
}

// ---- TApplication

TApplication::TApplication(int& argc, char** argv) : app_(new QApplication(argc, argv)) {
    Application = this;
    // One look wherever the program runs, so that the stored pixel layout holds.
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    // Windows font names the program's layouts use, mapped to free faces of the same kind.
    QFont::insertSubstitution(
        ToUnicode("\x82\x6c\x82\x72 \x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e"),
        "IPAPGothic"); // the proportional Gothic
    QFont::insertSubstitution(ToUnicode("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e"),
                              "IPAGothic"); // the fixed-pitch Gothic
}

void TApplication::SetIcon(const char* const* xpm) {
    QApplication::setWindowIcon(QIcon(QPixmap(xpm)));
}

TApplication::~TApplication() {
    forms_.clear();
    if (Application == this) Application = nullptr;
}

void TApplication::Run() {
    if (TForm* form = MainForm()) {
        form->SetVisible(true);
        app_->exec();
    }
}

void TApplication::ShowException(const std::exception& e) {
    if (OnException) {
        OnException(e);
        return;
    }
    QMessageBox::critical(nullptr, QApplication::applicationName(), ToUnicode(e.what()));
}
