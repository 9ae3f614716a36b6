// The memo as a user meets it: its lines, scrolling, selection and copying.
#include "components.h"
#include "memo_view.h"

#include "test_app.h"
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>
#include <memory>

namespace {

class Memo : public testing::Test {
  protected:
    static void SetUpTestSuite() { app = &TestApplication(); }
    void SetUp() override {
        form = std::make_unique<TForm>();
        form->SetClientSize(342, 374);
        memo = new TMemo(form.get());
        memo->SetBounds(0, 20, 342, 354);
        form->SetVisible(true);
        view = memo->View();
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(view, &press);
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          modifiers);
        QApplication::sendEvent(view->viewport(), &event);
    }
    QString Clipboard() { return QApplication::clipboard()->text(); }

    static TApplication* app;
    std::unique_ptr<TForm> form;
    TMemo* memo = nullptr;
    MemoView* view = nullptr;
};
TApplication* Memo::app = nullptr;

TEST_F(Memo, LinesComeBackAsAddedWhateverTheirLength) {
    const std::string longLine = std::string(19990, 'x') + "<02>ABCDEF";
    const std::string sjis = "\x8a\x4a\x8e\x6e"; // bytes read back as bytes, not as text
    memo->Lines->Add("");
    memo->Lines->Add(longLine);
    memo->Lines->Add(sjis);
    memo->Lines->Add(std::string(3u << 20, 'y')); // larger than a storage chunk
    memo->Lines->Add("after");
    ASSERT_EQ(memo->Lines->Count(), 5);
    EXPECT_EQ(memo->Lines->Strings(0), AnsiString(""));
    EXPECT_EQ(memo->Lines->Strings(1).Length(), 20000);
    EXPECT_EQ(memo->Lines->Strings(1), AnsiString(longLine));
    EXPECT_EQ(memo->Lines->Strings(2), AnsiString(sjis));
    EXPECT_EQ(memo->Lines->Strings(3).Length(), 3 << 20);
    EXPECT_EQ(memo->Lines->Strings(4), AnsiString("after"));
    EXPECT_EQ(memo->Lines->Strings(5), AnsiString("")); // out of range: empty, no crash
    EXPECT_EQ(memo->Lines->Strings(-1), AnsiString(""));
    memo->Clear();
    EXPECT_EQ(memo->Lines->Count(), 0);
}

TEST_F(Memo, ScrollRangesFollowAddAndClear) {
    for (int i = 0; i < 100; ++i)
        memo->Lines->Add("line " + std::to_string(i));
    view->SyncScrollBars();
    QScrollBar* v = view->verticalScrollBar();
    QScrollBar* h = view->horizontalScrollBar();
    const int rows = view->viewport()->height() / view->LineHeight();
    EXPECT_EQ(v->maximum(), 100 - rows);
    EXPECT_EQ(v->value(), v->maximum()) << "a log at its end follows new lines";
    EXPECT_EQ(h->maximum(), 0);

    memo->Lines->Add(std::string(500, 'W'));
    view->SyncScrollBars();
    EXPECT_GT(h->maximum(), 0);
    EXPECT_EQ(h->maximum(), view->WidestLine() + 4 - view->viewport()->width());

    v->setValue(0); // the user scrolled up: new lines do not pull the view away
    memo->Lines->Add("more");
    view->SyncScrollBars();
    EXPECT_EQ(v->value(), 0);

    memo->Clear();
    view->SyncScrollBars();
    EXPECT_EQ(v->maximum(), 0);
    EXPECT_EQ(h->maximum(), 0);
}

TEST_F(Memo, SelectionAndCopyAcrossLinesIncludingEmptyOnes) {
    for (const char* line : {"first line", "", "<02>third", "last"})
        memo->Lines->Add(line);
    struct Case {
        MemoView::Position anchor, cursor;
        QString copied;
    } const cases[] = {
        {{0, 6}, {2, 4}, "line\n\n<02>"},
        {{2, 4}, {0, 6}, "line\n\n<02>"}, // dragged upwards
        {{1, 0}, {2, 0}, "\n"},           // the empty line alone
        {{0, 0}, {0, 5}, "first"},
    };
    for (const Case& c : cases) {
        view->Select(c.anchor, c.cursor);
        QApplication::clipboard()->clear();
        Key(Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(Clipboard(), c.copied);
    }
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard(), "first line\n\n<02>third\nlast");
}

TEST_F(Memo, MouseDragShiftClickAndDoubleClickSelect) {
    for (const char* line : {"alpha beta", "gamma delta"})
        memo->Lines->Add(line);
    view->SyncScrollBars();
    view->verticalScrollBar()->setValue(0);
    QPoint startOfBeta = view->PointOf({0, 6}) + QPoint(1, 2);
    QPoint endOfGamma = view->PointOf({1, 5}) + QPoint(0, 2);
    Mouse(QEvent::MouseButtonPress, startOfBeta);
    Mouse(QEvent::MouseMove, endOfGamma);
    Mouse(QEvent::MouseButtonRelease, endOfGamma);
    EXPECT_EQ(view->SelectedText(), "beta\ngamma");

    Mouse(QEvent::MouseButtonPress, view->PointOf({1, 11}) + QPoint(0, 2), Qt::ShiftModifier);
    EXPECT_EQ(view->SelectedText(), "beta\ngamma delta");

    Mouse(QEvent::MouseButtonDblClick, view->PointOf({1, 7}) + QPoint(1, 2));
    EXPECT_EQ(view->SelectedText(), "delta");
}

TEST_F(Memo, TypingChangesNothingAndKeysMoveTheCaretAndTheView) {
    for (int i = 0; i < 200; ++i)
        memo->Lines->Add(std::to_string(i));
    view->SyncScrollBars();
    Key(Qt::Key_X, Qt::NoModifier, "x");
    Key(Qt::Key_Delete);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(memo->Lines->Count(), 200);
    EXPECT_EQ(memo->Lines->Strings(0), AnsiString("0"));
    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->pageStep());
    EXPECT_EQ(view->Cursor(), (MemoView::Position{view->verticalScrollBar()->pageStep(), 0}));
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    EXPECT_EQ(view->Cursor(), (MemoView::Position{199, 3}));
    EXPECT_FALSE(view->HasSelection());
}

// Shift with any caret key extends the selection from where it began, as in an edit box.
TEST_F(Memo, KeyboardSelectionAndCopy) {
    for (const char* line : {"first", "second", "<02>third"})
        memo->Lines->Add(line);
    view->SyncScrollBars();
    struct Step {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString selected;
    } const steps[] = {
        {Qt::Key_End, Qt::ControlModifier, ""},
        {Qt::Key_Up, Qt::ShiftModifier, "\n<02>third"}, // column 9 is past "second": its end
        {Qt::Key_Left, Qt::ShiftModifier, "d\n<02>third"},
        {Qt::Key_Home, Qt::ShiftModifier, "second\n<02>third"},
        {Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier, "first\nsecond\n<02>third"},
        {Qt::Key_Right, Qt::ShiftModifier, "irst\nsecond\n<02>third"},
        {Qt::Key_Right, Qt::NoModifier, ""},
        {Qt::Key_End, Qt::ShiftModifier, "rst"},
        {Qt::Key_Down, Qt::ShiftModifier, "rst\nsecon"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.selected.toStdString());
        Key(s.key, s.modifiers);
        EXPECT_EQ(view->SelectedText(), s.selected);
    }
    QApplication::clipboard()->clear();
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard(), "rst\nsecon");
}

TEST_F(Memo, ShiftTurnsTheWheelSideways) {
    memo->Lines->Add(std::string(2000, 'W'));
    view->SyncScrollBars();
    QScrollBar* h = view->horizontalScrollBar();
    h->setValue(0);
    const QPointF at(10, 10);
    QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_GT(h->value(), 0);
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
}

// A log in which the token never occurs re-cuts into one line of the frame view.
TEST_F(Memo, TheEndOfAHundredMegabyteLineCanBeScrolledToAndClicked) {
    const std::size_t n = 100u << 20;
    std::string line(n, 'W');
    line.replace(n - 4, 4, "<03>");
    memo->Lines->Add(line);
    line.clear();
    view->SyncScrollBars();
    QFontMetricsF metrics(view->font());
    qreal exact = (n - 4) * metrics.horizontalAdvance('W');
    for (char c : std::string("<03>"))
        exact += metrics.horizontalAdvance(QChar(c));
    EXPECT_NEAR(view->WidestLine(), exact, 1.0) << "the extent is measured, not estimated";

    QScrollBar* h = view->horizontalScrollBar();
    h->setValue(h->maximum());
    const int columns = view->Columns(0);
    ASSERT_EQ(columns, static_cast<int>(n));
    const QPoint end = view->PointOf({0, columns});
    EXPECT_GE(end.x(), 0);
    EXPECT_LE(end.x(), view->viewport()->width()) << "the end of the line is out of reach";
    const QPoint lastChar = view->PointOf({0, columns - 1}) + QPoint(1, 2);
    Mouse(QEvent::MouseButtonPress, lastChar);
    Mouse(QEvent::MouseButtonRelease, lastChar);
    EXPECT_EQ(view->Cursor(), (MemoView::Position{0, columns - 1}));
    Key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(view->SelectedText(), ">");
}

TEST_F(Memo, SelectingAllOfALargeLog) {
    for (int i = 0; i < 200000; ++i)
        memo->Lines->Add("<02>FRAME 0123456789 T=21<03><0d><0a>");
    view->SelectAll();
    QString all = view->SelectedText();
    EXPECT_EQ(all.size(), 200000 * (37 + 1) - 1); // each line and its line break
    EXPECT_TRUE(all.endsWith("<0d><0a>"));
}

} // namespace
