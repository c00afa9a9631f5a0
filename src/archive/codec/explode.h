// ZIP method 6 ("imploded"): a 4 KiB or 8 KiB sliding dictionary with Shannon-Fano coded
// lengths and distances, and optionally coded literals.
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

namespace kv::codec {

struct ExplodeOptions {
    bool bigDictionary = false;  // general-purpose flag bit 1: 8 KiB, else 4 KiB
    bool literalTree = false;    // flag bit 2: three trees, else literals are plain bytes
};

// The stream carries no end mark: decoding stops when the window reaches its limit,
// which the caller sets to the entry's uncompressed size.
Result explode(InputSource& in, OutputWindow& out, ExplodeOptions options);

}  // namespace kv::codec
