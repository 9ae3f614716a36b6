// The serial operations over POSIX termios and the Linux tty ioctls.
//
// Like a Windows serial driver, every open port has an input queue of its own that fills
// while the program is busy elsewhere: a reader thread moves bytes from the tty into it as
// they arrive. The kernel's tty keeps only 4 KB ready for a reader, so a program that polls
// five times a second would otherwise throttle a fast line, or lose bytes on real hardware.
// The same thread notices a device that went away and opens it again when it comes back.
#include "commapi.h"
#include "line_rules.h"
#include "line_speed.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The input queue grows to this much unread data; beyond it new bytes are dropped and the
// next ClearCommError reports CE_RXOVER. 64 MB is minutes of the fastest UART.
constexpr std::size_t kQueueLimit = std::size_t(64) << 20;
constexpr int kReopenEveryMs = 100;

// Bytes in arrival order, read from the front.
class ByteQueue {
  public:
    std::size_t Size() const { return size_; }
    bool Push(const unsigned char* p, std::size_t n) {
        if (n == 0) return true;
        if (size_ + n > kQueueLimit) return false;
        if (size_ + n > buf_.size()) Grow(size_ + n);
        std::size_t tail = (head_ + size_) % buf_.size();
        std::size_t first = std::min(n, buf_.size() - tail);
        std::memcpy(buf_.data() + tail, p, first);
        std::memcpy(buf_.data(), p + first, n - first);
        size_ += n;
        return true;
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

struct Port {
    std::string path; // as resolved at open: reopened by the same name
    std::mutex mutex; // guards everything below, and the use of fd by the caller's thread
    int fd = -1;      // -1 while the device is away
    ByteQueue queue;
    bool overflowed = false;
    termios line{}; // what the line was last set to, for a reopen
    std::uint32_t baud = 0;
    bool haveCounts = false;
    serial_icounter_struct counts{};
    DWORD inQueue = 0;
    DWORD outQueue = 0;
    DWORD eventMask = 0;
    int wake[2] = {-1, -1}; // written to stop the reader
    std::thread reader;
};

std::mutex gMutex;
std::set<Port*> gPorts; // every handle CreateFileA gave out and CloseHandle has not taken back
std::string gDeviceDir = "/dev";

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
    char buf[64];
    ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return {};
    std::string s(buf, static_cast<std::size_t>(n));
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    return s;
}

// Learns what a node is from stat and sysfs alone: opening a device can have side effects
// (a watchdog starts counting, a modem hangs up), so nothing is opened before the verdict.
commapi::DeviceFacts Inspect(const std::string& path, struct stat& st) {
    commapi::DeviceFacts f;
    if (::stat(path.c_str(), &st) != 0) return f;
    f.exists = true;
    f.isCharDevice = S_ISCHR(st.st_mode);
    if (!f.isCharDevice) return f;
    f.major = major(st.st_rdev);
    f.minor = minor(st.st_rdev);
    std::string sys = "/sys/dev/char/" + std::to_string(f.major) + ":" + std::to_string(f.minor);
    char link[256];
    ssize_t n = ::readlink((sys + "/subsystem").c_str(), link, sizeof link - 1);
    if (n > 0) {
        link[n] = '\0';
        const char* slash = std::strrchr(link, '/');
        f.subsystem = slash ? slash + 1 : link;
    }
    f.console = ReadSmallFile(sys + "/console");
    f.uartType = ReadSmallFile(sys + "/type");
    return f;
}

std::string Resolve(const commapi::PortName& name) {
    if (name.kind == commapi::PortName::DevicePath) return name.path;
    // An alias made by an administrator or a udev rule wins over the plain 8250 node.
    std::string alias = gDeviceDir + "/COM" + std::to_string(name.number);
    struct stat st;
    if (::lstat(alias.c_str(), &st) == 0) return alias;
    return gDeviceDir + "/ttyS" + std::to_string(name.number - 1);
}

void CloseFd(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

// Opens path as a serial port: checked before, locked against every other open, raw at once.
// Returns the descriptor, or -1 with errno set.
int OpenDevice(const std::string& path) {
    struct stat before;
    commapi::Verdict verdict = commapi::ClassifyDevice(Inspect(path, before));
    if (verdict != commapi::Verdict::Open) {
        errno = ErrnoForVerdict(verdict);
        return -1;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat after;
    if (::fstat(fd, &after) != 0 || after.st_rdev != before.st_rdev || !S_ISCHR(after.st_mode)) {
        ::close(fd); // swapped under us between the check and the open
        errno = ENOTTY;
        return -1;
    }
    // flock keeps two opens apart even within one process and for root; TIOCEXCL keeps out
    // other programs that do not take the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    ::ioctl(fd, TIOCEXCL);
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN) {
        CloseFd(fd);
        errno = ENXIO;
        return -1;
    }
    // Raw before anything else can fail: an echoing or XOFF-sending line would transmit.
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        int err = errno;
        CloseFd(fd);
        errno = err;
        return -1;
    }
    commapi::MakeRaw(t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        int err = errno;
        CloseFd(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// A device that came back gets the line it had.
void RestoreLine(Port& port, int fd) {
    termios t = port.line;
    commapi::MakeRaw(t);
    ::tcsetattr(fd, TCSANOW, &t);
    if (port.baud) commapi::SetCflagAndSpeed(fd, t.c_cflag, port.baud);
}

void ReaderLoop(Port* port) {
    std::vector<unsigned char> chunk(1 << 16);
    for (;;) {
        int fd;
        {
            std::lock_guard lock(port->mutex);
            fd = port->fd;
        }
        pollfd fds[2] = {{port->wake[0], POLLIN, 0}, {fd, POLLIN, 0}};
        int ready = ::poll(fds, fd >= 0 ? 2 : 1, fd >= 0 ? -1 : kReopenEveryMs);
        if (ready < 0 && errno != EINTR) return;
        if (fds[0].revents) return; // CloseHandle
        if (fd < 0) {
            int again = OpenDevice(port->path);
            if (again >= 0) {
                std::lock_guard lock(port->mutex);
                RestoreLine(*port, again);
                port->fd = again;
                port->haveCounts = ::ioctl(again, TIOCGICOUNT, &port->counts) == 0;
            }
            continue;
        }
        if (!fds[1].revents) continue;
        ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
            std::lock_guard lock(port->mutex);
            if (!port->queue.Push(chunk.data(), static_cast<std::size_t>(n)))
                port->overflowed = true;
        } else if ((n == 0 && (fds[1].revents & (POLLHUP | POLLERR))) ||
                   (n < 0 && errno != EAGAIN && errno != EINTR)) {
            // Hung up or unplugged: what was received stays queued; the device is opened
            // again when it returns under the same name.
            std::lock_guard lock(port->mutex);
            CloseFd(port->fd);
            port->fd = -1;
        }
    }
}

} // namespace

void SetSerialDeviceDirectory(const char* dir) {
    std::lock_guard lock(gMutex);
    gDeviceDir = dir ? dir : "/dev";
}

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                   DWORD, HANDLE) {
    if (creationDisposition != OPEN_EXISTING) return FailOpen(EINVAL);
    commapi::PortName name = commapi::ParsePortName(fileName);
    if (name.kind == commapi::PortName::Invalid) return FailOpen(ENOENT);
    std::string path = Resolve(name);
    int fd = OpenDevice(path);
    if (fd < 0) return FailOpen(errno);

    auto* port = new Port;
    port->path = path;
    port->fd = fd;
    ::tcgetattr(fd, &port->line);
    port->haveCounts = ::ioctl(fd, TIOCGICOUNT, &port->counts) == 0;
    if (::pipe2(port->wake, O_CLOEXEC) != 0) {
        CloseFd(fd);
        delete port;
        return FailOpen(errno);
    }
    port->reader = std::thread(ReaderLoop, port);
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
    if (port->fd < 0) return Fail(EIO);
    termios t{};
    if (::tcgetattr(port->fd, &t) != 0) return Fail(errno);
    int err =
        commapi::SetCflagAndSpeed(port->fd, commapi::CflagForDcb(t.c_cflag, *dcb), dcb->BaudRate);
    if (err != 0) return Fail(err);
    ::tcgetattr(port->fd, &port->line);
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
    if (port->fd < 0 && port->queue.Size() == 0) return Fail(EIO);
    DWORD flags = port->overflowed ? CE_RXOVER : 0;
    port->overflowed = false;
    serial_icounter_struct now{};
    if (port->fd >= 0 && port->haveCounts && ::ioctl(port->fd, TIOCGICOUNT, &now) == 0) {
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
    if (port->fd < 0) return Fail(EIO);
    // Pseudo-terminals have no modem lines and answer ENOTTY.
    return ::ioctl(port->fd, request, &bits) == 0 ? TRUE : Fail(errno);
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
    char stop = 1;
    while (::write(port->wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    port->reader.join();
    if (port->fd >= 0) CloseFd(port->fd); // releases the flock with the last descriptor
    ::close(port->wake[0]);
    ::close(port->wake[1]);
    delete port;
    return TRUE;
}

int SerialLastErrno() {
    return gLastErrno;
}
