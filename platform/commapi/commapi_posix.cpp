// The serial operations over POSIX termios and the Linux tty ioctls.
//
// Like a Windows serial driver, every open port has an input queue of its own that fills
// while the program is busy elsewhere: a reader thread moves bytes from the tty into it as
// they arrive. The kernel's tty keeps only 4 KB ready for a reader, so a program that polls
// five times a second would otherwise throttle a fast line, or lose bytes on real hardware.
// When the queue is full the thread stops reading, so the kernel holds the sender back
// rather than anything being dropped here. The same thread notices a device that went away
// and opens it again when the very same device comes back.
#include "commapi.h"
#include "commapi_linux.h"
#include "line_rules.h"
#include "line_speed.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// 64 MB of unread data is minutes of the fastest UART and seconds of a fast USB device.
constexpr std::size_t kDefaultQueueLimit = std::size_t(64) << 20;
constexpr int kReopenEveryMs = 100;

// Bytes in arrival order, read from the front.
class ByteQueue {
  public:
    std::size_t Size() const { return size_; }
    void Push(const unsigned char* p, std::size_t n) {
        if (n == 0) return;
        if (size_ + n > buf_.size()) Grow(size_ + n);
        std::size_t tail = (head_ + size_) % buf_.size();
        std::size_t first = std::min(n, buf_.size() - tail);
        std::memcpy(buf_.data() + tail, p, first);
        std::memcpy(buf_.data(), p + first, n - first);
        size_ += n;
    }
    std::size_t Pop(unsigned char* out, std::size_t n) {
        n = std::min(n, size_);
        if (n == 0) return 0;
        std::size_t first = std::min(n, buf_.size() - head_);
        std::memcpy(out, buf_.data() + head_, first);
        std::memcpy(out + first, buf_.data(), n - first);
        head_ = (head_ + n) % buf_.size();
        size_ -= n;
        return n;
    }

  private:
    void Grow(std::size_t need) {
        std::size_t cap = std::max<std::size_t>(buf_.size() * 2, 1 << 16);
        while (cap < need)
            cap *= 2;
        std::vector<unsigned char> bigger(cap);
        std::size_t n = size_;
        Pop(bigger.data(), n); // everything to the front, in order
        head_ = 0;
        size_ = n;
        buf_.swap(bigger);
    }
    std::vector<unsigned char> buf_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

// One open of a device: the descriptor and whether this open put the tty in exclusive mode.
struct Device {
    int fd = -1;
    bool exclusiveIsOurs = false;
    commapi::DeviceIdentity identity;
};

struct Port {
    std::string path; // as resolved at open: a device that comes back is looked for here
    std::mutex mutex; // guards everything below, and the use of the device by the caller
    Device device;    // fd -1 while the device is away
    ByteQueue queue;
    std::size_t queueLimit = kDefaultQueueLimit;
    bool readerWantsRoom = false; // the reader stopped taking bytes until ReadFile makes room
    termios line{};               // what the line was last set to, for a reopen
    std::uint32_t baud = 0;
    bool haveCounts = false;
    serial_icounter_struct counts{};
    DWORD inQueue = 0;
    DWORD outQueue = 0;
    DWORD eventMask = 0;
    int wake = -1; // eventfd: CloseHandle, or room in the queue
    std::atomic<bool> stopping{false};
    std::thread reader;
};

std::mutex gMutex;      // guards the handles and the settings below
std::set<Port*> gPorts; // every handle CreateFileA gave out and CloseHandle has not taken back
std::string gDeviceDir = "/dev";
std::size_t gQueueLimit = kDefaultQueueLimit;
std::vector<std::string> gLockDirs = {"/var/lock", "/run/lock"};
IdentityLookup gIdentityLookup;

Port* Lookup(HANDLE h) {
    std::lock_guard lock(gMutex);
    auto it = gPorts.find(static_cast<Port*>(h));
    return it == gPorts.end() ? nullptr : *it;
}

// The one place where errno becomes a result. The channel examines only BOOL and HANDLE
// results; the code is kept for whoever wants to know why.
thread_local int gLastErrno = 0;
BOOL Fail(int err) {
    gLastErrno = err;
    return FALSE;
}
HANDLE FailOpen(int err) {
    gLastErrno = err;
    return INVALID_HANDLE_VALUE;
}
int ErrnoForVerdict(commapi::Verdict v) {
    switch (v) {
    case commapi::Verdict::Missing:
        return ENOENT;
    case commapi::Verdict::NotSerial:
        return ENOTTY;
    case commapi::Verdict::Console:
        return EACCES;
    case commapi::Verdict::NoUart:
        return ENXIO;
    case commapi::Verdict::Open:
        return 0;
    }
    return EINVAL;
}

std::string ReadSmallFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    char buf[128];
    ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return {};
    std::string s(buf, static_cast<std::size_t>(n));
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

// The last part of where a sysfs link leads: the name of a class, a driver, a device.
std::string LinkName(const std::string& link) {
    char target[256];
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = '\0';
    const char* slash = std::strrchr(target, '/');
    return slash ? slash + 1 : target;
}

std::string SysfsDir(unsigned maj, unsigned min) {
    return "/sys/dev/char/" + std::to_string(maj) + ":" + std::to_string(min);
}

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string s = real;
    std::free(real);
    return s;
}

// Learns what a node is from its inode and sysfs alone: opening a device can have side
// effects (a watchdog starts counting, a modem hangs up), so nothing is opened before this.
commapi::DeviceFacts Inspect(const struct stat& st) {
    commapi::DeviceFacts f;
    f.exists = true;
    f.isCharDevice = S_ISCHR(st.st_mode);
    if (!f.isCharDevice) return f;
    f.major = major(st.st_rdev);
    f.minor = minor(st.st_rdev);
    std::string sys = SysfsDir(f.major, f.minor);
    f.subsystem = LinkName(sys + "/subsystem");
    f.driver = LinkName(sys + "/device/driver");
    f.console = ReadSmallFile(sys + "/console");
    f.uartType = ReadSmallFile(sys + "/type");
    return f;
}

commapi::DeviceIdentity IdentityFromSysfs(unsigned maj, unsigned min) {
    commapi::DeviceIdentity id;
    id.major = maj;
    id.minor = min;
    if (maj >= 136 && maj <= 143) {
        id.kind = commapi::DeviceIdentity::PseudoTerminal;
        return id;
    }
    id.kind = commapi::DeviceIdentity::Node;
    // The USB device is the nearest ancestor of the tty with an idVendor.
    std::string dir = RealPath(SysfsDir(maj, min));
    while (dir.size() > std::strlen("/sys/devices")) {
        std::string vendor = ReadSmallFile(dir + "/idVendor");
        if (!vendor.empty()) {
            id.kind = commapi::DeviceIdentity::Usb;
            id.vendor = vendor;
            id.product = ReadSmallFile(dir + "/idProduct");
            id.serial = ReadSmallFile(dir + "/serial");
            id.physicalPath = RealPath(SysfsDir(maj, min) + "/device");
            break;
        }
        dir.resize(dir.rfind('/'));
    }
    return id;
}

commapi::DeviceIdentity IdentityOf(unsigned maj, unsigned min) {
    IdentityLookup lookup;
    {
        std::lock_guard lock(gMutex);
        lookup = gIdentityLookup;
    }
    commapi::DeviceIdentity id = lookup ? lookup(maj, min) : IdentityFromSysfs(maj, min);
    id.major = maj;
    id.minor = min;
    return id;
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ProcessLives(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// A UUCP lock file (LCK..ttyUSB0) of a running process: the convention of modem and terminal
// programs that open ports without any other sign.
bool LockedByUucpFile(const std::vector<std::string>& names) {
    std::vector<std::string> dirs;
    {
        std::lock_guard lock(gMutex);
        dirs = gLockDirs;
    }
    for (const std::string& dir : dirs) {
        for (const std::string& name : names) {
            int fd = ::open((dir + "/LCK.." + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0) continue;
            char buf[64];
            ssize_t n = ::read(fd, buf, sizeof buf);
            ::close(fd);
            long pid = n > 0 ? commapi::LockFilePid(buf, static_cast<std::size_t>(n)) : 0;
            if (pid != ::getpid() && ProcessLives(pid)) return true;
        }
    }
    return false;
}

// Whether another process that we can see has the device open: what fuser finds. Plain
// opens take no lock and leave no other trace. It costs a few microseconds per open file in
// the system, and is asked only for a node that would otherwise be opened.
bool OpenedElsewhere(dev_t rdev) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    const long self = ::getpid(); // our own opens are kept apart by flock
    bool found = false;
    while (!found) {
        dirent* e = ::readdir(proc);
        if (!e) break;
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self) continue;
        std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
        int dfd = ::open(fdDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0) continue; // gone, or not ours to look at
        DIR* fds = ::fdopendir(dfd);
        if (!fds) {
            ::close(dfd);
            continue;
        }
        while (dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            // Most open files are sockets, pipes, event counters and files on disk: the link
            // text tells them apart. Device nodes outside /dev are not looked for.
            char target[8];
            ssize_t n = ::readlinkat(dfd, f->d_name, target, sizeof target);
            if (n < 5 || std::memcmp(target, "/dev/", 5) != 0) continue;
            struct stat st;
            if (::fstatat(dfd, f->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == rdev) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

void CloseDevice(Device& d) {
    if (d.fd < 0) return;
    if (d.exclusiveIsOurs) ::ioctl(d.fd, TIOCNXCL);
    ::close(d.fd);
    d.fd = -1;
    d.exclusiveIsOurs = false;
}

int FailDevice(Device& d, int err) {
    CloseDevice(d);
    return err;
}

// Opens path as a serial port, only if it is one, only if it is the device `sameAs` names
// (when given), and only if nothing else has it open; raw at once. The decision is made on
// the inode itself, so a link swapped between the check and the open changes nothing.
// Returns 0 and fills out, or an errno.
int OpenDevice(const std::string& path, const commapi::DeviceIdentity* sameAs, Device& out) {
    int node = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (node < 0) return errno == ENOENT || errno == ENOTDIR ? ENOENT : errno;
    struct NodeCloser {
        int fd;
        ~NodeCloser() { ::close(fd); }
    } closer{node};
    struct stat st;
    if (::fstat(node, &st) != 0) return errno;
    commapi::Verdict verdict = commapi::ClassifyDevice(Inspect(st));
    if (verdict != commapi::Verdict::Open) return ErrnoForVerdict(verdict);
    commapi::DeviceIdentity identity = IdentityOf(major(st.st_rdev), minor(st.st_rdev));
    if (sameAs && !commapi::SameDevice(*sameAs, identity)) return ENODEV;

    // Held elsewhere: refused before the device is opened at all.
    const std::string procPath = "/proc/self/fd/" + std::to_string(node);
    if (LockedByUucpFile({BaseName(path), BaseName(RealPath(procPath))})) return EBUSY;
    if (OpenedElsewhere(st.st_rdev)) return EBUSY;

    Device d;
    d.identity = identity;
    d.fd = ::open(procPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (d.fd < 0) return errno;
    struct stat opened;
    if (::fstat(d.fd, &opened) != 0 || opened.st_rdev != st.st_rdev) return FailDevice(d, ENOTTY);
    // Another program's exclusive mode does not keep root out; it is respected all the same.
    int exclusive = 0;
    if (::ioctl(d.fd, TIOCGEXCL, &exclusive) == 0 && exclusive) return FailDevice(d, EBUSY);
    // flock keeps two opens apart even within one process and for root; TIOCEXCL keeps out
    // other programs that do not take the lock.
    if (::flock(d.fd, LOCK_EX | LOCK_NB) != 0)
        return FailDevice(d, errno == EWOULDBLOCK ? EBUSY : errno);
    d.exclusiveIsOurs = ::ioctl(d.fd, TIOCEXCL) == 0;
    serial_struct serial{};
    if (::ioctl(d.fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN)
        return FailDevice(d, ENXIO);
    // Raw before anything else can fail: an echoing or XOFF-sending line would transmit.
    termios t{};
    if (::tcgetattr(d.fd, &t) != 0) return FailDevice(d, errno);
    commapi::MakeRaw(t);
    if (::tcsetattr(d.fd, TCSANOW, &t) != 0) return FailDevice(d, errno);
    out = std::move(d);
    return 0;
}

// A device that came back gets the line it had.
void RestoreLine(Port& port, int fd) {
    termios t = port.line;
    commapi::MakeRaw(t);
    ::tcsetattr(fd, TCSANOW, &t);
    if (port.baud) commapi::SetCflagAndSpeed(fd, t.c_cflag, port.baud);
}

void Wake(int fd) {
    std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ReaderLoop(Port* port) {
    std::vector<unsigned char> chunk(1 << 16);
    for (;;) {
        int fd;
        std::size_t room;
        bool mayReopen;
        {
            std::lock_guard lock(port->mutex);
            fd = port->device.fd;
            room =
                port->queue.Size() < port->queueLimit ? port->queueLimit - port->queue.Size() : 0;
            port->readerWantsRoom = fd >= 0 && room == 0;
            // A pseudo-terminal that hung up is gone: its number goes to the next terminal.
            mayReopen = port->device.identity.kind != commapi::DeviceIdentity::PseudoTerminal;
        }
        const bool watchDevice = fd >= 0 && room > 0;
        pollfd fds[2] = {{port->wake, POLLIN, 0}, {fd, POLLIN, 0}};
        int timeout = fd < 0 && mayReopen ? kReopenEveryMs : -1;
        int ready = ::poll(fds, watchDevice ? 2 : 1, timeout);
        if (ready < 0 && errno != EINTR) return;
        if (fds[0].revents) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t ignored = ::read(port->wake, &count, sizeof count);
            if (port->stopping) return;
            continue;
        }
        if (fd < 0) {
            if (!mayReopen) continue;
            commapi::DeviceIdentity was;
            {
                std::lock_guard lock(port->mutex);
                was = port->device.identity;
            }
            // Only the device that was monitored, and only when it is free; what it sends from
            // now on is kept, unlike at a first open.
            Device again;
            if (OpenDevice(port->path, &was, again) == 0) {
                std::lock_guard lock(port->mutex);
                RestoreLine(*port, again.fd);
                port->device = std::move(again);
                port->haveCounts = ::ioctl(port->device.fd, TIOCGICOUNT, &port->counts) == 0;
            }
            continue;
        }
        if (!watchDevice || !fds[1].revents) continue;
        // Never more than fits: what stays in the tty is held there, not dropped.
        ssize_t n = ::read(fd, chunk.data(), std::min(chunk.size(), room));
        if (n > 0) {
            std::lock_guard lock(port->mutex);
            port->queue.Push(chunk.data(), static_cast<std::size_t>(n));
        } else if ((n == 0 && (fds[1].revents & (POLLHUP | POLLERR))) ||
                   (n < 0 && errno != EAGAIN && errno != EINTR)) {
            // Hung up or unplugged: what was received stays queued.
            std::lock_guard lock(port->mutex);
            CloseDevice(port->device);
        }
    }
}

} // namespace

void SetSerialQueueLimit(std::size_t bytes) {
    std::lock_guard lock(gMutex);
    gQueueLimit = bytes ? bytes : kDefaultQueueLimit;
}

void SetSerialLockDirectories(std::vector<std::string> dirs) {
    std::lock_guard lock(gMutex);
    gLockDirs = dirs.empty() ? std::vector<std::string>{"/var/lock", "/run/lock"} : std::move(dirs);
}

void SetDeviceIdentityLookup(IdentityLookup lookup) {
    std::lock_guard lock(gMutex);
    gIdentityLookup = std::move(lookup);
}

void SetSerialDeviceDirectory(const char* dir) {
    std::lock_guard lock(gMutex);
    gDeviceDir = dir ? dir : "/dev";
}

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                   DWORD, HANDLE) {
    if (creationDisposition != OPEN_EXISTING) return FailOpen(EINVAL);
    std::string dir;
    {
        std::lock_guard lock(gMutex);
        dir = gDeviceDir;
    }
    const std::string path = commapi::ResolvePortName(fileName, dir, [](const std::string& p) {
        struct stat st;
        return ::lstat(p.c_str(), &st) == 0; // a dangling alias still wins, and opens nothing
    });
    if (path.empty()) return FailOpen(ENOENT);
    Device device;
    if (int err = OpenDevice(path, nullptr, device)) return FailOpen(err);
    // A Windows driver starts every open with an empty input queue: whatever the tty held from
    // before (a simulator's output, a pty's buffer) is not this run's traffic.
    ::tcflush(device.fd, TCIFLUSH);

    auto* port = new Port;
    port->path = path;
    port->device = std::move(device);
    {
        std::lock_guard lock(gMutex);
        port->queueLimit = gQueueLimit;
    }
    ::tcgetattr(port->device.fd, &port->line);
    port->haveCounts = ::ioctl(port->device.fd, TIOCGICOUNT, &port->counts) == 0;
    port->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int err = port->wake < 0 ? errno : 0;
    if (!err) {
        try {
            port->reader = std::thread(ReaderLoop, port);
        } catch (const std::system_error& e) {
            err = e.code().value() ? e.code().value() : EAGAIN;
        }
    }
    if (err) {
        // Without its reader the port is no port: nothing stays open, locked or exclusive.
        CloseDevice(port->device);
        if (port->wake >= 0) ::close(port->wake);
        delete port;
        return FailOpen(err);
    }
    std::lock_guard lock(gMutex);
    gPorts.insert(port);
    return port;
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    // The queue grows as needed; the request is kept for the record only.
    std::lock_guard lock(port->mutex);
    port->inQueue = inQueue;
    port->outQueue = outQueue;
    return TRUE;
}

BOOL BuildCommDCBA(LPCSTR def, LPDCB dcb) {
    if (!dcb) return Fail(EINVAL);
    return commapi::ParseCommSettings(def, *dcb) ? TRUE : Fail(EINVAL);
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    // A zeroed record would put B0 on the line, which hangs the line up.
    if (!dcb || !commapi::DcbIsApplicable(*dcb)) return Fail(EINVAL);
    std::lock_guard lock(port->mutex);
    const int fd = port->device.fd;
    if (fd < 0) return Fail(EIO);
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return Fail(errno);
    int err = commapi::SetCflagAndSpeed(fd, commapi::CflagForDcb(t.c_cflag, *dcb), dcb->BaudRate);
    if (err != 0) return Fail(err);
    ::tcgetattr(fd, &port->line);
    port->baud = dcb->BaudRate;
    return TRUE;
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    std::lock_guard lock(port->mutex);
    port->eventMask = eventMask;
    return TRUE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    std::lock_guard lock(port->mutex);
    // Away and nothing left to hand out: the query fails, as on an unplugged device.
    if (port->device.fd < 0 && port->queue.Size() == 0) return Fail(EIO);
    DWORD flags = 0;
    serial_icounter_struct now{};
    if (port->device.fd >= 0 && port->haveCounts &&
        ::ioctl(port->device.fd, TIOCGICOUNT, &now) == 0) {
        const serial_icounter_struct& was = port->counts;
        if (now.frame != was.frame) flags |= CE_FRAME;
        if (now.parity != was.parity) flags |= CE_RXPARITY;
        if (now.overrun != was.overrun) flags |= CE_OVERRUN;
        if (now.buf_overrun != was.buf_overrun) flags |= CE_RXOVER;
        if (now.brk != was.brk) flags |= CE_BREAK;
        port->counts = now;
    }
    if (errors) *errors = flags;
    if (stat) {
        std::memset(stat, 0, sizeof *stat);
        std::size_t waiting = port->queue.Size();
        stat->cbInQue = waiting > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(waiting);
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
    if (bytesRead) *bytesRead = 0;
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    if (bytesToRead == 0) return TRUE;
    if (!buffer) return Fail(EFAULT);
    std::lock_guard lock(port->mutex);
    std::size_t n = port->queue.Pop(static_cast<unsigned char*>(buffer), bytesToRead);
    if (bytesRead) *bytesRead = static_cast<DWORD>(n);
    if (n > 0 && port->readerWantsRoom) {
        port->readerWantsRoom = false;
        Wake(port->wake);
    }
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD func) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    int bits = 0;
    unsigned long request = 0;
    switch (func) {
    case CLRDTR:
        bits = TIOCM_DTR;
        request = TIOCMBIC;
        break;
    case SETDTR:
        bits = TIOCM_DTR;
        request = TIOCMBIS;
        break;
    case CLRRTS:
        bits = TIOCM_RTS;
        request = TIOCMBIC;
        break;
    case SETRTS:
        bits = TIOCM_RTS;
        request = TIOCMBIS;
        break;
    default:
        return Fail(EINVAL);
    }
    std::lock_guard lock(port->mutex);
    if (port->device.fd < 0) return Fail(EIO);
    // Pseudo-terminals have no modem lines and answer ENOTTY.
    return ::ioctl(port->device.fd, request, &bits) == 0 ? TRUE : Fail(errno);
}

BOOL CloseHandle(HANDLE object) {
    Port* port = nullptr;
    {
        std::lock_guard lock(gMutex);
        auto it = gPorts.find(static_cast<Port*>(object));
        if (it == gPorts.end()) return Fail(EBADF);
        port = *it;
        gPorts.erase(it);
    }
    port->stopping = true;
    Wake(port->wake);
    port->reader.join();
    CloseDevice(port->device); // releases the flock with the last descriptor
    ::close(port->wake);
    delete port;
    return TRUE;
}

int SerialLastErrno() {
    return gLastErrno;
}
