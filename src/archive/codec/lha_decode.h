// LHA/LZH entry decoders: stored (-lh0-, -lz4-), the dynamic-Huffman -lh1-, the
// static-Huffman -lh4- to -lh7- and LArc's -lzs-.
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace kv::codec {

enum class LhaMethod { Stored, Lh1, Lh4, Lh5, Lh6, Lh7, Lzs };

// The method of a five-character id such as "-lh5-"; nullopt for ids we do not decode
// (folders "-lhd-", -lh2-, -lh3-, -lz5-, unknown ones).
std::optional<LhaMethod> lhaMethod(std::string_view id);

// Bytes of history the OutputWindow must keep for the method (its dictionary size).
size_t lhaHistory(LhaMethod method);

// Decodes one entry into `out`, whose limit must be the entry's original size: the
// streams carry no end mark. Ok once the limit is reached; input that ends first gives
// ShortInput. See lzh_static.h for the other ids; a match reaching before the start of
// the entry reads spaces, as LHA's dictionary starts filled with them.
Result lhaDecode(InputSource& in, OutputWindow& out, LhaMethod method);

}  // namespace kv::codec
