// The view of a memo: draws only the lines in sight, straight from the memo's lines, which
// are converted to Unicode as they are drawn. It behaves as a read-only edit box: a caret
// while it has focus, selection with the mouse and the keyboard, copying; typing changes
// nothing.
#pragma once

#include "line_layout.h"
#include <QAbstractScrollArea>

#include <QString>
#include <memory>
#include <vector>

class TStrings;

class MemoView : public QAbstractScrollArea {
  public:
    // A place in the text: a line and a character (UTF-16 unit) within its Unicode form.
    using Position = TextPosition;

    MemoView(const TStrings* lines, QWidget* parent);
    ~MemoView() override;

    // Called by the memo as its lines change.
    void LineAdded(int index);
    void LinesCleared();
    // Brings the scroll bars up to date now rather than when the loop next runs.
    void SyncScrollBars();

    // The anchor stays where a selection began; the cursor is where the caret is.
    void Select(Position anchor, Position cursor);
    void SelectAll();
    bool HasSelection() const { return anchor_ != cursor_; }
    Position Cursor() const { return cursor_; }
    QString SelectedText() const;
    void Copy() const;

    int LineHeight() const;
    // Where a point of the viewport falls in the text, and where a place is drawn.
    Position PositionAt(QPoint point) const;
    QPoint PointOf(Position position) const;
    int WidestLine() const { return widest_; } // in pixels
    // The number of characters of a line.
    int Columns(int line) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    const LineLayout& LayoutOf(int line) const;
    void MeasureFont();
    void ScheduleSync();
    void SelectWordAt(Position position);
    void MoveCaret(Position to, bool extend);
    void ShowCaret();
    void OfferPrimarySelection();
    QString TextBetween(Position from, Position to) const;

    const TStrings* lines_;
    Position anchor_;
    Position cursor_;
    bool selecting_ = false;
    bool syncPending_ = false;
    int widest_ = 0;                         // pixels of the widest line measured so far
    long long measuredLongest_ = -1;         // byte length of the longest line when last measured
    unsigned generation_ = 0;                // counts Clears and font changes: layouts go with them
    std::unique_ptr<LineLayout::Font> font_; // advances in the current font
    mutable std::vector<std::pair<int, std::shared_ptr<LineLayout>>> layouts_; // recent lines
};
