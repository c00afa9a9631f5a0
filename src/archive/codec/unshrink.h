// ZIP method 1 ("shrunk"): LZW with codes of 9 to 13 bits, where the compressor raises
// the code size and clears the tree's leaves (partial clearing) with control codes.
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

namespace kv::codec {

// Decodes until the output reaches its limit (the entry's size); input that ends first
// gives ShortInput.
// An undefined code gives msg::InvalidCode, a string longer than the decode stack
// msg::StackOverflow.
Result unshrink(InputSource& in, OutputWindow& out);

}  // namespace kv::codec
