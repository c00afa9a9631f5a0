#include "fileops/engine/rate_meter.h"

#include <cmath>

namespace kv::fileops {

void RateMeter::sample(Clock::time_point at, std::uint64_t bytesDone) {
    // A copy tried again takes its bytes back: the speed starts afresh from there.
    if (!samples_.empty() && (bytesDone < samples_.back().second || at < samples_.back().first))
        samples_.clear();
    samples_.emplace_back(at, bytesDone);
    while (samples_.size() > 2 && at - samples_[1].first >= kWindow) samples_.pop_front();
}

std::optional<double> RateMeter::bytesPerSecond() const {
    if (samples_.size() < 2) return std::nullopt;
    const auto span = std::chrono::duration<double>(samples_.back().first - samples_.front().first).count();
    if (span < 1.0) return std::nullopt;
    return static_cast<double>(samples_.back().second - samples_.front().second) / span;
}

std::optional<std::chrono::seconds> RateMeter::timeLeft(std::uint64_t bytesTotal) const {
    const auto rate = bytesPerSecond();
    if (!rate || *rate <= 0 || samples_.empty() || bytesTotal <= samples_.back().second) return std::nullopt;
    const double left = static_cast<double>(bytesTotal - samples_.back().second) / *rate;
    return std::chrono::seconds(static_cast<std::int64_t>(std::ceil(left)));
}

}  // namespace kv::fileops
