#include "line_rules.h"

#include <cstring>

namespace commapi {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive match of an ASCII word at the start of p.
bool StartsWithWord(const char* p, const char* word) {
    for (; *word; ++p, ++word)
        if (Lower(*p) != *word) return false;
    return true;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Decimal digits only, no sign, within a DWORD.
bool ParseDword(const char* p, std::size_t n, DWORD& out) {
    if (n == 0) return false;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!IsDigit(p[i])) return false;
        v = v * 10 + static_cast<unsigned>(p[i] - '0');
        if (v > 0xFFFFFFFFu) return false;
    }
    out = static_cast<DWORD>(v);
    return true;
}

bool Equals(const char* p, std::size_t n, const char* word) {
    return std::strlen(word) == n && std::memcmp(p, word, n) == 0;
}

// Skips an optional "COMn:" or "/device/path:" in front of the pairs.
const char* SkipPortPrefix(const char* p) {
    if (StartsWithWord(p, "com")) {
        const char* q = p + 3;
        if (!IsDigit(*q)) return nullptr;
        while (IsDigit(*q))
            ++q;
        return *q == ':' ? q + 1 : nullptr;
    }
    if (*p == '/') {
        const char* colon = std::strchr(p, ':');
        return colon ? colon + 1 : nullptr;
    }
    return p;
}

} // namespace

PortName ParsePortName(const char* fileName) {
    PortName result;
    if (!fileName || std::strncmp(fileName, "\\\\.\\", 4) != 0) return result;
    const char* name = fileName + 4;
    if (name[0] == '/') {
        result.kind = PortName::DevicePath;
        result.path = name;
        return result;
    }
    if (!StartsWithWord(name, "com")) return result;
    const char* digits = name + 3;
    std::size_t n = std::strlen(digits);
    DWORD number = 0;
    if (n == 0 || n > 3 || digits[0] == '0' || !ParseDword(digits, n, number)) return result;
    if (number < 1 || number > 256) return result;
    result.kind = PortName::ComNumber;
    result.number = static_cast<int>(number);
    return result;
}

std::string ComDeviceName(int number) {
    struct Family {
        int first, count;
        const char* prefix;
    };
    static constexpr Family families[] = {
        {1, 8, "ttyS"}, {9, 16, "ttyUSB"}, {25, 16, "ttyACM"}, {41, 10, "ttyAMA"}};
    for (const Family& f : families)
        if (number >= f.first && number < f.first + f.count)
            return f.prefix + std::to_string(number - f.first);
    return {};
}

std::string ResolvePortName(const char* fileName, const std::string& dir,
                            const std::function<bool(const std::string& path)>& present) {
    PortName name = ParsePortName(fileName);
    if (name.kind == PortName::DevicePath) return name.path;
    if (name.kind != PortName::ComNumber) return {};
    // An alias made by an administrator or a udev rule wins over the fixed map.
    std::string alias = dir + "/COM" + std::to_string(name.number);
    if (present(alias)) return alias;
    std::string device = ComDeviceName(name.number);
    return device.empty() ? std::string() : dir + "/" + device;
}

Verdict ClassifyDevice(const DeviceFacts& f) {
    if (!f.exists) return Verdict::Missing;
    if (!f.isCharDevice) return Verdict::NotSerial;
    // Unix98 pseudo-terminal slaves have no sysfs entry; they are the test stand-in for a port.
    if (f.major >= 136 && f.major <= 143) return Verdict::Open;
    // Virtual consoles share major 4 with the 8250 ports; /dev/tty, /dev/console, /dev/ptmx and
    // ttyprintk are major 5; 2 and 3 are the legacy pseudo-terminals.
    if (f.major == 4 && f.minor < 64) return Verdict::NotSerial;
    if (f.major == 5 || f.major == 2 || f.major == 3) return Verdict::NotSerial;
    if (f.subsystem != "tty") return Verdict::NotSerial;
    if (!f.console.empty() && f.console[0] == 'Y') return Verdict::Console;
    // A serial port is hardware with a driver; virtual terminals, ttyprintk and the like are
    // ttys of nothing.
    if (f.driver.empty()) return Verdict::NotSerial;
    if (f.uartType == "0") return Verdict::NoUart;
    return Verdict::Open;
}

bool SameDevice(const DeviceIdentity& was, const DeviceIdentity& now) {
    if (was.kind != now.kind) return false;
    switch (was.kind) {
    case DeviceIdentity::Usb:
        if (was.vendor != now.vendor || was.product != now.product) return false;
        // A serial number follows the device from socket to socket; without one, only the
        // socket it sits in tells two adapters of the same model apart.
        if (!was.serial.empty()) return was.serial == now.serial;
        return now.serial.empty() && !was.physicalPath.empty() &&
               was.physicalPath == now.physicalPath;
    case DeviceIdentity::Node:
        return was.major == now.major && was.minor == now.minor;
    case DeviceIdentity::PseudoTerminal:
    case DeviceIdentity::Unknown:
        break;
    }
    return false;
}

long LockFilePid(const char* data, std::size_t size) {
    constexpr long kPidLimit = 1L << 22; // no kernel hands out a larger pid
    if (!data) return 0;
    std::size_t i = 0;
    while (i < size && IsBlank(data[i]))
        ++i;
    if (i < size && IsDigit(data[i])) {
        long pid = 0;
        for (; i < size && IsDigit(data[i]); ++i) {
            pid = pid * 10 + (data[i] - '0');
            if (pid > kPidLimit) return 0;
        }
        while (i < size && (IsBlank(data[i]) || data[i] == '\n'))
            ++i;
        return i == size ? pid : 0;
    }
    if (size == 4) {
        std::int32_t pid = 0;
        std::memcpy(&pid, data, 4);
        return pid > 0 && pid <= kPidLimit ? pid : 0;
    }
    return 0;
}

bool ParseCommSettings(const char* text, DCB& dcb) {
    if (!text) return false;
    const char* p = SkipPortPrefix(text);
    if (!p) return false;
    DCB next = dcb;
    bool anyPair = false;
    for (;;) {
        while (IsBlank(*p))
            ++p;
        if (*p == '\0') break;
        const char* key = p;
        while (*p && *p != '=' && !IsBlank(*p))
            ++p;
        if (*p != '=') return false;
        std::size_t keyLen = static_cast<std::size_t>(p - key);
        const char* value = ++p;
        while (*p && !IsBlank(*p))
            ++p;
        std::size_t valueLen = static_cast<std::size_t>(p - value);
        if (valueLen == 0) return false;

        auto keyIs = [&](const char* word) {
            return std::strlen(word) == keyLen && StartsWithWord(key, word);
        };
        if (keyIs("baud")) {
            if (!ParseDword(value, valueLen, next.BaudRate)) return false;
        } else if (keyIs("parity")) {
            const char* letters = "noems";
            const char* hit = valueLen == 1 ? std::strchr(letters, Lower(value[0])) : nullptr;
            if (!hit || *hit == '\0') return false;
            next.Parity = static_cast<BYTE>(hit - letters);
        } else if (keyIs("data")) {
            if (valueLen != 1 || value[0] < '5' || value[0] > '8') return false;
            next.ByteSize = static_cast<BYTE>(value[0] - '0');
        } else if (keyIs("stop")) {
            if (Equals(value, valueLen, "1"))
                next.StopBits = ONESTOPBIT;
            else if (Equals(value, valueLen, "1.5"))
                next.StopBits = ONE5STOPBITS;
            else if (Equals(value, valueLen, "2"))
                next.StopBits = TWOSTOPBITS;
            else
                return false;
        } else {
            return false;
        }
        anyPair = true;
    }
    if (!anyPair) return false;
    dcb = next;
    return true;
}

bool DcbIsApplicable(const DCB& dcb) {
    return dcb.BaudRate > 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
           dcb.Parity <= SPACEPARITY && dcb.StopBits <= TWOSTOPBITS;
}

tcflag_t CflagForDcb(tcflag_t cflag, const DCB& dcb) {
    cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (dcb.ByteSize >= 5 && dcb.ByteSize <= 8) cflag |= sizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case ODDPARITY:
        cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        cflag |= PARENB;
        break;
    case MARKPARITY:
        cflag |= PARENB | PARODD | CMSPAR;
        break;
    case SPACEPARITY:
        cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // termios has no 1.5 stop bits; the UART sends 1.5 for 5-bit words when asked for two.
    if (dcb.StopBits != ONESTOPBIT) cflag |= CSTOPB;
    return cflag;
}

void MakeRaw(termios& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                        IGNCR | ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE |
                                        ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

} // namespace commapi
