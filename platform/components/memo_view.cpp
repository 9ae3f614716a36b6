#include "memo_view.h"

#include "components.h"
#include "line_layout.h"
#include "memo_menu.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <algorithm>
#include <unordered_map>

namespace {
constexpr int kMargin = 2;
constexpr std::size_t kRecentLayouts = 64;

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == '_';
}

QString ToQString(const std::u16string& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}
} // namespace

namespace {

// The primary selection of X11 holds a promise, not a copy: the text of a selection of a whole
// log is made only if another program asks for it, and only while the selection stands.
class PromisedText : public QMimeData {
  public:
    explicit PromisedText(std::function<QString()> make) : make_(std::move(make)) {}
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString& mime) const override { return mime == "text/plain"; }

  protected:
    QVariant retrieveData(const QString& mime, QMetaType type) const override {
        if (mime != "text/plain") return {};
        const QString text = make_();
        if (type.id() == QMetaType::QByteArray) return text.toUtf8();
        return text;
    }

  private:
    std::function<QString()> make_;
};

} // namespace

MemoView::MemoView(const TStrings* lines, QWidget* parent)
    : QAbstractScrollArea(parent), lines_(lines) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    horizontalScrollBar()->setSingleStep(20);
    font_ = std::make_unique<LineLayout::Font>();
    font_->advance = [this](char16_t c) {
        return QFontMetricsF(font()).horizontalAdvance(QChar(c));
    };
    font_->decode = [](std::string_view bytes) {
        const QString text = ToUnicode(bytes);
        return text.isEmpty() ? char16_t(0xFFFD) : char16_t(text[0].unicode());
    };
    MeasureFont();
    SyncScrollBars();
}

MemoView::~MemoView() = default;

// Widths are sums of the characters' own advances, so that the part of a long line in sight
// can be found and drawn alone, and hit tests agree with what is drawn.
void MemoView::MeasureFont() {
    const QFontMetricsF metrics(font());
    for (int c = 0; c < 128; ++c)
        font_->ascii[c] = metrics.horizontalAdvance(QChar(c));
}

int MemoView::LineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

const LineLayout& MemoView::LayoutOf(int line) const {
    for (std::size_t i = 0; i < layouts_.size(); ++i)
        if (layouts_[i].first == line) {
            std::rotate(layouts_.begin(), layouts_.begin() + static_cast<long>(i),
                        layouts_.begin() + static_cast<long>(i) + 1); // the most recent first
            return *layouts_.front().second;
        }
    if (layouts_.size() >= kRecentLayouts) layouts_.pop_back();
    layouts_.insert(layouts_.begin(),
                    {line, std::make_shared<LineLayout>(lines_->Line(line), *font_)});
    return *layouts_.front().second;
}

int MemoView::Columns(int line) const {
    if (line < 0 || line >= lines_->Count()) return 0;
    return LayoutOf(line).Columns();
}

MemoView::Position MemoView::PositionAt(QPoint point) const {
    Position p;
    const int count = lines_->Count();
    if (count == 0) return p;
    int row = point.y() < 0 ? -1 : point.y() / LineHeight();
    int line = verticalScrollBar()->value() + row;
    if (line < 0) return p;
    if (line >= count) return {count - 1, Columns(count - 1)};
    p.line = line;
    p.column = LayoutOf(line).ColumnAt(point.x() + horizontalScrollBar()->value() - kMargin);
    return p;
}

QPoint MemoView::PointOf(Position position) const {
    const qreal x =
        position.line < lines_->Count() ? LayoutOf(position.line).X(position.column) : 0;
    return {kMargin - horizontalScrollBar()->value() + qRound(x),
            (position.line - verticalScrollBar()->value()) * LineHeight()};
}

void MemoView::LineAdded(int) {
    ScheduleSync();
}

void MemoView::LinesCleared() {
    anchor_ = cursor_ = Position{};
    widest_ = 0;
    measuredLongest_ = -1;
    layouts_.clear();
    ++generation_;
    ScheduleSync();
}

void MemoView::ScheduleSync() {
    if (syncPending_) return;
    syncPending_ = true;
    // However many lines arrive in one handler, the scroll bars are set once afterwards.
    QMetaObject::invokeMethod(
        this, [this] { SyncScrollBars(); }, Qt::QueuedConnection);
}

void MemoView::SyncScrollBars() {
    syncPending_ = false;
    viewport()->update();
    const int count = lines_->Count();
    const int rows = std::max(1, viewport()->height() / LineHeight());
    QScrollBar* v = verticalScrollBar();
    const bool following = v->value() >= v->maximum(); // a log at its end follows new lines
    v->setRange(0, std::max(0, count - rows));
    v->setPageStep(rows);
    if (following) v->setValue(v->maximum());

    const std::size_t longest = lines_->LongestLine();
    if (static_cast<long long>(longest) != measuredLongest_) {
        measuredLongest_ = static_cast<long long>(longest);
        // The exact width of the longest line: one pass over it, however long.
        if (count > 0) widest_ = std::max(widest_, qCeil(LayoutOf(lines_->LongestIndex()).Width()));
    }
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, widest_ + 2 * kMargin - viewport()->width()));
    h->setPageStep(std::max(1, viewport()->width()));
}

void MemoView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& pal = palette();
    painter.fillRect(viewport()->rect(), pal.base());
    painter.setPen(pal.text().color());
    const int height = LineHeight();
    const int ascent = fontMetrics().ascent();
    const int first = verticalScrollBar()->value();
    const int scrolled = horizontalScrollBar()->value();
    const int x0 = kMargin - scrolled;
    const int width = viewport()->width();
    const int rows = viewport()->height() / height + 1;
    const Position from = std::min(anchor_, cursor_);
    const Position to = std::max(anchor_, cursor_);
    for (int row = 0; row < rows; ++row) {
        const int line = first + row;
        if (line >= lines_->Count()) break;
        const LineLayout& layout = LayoutOf(line);
        const int y = row * height;
        // Only the characters in sight are converted and drawn.
        const int begin = layout.ColumnAt(scrolled - kMargin, true);
        const int end = std::min(layout.Columns(), layout.ColumnAt(scrolled + width, true) + 1);
        const QString shown = ToQString(layout.Text(begin, end));
        const QPointF at(x0 + layout.X(begin), y + ascent);
        if (HasSelection() && line >= from.line && line <= to.line) {
            qreal left = line == from.line ? layout.X(from.column) : 0;
            qreal right = line == to.line ? layout.X(to.column) : layout.Width() + 4;
            QRectF band(x0 + left, y, right - left, height);
            band = band.intersected(QRectF(0, y, width, height));
            painter.fillRect(band, pal.highlight());
            painter.save();
            painter.drawText(at, shown);
            painter.setClipRect(band);
            painter.setPen(pal.highlightedText().color());
            painter.drawText(at, shown);
            painter.restore();
        } else {
            painter.drawText(at, shown);
        }
    }
    // The caret shows where the keys act, and that the memo has the focus.
    if (hasFocus() && lines_->Count() > 0) {
        const QPoint caret = PointOf(cursor_);
        painter.fillRect(QRect(caret.x(), caret.y(), 1, height), pal.text());
    }
}

void MemoView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    SyncScrollBars();
}

// The vertical bar counts lines, not pixels: redraw rather than shift the old picture.
void MemoView::scrollContentsBy(int, int) {
    viewport()->update();
}

void MemoView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        MeasureFont();
        layouts_.clear();
        ++generation_;
        widest_ = 0;
        measuredLongest_ = -1;
        SyncScrollBars();
    }
}

void MemoView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void MemoView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void MemoView::Select(Position anchor, Position cursor) {
    anchor_ = anchor;
    cursor_ = cursor;
    viewport()->update();
}

void MemoView::SelectAll() {
    const int last = lines_->Count() - 1;
    if (last < 0) return Select({}, {});
    Select({0, 0}, {last, Columns(last)});
    OfferPrimarySelection();
}

QString MemoView::TextBetween(Position from, Position to) const {
    if (lines_->Count() == 0 || !(from < to)) return {};
    to.line = std::min(to.line, lines_->Count() - 1);
    if (from.line == to.line) return ToQString(LayoutOf(from.line).Text(from.column, to.column));
    QString text = ToQString(LayoutOf(from.line).Text(from.column, Columns(from.line)));
    text += '\n';
    // The lines in between are taken whole and converted in one go.
    text += ToUnicode(lines_->Joined(from.line + 1, to.line, "\n"));
    text += ToQString(LayoutOf(to.line).Text(0, to.column));
    return text;
}

QString MemoView::SelectedText() const {
    return TextBetween(std::min(anchor_, cursor_), std::max(anchor_, cursor_));
}

void MemoView::Copy() const {
    if (HasSelection()) QApplication::clipboard()->setText(SelectedText());
}

void MemoView::OfferPrimarySelection() {
    QClipboard* clipboard = QApplication::clipboard();
    if (!HasSelection() || !clipboard->supportsSelection()) return;
    QPointer<MemoView> self(this);
    const Position from = std::min(anchor_, cursor_);
    const Position to = std::max(anchor_, cursor_);
    const unsigned generation = generation_;
    clipboard->setMimeData(new PromisedText([self, from, to, generation] {
                               if (!self || self->generation_ != generation) return QString();
                               return self->TextBetween(from, to);
                           }),
                           QClipboard::Selection);
}

void MemoView::SelectWordAt(Position p) {
    // A window around the place: a word never spans a whole long line's worth of characters.
    const LineLayout& layout = LayoutOf(p.line);
    const int from = std::max(0, p.column - 4096);
    const QString text = ToQString(layout.Text(from, p.column + 4096));
    if (text.isEmpty()) return Select(p, p);
    int at = std::min(p.column - from, static_cast<int>(text.size()) - 1);
    const bool word = IsWordChar(text[at]);
    int begin = at;
    int end = at + 1;
    auto same = [&](int i) {
        return IsWordChar(text[i]) == word && text[i].isSpace() == text[at].isSpace();
    };
    while (begin > 0 && same(begin - 1))
        --begin;
    while (end < text.size() && same(end))
        ++end;
    Select({p.line, from + begin}, {p.line, from + end});
    OfferPrimarySelection();
}

void MemoView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    Position p = PositionAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier)
        Select(anchor_, p);
    else
        Select(p, p);
    selecting_ = true;
}

void MemoView::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_) return;
    Select(anchor_, PositionAt(event->position().toPoint()));
}

void MemoView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    selecting_ = false;
    OfferPrimarySelection();
}

void MemoView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || lines_->Count() == 0) return;
    SelectWordAt(PositionAt(event->position().toPoint()));
}

void MemoView::ShowCaret() {
    QScrollBar* v = verticalScrollBar();
    const int rows = std::max(1, viewport()->height() / LineHeight());
    if (cursor_.line < v->value()) v->setValue(cursor_.line);
    if (cursor_.line >= v->value() + rows) v->setValue(cursor_.line - rows + 1);
    QScrollBar* h = horizontalScrollBar();
    const int x = qRound(LayoutOf(cursor_.line).X(cursor_.column));
    const int room = viewport()->width() - 2 * kMargin - 1;
    if (x < h->value()) h->setValue(x);
    if (x > h->value() + room) h->setValue(x - room);
}

void MemoView::MoveCaret(Position to, bool extend) {
    Select(extend ? anchor_ : to, to);
    ShowCaret();
    if (extend) OfferPrimarySelection();
}

void MemoView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) return Copy();
    if (event->matches(QKeySequence::SelectAll)) return SelectAll();
    const int count = lines_->Count();
    if (count == 0) return event->ignore();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    struct Step {
        int key;
        CaretKey caret;
    };
    static constexpr Step steps[] = {
        {Qt::Key_Left, CaretKey::Left},     {Qt::Key_Right, CaretKey::Right},
        {Qt::Key_Up, CaretKey::Up},         {Qt::Key_Down, CaretKey::Down},
        {Qt::Key_PageUp, CaretKey::PageUp}, {Qt::Key_PageDown, CaretKey::PageDown},
        {Qt::Key_Home, CaretKey::Home},     {Qt::Key_End, CaretKey::End},
    };
    const Step* step = std::find_if(std::begin(steps), std::end(steps),
                                    [&](const Step& s) { return s.key == event->key(); });
    if (step == std::end(steps)) return event->ignore(); // typing changes nothing
    const int rows = std::max(1, viewport()->height() / LineHeight());
    // The page and the caret move together.
    if (step->caret == CaretKey::PageUp || step->caret == CaretKey::PageDown)
        verticalScrollBar()->setValue(verticalScrollBar()->value() +
                                      (step->caret == CaretKey::PageUp ? -rows : rows));
    const Position p = MovedCaret(cursor_, step->caret, ctrl, count, rows,
                                  [this](int line) { return Columns(line); });
    MoveCaret(p, shift);
}

void MemoView::wheelEvent(QWheelEvent* event) {
    // Shift turns the wheel sideways, as in an edit box.
    if (event->modifiers() & Qt::ShiftModifier) {
        const QPoint delta = event->angleDelta();
        const int turn = delta.y() != 0 ? delta.y() : delta.x();
        QScrollBar* h = horizontalScrollBar();
        h->setValue(h->value() - turn * 3 * h->singleStep() / 120);
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void MemoView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    auto add = [&](const char* caption, std::function<void()> act, bool enabled) {
        QAction* a = menu.addAction(ToUnicode(caption));
        if (act) QObject::connect(a, &QAction::triggered, this, act);
        a->setEnabled(enabled);
    };
    add(memo_menu::kUndo, nullptr, false);
    menu.addSeparator();
    add(memo_menu::kCut, nullptr, false);
    add(
        memo_menu::kCopy, [this] { Copy(); }, HasSelection());
    add(memo_menu::kPaste, nullptr, false);
    add(memo_menu::kDelete, nullptr, false);
    menu.addSeparator();
    add(
        memo_menu::kSelectAll, [this] { SelectAll(); }, lines_->Count() > 0);
    menu.exec(event->globalPos());
}
