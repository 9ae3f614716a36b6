// The channel's platform calls, in order, against a recording stand-in.
#include "port_discovery.h"
#include "recording_commapi.h"
#include "serial_port.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

class ChannelCalls : public testing::Test {
  protected:
    void SetUp() override { recording = Recording{}; }
};

TEST_F(ChannelCalls, OpenConfiguresInOrderAfterBuildingBothTexts) {
    HANDLE h = OpenPort("COM9,38400,E,8");
    EXPECT_EQ(h, recording.openResult);
    EXPECT_EQ(recording.calls, (Calls{"CreateFileA \\\\.\\COM9", "SetupComm 2048 2048",
                                      "BuildCommDCBA", "SetCommState", "SetCommMask 128"}));
    EXPECT_EQ(recording.settingsText, "COM9:Baud=38400 Parity=E Data=8 Stop=1");
}

TEST_F(ChannelCalls, AFailedOpenCallsNothingMore) {
    recording.openResult = INVALID_HANDLE_VALUE;
    EXPECT_EQ(OpenPort("COM9,38400,E,8"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(recording.calls, (Calls{"CreateFileA \\\\.\\COM9"}));
}

TEST_F(ChannelCalls, ADefinitionBeyondTheWorkingTextsCallsNothing) {
    for (const std::string& def : {std::string(16, 'C') + ",9600,N,8",
                                   "COM1," + std::string(32, '9'), std::string(2048, 'x')}) {
        recording.calls.clear();
        EXPECT_EQ(OpenPort(def.c_str()), INVALID_HANDLE_VALUE);
        EXPECT_TRUE(recording.calls.empty());
    }
}

TEST_F(ChannelCalls, LineSettingsCarryOverWhenATextIsRejected) {
    recording.buildWrites.BaudRate = 38400;
    recording.buildWrites.ByteSize = 8;
    recording.buildWrites.Parity = EVENPARITY;
    OpenPort("COM1,38400,E,8");
    recording.buildResult = FALSE;
    OpenPort("COM2,fast,E,8");
    EXPECT_EQ(recording.appliedState.BaudRate, 38400u) << "an earlier open's settings, not zero";
    EXPECT_EQ(recording.appliedState.Parity, EVENPARITY);
    EXPECT_EQ(recording.appliedState.ByteSize, 8);
}

TEST_F(ChannelCalls, ReadAsksForWhatWaitsButNoMoreThanTheArea) {
    unsigned char area[100];
    struct Case {
        DWORD waiting;
        int areaSize;
        int expected;
        std::string read;
    } const cases[] = {
        {0, 100, 0, "ReadFile 0"}, // the zero-byte read is still issued
        {37, 100, 37, "ReadFile 37"},
        {500, 100, 100, "ReadFile 100"},
        {5, 0, 0, "ReadFile 0"},
    };
    for (const Case& c : cases) {
        recording.calls.clear();
        recording.inQueue = c.waiting;
        EXPECT_EQ(ReadPort(recording.openResult, area, c.areaSize), c.expected);
        EXPECT_EQ(recording.calls, (Calls{"ClearCommError", c.read}));
    }
}

TEST_F(ChannelCalls, AReadReportsOnlyWhatWasPlacedAndFailuresGiveZero) {
    unsigned char area[100];
    recording.inQueue = 50;
    recording.readReports = 20;
    EXPECT_EQ(ReadPort(recording.openResult, area, 100), 20);

    recording.readResult = FALSE;
    EXPECT_EQ(ReadPort(recording.openResult, area, 100), 0);

    recording.calls.clear();
    recording.readResult = TRUE;
    recording.clearResult = FALSE; // hang-up: the query fails, a stale count is never used
    EXPECT_EQ(ReadPort(recording.openResult, area, 100), 0);
    EXPECT_EQ(recording.calls, (Calls{"ClearCommError"}));
}

TEST_F(ChannelCalls, NoPlatformCallForNoPort) {
    unsigned char area[8];
    EXPECT_EQ(ReadPort(INVALID_HANDLE_VALUE, area, 8), 0);
    EXPECT_EQ(ClosePort(INVALID_HANDLE_VALUE), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(recording.calls.empty());
}

TEST_F(ChannelCalls, CloseDropsDtrThenRtsThenReleases) {
    EXPECT_EQ(ClosePort(recording.openResult), INVALID_HANDLE_VALUE);
    EXPECT_EQ(recording.calls, (Calls{"CLRDTR", "CLRRTS", "CloseHandle"}));
}

TEST_F(ChannelCalls, AScanProbesCom1ToCom50OnceEachInOrder) {
    recording.openResult = INVALID_HANDLE_VALUE;
    ScanPorts();
    Calls expected;
    for (int n = 1; n <= 50; ++n)
        expected.push_back("CreateFileA \\\\.\\COM" + std::to_string(n));
    EXPECT_EQ(recording.calls, expected); // COM51 never, and nothing after a failed open
    EXPECT_EQ(PortList, AnsiString(""));
}

TEST_F(ChannelCalls, APortThatRefusesTheProbeSettingsIsStillListed) {
    recording.buildResult = FALSE;
    recording.setStateResult = FALSE;
    ProbePort("COM7");
    EXPECT_EQ(recording.settingsText, "COM7:Baud=38400 Parity=E Data=8 Stop=1");
    EXPECT_EQ(recording.calls.back(), "CloseHandle");
    EXPECT_EQ(PortList, AnsiString("COM7, "));
    PortList = AnsiString();
}

} // namespace
