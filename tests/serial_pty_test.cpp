// The serial layer and the channel on real pseudo-terminals.
#include "commapi_linux.h"
#include "port_discovery.h"
#include "pty.h"
#include "serial_port.h"
#include "streamer.h"
#include "test_env.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iomanip>
#include <map>
#include <memory>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
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

// The system says who is behind a device number; here the test does, so that a pty can stand
// in for a USB adapter with a serial number of its own.
class StandInIdentities {
  public:
    StandInIdentities() {
        SetDeviceIdentityLookup([this](unsigned major, unsigned minor) {
            std::lock_guard lock(mutex_);
            commapi::DeviceIdentity id;
            id.kind = commapi::DeviceIdentity::Usb;
            id.vendor = "0403";
            id.product = "6001";
            id.serial = serials_[makedev(major, minor)];
            return id;
        });
    }
    ~StandInIdentities() { SetDeviceIdentityLookup(nullptr); }
    void Give(const Pty& device, const std::string& serial) {
        struct stat st {};
        ASSERT_EQ(stat(device.slavePath().c_str(), &st), 0);
        std::lock_guard lock(mutex_);
        serials_[st.st_rdev] = serial;
    }

  private:
    std::mutex mutex_;
    std::map<dev_t, std::string> serials_;
};

// Time for several attempts of the reader to open a device again. Nothing can be awaited when
// the point is that nothing happens.
void LetTheReaderTryAgain() {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

bool Echoes(const Pty& device) {
    termios t{};
    return tcgetattr(device.master(), &t) == 0 && (t.c_lflag & ECHO);
}

TEST_F(PtyPort, OnlyTheSameAdapterIsPickedUpAgainWhenItComesBack) {
    StandInIdentities identities;
    identities.Give(device, "A50285BI");
    HANDLE h = OpenThenHangUpAfter("COM3,19200,N,8", "one");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    unsigned char area[16];
    EXPECT_EQ(ReadPort(h, area, sizeof area), 3);
    ASSERT_TRUE(WaitFor([&] { return Gone(h); }));

    Pty stranger; // another adapter of the same model, under the same name
    identities.Give(stranger, "FT99ZZ");
    stranger.LinkAs("COM3");
    LetTheReaderTryAgain();
    EXPECT_TRUE(Echoes(stranger)) << "another adapter was opened";

    Pty back; // the monitored adapter, plugged in again
    identities.Give(back, "A50285BI");
    back.LinkAs("COM3");
    ASSERT_TRUE(WaitFor([&] { return !Echoes(back); }))
        << "reopened, and made raw before anything could echo";
    termios t{};
    tcgetattr(back.master(), &t);
    EXPECT_EQ(cfgetospeed(&t), B19200) << "with the line settings it had";
    back.Write("two");
    ASSERT_TRUE(WaitFor([&] { return Waiting(h) == 3; }));
    ASSERT_EQ(ReadPort(h, area, sizeof area), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), 3), "two");
    ClosePort(h);
}

TEST(PtyReuse, ANewTerminalUnderTheNumberOfOneThatHungUpIsNotOpened) {
    auto first = std::make_unique<Pty>();
    ASSERT_TRUE(first->ok());
    first->LinkAs("COM5");
    const std::string number = first->slavePath();
    HANDLE h = OpenPort("COM5,38400,E,8");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    first->Hangup();
    ASSERT_TRUE(WaitFor([&] {
        DWORD errors = 0;
        COMSTAT stat{};
        return !ClearCommError(h, &errors, &stat);
    }));

    Pty next; // a terminal window, an ssh login
    ASSERT_TRUE(next.ok());
    if (next.slavePath() != number) {
        ClosePort(h);
        GTEST_SKIP() << "the new terminal got " << next.slavePath() << ", not " << number;
    }
    termios typing{};
    ASSERT_EQ(tcgetattr(next.master(), &typing), 0);
    typing.c_lflag &= ~static_cast<tcflag_t>(ECHO); // so the keys are not echoed to the test
    ASSERT_EQ(tcsetattr(next.master(), TCSANOW, &typing), 0);
    next.Write("ls\n");
    LetTheReaderTryAgain();

    termios after{};
    ASSERT_EQ(tcgetattr(next.master(), &after), 0);
    EXPECT_EQ(after.c_lflag, typing.c_lflag) << "the terminal was made raw";
    EXPECT_EQ(Waiting(h), 0u);
    int slave = open(next.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    char keys[8] = {};
    EXPECT_EQ(read(slave, keys, sizeof keys), 3) << "the user's keys were taken";
    close(slave);
    ClosePort(h);
}

TEST_F(PtyPort, WhatTheDeviceSentBeforeTheOpenIsNotThisRunsTraffic) {
    termios quiet{};
    ASSERT_EQ(tcgetattr(device.master(), &quiet), 0);
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO); // the stale bytes must not echo to the test
    ASSERT_EQ(tcsetattr(device.master(), TCSANOW, &quiet), 0);
    device.Write("stale output\n");
    HANDLE h = OpenPort("COM3,38400,E,8");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    device.Write("fresh");
    ASSERT_TRUE(WaitFor([&] { return Waiting(h) >= 5; }));
    unsigned char area[64];
    int n = ReadPort(h, area, sizeof area);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(area), static_cast<std::size_t>(n)), "fresh");
    ClosePort(h);
}

// The reader stops taking bytes while the queue is full; the pty then holds the writer back.
TEST_F(PtyPort, AFullQueueHoldsTheSenderBackAndLosesNothing) {
    constexpr std::size_t limit = 4096;
    SetSerialQueueLimit(limit);
    HANDLE h = OpenPort("COM3,38400,E,8");
    SetSerialQueueLimit(0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Streamer writer(device.master(), 64.0 * 1024 * 1024, std::chrono::milliseconds(700), 5);
    writer.Start();
    std::vector<unsigned char> got;
    DWORD mostWaiting = 0;
    unsigned char area[1000];
    auto readSome = [&] {
        mostWaiting = std::max(mostWaiting, Waiting(h));
        int n = ReadPort(h, area, sizeof area);
        got.insert(got.end(), area, area + n);
        return n;
    };
    // A slow reader: the writer outruns it many times over.
    while (!writer.Done()) {
        readSome();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    writer.Join();
    ASSERT_TRUE(WaitFor([&] {
        readSome();
        return got.size() >= writer.Sent().size();
    }));
    EXPECT_LE(mostWaiting, limit);
    EXPECT_GT(writer.Sent().size(), 50 * limit) << "the queue never filled";
    EXPECT_TRUE(got == writer.Sent())
        << got.size() << " bytes received of " << writer.Sent().size();
    ClosePort(h);
}

// Another program with the port open the ordinary way: no lock, maybe exclusive mode. It
// reports the line it reads and whether its exclusive mode is still set.
class Holder {
  public:
    Holder(const std::string& path, bool exclusive) {
        if (pipe(report_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(report_[0]);
            int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
            if (fd < 0) _exit(1);
            if (exclusive) ioctl(fd, TIOCEXCL);
            char ready = 'r';
            if (write(report_[1], &ready, 1) != 1) _exit(1);
            char line[64];
            ssize_t n = read(fd, line, sizeof line - 1); // canonical: one whole line
            int still = 0;
            ioctl(fd, TIOCGEXCL, &still);
            line[n > 0 ? n : 0] = still ? 'X' : '-';
            if (write(report_[1], line, static_cast<std::size_t>(n > 0 ? n : 0) + 1) < 0) _exit(1);
            _exit(0);
        }
        close(report_[1]);
        report_[1] = -1;
    }
    ~Holder() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (report_[0] >= 0) close(report_[0]);
    }
    // What the holder sent through its report pipe, waiting up to ten seconds for size bytes.
    std::string Report(std::size_t size) {
        std::string got;
        pollfd p{report_[0], POLLIN, 0};
        while (got.size() < size && poll(&p, 1, 10000) == 1) {
            char buf[64];
            ssize_t n = read(report_[0], buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

  private:
    pid_t pid_ = -1;
    int report_[2] = {-1, -1};
};

TEST_F(PtyPort, APortAnotherProgramHasOpenIsNeitherListedNorTouched) {
    for (bool exclusive : {false, true}) {
        SCOPED_TRACE(exclusive ? "holder set exclusive mode" : "plain open");
        Holder holder(device.slavePath(), exclusive);
        ASSERT_EQ(holder.Report(1), "r");
        termios before{};
        ASSERT_EQ(tcgetattr(device.master(), &before), 0);

        ScanPorts();
        EXPECT_EQ(PortList, AnsiString("")) << "listed";
        EXPECT_EQ(OpenPort("COM3,9600,N,7"), INVALID_HANDLE_VALUE);
        termios after{};
        ASSERT_EQ(tcgetattr(device.master(), &after), 0);
        EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
        EXPECT_EQ(after.c_lflag, before.c_lflag) << "echo or canonical mode changed";
        EXPECT_EQ(after.c_iflag, before.c_iflag);

        device.Write("ping\n");
        // The holder's line echoes back to the device side, as its own terminal would.
        EXPECT_EQ(holder.Report(6), std::string("ping\n") + (exclusive ? "X" : "-"))
            << "the holder's input was taken, or its exclusive mode cleared";
        device.Drain();
    }
}

TEST_F(PtyPort, APortNamedByALiveLockFileIsLeftAlone) {
    const std::filesystem::path locks = TestDeviceDir() / "locks";
    std::filesystem::create_directories(locks);
    SetSerialLockDirectories({locks.string()});
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    struct Case {
        pid_t pid;
        bool opens;
    } const cases[] = {{1, false}, {gone, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pid);
        std::ofstream(locks / "LCK..COM3") << std::setw(10) << c.pid << "\n";
        HANDLE h = OpenPort("COM3,38400,E,8");
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        ClosePort(h);
    }
    SetSerialLockDirectories({});
    std::filesystem::remove_all(locks);
}

// Without its reader thread a port is no port: the open fails and leaves nothing held.
TEST_F(PtyPort, AReaderThatCannotStartLeavesThePortFree) {
    ASSERT_EQ(chmod(device.slavePath().c_str(), 0666), 0);
    ASSERT_EQ(chmod(TestDeviceDir().c_str(), 0711), 0);
    pid_t child = fork();
    if (child == 0) {
        rlimit was{};
        getrlimit(RLIMIT_NPROC, &was);
        rlimit one{1, was.rlim_max}; // this process alone: no thread can be added
        if (setrlimit(RLIMIT_NPROC, &one) != 0) _exit(3);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        if (OpenPort("COM3,38400,E,8") != INVALID_HANDLE_VALUE) _exit(1);
        setrlimit(RLIMIT_NPROC, &was);
        HANDLE h = OpenPort("COM3,38400,E,8");
        _exit(h == INVALID_HANDLE_VALUE ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(TestDeviceDir().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot become an unprivileged user here";
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << (WEXITSTATUS(status) == 1 ? "opened without a reader" : "left held after failing");
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
