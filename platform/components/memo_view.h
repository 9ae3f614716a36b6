// The view of a memo: draws only the lines in sight, straight from the memo's lines, which
// are converted to Unicode as they are drawn. Read-only for the user; text can be selected
// with the mouse or the keyboard and copied.
#pragma once

#include <QAbstractScrollArea>
#include <QString>

class TStrings;

class MemoView : public QAbstractScrollArea {
  public:
    // A place in the text: a line and a character (UTF-16 unit) within its Unicode form.
    struct Position {
        int line = 0;
        int column = 0;
        friend bool operator==(const Position&, const Position&) = default;
        friend bool operator<(const Position& a, const Position& b) {
            return a.line != b.line ? a.line < b.line : a.column < b.column;
        }
    };

    MemoView(const TStrings* lines, QWidget* parent);

    // Called by the memo as its lines change.
    void LineAdded(int index);
    void LinesCleared();
    // Brings the scroll bars up to date now rather than when the loop next runs.
    void SyncScrollBars();

    void Select(Position anchor, Position cursor);
    void SelectAll();
    bool HasSelection() const { return anchor_ != cursor_; }
    QString SelectedText() const;
    void Copy() const;

    int LineHeight() const;
    // Where a point of the viewport falls in the text, and where a place is drawn.
    Position PositionAt(QPoint point) const;
    QPoint PointOf(Position position) const;
    int WidestLine() const { return widest_; } // in pixels

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    QString LineText(int index) const;
    int Advance(const QString& text, int columns) const;
    qreal CharAdvance(QChar c) const;
    int ColumnAt(const QString& text, int x) const;
    void ScheduleSync();
    void SelectWordAt(Position position);

    const TStrings* lines_;
    Position anchor_;
    Position cursor_;
    bool selecting_ = false;
    bool syncPending_ = false;
    int widest_ = 0;                 // pixels of the widest line measured so far
    long long measuredLongest_ = -1; // byte length of the longest line when last measured
    mutable qreal ascii_[128] = {};  // advances of the ASCII characters in the current font
};
