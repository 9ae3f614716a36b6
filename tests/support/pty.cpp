#include "pty.h"
#include "test_env.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

Pty::Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slave_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
    for (const std::string& link : links_)
        ::unlink(link.c_str());
    Hangup();
}

void Pty::LinkAs(const std::string& name) {
    std::string link = (TestDeviceDir() / name).string();
    ::unlink(link.c_str());
    if (::symlink(slave_.c_str(), link.c_str()) == 0) links_.push_back(link);
}

void Pty::Write(const std::vector<unsigned char>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            std::this_thread::yield();
        }
    }
}

void Pty::Write(const std::string& bytes) {
    Write(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

std::vector<unsigned char> Pty::Drain() {
    std::vector<unsigned char> got;
    unsigned char buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

void Pty::Hangup() {
    if (master_ < 0) return;
    // The monitor never transmits: whatever test used this device, its side received nothing.
    std::vector<unsigned char> received = Drain();
    if (!received.empty())
        ADD_FAILURE() << "the device side received " << received.size() << " bytes";
    ::close(master_);
    master_ = -1;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

DWORD Waiting(HANDLE port) {
    DWORD errors = 0;
    COMSTAT stat{};
    return ClearCommError(port, &errors, &stat) ? stat.cbInQue : 0;
}
