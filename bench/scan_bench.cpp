// How long one port scan takes, each a keystroke apart: with no ports at all (the baseline), with
// three and with five pseudo-terminals linked as COM ports, and with three while the system has
// 20,000 more open files (a desktop's worth) for the check for other openers to look through. Never
// touches a real device: names resolve in a temporary directory.
#include "commapi.h"
#include "port_discovery.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Scans one after the other; `apart` leaves time between them, as between two keystrokes, so
// that each scan looks at the system afresh. Only the scans are timed.
double MillisecondsPerScan(int rounds, std::chrono::milliseconds apart = {}) {
    std::chrono::duration<double, std::milli> spent{};
    for (int i = 0; i < rounds; ++i) {
        std::this_thread::sleep_for(apart);
        auto start = std::chrono::steady_clock::now();
        ScanPorts();
        spent += std::chrono::steady_clock::now() - start;
    }
    return spent.count() / rounds;
}

} // namespace

int main() {
    char pattern[] = "/tmp/quorvane-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::filesystem::path dir = pattern;
    SetSerialDeviceDirectory(pattern);
    const int rounds = 200;

    double none = MillisecondsPerScan(rounds);

    std::vector<int> masters;
    auto link = [&](int n) {
        int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (m < 0 || grantpt(m) || unlockpt(m) || ptsname_r(m, name, sizeof name)) std::exit(1);
        masters.push_back(m);
        std::filesystem::create_symlink(name, dir / ("COM" + std::to_string(n)));
    };
    for (int n : {1, 9, 28})
        link(n);
    const auto keystrokes = std::chrono::milliseconds(150);
    double three = MillisecondsPerScan(20, keystrokes);
    std::string threeList = PortList.c_str();

    // What a desktop's other programs hold open: sockets, pipes, event counters, files, a few
    // devices. A child holds them, as the check looks only at other processes.
    int ready[2];
    if (pipe(ready) != 0) return 1;
    pid_t holder = fork();
    if (holder == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        const std::size_t room = limit.rlim_cur > 20100 ? 20000 : limit.rlim_cur - 100;
        std::size_t held = 0;
        for (std::size_t i = 0; held + 2 <= room; i += 2) {
            int pair[2] = {-1, -1};
            if (i % 8 == 0)
                socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair);
            else if (i % 8 == 2)
                pipe2(pair, O_CLOEXEC);
            else if (i % 8 == 4)
                pair[0] = eventfd(0, EFD_CLOEXEC);
            else
                pair[0] = open(i % 40 == 6 ? "/dev/null" : "/etc/hostname", O_RDONLY | O_CLOEXEC);
            if (pair[0] < 0) break;
            held += pair[1] >= 0 ? 2 : 1;
        }
        if (write(ready[1], &held, sizeof held) < 0) _exit(1);
        pause();
        _exit(0);
    }
    std::size_t held = 0;
    if (read(ready[0], &held, sizeof held) != sizeof held) return 1;
    double busy = MillisecondsPerScan(20, keystrokes);
    std::string busyList = PortList.c_str();
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);

    for (int n : {12, 50})
        link(n);
    double five = MillisecondsPerScan(20, keystrokes);
    std::printf("scan, no ports:    %.3f ms (baseline)\n", none);
    std::printf("scan, three ptys:  %.3f ms (%.2fx the baseline)  list: %s\n", three, three / none,
                threeList.c_str());
    std::printf("scan, three ptys, %zu files open in another process: %.3f ms (%.2fx the "
                "baseline)  list: %s\n",
                held, busy, busy / none, busyList.c_str());
    std::printf("scan, five ptys:   %.3f ms (%.2fx the baseline)  list: %s\n", five, five / none,
                PortList.c_str());
    for (int m : masters)
        close(m);
    std::filesystem::remove_all(dir);
    return 0;
}
