// Our own encoder for raw deflate streams (RFC 1951), used for ZIP method 8.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kv::codec {

// How hard one level looks for matches: a match of goodLength or more cuts the next chain
// walk to a quarter; no lazy search follows a match of maxLazy or more (the greedy levels
// read it as the longest match whose positions still enter the hash chains); a walk stops
// at a match of niceLength; maxChain bounds the candidates one walk visits.
struct DeflateLevel {
    uint16_t goodLength, maxLazy, niceLength, maxChain;
    bool lazy;  // levels 4 and up try the next position before taking a match
};

// Level 0 only stores; 1..9 as the classic deflate level table. Out-of-range levels clamp.
DeflateLevel deflateLevel(int level);

// A streaming compressor: feed input in pieces of any size, the compressed bytes are
// appended to the caller's vector. Each call may append nothing (input is gathered into
// blocks); the call with `last` writes the final block and pads the last byte.
class Deflater {
public:
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void compress(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out);
    bool finished() const;
    // Starts a new stream at `level` with the same blocks: an archive of many small files
    // then pays for its compressor's memory once, not per file.
    void reset(int level);

private:
    struct State;
    std::unique_ptr<State> s_;
};

// A whole buffer in one call.
std::vector<uint8_t> deflate(std::span<const uint8_t> in, int level);

}  // namespace kv::codec
