// Our own decoder for raw deflate streams (RFC 1951), used for ZIP method 8.
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

#include <cstdint>
#include <span>

namespace kv::codec {

// Decodes the whole stream from `in` into `out`. Status::Ok only after the final block;
// `inputUsed` then counts the bytes the stream occupied (trailing bytes are left alone).
// A stored block whose two lengths disagree, or block type 3, gives BadData with
// msg::BadBlock; see inflate.cpp for the other ids.
Result inflate(InputSource& in, OutputWindow& out);

// Convenience for whole buffers: `out.size()` is the output limit.
Result inflate(std::span<const uint8_t> in, std::span<uint8_t> out);

// The instruction choices the decoder's fast loop is built in; Auto is the one picked for
// this CPU at start. For tests and benchmarks: useFastLoop switches every later decode in
// the process, so call it only while no other thread inflates.
enum class FastLoop { Auto, Plain, Bmi2, Bextr };
bool fastLoopRunsHere(FastLoop choice);
void useFastLoop(FastLoop choice);

}  // namespace kv::codec
