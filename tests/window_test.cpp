// The window's handlers on Qt's offscreen platform, with a pseudo-terminal as the port.
#include "main_window.h"
#include "pty.h"
#include "serial_port.h"
#include "texts.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <gtest/gtest.h>
#include <memory>

namespace {

std::vector<std::string> LinesOf(TMemo* memo) {
    std::vector<std::string> lines;
    for (int i = 0; i < memo->Lines->Count(); ++i)
        lines.push_back(memo->Lines->Strings(i).Bytes());
    return lines;
}

// Lets the message loop run, so that the timer delivers its ticks, until the condition holds.
bool RunUntil(const std::function<bool()>& condition) {
    return WaitFor([&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return condition();
    });
}

DWORD Waiting(HANDLE h) {
    DWORD errors = 0;
    COMSTAT stat{};
    return ClearCommError(h, &errors, &stat) ? stat.cbInQue : 0;
}

class Window : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "window_test";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<TApplication>(argc, argv);
    }
    static void TearDownTestSuite() { app.reset(); }

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

    static std::unique_ptr<TApplication> app;
    std::unique_ptr<TF1> form;
    Pty device;
};
std::unique_ptr<TApplication> Window::app;

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

} // namespace
