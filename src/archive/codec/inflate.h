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

}  // namespace kv::codec
