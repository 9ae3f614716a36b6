// The window as stored, and the program entry, on Qt's offscreen platform.
#include "entry.h"
#include "main_icon.h"
#include "main_window.h"
#include "port_discovery.h"
#include "stored_layout.h"
#include "texts.h"

#include "test_app.h"
#include <QApplication>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>
#include <memory>

namespace {

class StoredWindow : public testing::Test {
  protected:
    static void SetUpTestSuite() { app = &TestApplication(); }
    void SetUp() override {
        app->OnException = nullptr;
        form = std::make_unique<TF1>();
        form->DoCreate();
        form->SetVisible(true); // as Run shows it
    }
    static TApplication* app;
    std::unique_ptr<TF1> form;
};
TApplication* StoredWindow::app = nullptr;

struct Rect {
    int left, top, width, height;
    bool operator==(const Rect&) const = default;
};
Rect BoundsOf(TControl* c) {
    return {c->Left(), c->Top(), c->Width(), c->Height()};
}
std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << r.left << "," << r.top << " " << r.width << "x" << r.height;
}

TEST_F(StoredWindow, GeometryCaptionsAndStates) {
    EXPECT_EQ(form->Caption(), AnsiString("Quorvane"));
    EXPECT_EQ(form->ClientWidth(), 342);
    EXPECT_EQ(form->ClientHeight(), 374);
    EXPECT_EQ(form->Widget()->pos(), QPoint(259, 165));

    EXPECT_EQ(BoundsOf(form->Bu1), (Rect{3, 1, 62, 20}));
    EXPECT_EQ(BoundsOf(form->Ed1), (Rect{64, 2, 100, 20}));
    EXPECT_EQ(BoundsOf(form->CB), (Rect{195, 3, 118, 17}));
    EXPECT_EQ(BoundsOf(form->Ed2), (Rect{211, 5, 27, 16}));
    // FormResize fits both memos below the top row, whichever is showing.
    EXPECT_EQ(BoundsOf(form->Me1), (Rect{0, 20, 342, 354}));
    EXPECT_EQ(BoundsOf(form->Me2), (Rect{0, 20, 342, 354}));

    EXPECT_EQ(form->Bu1->Caption(), AnsiString(texts::kStart));
    EXPECT_EQ(form->Ed1->Text(), AnsiString("COM9,38400,E,8"));
    EXPECT_EQ(form->Ed2->Text(), AnsiString("<02>"));
    EXPECT_EQ(form->CB->Caption(), AnsiString(texts::kBreakAfter));
    EXPECT_FALSE(form->CB->Checked());
    EXPECT_TRUE(form->Me1->Visible());
    EXPECT_FALSE(form->Me2->Visible());
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_EQ(form->Timer1->Interval(), 200);
    EXPECT_EQ(PortHandle, INVALID_HANDLE_VALUE);
}

TEST_F(StoredWindow, StartUpReplacesTheSampleLinesWithTheListing) {
    ASSERT_EQ(form->Me1->Lines->Count(), 2);
    EXPECT_EQ(form->Me1->Lines->Strings(0), AnsiString(""));
    EXPECT_EQ(form->Me1->Lines->Strings(1), ListingLine());
    EXPECT_EQ(ListingLine(), AnsiString("\x82\xb1\x82\xcc"
                                        "PC"
                                        "\x82\xcc"
                                        "COM port\x81\x46 "));
}

TEST_F(StoredWindow, LaterControlsLieAboveEarlierOnes) {
    QObjectList children = form->Widget()->children();
    auto at = [&](TControl* c) { return children.indexOf(c->Widget()); };
    EXPECT_LT(at(form->Bu1), at(form->Ed1));
    EXPECT_LT(at(form->Ed1), at(form->CB));
    EXPECT_LT(at(form->CB), at(form->Ed2)); // the token field lies over the box's caption
    EXPECT_LT(at(form->Ed2), at(form->Me1));
    EXPECT_LT(at(form->Me1), at(form->Me2)); // the frame view covers the live log
}

TEST_F(StoredWindow, AFixedFrameWithMinimizeButNoMaximize) {
    QWidget* w = form->Widget();
    Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w->minimumSize(), QSize(342, 374));
    EXPECT_EQ(w->maximumSize(), QSize(342, 374));
}

TEST_F(StoredWindow, TabVisitsOnlyTheMemosAndTheCheckBoxInStoredOrder) {
    std::vector<QWidget*> stops;
    QWidget* controls[] = {form->Bu1->Widget(), form->Me1->Widget(), form->Ed1->Widget(),
                           form->Ed2->Widget(), form->Me2->Widget(), form->CB->Widget()};
    QWidget* w = form->Bu1->Widget();
    std::vector<QWidget*> chain;
    do {
        if (std::find(std::begin(controls), std::end(controls), w) != std::end(controls))
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != form->Bu1->Widget() && chain.size() < 12);
    EXPECT_EQ(chain, std::vector<QWidget*>(std::begin(controls), std::end(controls)));
    for (QWidget* c : controls) {
        bool tabStop =
            c == form->Me1->Widget() || c == form->Me2->Widget() || c == form->CB->Widget();
        EXPECT_EQ(bool(c->focusPolicy() & Qt::TabFocus), tabStop) << c->metaObject()->className();
        EXPECT_TRUE(c->focusPolicy() & Qt::ClickFocus) << "still works with the mouse";
    }
}

TEST_F(StoredWindow, MaxLengthCountsCodePage932Bytes) {
    struct Case {
        TEdit* edit;
        QString start, typed;
        bool accepted;
    } const cases[] = {
        {form->Ed1, QString(50, 'x'), "y", false},
        {form->Ed1, QString(49, 'x'), "y", true},
        {form->Ed1, QString(25, QChar(0x3042)), "y", false}, // 25 hiragana are 50 bytes
        {form->Ed1, QString(24, QChar(0x3042)), QString(QChar(0x3042)), true},
        {form->Ed2, "<02>", "x", false},
        {form->Ed2, QString(2, QChar(0x3042)), "x", false},
        {form->Ed2, QString(QChar(0x3042)), QString(QChar(0x3042)), true},
        // No code page 932 form: refused, typed or pasted, never stored as "?".
        {form->Ed1, "COM", QString::fromUtf8("\u00e9"), false},
        {form->Ed1, "COM", QString::fromUtf8("9\U0001F600"), false},
        {form->Ed2, "", QString::fromUtf8("\u20ac"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.toStdString());
        QLineEdit* line = c.edit->LineEdit();
        line->setText(c.start);
        line->end(false);
        line->insert(c.typed); // as typing would
        EXPECT_EQ(line->text(), c.accepted ? c.start + c.typed : c.start);
        EXPECT_LE(c.edit->Text().Length(), c.edit->MaxLength());
    }
}

// The token field keeps its stored width; a token too wide for it in this font is narrowed to
// fit, never clipped.
TEST_F(StoredWindow, FourCharactersOfAnyWidthShowWholeInTheTokenField) {
    QLineEdit* line = form->Ed2->LineEdit();
    for (const char* token : {"<02>", "FRAM", "MMMM", "WWWW", "\x82\xa0\x82\xa0"}) {
        SCOPED_TRACE(token);
        form->Ed2->SetText(token);
        EXPECT_EQ(line->width(), 27);
        EXPECT_LE(QFontMetricsF(line->font()).horizontalAdvance(line->text()), line->width());
    }
}

TEST_F(StoredWindow, TextSetByTheProgramIsCutAtACharacterBoundary) {
    form->Ed2->SetText("a\x8a\x4a\x8e\x6e"); // a 開始: 5 bytes into a 4-byte field
    EXPECT_EQ(form->Ed2->Text(), AnsiString("a\x8a\x4a"));
}

TEST_F(StoredWindow, TextWithoutACodePage932FormBecomesQuestionMarks) {
    EXPECT_EQ(FromUnicode(QString::fromUtf8("a\u20acb\U0001F600c")), AnsiString("a?b?c"));
    EXPECT_EQ(FromUnicode(QString::fromUtf8("\u958b\u59cb")), AnsiString(texts::kStart));
    EXPECT_EQ(ToUnicode(texts::kStop), QString::fromUtf8("\u505c\u6b62"));
    ToUnicode("\x82"); // a lead byte alone: no lasting harm to later conversions
    EXPECT_EQ(ToUnicode(texts::kStart), QString::fromUtf8("\u958b\u59cb"));
    EXPECT_EQ(ToUnicode("<02>\\~\x7f"), QString::fromLatin1("<02>\\~\x7f"));
}

// A window whose construction fails, as when its stored layout cannot be loaded.
class BrokenForm : public TForm {
  public:
    BrokenForm() { throw Exception("layout cannot be loaded"); }
};

// A window whose OnCreate handler fails.
class FailingCreateForm : public TForm {
  public:
    FailingCreateForm() {
        OnCreate = [](TObject*) { throw Exception("scan failed"); };
    }
};

TEST_F(StoredWindow, AnExceptionFromStartUpIsShownAndTheExitCodeIsStillZero) {
    std::vector<std::string> shown;
    app->OnException = [&](const std::exception& e) { shown.push_back(e.what()); };
    BrokenForm* broken = nullptr;
    EXPECT_EQ(ProgramEntry(broken), 0); // returns at once: Run is never reached
    EXPECT_EQ(shown, std::vector<std::string>{"layout cannot be loaded"});
}

TEST_F(StoredWindow, AnExceptionFromAHandlerIsShownAndTheProgramCarriesOn) {
    std::vector<std::string> shown;
    app->OnException = [&](const std::exception& e) { shown.push_back(e.what()); };
    form->SetVisible(false); // so that closing the new window is closing the last one
    FailingCreateForm* form2 = nullptr;
    bool shownWindow = false;
    QTimer::singleShot(0, [&] {
        shownWindow = form2 && form2->Widget()->isVisible();
        form2->Widget()->close(); // closing the window ends the loop
    });
    EXPECT_EQ(ProgramEntry(form2), 0);
    EXPECT_EQ(shown, std::vector<std::string>{"scan failed"});
    EXPECT_TRUE(shownWindow) << "the window is still created and shown";
}

} // namespace
