// The device side of the joined ports: COM4, where a test writes what the monitored COM3
// receives (with_com_ports.sh joins them).
#pragma once

#include "commapi.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

// The device side: raw, 38400 baud, writes that wait until done.
class Device {
  public:
    Device() {
        handle_ = CreateFileA("\\\\.\\COM4", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) return;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(handle_, &dcb);
        BuildCommDCBA("baud=38400 parity=N data=8 stop=1", &dcb);
        SetCommState(handle_, &dcb);
    }
    ~Device() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Send(const std::string& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

inline DWORD Waiting(HANDLE port) {
    DWORD errors = 0;
    COMSTAT stat{};
    return ClearCommError(port, &errors, &stat) ? stat.cbInQue : 0;
}

// Waits for bytes that another party sends, looking between short sleeps.
inline bool WaitForQueue(HANDLE port, DWORD count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Waiting(port) < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
