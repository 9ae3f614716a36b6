// A pseudo-terminal standing in for a serial device: the test holds the device side (the
// master) and links the port side (the slave) into the test's device directory.
#pragma once

#include "commapi.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class Pty {
  public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string& slavePath() const { return slave_; }

    // Makes <device dir>/<name> a link to the slave, e.g. "COM3" or "ttyS2".
    void LinkAs(const std::string& name);
    void Write(const std::vector<unsigned char>& bytes);
    void Write(const std::string& bytes);
    // Everything the device side has received so far, without waiting.
    std::vector<unsigned char> Drain();
    // Closes the device side: the port side sees a hang-up. Fails the test if the device side
    // ever received a byte; the destructor does the same.
    void Hangup();

  private:
    int master_ = -1;
    std::string slave_;
    std::vector<std::string> links_;
};

// Bytes waiting in an open port's input queue; 0 when the port cannot be queried.
DWORD Waiting(HANDLE port);

// Waits for a condition that another party makes true, checking it between short waits.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));
