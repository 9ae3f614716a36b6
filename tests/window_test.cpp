// The window's handlers on Qt's offscreen platform, with a pseudo-terminal as the port.
#include "frame_cut.h"
#include "live_log.h"
#include "main_window.h"
#include "memo_lines.h"
#include "port_discovery.h"
#include "pty.h"
#include "serial_port.h"
#include "streamer.h"
#include "texts.h"

#include "test_app.h"
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>
#include <memory>

namespace {

// Lets the message loop run, so that the timer delivers its ticks, until the condition holds.
bool RunUntil(const std::function<bool()>& condition,
              std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return WaitFor(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return condition();
        },
        timeout);
}

class Window : public testing::Test {
  protected:
    static void SetUpTestSuite() { app = &TestApplication(); }

    void SetUp() override {
        form = std::make_unique<TF1>();
        form->DoCreate();
        F1 = form.get();
        ASSERT_TRUE(device.ok());
        device.LinkAs("COM4");
    }
    void TearDown() override {
        if (PortHandle != INVALID_HANDLE_VALUE && form->Bu1->Caption() == AnsiString(texts::kStop))
            form->Bu1->Click();
        PortHandle = INVALID_HANDLE_VALUE;
        F1 = nullptr;
    }

    static TApplication* app;
    std::unique_ptr<TF1> form;
    Pty device;
};
TApplication* Window::app = nullptr;

TEST_F(Window, StartTicksAndStopWithItsLastPoll) {
    form->Me2->SetVisible(true); // as a re-cut leaves it
    form->Ed1->SetText("COM4,38400,E,8");
    form->Bu1->Click();
    ASSERT_EQ(form->Bu1->Caption(), AnsiString(texts::kStop));
    EXPECT_FALSE(form->CB->Enabled());
    EXPECT_FALSE(form->Ed2->Enabled());
    EXPECT_FALSE(form->Me2->Visible());
    EXPECT_TRUE(form->Timer1->Enabled());
    EXPECT_EQ(form->Me1->Lines->Count(), 0);

    device.Write(std::string("\x02"
                             "A"));
    ASSERT_TRUE(RunUntil([&] { return form->Me1->Lines->Count() == 1; }));
    device.Write(std::string("BC\x03"));
    ASSERT_TRUE(RunUntil([&] { return form->Me1->Lines->Count() == 2; }));
    EXPECT_EQ(LinesOf(form->Me1), (std::vector<std::string>{"<02>A", "BC<03>"}));

    // Bytes that arrive after the last tick are shown by the stop, not lost with the port.
    form->Timer1->SetEnabled(false);
    device.Write(std::string("\x02"
                             "Z"));
    ASSERT_TRUE(WaitFor([&] { return Waiting(PortHandle) == 2; }));
    form->Bu1->Click();
    EXPECT_EQ(form->Bu1->Caption(), AnsiString(texts::kStart));
    EXPECT_TRUE(form->CB->Enabled());
    EXPECT_TRUE(form->Ed2->Enabled());
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_FALSE(form->Me2->Visible());
    EXPECT_EQ(LinesOf(form->Me1), (std::vector<std::string>{"<02>A", "BC<03>", "<02>Z"}));

    // The port is free again, and nothing was ever sent to the device.
    HANDLE again = OpenPort("COM4,38400,E,8");
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    ClosePort(again);
    EXPECT_TRUE(device.Drain().empty());
}

// A fast device's burst that the ticks never saw: the stop shows all of it before it closes.
TEST_F(Window, StopShowsABurstOfMegabytesThatArrivedSinceTheLastTick) {
    form->Ed1->SetText("COM4,38400,E,8");
    form->Bu1->Click();
    ASSERT_EQ(form->Bu1->Caption(), AnsiString(texts::kStop));
    Streamer burst(device.master(), 1e12, std::chrono::milliseconds(0), 3, 6u << 20);
    burst.Start();
    burst.Join();
    ASSERT_GE(burst.Sent().size(), 5u << 20);
    ASSERT_TRUE(WaitFor([&] { return Waiting(PortHandle) == burst.Sent().size(); }));
    form->Bu1->Click();
    std::string joined;
    for (int i = 0; i < form->Me1->Lines->Count(); ++i) {
        EXPECT_LE(form->Me1->Lines->Line(i).size(), kMaxDisplayLine);
        joined.append(form->Me1->Lines->Line(i));
    }
    const std::string expected =
        RenderBytes(burst.Sent().data(), static_cast<int>(burst.Sent().size()));
    EXPECT_TRUE(joined == expected) << "shown " << joined.size() << " of " << expected.size();
}

TEST_F(Window, TheDefaultDefinitionMonitorsTheFirstUsbAdapter) {
    Pty adapter;
    adapter.LinkAs("ttyUSB0");
    ASSERT_EQ(form->Ed1->Text(), AnsiString("COM9,38400,E,8"));
    form->Bu1->Click();
    ASSERT_EQ(form->Bu1->Caption(), AnsiString(texts::kStop));
    adapter.Write(std::string("\x02OK\x03"));
    ASSERT_TRUE(RunUntil([&] { return form->Me1->Lines->Count() == 1; }));
    EXPECT_EQ(LinesOf(form->Me1), (std::vector<std::string>{"<02>OK<03>"}));
    form->Bu1->Click();
}

TEST_F(Window, AFailedStartChangesNothing) {
    form->Me2->SetVisible(true);
    auto linesBefore = LinesOf(form->Me1);
    for (const char* definition : {"COM5,38400,E,8", "", "COM4XXXXXXXXXXXXXXXXXX,1,E,8"}) {
        SCOPED_TRACE(definition);
        form->Ed1->SetText(definition);
        form->Bu1->Click();
        EXPECT_EQ(PortHandle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(form->Bu1->Caption(), AnsiString(texts::kStart));
        EXPECT_TRUE(form->CB->Enabled());
        EXPECT_TRUE(form->Ed2->Enabled());
        EXPECT_TRUE(form->Me2->Visible());
        EXPECT_FALSE(form->Timer1->Enabled());
        EXPECT_EQ(LinesOf(form->Me1), linesBefore);
    }
}

TEST_F(Window, AStartAfterAStopEmptiesTheLogAndAHeldPortDoesNotStart) {
    form->Ed1->SetText("COM4,38400,E,8");
    form->Bu1->Click();
    device.Write(std::string("run one"));
    ASSERT_TRUE(RunUntil([&] { return form->Me1->Lines->Count() == 1; }));
    form->Bu1->Click();

    HANDLE other = OpenPort("COM4,9600,N,8"); // another program takes the port
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    form->Bu1->Click();
    EXPECT_EQ(form->Bu1->Caption(), AnsiString(texts::kStart));
    EXPECT_EQ(LinesOf(form->Me1), (std::vector<std::string>{"run one"}));
    ClosePort(other);

    form->Bu1->Click();
    EXPECT_EQ(form->Bu1->Caption(), AnsiString(texts::kStop));
    EXPECT_EQ(form->Me1->Lines->Count(), 0);
}

TEST_F(Window, ADeviceThatVanishesMidRunAddsNothingAndStopStillWorks) {
    form->Ed1->SetText("COM4,38400,E,8");
    form->Bu1->Click();
    device.Write(std::string("ab"));
    ASSERT_TRUE(RunUntil([&] { return form->Me1->Lines->Count() == 1; }));
    device.Hangup();
    DWORD errors = 0;
    COMSTAT stat{};
    ASSERT_TRUE(WaitFor([&] { return !ClearCommError(PortHandle, &errors, &stat); }));
    for (int i = 0; i < 3; ++i)
        form->Timer1Timer(form->Timer1); // ticks on a vanished device
    EXPECT_EQ(LinesOf(form->Me1), (std::vector<std::string>{"ab"}));
    EXPECT_EQ(form->Bu1->Caption(), AnsiString(texts::kStop)) << "only a click ends monitoring";
    form->Bu1->Click();
    EXPECT_EQ(form->Bu1->Caption(), AnsiString(texts::kStart));

    Pty fresh;
    fresh.LinkAs("COM4");
    form->Bu1->Click();
    ASSERT_EQ(form->Bu1->Caption(), AnsiString(texts::kStop));
    fresh.Write(std::string("cd"));
    ASSERT_TRUE(RunUntil([&] { return form->Me1->Lines->Count() == 1; }));
    EXPECT_EQ(LinesOf(form->Me1), (std::vector<std::string>{"cd"}));
    form->Bu1->Click();
}

// Nothing lost, duplicated or reordered under load: random bytes in random chunks at 400 KB/s
// through the real handlers. QUORVANE_SOAK_SECONDS makes it longer by hand.
TEST_F(Window, SoakEveryByteSentIsShownExactlyOnceInOrder) {
    const char* env = std::getenv("QUORVANE_SOAK_SECONDS");
    const int seconds = env ? std::atoi(env) : 3;
    form->Ed1->SetText("COM4,38400,E,8");
    form->Bu1->Click();
    ASSERT_EQ(form->Bu1->Caption(), AnsiString(texts::kStop));

    Streamer device_side(device.master(), 400 * 1024, std::chrono::seconds(seconds), 7);
    device_side.Start();
    ASSERT_TRUE(RunUntil([&] { return device_side.Done(); }, std::chrono::seconds(seconds + 10)));
    device_side.Join();
    const std::string expected =
        RenderBytes(device_side.Sent().data(), static_cast<int>(device_side.Sent().size()));
    auto shown = [&] {
        std::size_t n = 0;
        for (int i = 0; i < form->Me1->Lines->Count(); ++i)
            n += form->Me1->Lines->Line(i).size();
        return n;
    };
    ASSERT_TRUE(RunUntil([&] { return shown() >= expected.size(); }));
    form->Bu1->Click();
    std::string joined;
    joined.reserve(expected.size());
    for (int i = 0; i < form->Me1->Lines->Count(); ++i) {
        EXPECT_LE(form->Me1->Lines->Line(i).size(), kMaxDisplayLine);
        joined.append(form->Me1->Lines->Line(i));
    }
    EXPECT_TRUE(joined == expected) << "shown " << joined.size() << " of " << expected.size();
    EXPECT_TRUE(device.Drain().empty()) << "the monitor transmitted";
    std::printf("soak: %zu bytes in %.1f s (%.0f KB/s), %d lines, identical: %s\n",
                device_side.Sent().size(), device_side.Seconds(),
                device_side.Sent().size() / device_side.Seconds() / 1024, form->Me1->Lines->Count(),
                joined == expected ? "yes" : "NO");
}

// The frame view: Me1's lines are set directly, as a run would leave them.
class FrameView : public Window {
  protected:
    void Log(const std::vector<std::string>& lines) {
        form->Me1->Clear();
        for (const std::string& line : lines)
            form->Me1->Lines->Add(line);
    }
    std::vector<std::string> View() { return LinesOf(form->Me2); }
    std::vector<std::string> Expect(std::vector<std::string> pieces) {
        pieces.push_back("");
        pieces.push_back(ListingLine().Bytes());
        return pieces;
    }
};

TEST_F(FrameView, TickingAndUntickingSwitchCaptionAndBreakPosition) {
    Log({"<02>A", "BC<03>", "<02>DE<03>"});
    form->CB->SetChecked(true);
    EXPECT_EQ(form->CB->Caption(), AnsiString(texts::kBreakBefore));
    EXPECT_TRUE(form->Me2->Visible());
    EXPECT_EQ(View(), Expect({"<02>ABC<03>", "<02>DE<03>"}));
    form->CB->SetChecked(false);
    EXPECT_EQ(form->CB->Caption(), AnsiString(texts::kBreakAfter));
    EXPECT_EQ(View(), Expect({"<02>ABC<03><02>", "DE<03>"}));
}

TEST_F(FrameView, EveryEditOfTheTokenReCutsAndRescans) {
    Log({"x<0", "3>y<03>z"});
    QLineEdit* line = form->Ed2->LineEdit();
    line->clear();
    EXPECT_EQ(View(), Expect({"x<03>y<03>z"})); // an empty token cuts nothing
    Pty late;
    late.LinkAs("COM8"); // a port that appears between two re-cuts is listed by the next
    // Each key re-cuts with the token as it then stands: "<", "<0", "<03", "<03>".
    const std::string typed = "<03>";
    for (std::size_t i = 1; i <= typed.size(); ++i) {
        line->insert(QString::fromStdString(typed.substr(i - 1, 1)));
        EXPECT_EQ(View(), Expect(CutFrames({"x<0", "3>y<03>z"}, typed.substr(0, i), false)));
    }
    EXPECT_EQ(View(), Expect({"x<03>", "y<03>", "z"}));
    EXPECT_EQ(PortList, AnsiString("COM4, COM8, "));
}

TEST_F(FrameView, UpperCaseHexNeverMatchesAndReceivedCharactersMatchLikeTheByte) {
    Log({"A<0d>B", "<02>C"}); // <02> here may as well be the four characters < 0 2 >
    form->Ed2->SetText("<0D>");
    EXPECT_EQ(View(), Expect({"A<0d>B<02>C"}));
    form->Ed2->SetText("<0d>");
    EXPECT_EQ(View(), Expect({"A<0d>", "B<02>C"}));
    form->Ed2->SetText("<02>");
    EXPECT_EQ(View(), Expect({"A<0d>B<02>", "C"}));
}

TEST_F(FrameView, AnEmptyLogAndTheStartUpListing) {
    const std::string startUp = ListingLine().Bytes(); // what FormCreate wrote into Me1
    form->Ed2->SetText("<7f>");
    EXPECT_EQ(View(), Expect({startUp})) << "the listing's two lines joined into one";
    Log({});
    form->CB->SetChecked(true);
    EXPECT_EQ(View(), Expect({""}));
}

TEST_F(FrameView, ALineLongerThan4096CharactersIsSeenWhole) {
    std::string longLine = std::string(5000, 'a') + "<02>" + std::string(15000, 'b');
    Log({longLine});
    form->CB->SetChecked(true);
    EXPECT_EQ(View(), Expect({std::string(5000, 'a'), "<02>" + std::string(15000, 'b')}));
    EXPECT_EQ(form->Me1->Lines->Strings(0).Length(), 20004);
}

TEST_F(FrameView, StartHidesTheViewAndStopLeavesItHidden) {
    form->CB->SetChecked(true);
    ASSERT_TRUE(form->Me2->Visible());
    form->Ed1->SetText("COM4,38400,E,8");
    form->Bu1->Click();
    EXPECT_FALSE(form->Me2->Visible());
    EXPECT_FALSE(form->CB->Enabled());
    EXPECT_FALSE(form->Ed2->Enabled());
    form->Bu1->Click();
    EXPECT_FALSE(form->Me2->Visible());
}

} // namespace
