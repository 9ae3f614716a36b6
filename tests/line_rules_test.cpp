#include "line_rules.h"

#include <gtest/gtest.h>
#include <string>

using namespace commapi;

namespace {

DCB Marked() {
    DCB dcb{};
    dcb.BaudRate = 1200;
    dcb.ByteSize = 7;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonLim = 77; // never touched by the parser
    dcb.fBinary = 1;
    return dcb;
}

TEST(ParseCommSettings, AcceptedTexts) {
    struct Case {
        const char* text;
        DWORD baud;
        BYTE data, parity, stop;
    } const cases[] = {
        {"COM9:Baud=38400 Parity=E Data=8 Stop=1", 38400, 8, EVENPARITY, ONESTOPBIT},
        {"com12:baud=9600 parity=n data=7 stop=2", 9600, 7, NOPARITY, TWOSTOPBITS},
        {"Baud=115200 Parity=O Data=5 Stop=1.5", 115200, 5, ODDPARITY, ONE5STOPBITS},
        {"COM1:Baud=250000   Parity=M  Data=6 Stop=1", 250000, 6, MARKPARITY, ONESTOPBIT},
        {"COM1:BAUD=300 PARITY=s DATA=8 STOP=1 ", 300, 8, SPACEPARITY, ONESTOPBIT},
        {"/dev/ttyUSB0:Baud=57600 Parity=N Data=8 Stop=1", 57600, 8, NOPARITY, ONESTOPBIT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DCB dcb = Marked();
        ASSERT_TRUE(ParseCommSettings(c.text, dcb));
        EXPECT_EQ(dcb.BaudRate, c.baud);
        EXPECT_EQ(dcb.ByteSize, c.data);
        EXPECT_EQ(dcb.Parity, c.parity);
        EXPECT_EQ(dcb.StopBits, c.stop);
        EXPECT_EQ(dcb.XonLim, 77);
        EXPECT_EQ(dcb.fBinary, 1u);
    }
}

TEST(ParseCommSettings, RejectedTextsLeaveTheRecordAlone) {
    const char* const cases[] = {
        "COM9:Baud= Parity= Data= Stop=1",        // empty values
        ":Baud= Parity= Data= Stop=1",            // what an empty definition gives
        "COM3:Baud=38400 Parity=O Data=1 Stop=1", // data bits out of range
        "COM9:Baud=38400 Parity=E Data= Stop=1",
        "COM9:Baud= 38400 Parity=E Data=8 Stop=1", // blank after '='
        "COM9:Baud=38400 Parity=X Data=8 Stop=1",
        "COM9:Baud=38400 Parity=EE Data=8 Stop=1",
        "COM9:Baud=38400 Parity=E Data=9 Stop=1",
        "COM9:Baud=38400 Parity=E Data=8 Stop=3",
        "COM9:Baud=38400 Parity=E Data=8 Stop=1.0",
        "COM9:Baud=-1 Parity=E Data=8 Stop=1",
        "COM9:Baud=4294967296 Parity=E Data=8 Stop=1", // over 32 bits
        "COM9:Speed=38400",
        "COM9:Baud=38400Parity=E",
        "COM9:Baud",
        "COM9:",
        "COM:Baud=38400",
        "COMX:Baud=38400",
        "\x82\xa0:Baud=38400",
        "",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        DCB dcb = Marked();
        EXPECT_FALSE(ParseCommSettings(text, dcb));
        EXPECT_EQ(dcb.BaudRate, 1200u);
        EXPECT_EQ(dcb.ByteSize, 7);
        EXPECT_EQ(dcb.Parity, ODDPARITY);
        EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    }
    DCB dcb = Marked();
    EXPECT_FALSE(ParseCommSettings(nullptr, dcb));
}

TEST(DcbIsApplicable, AZeroedRecordNeverReachesTheLine) {
    DCB dcb{};
    EXPECT_FALSE(DcbIsApplicable(dcb)); // baud 0 would be B0: hang up
    dcb = Marked();
    EXPECT_TRUE(DcbIsApplicable(dcb));
    for (auto spoil : {+[](DCB& d) { d.BaudRate = 0; }, +[](DCB& d) { d.ByteSize = 4; },
                       +[](DCB& d) { d.ByteSize = 9; }, +[](DCB& d) { d.Parity = 5; },
                       +[](DCB& d) { d.StopBits = 3; }}) {
        DCB bad = Marked();
        spoil(bad);
        EXPECT_FALSE(DcbIsApplicable(bad));
    }
}

TEST(CflagForDcb, MapsSizeParityAndStopBits) {
    struct Case {
        BYTE data, parity, stop;
        tcflag_t expected;
    } const cases[] = {
        {8, NOPARITY, ONESTOPBIT, CS8},
        {7, EVENPARITY, ONESTOPBIT, CS7 | PARENB},
        {6, ODDPARITY, TWOSTOPBITS, CS6 | PARENB | PARODD | CSTOPB},
        {5, MARKPARITY, ONE5STOPBITS, CS5 | PARENB | PARODD | CMSPAR | CSTOPB},
        {8, SPACEPARITY, ONESTOPBIT, CS8 | PARENB | CMSPAR},
    };
    const tcflag_t keep = CLOCAL | CREAD | HUPCL;
    for (const Case& c : cases) {
        DCB dcb = Marked();
        dcb.ByteSize = c.data;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop;
        // Start from the opposite bits so that every one the mapping should clear is set.
        tcflag_t before = keep | CS8 | PARENB | PARODD | CMSPAR | CSTOPB;
        EXPECT_EQ(CflagForDcb(before, dcb), keep | c.expected) << int(c.data) << int(c.parity);
    }
}

TEST(MakeRaw, NothingTheLineReceivesComesBackOrStopsTheSender) {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | INPCK | IGNPAR | PARMRK | ISTRIP | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | CRTSCTS;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    MakeRaw(t);
    EXPECT_EQ(t.c_iflag, 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag, 0u);
    EXPECT_EQ(t.c_cflag, CS7 | PARENB | CLOCAL | CREAD); // line settings are not its business
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(ParsePortName, ComNumbersAndDevicePaths) {
    struct Case {
        const char* name;
        PortName::Kind kind;
        int number;
    } const cases[] = {
        {"\\\\.\\COM1", PortName::ComNumber, 1},
        {"\\\\.\\com9", PortName::ComNumber, 9},
        {"\\\\.\\CoM256", PortName::ComNumber, 256},
        {"\\\\.\\COM257", PortName::Invalid, 0},
        {"\\\\.\\COM0", PortName::Invalid, 0},
        {"\\\\.\\COM09", PortName::Invalid, 0},
        {"\\\\.\\COM", PortName::Invalid, 0},
        {"\\\\.\\COM1 ", PortName::Invalid, 0},
        {"\\\\.\\COM1x", PortName::Invalid, 0},
        {"\\\\.\\..", PortName::Invalid, 0},
        {"\\\\.\\", PortName::Invalid, 0},
        {"\\\\.\\ttyS0", PortName::Invalid, 0},
        {"COM1", PortName::Invalid, 0},
        {"/dev/ttyS0", PortName::Invalid, 0},
        {"\\\\.\\/dev/ttyUSB0", PortName::DevicePath, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PortName p = ParsePortName(c.name);
        EXPECT_EQ(p.kind, c.kind);
        if (c.kind == PortName::ComNumber) {
            EXPECT_EQ(p.number, c.number);
        }
    }
    EXPECT_EQ(ParsePortName("\\\\.\\/dev/ttyUSB0").path, "/dev/ttyUSB0");
    EXPECT_EQ(ParsePortName(nullptr).kind, PortName::Invalid);
}

TEST(ComDeviceName, TheFixedMapOfComNumbers) {
    struct Case {
        int number;
        const char* device;
    } const cases[] = {
        {1, "ttyS0"},    {8, "ttyS7"},     {9, "ttyUSB0"},  {24, "ttyUSB15"},
        {25, "ttyACM0"}, {40, "ttyACM15"}, {41, "ttyAMA0"}, {50, "ttyAMA9"},
        {51, ""},        {256, ""},        {0, ""},         {-1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(ComDeviceName(c.number), c.device);
    }
}

TEST(ResolvePortName, AnAliasWinsOverTheFixedMap) {
    struct Case {
        const char* name;
        const char* withoutAlias;
        const char* withAlias;
    } const cases[] = {
        {"COM1", "/d/ttyS0", "/d/COM1"},
        {"COM8", "/d/ttyS7", "/d/COM8"},
        {"COM9", "/d/ttyUSB0", "/d/COM9"},
        {"com9", "/d/ttyUSB0", "/d/COM9"},
        {"COM24", "/d/ttyUSB15", "/d/COM24"},
        {"COM25", "/d/ttyACM0", "/d/COM25"},
        {"COM40", "/d/ttyACM15", "/d/COM40"},
        {"COM41", "/d/ttyAMA0", "/d/COM41"},
        {"COM50", "/d/ttyAMA9", "/d/COM50"},
        {"COM51", "", "/d/COM51"},
        {"COM256", "", "/d/COM256"},
        {"COM09", "", ""},
        {"COM0", "", ""},
        {"COM257", "", ""},
        {"/dev/ttyUSB3", "/dev/ttyUSB3", "/dev/ttyUSB3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = std::string("\\\\.\\") + c.name;
        auto none = [](const std::string&) { return false; };
        auto aliases = [](const std::string& p) { return p.rfind("/d/COM", 0) == 0; };
        EXPECT_EQ(ResolvePortName(name.c_str(), "/d", none), c.withoutAlias);
        EXPECT_EQ(ResolvePortName(name.c_str(), "/d", aliases), c.withAlias);
    }
}

TEST(ClassifyDevice, OnlySerialPortsAndPtySlavesOpen) {
    auto dev = [](unsigned major, unsigned minor, std::string subsystem = "tty",
                  std::string console = "", std::string type = "",
                  std::string driver = "serial8250") {
        DeviceFacts f;
        f.driver = driver;
        f.exists = f.isCharDevice = true;
        f.major = major;
        f.minor = minor;
        f.subsystem = subsystem;
        f.console = console;
        f.uartType = type;
        return f;
    };
    DeviceFacts file;
    file.exists = true;
    struct Case {
        const char* what;
        DeviceFacts facts;
        Verdict verdict;
    } const cases[] = {
        {"missing", DeviceFacts{}, Verdict::Missing},
        {"regular file, directory or FIFO", file, Verdict::NotSerial},
        {"pty slave", dev(136, 3, ""), Verdict::Open},
        {"8250 port with a UART", dev(4, 65, "tty", "N", "4"), Verdict::Open},
        {"USB adapter (ttyUSB)", dev(188, 0, "tty", "", "", "ftdi_sio"), Verdict::Open},
        {"CDC-ACM board (ttyACM)", dev(166, 3, "tty", "", "", "cdc_acm"), Verdict::Open},
        {"PL011 UART (ttyAMA)", dev(204, 64, "tty", "N", "", "uart-pl011"), Verdict::Open},
        {"PL011 UART, the console", dev(204, 64, "tty", "Y", "", "uart-pl011"), Verdict::Console},
        {"USB gadget serial acting as console", dev(166, 0, "tty", "Y", "", "cdc_acm"),
         Verdict::Console},
        {"a tty of no hardware (ttyprintk, hvc)", dev(229, 0, "tty", "", "", ""),
         Verdict::NotSerial},
        {"ttyUSB whose driver is gone", dev(188, 1, "tty", "", "", ""), Verdict::NotSerial},
        {"the kernel's console", dev(4, 64, "tty", "Y", "4"), Verdict::Console},
        {"8250 port without a UART", dev(4, 66, "tty", "N", "0"), Verdict::NoUart},
        {"virtual console", dev(4, 1), Verdict::NotSerial},
        {"/dev/tty", dev(5, 0), Verdict::NotSerial},
        {"/dev/console", dev(5, 1), Verdict::NotSerial},
        {"/dev/ptmx", dev(5, 2), Verdict::NotSerial},
        {"watchdog", dev(10, 130, "misc"), Verdict::NotSerial},
        {"/dev/null", dev(1, 3, "mem"), Verdict::NotSerial},
        {"no sysfs entry", dev(240, 0, ""), Verdict::NotSerial},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ClassifyDevice(c.facts), c.verdict);
    }
}

} // namespace

namespace {

DeviceIdentity Usb(const char* vendor, const char* product, const char* serial,
                   const char* physicalPath) {
    DeviceIdentity id;
    id.kind = DeviceIdentity::Usb;
    id.vendor = vendor;
    id.product = product;
    id.serial = serial;
    id.physicalPath = physicalPath;
    return id;
}

DeviceIdentity Other(DeviceIdentity::Kind kind, unsigned major, unsigned minor) {
    DeviceIdentity id;
    id.kind = kind;
    id.major = major;
    id.minor = minor;
    return id;
}

TEST(SameDevice, OnlyTheMonitoredDeviceIsOpenedAgain) {
    const char* portA = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0";
    const char* portB = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0";
    struct Case {
        const char* what;
        DeviceIdentity was, now;
        bool same;
    } const cases[] = {
        {"same serial, other socket", Usb("0403", "6001", "A50285BI", portA),
         Usb("0403", "6001", "A50285BI", portB), true},
        {"other serial, same socket", Usb("0403", "6001", "A50285BI", portA),
         Usb("0403", "6001", "A9XYZ", portA), false},
        {"same serial, other model", Usb("0403", "6001", "A50285BI", portA),
         Usb("10c4", "ea60", "A50285BI", portA), false},
        {"no serial, same model, same socket", Usb("1a86", "7523", "", portA),
         Usb("1a86", "7523", "", portA), true},
        {"no serial, same model, other socket", Usb("1a86", "7523", "", portA),
         Usb("1a86", "7523", "", portB), false},
        {"no serial, other model, same socket", Usb("1a86", "7523", "", portA),
         Usb("067b", "2303", "", portA), false},
        {"no serial then one", Usb("1a86", "7523", "", portA), Usb("1a86", "7523", "X1", portA),
         false},
        {"no serial, socket unknown", Usb("1a86", "7523", "", ""), Usb("1a86", "7523", "", ""),
         false},
        {"8250 port, same node", Other(DeviceIdentity::Node, 4, 65),
         Other(DeviceIdentity::Node, 4, 65), true},
        {"8250 port, other node", Other(DeviceIdentity::Node, 4, 65),
         Other(DeviceIdentity::Node, 4, 66), false},
        {"USB adapter where a fixed port was", Other(DeviceIdentity::Node, 188, 0),
         Usb("0403", "6001", "A50285BI", portA), false},
        {"pseudo-terminal, same number", Other(DeviceIdentity::PseudoTerminal, 136, 3),
         Other(DeviceIdentity::PseudoTerminal, 136, 3), false},
        {"unknown", Other(DeviceIdentity::Unknown, 4, 64), Other(DeviceIdentity::Unknown, 4, 64),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SameDevice(c.was, c.now), c.same);
    }
}

TEST(LockFilePid, AsciiAndBinaryForms) {
    const std::int32_t binary = 4321;
    struct Case {
        std::string content;
        long pid;
    } const cases[] = {
        {"      1234\n", 1234},
        {"1234", 1234},
        {" 77 \n", 77},
        {std::string(reinterpret_cast<const char*>(&binary), 4), 4321},
        {"", 0},
        {"12a4\n", 0},
        {"-5\n", 0},
        {"99999999999999999999\n", 0},
        {"abcd", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        EXPECT_EQ(LockFilePid(c.content.data(), c.content.size()), c.pid);
    }
}

} // namespace
