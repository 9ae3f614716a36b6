#include "memo_view.h"

#include "components.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {
constexpr int kMargin = 2;
// Lines up to this many bytes are converted and measured whole; of longer ones only what
// can be in sight is converted, and their width is estimated.
constexpr std::size_t kWholeLine = 16384;
constexpr std::size_t kMeasureLimit = std::size_t(1) << 20;

bool IsWordChar(QChar c) {
    return c.isLetterOrNumber() || c == '_';
}
} // namespace

MemoView::MemoView(const TStrings* lines, QWidget* parent)
    : QAbstractScrollArea(parent), lines_(lines) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    horizontalScrollBar()->setSingleStep(20);
    SyncScrollBars();
}

int MemoView::LineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

QString MemoView::LineText(int index) const {
    std::string_view bytes = lines_->Line(index);
    if (bytes.size() > kWholeLine) {
        // One byte draws at least one pixel: nothing past this prefix can be in sight.
        std::size_t sight = static_cast<std::size_t>(horizontalScrollBar()->value()) +
                            static_cast<std::size_t>(viewport()->width()) + 8;
        bytes = bytes.substr(0, std::max(sight, kWholeLine));
    }
    return ToUnicode(bytes);
}

// Widths are sums of the characters' own advances, so that the part of a long line in sight
// can be found and drawn alone, and hit tests agree with what is drawn.
qreal MemoView::CharAdvance(QChar c) const {
    const ushort u = c.unicode();
    if (u < 128) {
        if (ascii_[u] == 0) ascii_[u] = QFontMetricsF(font()).horizontalAdvance(c);
        return ascii_[u];
    }
    return QFontMetricsF(font()).horizontalAdvance(c);
}

int MemoView::Advance(const QString& text, int columns) const {
    columns = std::clamp(columns, 0, static_cast<int>(text.size()));
    qreal x = 0;
    for (int i = 0; i < columns; ++i)
        x += CharAdvance(text[i]);
    return qRound(x);
}

int MemoView::ColumnAt(const QString& text, int x) const {
    int lo = 0;
    int hi = static_cast<int>(text.size());
    while (lo < hi) { // the last column whose left edge is at or before x
        int mid = (lo + hi + 1) / 2;
        if (Advance(text, mid) <= x)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (lo < text.size()) {
        int left = Advance(text, lo);
        int right = Advance(text, lo + 1);
        if (x - left > right - x) ++lo; // nearer the character's right edge
    }
    return lo;
}

MemoView::Position MemoView::PositionAt(QPoint point) const {
    Position p;
    const int count = lines_->Count();
    if (count == 0) return p;
    int row = point.y() < 0 ? -1 : point.y() / LineHeight();
    int line = verticalScrollBar()->value() + row;
    if (line < 0) return p;
    if (line >= count) {
        p.line = count - 1;
        p.column = static_cast<int>(LineText(p.line).size());
        return p;
    }
    p.line = line;
    p.column = ColumnAt(LineText(line), point.x() + horizontalScrollBar()->value() - kMargin);
    return p;
}

QPoint MemoView::PointOf(Position position) const {
    int x = kMargin - horizontalScrollBar()->value() +
            Advance(LineText(position.line), position.column);
    int y = (position.line - verticalScrollBar()->value()) * LineHeight();
    return {x, y};
}

void MemoView::LineAdded(int) {
    ScheduleSync();
}

void MemoView::LinesCleared() {
    anchor_ = cursor_ = Position{};
    widest_ = 0;
    measuredLongest_ = -1;
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
        int width = 0;
        if (longest <= kMeasureLimit) {
            for (int i = count - 1; i >= 0; --i) // the longest is usually a recent line
                if (lines_->Line(i).size() == longest) {
                    QString text = ToUnicode(lines_->Line(i));
                    width = Advance(text, static_cast<int>(text.size()));
                    break;
                }
        } else {
            width = static_cast<int>(std::min<std::size_t>(
                longest * static_cast<std::size_t>(fontMetrics().averageCharWidth()), 1u << 30));
        }
        widest_ = std::max(widest_, width);
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
    const int x0 = kMargin - horizontalScrollBar()->value();
    const int rows = viewport()->height() / height + 1;
    const Position from = std::min(anchor_, cursor_);
    const Position to = std::max(anchor_, cursor_);
    for (int row = 0; row < rows; ++row) {
        const int line = first + row;
        if (line >= lines_->Count()) break;
        const QString text = LineText(line);
        const int y = row * height;
        // The characters in sight, and where the first of them starts.
        int begin = 0;
        qreal xBegin = 0;
        while (begin < text.size() && x0 + xBegin + CharAdvance(text[begin]) < 0)
            xBegin += CharAdvance(text[begin++]);
        int end = begin;
        for (qreal x = x0 + xBegin; end < text.size() && x <= viewport()->width(); ++end)
            x += CharAdvance(text[end]);
        const QString shown = text.mid(begin, end - begin);
        const QPointF at(x0 + xBegin, y + ascent);
        if (HasSelection() && line >= from.line && line <= to.line) {
            int left = line == from.line ? Advance(text, from.column) : 0;
            int right = line == to.line ? Advance(text, to.column)
                                        : Advance(text, static_cast<int>(text.size())) + 4;
            QRect band(x0 + left, y, right - left, height);
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
        std::fill(std::begin(ascii_), std::end(ascii_), 0);
        widest_ = 0;
        measuredLongest_ = -1;
        SyncScrollBars();
    }
}

void MemoView::Select(Position anchor, Position cursor) {
    anchor_ = anchor;
    cursor_ = cursor;
    viewport()->update();
}

void MemoView::SelectAll() {
    const int last = lines_->Count() - 1;
    if (last < 0) return Select({}, {});
    Select({0, 0}, {last, static_cast<int>(ToUnicode(lines_->Line(last)).size())});
}

QString MemoView::SelectedText() const {
    if (!HasSelection() || lines_->Count() == 0) return {};
    const Position from = std::min(anchor_, cursor_);
    const Position to = std::max(anchor_, cursor_);
    if (from.line == to.line)
        return ToUnicode(lines_->Line(from.line)).mid(from.column, to.column - from.column);
    QString text = ToUnicode(lines_->Line(from.line)).mid(from.column);
    text += '\n';
    // The lines in between are taken whole and converted in one go.
    std::string middle;
    for (int i = from.line + 1; i < to.line; ++i) {
        middle.append(lines_->Line(i));
        middle += '\n';
    }
    text += ToUnicode(middle);
    text += ToUnicode(lines_->Line(to.line)).left(to.column);
    return text;
}

void MemoView::Copy() const {
    if (HasSelection()) QApplication::clipboard()->setText(SelectedText());
}

void MemoView::SelectWordAt(Position p) {
    const QString text = ToUnicode(lines_->Line(p.line));
    if (text.isEmpty()) return Select(p, p);
    int at = std::min(p.column, static_cast<int>(text.size()) - 1);
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
    Select({p.line, begin}, {p.line, end});
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
    if (event->button() == Qt::LeftButton) selecting_ = false;
}

void MemoView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || lines_->Count() == 0) return;
    SelectWordAt(PositionAt(event->position().toPoint()));
}

void MemoView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) return Copy();
    if (event->matches(QKeySequence::SelectAll)) return SelectAll();
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    struct Step {
        int key;
        QScrollBar* bar;
        QAbstractSlider::SliderAction action;
    };
    const Step steps[] = {
        {Qt::Key_Up, v, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Down, v, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_PageUp, v, QAbstractSlider::SliderPageStepSub},
        {Qt::Key_PageDown, v, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Left, h, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Right, h, QAbstractSlider::SliderSingleStepAdd},
        // Home and End: to the start or end of the line, with Ctrl of the whole text.
        {Qt::Key_Home, ctrl ? v : h, QAbstractSlider::SliderToMinimum},
        {Qt::Key_End, ctrl ? v : h, QAbstractSlider::SliderToMaximum},
    };
    for (const Step& step : steps) {
        if (step.key == event->key()) {
            step.bar->triggerAction(step.action);
            return;
        }
    }
    event->ignore(); // typing changes nothing
}

void MemoView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"), QKeySequence::Copy, [this] { Copy(); });
    copy->setEnabled(HasSelection());
    menu.addSeparator();
    menu.addAction(tr("Select &All"), QKeySequence::SelectAll, [this] { SelectAll(); });
    menu.exec(event->globalPos());
}
