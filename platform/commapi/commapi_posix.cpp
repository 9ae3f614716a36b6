// The serial operations over POSIX termios and the Linux tty ioctls.
#include "commapi.h"
#include "line_rules.h"
#include "line_speed.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Port {
    int fd = -1;
    DWORD inQueue = 0;
    DWORD outQueue = 0;
    DWORD eventMask = 0;
    bool haveCounts = false;
    serial_icounter_struct counts{};
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

} // namespace

void SetSerialDeviceDirectory(const char* dir) {
    std::lock_guard lock(gMutex);
    gDeviceDir = dir ? dir : "/dev";
}

const char* SerialDeviceDirectory() {
    return gDeviceDir.c_str();
}

HANDLE CreateFileA(LPCSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                   DWORD, HANDLE) {
    if (creationDisposition != OPEN_EXISTING) return FailOpen(EINVAL);
    commapi::PortName name = commapi::ParsePortName(fileName);
    if (name.kind == commapi::PortName::Invalid) return FailOpen(ENOENT);
    std::string path = Resolve(name);

    struct stat before;
    commapi::Verdict verdict = commapi::ClassifyDevice(Inspect(path, before));
    if (verdict != commapi::Verdict::Open) return FailOpen(ErrnoForVerdict(verdict));

    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return FailOpen(errno);

    struct stat after;
    if (::fstat(fd, &after) != 0 || after.st_rdev != before.st_rdev || !S_ISCHR(after.st_mode)) {
        ::close(fd); // swapped under us between the check and the open
        return FailOpen(ENOTTY);
    }
    // flock keeps two opens apart even within one process and for root; TIOCEXCL keeps out
    // other programs that do not take the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return FailOpen(err == EWOULDBLOCK ? EBUSY : err);
    }
    ::ioctl(fd, TIOCEXCL);

    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN) {
        CloseFd(fd);
        return FailOpen(ENXIO);
    }

    // Raw before anything else can fail: an echoing or XOFF-sending line would transmit.
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        int err = errno;
        CloseFd(fd);
        return FailOpen(err);
    }
    commapi::MakeRaw(t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        int err = errno;
        CloseFd(fd);
        return FailOpen(err);
    }

    auto* port = new Port;
    port->fd = fd;
    port->haveCounts = ::ioctl(fd, TIOCGICOUNT, &port->counts) == 0;
    std::lock_guard lock(gMutex);
    gPorts.insert(port);
    return port;
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    // The kernel sizes its own buffers; the request is kept for the record only.
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
    termios t{};
    if (::tcgetattr(port->fd, &t) != 0) return Fail(errno);
    int err =
        commapi::SetCflagAndSpeed(port->fd, commapi::CflagForDcb(t.c_cflag, *dcb), dcb->BaudRate);
    return err == 0 ? TRUE : Fail(err);
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    port->eventMask = eventMask;
    return TRUE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat) {
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    int waiting = 0;
    if (::ioctl(port->fd, FIONREAD, &waiting) != 0) return Fail(errno);
    DWORD flags = 0;
    serial_icounter_struct now{};
    if (port->haveCounts && ::ioctl(port->fd, TIOCGICOUNT, &now) == 0) {
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
        stat->cbInQue = waiting > 0 ? static_cast<DWORD>(waiting) : 0;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
    if (bytesRead) *bytesRead = 0;
    Port* port = Lookup(file);
    if (!port) return Fail(EBADF);
    if (bytesToRead == 0) return TRUE;
    if (!buffer) return Fail(EFAULT);
    ssize_t n;
    do {
        n = ::read(port->fd, buffer, bytesToRead);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? TRUE : Fail(errno);
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
    CloseFd(port->fd); // releases the flock with the last descriptor of the open
    delete port;
    return TRUE;
}

int SerialLastErrno() {
    return gLastErrno;
}
