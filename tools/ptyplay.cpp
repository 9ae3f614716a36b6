// A serial device without hardware: opens a pseudo-terminal, prints the port definition to
// type into Quorvane, and plays STX ... ETX frames on it at a steady pace until stopped.
//
//   build/ptyplay [frames per second]
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) {
    gStop = 1;
}
} // namespace

int main(int argc, char** argv) {
    double rate = argc > 1 ? std::atof(argv[1]) : 5.0;
    if (rate <= 0) rate = 5.0;
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("ptyplay: pseudo-terminal");
        return 1;
    }
    char slave[128];
    if (ptsname_r(master, slave, sizeof slave) != 0) {
        std::perror("ptyplay: ptsname");
        return 1;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("Type this into the port field and press Start:\n%s,38400,E,8\n", slave);
    std::printf("Playing %.1f frames a second; Ctrl+C stops.\n", rate);
    std::fflush(stdout);

    const auto period = std::chrono::duration<double>(1.0 / rate);
    auto next = std::chrono::steady_clock::now();
    unsigned long n = 0;
    char sink[4096];
    while (!gStop) {
        std::string frame = "\x02"
                            "FRAME " +
                            std::to_string(n) + " T=" + std::to_string(20 + n % 7) + "\x03\r\n";
        ++n;
        if (::write(master, frame.data(), frame.size()) < 0 && errno != EAGAIN) break;
        // Until the monitor opens the port its line still echoes: swallow that.
        while (::read(master, sink, sizeof sink) > 0) {
        }
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
    ::close(master);
    return 0;
}
