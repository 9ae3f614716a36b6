// The live path under load: random bytes offered through a pseudo-terminal into the real
// window at several rates. For each rate it prints what was offered, what the line took (a
// full input queue holds the sender back), what the log shows, the longest tick and the
// longest time the message loop could not answer input. The baseline is the 200 ms interval.
//
//   build/live_bench [seconds per rate] [MB/s ...]     (default 10 s at 10, 40 and 100 MB/s)
#include "commapi.h"
#include "live_log.h"
#include "main_window.h"
#include "serial_port.h"
#include "streamer.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Run {
    double offered = 0;
    std::size_t taken = 0;
    bool identical = false;
    double longestTick = 0;
    double longestStall = 0;
    double stopMs = 0;
};

Run Measure(TF1& form, const std::filesystem::path& dir, int seconds, double rate) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slave[128];
    if (master < 0 || grantpt(master) || unlockpt(master) || ptsname_r(master, slave, sizeof slave))
        std::exit(1);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::filesystem::remove(dir / "COM9");
    std::filesystem::create_symlink(slave, dir / "COM9");

    Run run;
    form.Timer1->OnTimer = [&](TObject* sender) {
        auto start = Clock::now();
        form.Timer1Timer(sender);
        run.longestTick = std::max(run.longestTick, Ms(Clock::now() - start));
    };
    // A 5 ms heartbeat: any gap beyond its interval is time the window could not answer.
    auto last = Clock::now();
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        auto now = Clock::now();
        run.longestStall = std::max(run.longestStall, Ms(now - last) - 5);
        last = now;
    });

    form.Bu1->Click(); // Ed1 holds COM9,38400,E,8
    heartbeat.start(5);
    last = Clock::now();
    Streamer device(master, rate, std::chrono::seconds(seconds), 11);
    device.Start();
    while (!device.Done())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    device.Join();
    // The ticks work off what is still queued; then Stop takes the rest.
    while (QueuedBytes(PortHandle) > 0)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    heartbeat.stop();
    auto stopStart = Clock::now();
    form.Bu1->Click();
    run.stopMs = Ms(Clock::now() - stopStart);

    run.offered = rate * seconds;
    run.taken = device.Sent().size();
    // Compared line by line against the rendering, without a second copy of the whole log.
    std::string expected;
    std::size_t at = 0;
    run.identical = true;
    int line = 0;
    LineRenderer renderer([&](std::string&& text) { expected += text; });
    const std::vector<unsigned char>& sent = device.Sent();
    for (std::size_t i = 0; i < sent.size() && run.identical; i += 1 << 20) {
        renderer.Feed(sent.data() + i, std::min<std::size_t>(1 << 20, sent.size() - i));
        if (i + (1 << 20) >= sent.size()) renderer.Finish();
        while (line < form.Me1->Lines->Count()) {
            std::string_view shown = form.Me1->Lines->Line(line);
            if (expected.size() - at < shown.size()) break;
            if (expected.compare(at, shown.size(), shown) != 0) run.identical = false;
            at += shown.size();
            ++line;
        }
        expected.erase(0, at);
        at = 0;
    }
    run.identical = run.identical && expected.empty() && line == form.Me1->Lines->Count();
    form.Me1->Clear();
    close(master);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    std::vector<double> rates;
    for (int i = 2; i < argc; ++i)
        rates.push_back(std::atof(argv[i]));
    if (rates.empty()) rates = {10, 40, 100};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char dir[] = "/tmp/quorvane-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    SetSerialDeviceDirectory(dir);

    int qtArgc = 1;
    TApplication app(qtArgc, argv);
    TF1 form;
    F1 = &form;
    form.DoCreate();
    form.SetVisible(true);

    std::printf("%8s %12s %12s %8s %9s %12s %14s %10s\n", "offered", "offered MB", "taken MB",
                "taken %", "shown", "longest tick", "longest stall", "stop");
    bool allShown = true;
    for (double mb : rates) {
        Run r = Measure(form, dir, seconds, mb * 1e6);
        allShown = allShown && r.identical;
        std::printf("%5.0f MB/s %10.1f %12.1f %7.1f%% %9s %9.1f ms %11.1f ms %7.0f ms\n", mb,
                    r.offered / 1e6, r.taken / 1e6, 100.0 * r.taken / r.offered,
                    r.identical ? "100%" : "NOT ALL", r.longestTick, r.longestStall, r.stopMs);
        std::fflush(stdout);
    }
    std::printf("(baseline: the tick interval, 200 ms; a stall is time the window could not "
                "answer input)\n");
    F1 = nullptr;
    std::filesystem::remove_all(dir);
    return allShown ? 0 : 1;
}
