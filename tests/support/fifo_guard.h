#pragma once
// A fifo opened for reading blocks until a writer comes. FifoGuard plays that writer after a
// few seconds, so a reader that opens the fifo fails its test by the time it took instead of
// hanging the whole run.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace kv::test {

class FifoGuard {
public:
    explicit FifoGuard(std::filesystem::path fifo) : fifo_(std::move(fifo)) {
        thread_ = std::thread([this] {
            for (int i = 0; i < 60 && !done_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (done_) return;
            const int fd = ::open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        });
    }
    ~FifoGuard() {
        done_ = true;
        thread_.join();
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

private:
    std::filesystem::path fifo_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace kv::test
