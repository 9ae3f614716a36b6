// The live path under load: random bytes at 300 KB/s through a pseudo-terminal into the real
// window for a minute. Prints how long each tick took and the longest time the message loop
// could not answer input, against the tick interval.
//
//   build/live_bench [seconds] [KB/s]     (default 60 s, 300 KB/s)
#include "commapi.h"
#include "live_log.h"
#include "main_window.h"
#include "streamer.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <numeric>
#include <vector>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const double rate = (argc > 2 ? std::atof(argv[2]) : 300) * 1024;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char dir[] = "/tmp/quorvane-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    SetSerialDeviceDirectory(dir);
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slave[128];
    if (master < 0 || grantpt(master) || unlockpt(master) || ptsname_r(master, slave, sizeof slave))
        return 1;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::filesystem::create_symlink(slave, std::filesystem::path(dir) / "COM9");

    int qtArgc = 1;
    TApplication app(qtArgc, argv);
    TF1 form;
    F1 = &form;
    form.DoCreate();
    form.SetVisible(true);

    using Clock = std::chrono::steady_clock;
    std::vector<double> ticks;
    form.Timer1->OnTimer = [&](TObject* sender) {
        auto start = Clock::now();
        form.Timer1Timer(sender);
        ticks.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    };
    // A 5 ms heartbeat: any gap beyond its interval is time the window could not answer.
    double worstStall = 0;
    auto last = Clock::now();
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        auto now = Clock::now();
        worstStall =
            std::max(worstStall, std::chrono::duration<double, std::milli>(now - last).count() - 5);
        last = now;
    });
    heartbeat.start(5);

    form.Bu1->Click(); // Ed1 holds COM9,38400,E,8
    Streamer device(master, rate, std::chrono::seconds(seconds), 11);
    device.Start();
    while (!device.Done())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    device.Join();
    heartbeat.stop(); // what follows is the benchmark's own checking, not the window's work
    const std::string expected =
        RenderBytes(device.Sent().data(), static_cast<int>(device.Sent().size()));
    auto shown = [&] {
        std::size_t n = 0;
        for (int i = 0; i < form.Me1->Lines->Count(); ++i)
            n += form.Me1->Lines->Line(i).size();
        return n;
    };
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (shown() < expected.size() && Clock::now() < deadline)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    form.Bu1->Click();
    std::string joined;
    for (int i = 0; i < form.Me1->Lines->Count(); ++i)
        joined.append(form.Me1->Lines->Line(i));

    std::vector<double> sorted = ticks;
    std::sort(sorted.begin(), sorted.end());
    double mean = std::accumulate(sorted.begin(), sorted.end(), 0.0) /
                  std::max<std::size_t>(1, sorted.size());
    std::printf("streamed %zu bytes in %.1f s (%.0f KB/s)\n", device.Sent().size(),
                device.Seconds(), device.Sent().size() / device.Seconds() / 1024);
    std::printf("ticks: %zu; per tick mean %.2f ms, 99th percentile %.2f ms, longest %.2f ms "
                "(%.1f%% of the 200 ms interval)\n",
                sorted.size(), mean, sorted.empty() ? 0 : sorted[sorted.size() * 99 / 100],
                sorted.empty() ? 0 : sorted.back(), sorted.empty() ? 0 : sorted.back() / 2);
    std::printf("longest time the window could not answer input: %.2f ms\n", worstStall);
    std::printf("log identical to what was sent: %s (%d lines)\n",
                joined == expected ? "yes" : "NO", form.Me1->Lines->Count());
    F1 = nullptr;
    std::filesystem::remove_all(dir);
    return joined == expected ? 0 : 1;
}
