// Counts the calls this process makes that flush files to disk (fsync, fdatasync, syncfs,
// sync_file_range, sync) and that succeed, from any thread: the test program defines those calls itself and
// passes each on to the C library, so every flush the code under test makes is seen.
#pragma once

#include <cstdint>

namespace kvtest {

std::uint64_t flushCalls();

}  // namespace kvtest
