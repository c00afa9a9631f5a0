#pragma once
// The temporaries a killed job left beside its targets. A temporary being written is locked by
// its writer (platform::AtomicFile); one that nobody holds and that has not changed for a
// while has no writer left, and goes when the next job starts in its folder.
#include <chrono>
#include <string>

namespace kv::fileops {

constexpr std::chrono::seconds kLeftoverAge{60};

// Removes the stale temporaries directly in `folder`: unlocked, and unchanged (by their
// status-change time, which no one can set back) for `age`. Answers how many went.
int removeLeftoverTemporaries(const std::string& folder, std::chrono::seconds age = kLeftoverAge);

}  // namespace kv::fileops
