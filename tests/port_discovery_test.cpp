// The port scan through the device directory, with pseudo-terminals as ports.
#include "port_discovery.h"
#include "pty.h"
#include "serial_port.h"

#include <gtest/gtest.h>
#include <memory>
#include <termios.h>

namespace {

const std::string kPrefix = "\x82\xb1\x82\xcc"
                            "PC"
                            "\x82\xcc"
                            "COM port\x81\x46 ";

TEST(ScanPorts, NoPortGivesThePrefixAlone) {
    ScanPorts();
    EXPECT_EQ(PortList, AnsiString(""));
    EXPECT_EQ(ListingLine(), AnsiString(kPrefix));
}

TEST(ScanPorts, ListsInNumericOrderThroughAliasesAndPlainNodes) {
    Pty com2, com10, com50, com51;
    com2.LinkAs("ttyS1");  // COM2 by its 8250 node
    com10.LinkAs("COM10"); // COM10 by an alias
    com50.LinkAs("COM50");
    com51.LinkAs("COM51"); // beyond the scan
    ScanPorts();
    EXPECT_EQ(PortList, AnsiString("COM2, COM10, COM50, "));
    EXPECT_EQ(ListingLine(), AnsiString(kPrefix + "COM2, COM10, COM50, "));
    EXPECT_TRUE(com2.Drain().empty()) << "a probe transmits nothing";
}

TEST(ScanPorts, UsbAdaptersAndCdcBoardsHaveComNamesOfTheirOwn) {
    Pty uart, adapter, board;
    uart.LinkAs("ttyS2");
    adapter.LinkAs("ttyUSB0");
    board.LinkAs("ttyACM3");
    ScanPorts();
    EXPECT_EQ(PortList, AnsiString("COM3, COM9, COM28, "));

    // An alias wins over the map, even one that leads to another device.
    Pty aliased;
    aliased.LinkAs("COM9");
    HANDLE h = OpenPort("COM9,38400,E,8");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    aliased.Write("via alias");
    adapter.Write("via map");
    ASSERT_TRUE(WaitFor([&] { return Waiting(h) == 9; }));
    unsigned char area[32];
    ASSERT_EQ(ReadPort(h, area, sizeof area), 9);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 9), "via alias");
    ClosePort(h);
    adapter.Drain(); // the unopened adapter echoes what it was sent, as a fresh tty does
}

TEST(ScanPorts, ASecondScanReplacesTheList) {
    auto gone = std::make_unique<Pty>();
    Pty stays;
    gone->LinkAs("COM3");
    stays.LinkAs("COM4");
    ScanPorts();
    EXPECT_EQ(PortList, AnsiString("COM3, COM4, "));
    gone.reset(); // link and device both go
    ScanPorts();
    EXPECT_EQ(PortList, AnsiString("COM4, "));
}

TEST(ScanPorts, APortHeldElsewhereIsLeftOutAndUntouched) {
    Pty held;
    held.LinkAs("COM6");
    HANDLE owner = OpenPort("COM6,9600,N,8");
    ASSERT_NE(owner, INVALID_HANDLE_VALUE);
    termios before{};
    tcgetattr(held.master(), &before);
    ScanPorts();
    EXPECT_EQ(PortList, AnsiString(""));
    termios after{};
    tcgetattr(held.master(), &after);
    EXPECT_EQ(cfgetospeed(&after), B9600) << "the probe's 38400 never reached it";
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    ClosePort(owner);
}

} // namespace
