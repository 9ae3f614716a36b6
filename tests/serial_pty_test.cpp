// The serial layer and the channel on real pseudo-terminals.
#include "pty.h"
#include "serial_port.h"
#include "test_env.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

class PtyPort : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(device.ok());
        device.LinkAs("COM3");
    }
    // Opens COM3, has the device send `sent`, then hangs the device up.
    HANDLE OpenThenHangUpAfter(const char* definition, const std::string& sent) {
        HANDLE h = OpenPort(definition);
        if (h == INVALID_HANDLE_VALUE) return h;
        device.Write(sent);
        EXPECT_TRUE(WaitFor([&] { return Waiting(h) == sent.size(); }));
        device.Hangup();
        return h;
    }
    static bool Gone(HANDLE h) {
        DWORD errors = 0;
        COMSTAT stat{};
        return !ClearCommError(h, &errors, &stat);
    }
    Pty device;
};

TEST_F(PtyPort, OpenMakesTheLineRawAndNothingIsEverSentBack) {
    termios before{};
    ASSERT_EQ(tcgetattr(device.master(), &before), 0);
    ASSERT_NE(before.c_lflag & ECHO, 0u) << "a fresh pty echoes; the open must stop that";

    HANDLE h = OpenPort("COM3,38400,E,8");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    termios after{};
    ASSERT_EQ(tcgetattr(device.master(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);
    EXPECT_EQ(cfgetospeed(&after), B38400);

    // XON/XOFF, CR, LF and the interrupt character: none may bring a byte back.
    const std::string sent = "hello\x11\x13\r\n\x03\x1a";
    device.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return Waiting(h) == sent.size(); }));
    unsigned char area[64];
    ASSERT_EQ(ReadPort(h, area, sizeof area), static_cast<int>(sent.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), sent.size()), sent);
    ClosePort(h);
    EXPECT_TRUE(device.Drain().empty());
}

TEST_F(PtyPort, APortHeldByOneOpenIsRefusedToTheNextUntilClosed) {
    HANDLE first = OpenPort("COM3,38400,E,8");
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    termios held{};
    tcgetattr(device.master(), &held);

    EXPECT_EQ(OpenPort("COM3,9600,N,7"), INVALID_HANDLE_VALUE);
    termios still{};
    tcgetattr(device.master(), &still);
    EXPECT_EQ(cfgetospeed(&still), cfgetospeed(&held)) << "the refused open touched the line";

    ClosePort(first);
    HANDLE again = OpenPort("COM3,38400,E,8");
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    ClosePort(again);
}

TEST_F(PtyPort, AReadTakesWhatWaitedAndLeavesTheRestQueued) {
    HANDLE h = OpenPort("COM3,38400,E,8");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    device.Write("0123456789");
    ASSERT_TRUE(WaitFor([&] { return Waiting(h) == 10; }));
    unsigned char area[16] = {};
    EXPECT_EQ(ReadPort(h, area, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 4), "0123");
    EXPECT_EQ(ReadPort(h, area, 16), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 6), "456789");
    EXPECT_EQ(ReadPort(h, area, 16), 0);
    device.Write("AB");
    ASSERT_TRUE(WaitFor([&] { return Waiting(h) == 2; }));
    EXPECT_EQ(ReadPort(h, area, 16), 2);
    ClosePort(h);
}

TEST_F(PtyPort, AHangUpKeepsWhatArrivedThenReadsAsNothingAndCloseStillWorks) {
    HANDLE h = OpenThenHangUpAfter("COM3,38400,E,8", "xyz");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    unsigned char area[16];
    EXPECT_EQ(ReadPort(h, area, sizeof area), 3) << "received before the hang-up: not lost";
    ASSERT_TRUE(WaitFor([&] { return Gone(h); }));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadPort(h, area, sizeof area), 0);
    EXPECT_EQ(ClosePort(h), INVALID_HANDLE_VALUE);
}

TEST_F(PtyPort, ADeviceThatComesBackUnderTheSameNameIsPickedUpAgain) {
    HANDLE h = OpenThenHangUpAfter("COM3,19200,N,8", "one");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    unsigned char area[16];
    EXPECT_EQ(ReadPort(h, area, sizeof area), 3);
    ASSERT_TRUE(WaitFor([&] { return Gone(h); }));

    Pty back; // the same name now leads to a new device
    back.LinkAs("COM3");
    auto isRaw = [&] {
        termios t{};
        return tcgetattr(back.master(), &t) == 0 && !(t.c_lflag & ECHO);
    };
    ASSERT_TRUE(WaitFor(isRaw)) << "reopened, and made raw before anything could echo";
    termios t{};
    tcgetattr(back.master(), &t);
    EXPECT_EQ(cfgetospeed(&t), B19200) << "with the line settings it had";
    back.Write("two");
    ASSERT_TRUE(WaitFor([&] { return Waiting(h) == 3; }));
    ASSERT_EQ(ReadPort(h, area, sizeof area), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 3), "two");
    ClosePort(h);
    EXPECT_TRUE(back.Drain().empty());
}

TEST_F(PtyPort, AnInvalidRecordNeverReachesTheLine) {
    HANDLE h = CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dcb{};
    ASSERT_TRUE(BuildCommDCBA("COM3:Baud=19200 Parity=N Data=8 Stop=1", &dcb));
    ASSERT_TRUE(SetCommState(h, &dcb));
    DCB zero{};
    EXPECT_FALSE(SetCommState(h, &zero));
    termios t{};
    tcgetattr(device.master(), &t);
    EXPECT_EQ(cfgetospeed(&t), B19200) << "B0 would have hung the line up";

    dcb.BaudRate = 250000; // not one of the B constants
    EXPECT_TRUE(SetCommState(h, &dcb));
    // Modem lines: a pty has none, and says so.
    EXPECT_FALSE(EscapeCommFunction(h, CLRDTR));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h)) << "a closed handle is no longer known";
}

TEST(HostileDefinitions, RefusedBeforeAnythingIsOpened) {
    Pty device;
    ASSERT_TRUE(device.ok());
    // A 40-byte path that does lead to a device: too long for the working texts all the same.
    std::filesystem::path longLink = TestDeviceDir() / "long";
    std::filesystem::create_directories(longLink);
    std::string path = (longLink / std::string(40 - longLink.string().size() - 1, 'p')).string();
    ASSERT_EQ(path.size(), 40u);
    ASSERT_EQ(symlink(device.slavePath().c_str(), path.c_str()), 0);
    termios before{};
    tcgetattr(device.master(), &before);
    const std::string cases[] = {
        path + ",38400,E,8",
        std::string(5000, 'C'),
        "COM1," + std::string(4990, '9'),
        "COM1,38400," + std::string(40, 'E') + ",8",
        "\x80\x81\xfe\xff,38400,E,8",
        "..,38400,E,8",
    };
    for (const std::string& definition : cases) {
        SCOPED_TRACE(definition.substr(0, 60));
        EXPECT_EQ(OpenPort(definition.c_str()), INVALID_HANDLE_VALUE);
    }
    termios after{};
    tcgetattr(device.master(), &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "the device was opened";
    std::filesystem::remove_all(longLink);
}

TEST(PortNames, PermissionDeniedIsRefused) {
    Pty device;
    ASSERT_TRUE(device.ok());
    device.LinkAs("COM2");
    ASSERT_EQ(chmod(device.slavePath().c_str(), 0600), 0);
    // The device directory itself may be passed through; only the device is closed to others.
    ASSERT_EQ(chmod(TestDeviceDir().c_str(), 0711), 0);
    // Root opens anything: ask as an unprivileged user, in a child of its own.
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        HANDLE h = CreateFileA("\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        _exit(h == INVALID_HANDLE_VALUE && SerialLastErrno() == EACCES ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(TestDeviceDir().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot become an unprivileged user here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PortNames, ComNumbersFallBackToTheMatching8250Node) {
    Pty device;
    ASSERT_TRUE(device.ok());
    device.LinkAs("ttyS6");
    HANDLE h = OpenPort("com7,38400,E,8");
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    ClosePort(h);
    EXPECT_EQ(OpenPort("COM8,38400,E,8"), INVALID_HANDLE_VALUE);
}

TEST(PortNames, WhatIsNotASerialDeviceIsRefusedBeforeItIsOpened) {
    std::filesystem::path dir = TestDeviceDir() / "hostile";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "file") << "data";
    mkfifo((dir / "fifo").c_str(), 0600);
    struct Case {
        std::string name;
        int err;
    } const cases[] = {
        {"\\\\.\\" + (dir / "file").string(), ENOTTY},
        {"\\\\.\\" + dir.string(), ENOTTY},
        {"\\\\.\\" + (dir / "fifo").string(), ENOTTY}, // opening a FIFO would block
        {"\\\\.\\" + (dir / "missing").string(), ENOENT},
        {"\\\\.\\/dev/null", ENOTTY},
        {"\\\\.\\/dev/tty", ENOTTY},
        {"\\\\.\\/dev/console", ENOTTY},
        {"\\\\.\\/dev/ptmx", ENOTTY},
        {"\\\\.\\..", ENOENT},
        {"\\\\.\\COM99", ENOENT},
        {"\\\\.\\\x82\xa0", ENOENT},
        {"COM1", ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CreateFileA(c.name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(SerialLastErrno(), c.err);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
