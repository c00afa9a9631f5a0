// ARC (and PAK) entry decoders, methods 1 to 9: stored (1, 2), packed (3: runs marked
// with 0x90), squeezed (4: a Huffman tree stored in the entry, then the runs), crunched
// (5 to 8: LZW; 5 and 6 with fixed 12-bit codes placed by the old hash, 6 then runs,
// 7 the same with the newer hash, 8 codes of 9 to 12 bits with table resets, then runs)
// and squashed (9: codes of 9 to 13 bits, no runs).
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

namespace kv::codec {

// Decodes one entry into `out`, whose limit must be the entry's original size; output
// never looks back, so any window history will do. Ok once the limit is reached.
// Failures: input that ends first -> ShortInput (msg::BadBlock); a squeezed entry's tree
// with more than 256 nodes or a child outside it -> msg::InvalidDecodeTree, and its end
// code before the limit -> msg::SizeDifferent; an LZW code not yet defined, or a method
// 8 entry not made with 12-bit codes -> msg::InvalidCode; a string longer than the
// decode stack -> msg::StackOverflow. A method outside 1-9 gives BadData with
// kUnsupportedMethodId (stored_copy.h) without reading.
Result arcDecode(InputSource& in, OutputWindow& out, int method);

}  // namespace kv::codec
