// The window as a user meets it on Windows, through the real message loop: first display, a
// start on COM3 with ticks, a stop, a re-cut, the listing, the memos' text read back through
// the clipboard, and the exit code after the window is closed. COM4 plays the device.
#include "com_device.h"
#include "entry.h"
#include "main_window.h"
#include "memo_lines.h"
#include "memo_window.h"
#include "port_discovery.h"
#include "texts.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* at = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = at;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// The steps of the script, each tried at every tick of a timer of the message loop until it
// says it is done; the last one closes the window.
std::vector<std::function<bool()>> gSteps;
std::size_t gStep = 0;
int gTicks = 0;

void CALLBACK RunScript(HWND, UINT, UINT_PTR, DWORD) {
    if (++gTicks > 600 || gStep >= gSteps.size()) { // 30 s: give up, and close
        if (F1) PostMessageW(F1->Widget(), WM_CLOSE, 0, 0);
        return;
    }
    if (gSteps[gStep]()) ++gStep;
}

TEST(Window, AMonitoringRunThroughTheMessageLoop) {
    int argc = 0;
    char* argv[] = {nullptr};
    TApplication app(argc, argv);
    Device device;
    ASSERT_TRUE(device.ok());
    const std::string listing = ListingLine().Bytes(); // before any scan: the prefix alone
    std::wstring copied;
    gSteps = {
        [&] { // the first display
            if (!F1 || !IsWindowVisible(F1->Widget())) return false;
            EXPECT_EQ(LinesOf(F1->Me1), (std::vector<std::string>{"", listing + "COM3, COM4, "}));
            EXPECT_EQ(F1->Bu1->Caption(), AnsiString(texts::kStart));
            RECT client;
            GetClientRect(F1->Widget(), &client);
            EXPECT_EQ(F1->ClientWidth(), 342);
            EXPECT_EQ(F1->ClientHeight(), 374);
            wchar_t name[16] = {};
            GetClassNameW(F1->Widget(), name, 16);
            EXPECT_EQ(std::wstring(name), L"TF1");
            F1->Ed1->SetText("COM3,38400,E,8");
            F1->Bu1->Click();
            EXPECT_EQ(F1->Bu1->Caption(), AnsiString(texts::kStop));
            EXPECT_FALSE(F1->CB->Enabled());
            EXPECT_FALSE(F1->Ed2->Enabled());
            device.Send(std::string("\x02"
                                    "A"));
            return true;
        },
        [&] {
            if (F1->Me1->Lines->Count() < 1) return false;
            device.Send("BC\x03");
            return true;
        },
        [&] {
            if (F1->Me1->Lines->Count() < 2) return false;
            EXPECT_EQ(LinesOf(F1->Me1), (std::vector<std::string>{"<02>A", "BC<03>"}));
            F1->Bu1->Click(); // stop
            EXPECT_EQ(F1->Bu1->Caption(), AnsiString(texts::kStart));
            EXPECT_TRUE(F1->CB->Enabled());
            F1->CB->SetChecked(true); // the re-cut, before each token, and a fresh listing
            EXPECT_TRUE(IsWindowVisible(F1->Me2->Widget()));
            EXPECT_EQ(LinesOf(F1->Me2),
                      (std::vector<std::string>{"<02>ABC<03>", "", listing + "COM3, COM4, "}));
            F1->Me2->View()->SelectAll();
            F1->Me2->View()->Copy();
            copied = ClipboardText();
            return true;
        },
        [&] {
            PostMessageW(F1->Widget(), WM_CLOSE, 0, 0);
            return true;
        },
    };
    UINT_PTR timer = SetTimer(nullptr, 0, 50, RunScript);
    const int exitCode = ProgramEntry(F1);
    KillTimer(nullptr, timer);
    EXPECT_EQ(gStep, gSteps.size()) << "the script stopped at step " << gStep;
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(copied, L"<02>ABC<03>\r\n\r\n" + ToUnicode(listing + "COM3, COM4, "));
    F1 = nullptr;
}

} // namespace
