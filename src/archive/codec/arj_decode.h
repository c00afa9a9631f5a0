// ARJ entry decoders: method 0 (stored), 1 to 3 (LZ77 with static Huffman codes, see
// lzh_static.h) and 4 ("fastest": LZ77 with unary-prefixed lengths and positions).
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

#include <cstddef>

namespace kv::codec {

// ARJ's dictionary: the history the OutputWindow must keep for methods 1 to 4.
inline constexpr size_t kArjHistory = 26624;

// Decodes one entry of `method` (0 to 4) into `out`, whose limit must be the entry's
// original size: the streams carry no end mark. Ok once the limit is reached; input that
// ends first gives ShortInput (msg::BadBlock); a match reaching past the dictionary or
// before the start of the entry gives BadData with msg::CorruptInput. Another method
// gives BadData with kUnsupportedMethodId (stored_copy.h) without reading.
Result arjDecode(InputSource& in, OutputWindow& out, int method);

}  // namespace kv::codec
