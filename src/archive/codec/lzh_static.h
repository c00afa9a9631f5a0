// The LZ77 + static Huffman method shared by ARJ (methods 1 to 3) and LHA (-lh4- to
// -lh7-): blocks of a 16-bit symbol count, then three code-length sets (a code-length
// code, the literal/length code of 510 symbols, the position code), then the symbols.
// Codes are canonical and read MSB first. The stream has no end mark: decoding stops
// when the output reaches its limit, which the caller sets to the entry's original size.
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

namespace kv::codec {

struct LzhStaticParams {
    unsigned window = 0;         // farthest distance a match may reach
    unsigned positionCodes = 0;  // symbols of the position code (dictionary bits + 1)
    unsigned positionBits = 0;   // width of the position code's symbol count
    int beforeStart = -1;        // what a match reaching before the entry's start reads
                                 // (LHA's dictionary starts as spaces), -1: an error
};

// The output window must keep at least params.window bytes of history.
// Errors: a length set that over-subscribes the code space, a run of zero lengths past
// the end of the set, or a count beyond the symbol count -> msg::BadLengths; a code that
// is not in the set -> msg::BadHuffmanCode; a distance past the window, or before the start of
// the entry when beforeStart is -1 -> msg::CorruptInput; input that ends first -> ShortInput, msg::BadBlock.
Result lzhStaticDecode(InputSource& in, OutputWindow& out, const LzhStaticParams& params);

}  // namespace kv::codec
