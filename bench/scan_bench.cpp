// How long one port scan takes: with no ports at all (the baseline), and with five
// pseudo-terminals linked as COM ports. Never touches a real device: names resolve in a
// temporary directory.
#include "commapi.h"
#include "port_discovery.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double MillisecondsPerScan(int rounds) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        ScanPorts();
    std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
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
    for (int n : {1, 5, 12, 30, 50}) {
        int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (m < 0 || grantpt(m) || unlockpt(m) || ptsname_r(m, name, sizeof name)) return 1;
        masters.push_back(m);
        std::filesystem::create_symlink(name, dir / ("COM" + std::to_string(n)));
    }
    double five = MillisecondsPerScan(rounds);
    std::printf("scan, no ports:    %.3f ms (baseline)\n", none);
    std::printf("scan, five ptys:   %.3f ms (%.2fx the baseline)  list: %s\n", five, five / none,
                PortList.c_str());
    for (int m : masters)
        close(m);
    std::filesystem::remove_all(dir);
    return 0;
}
