// ZIP methods 2 to 5 ("reduced" with compression factor 1 to 4): bytes coded through
// follower sets, then expanded by a run/match layer escaped with 0x90.
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

namespace kv::codec {

// `factor` is 1..4 (method - 1). Decoding stops when the output reaches its limit.
Result unreduce(InputSource& in, OutputWindow& out, int factor);

}  // namespace kv::codec
