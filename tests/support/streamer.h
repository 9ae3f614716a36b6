// A device side that writes random bytes in random chunk sizes at a steady rate, on a thread
// of its own, and keeps everything it wrote. It stops when the time is over, or once it wrote
// `total` bytes when that is given (a burst: the time is then not looked at).
#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <poll.h>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

class Streamer {
  public:
    Streamer(int fd, double bytesPerSecond, std::chrono::milliseconds duration, unsigned seed,
             std::size_t total = 0)
        : fd_(fd), rate_(bytesPerSecond), duration_(duration), total_(total), random_(seed) {}
    ~Streamer() { Join(); }
    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool Done() const { return done_; }
    const std::vector<unsigned char>& Sent() const { return sent_; } // after Join
    double Seconds() const { return seconds_; }

  private:
    void Run() {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        std::uniform_int_distribution<int> size(1, 4096);
        std::vector<unsigned char> chunk;
        auto more = [&] {
            return total_ ? sent_.size() < total_ : Clock::now() - start < duration_;
        };
        while (more()) {
            // Keep to the rate: never ahead of where the clock says we should be.
            double due = std::chrono::duration<double>(Clock::now() - start).count() * rate_;
            if (static_cast<double>(sent_.size()) >= due) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                continue;
            }
            std::size_t want = static_cast<std::size_t>(size(random_));
            chunk.resize(total_ ? std::min(want, total_ - sent_.size()) : want);
            for (std::size_t i = 0; i < chunk.size(); i += 4) {
                const std::uint32_t r = random_();
                for (std::size_t k = 0; k < 4 && i + k < chunk.size(); ++k)
                    chunk[i + k] = static_cast<unsigned char>(r >> (8 * k));
            }
            std::size_t done = 0;
            while (done < chunk.size()) {
                ssize_t n = ::write(fd_, chunk.data() + done, chunk.size() - done);
                if (n > 0) {
                    done += static_cast<std::size_t>(n);
                } else if (n < 0 && errno == EAGAIN) {
                    pollfd p{fd_, POLLOUT, 0};
                    ::poll(&p, 1, 50);
                } else if (n < 0 && errno != EINTR) {
                    break;
                }
            }
            sent_.insert(sent_.end(), chunk.begin(), chunk.begin() + static_cast<long>(done));
        }
        seconds_ = std::chrono::duration<double>(Clock::now() - start).count();
        done_ = true;
    }

    int fd_;
    double rate_;
    std::chrono::milliseconds duration_;
    std::size_t total_;
    std::mt19937 random_;
    std::thread thread_;
    std::vector<unsigned char> sent_;
    double seconds_ = 0;
    std::atomic<bool> done_{false};
};
