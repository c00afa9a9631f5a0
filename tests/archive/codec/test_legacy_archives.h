// Helpers for the ARJ, LHA and ARC decoder tests: minimal header walks that hand out
// each entry's method and raw packed bytes (independent of the archive readers), and a
// decode run both over the whole buffer and streamed in small pieces.
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv::codec::test {

struct RawEntry {
    std::string name;
    std::string method;  // ARJ and ARC: the method number; LHA: the id, e.g. "-lh5-"
    uint32_t crc = 0;    // ARJ: CRC-32; LHA and ARC: CRC-16
    uint64_t size = 0;   // original size
    std::vector<uint8_t> data;
};

// Plain archives only (no self-extractor stub, no volumes); throw on a bad file.
std::vector<RawEntry> rawArjEntries(const std::vector<uint8_t>& arj);
std::vector<RawEntry> rawLhaEntries(const std::vector<uint8_t>& lzh);  // header levels 0-2
std::vector<RawEntry> rawArcEntries(const std::vector<uint8_t>& arc);

using Decode = std::function<Result(InputSource&, OutputWindow&)>;

struct Decoded {
    Result result;
    std::vector<uint8_t> bytes;
};
// Into a buffer of `size` bytes.
Decoded decodeWhole(const Decode& decode, const std::vector<uint8_t>& in, size_t size);
// Through a sliding window of `history` bytes, the input pulled `chunk` bytes at a time.
Decoded decodeStreamed(const Decode& decode, const std::vector<uint8_t>& in, uint64_t size, size_t history,
                       size_t chunk);

uint16_t crc16Of(const std::vector<uint8_t>& data);
uint32_t crc32Of(const std::vector<uint8_t>& data);

}  // namespace kv::codec::test
