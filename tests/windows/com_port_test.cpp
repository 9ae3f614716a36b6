// The channel on real ports of the system: COM3 is the monitored port, COM4 the device side,
// joined to COM3 by with_com_ports.sh. What the test writes to COM4 arrives on COM3.
#include "com_device.h"
#include "port_discovery.h"
#include "serial_port.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(ComPort, OpensConfiguresAndReadsExactlyWhatWaited) {
    HANDLE h = OpenPort("COM3,38400,E,8");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LineSettings.BaudRate, 38400u);
    EXPECT_EQ(LineSettings.Parity, EVENPARITY);
    EXPECT_EQ(LineSettings.ByteSize, 8);
    EXPECT_EQ(LineSettings.StopBits, ONESTOPBIT);
    DCB applied{};
    applied.DCBlength = sizeof applied;
    ASSERT_TRUE(GetCommState(h, &applied));
    EXPECT_EQ(applied.BaudRate, 38400u);

    Device device;
    ASSERT_TRUE(device.ok());
    device.Send("0123456789");
    ASSERT_TRUE(WaitForQueue(h, 10));
    unsigned char area[16] = {};
    EXPECT_EQ(ReadPort(h, area, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 4), "0123");
    EXPECT_EQ(ReadPort(h, area, 16), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 6), "456789");
    EXPECT_EQ(ReadPort(h, area, 16), 0) << "nothing waits: the read returns at once";
    device.Send(std::string("\x02\xff\x00", 3));
    ASSERT_TRUE(WaitForQueue(h, 3));
    EXPECT_EQ(ReadPort(h, area, 16), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 3), std::string("\x02\xff\x00", 3));

    EXPECT_EQ(ClosePort(h), INVALID_HANDLE_VALUE);
    HANDLE again = OpenPort("COM3,9600,N,8");
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "the close released the port";
    ClosePort(again);
}

TEST(ComPort, APortHeldByAnotherOpenIsRefused) {
    if (UnderWine()) GTEST_SKIP() << "Wine does not enforce the exclusive share mode";
    HANDLE first = OpenPort("COM3,38400,E,8");
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenPort("COM3,38400,E,8"), INVALID_HANDLE_VALUE);
    ClosePort(first);
}

TEST(ComPort, TheScanListsThePortsThatOpen) {
    ScanPorts();
    EXPECT_EQ(PortList, AnsiString("COM3, COM4, "));
}

} // namespace
