#pragma once
// Speed and time left of a running job, from its byte count seen at moments the caller names
// (the progress window's clock; a test's stand-in). The speed is taken over the last few
// seconds, so a pause or a burst shows soon, and not before a second has passed.
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace kv::fileops {

class RateMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kWindow{5};

    void sample(Clock::time_point at, std::uint64_t bytesDone);
    // Bytes per second; none until the samples span a second.
    std::optional<double> bytesPerSecond() const;
    // Time for what is left at the present speed; none without a speed or with nothing left.
    std::optional<std::chrono::seconds> timeLeft(std::uint64_t bytesTotal) const;

private:
    std::deque<std::pair<Clock::time_point, std::uint64_t>> samples_;
};

}  // namespace kv::fileops
