// Outcome of one decoder run, shared by inflate, explode, unshrink and unreduce.
#pragma once

#include <cstdint>

namespace kv::codec {

enum class Status {
    Ok,
    BadData,      // the stream is damaged; messageId says how
    ShortInput,   // the stream ended while more bits were needed
    OutputLimit,  // the stream wants to write past the declared size
    SinkFailed,   // the output callback refused the bytes
    Aborted,      // the input callback asked to stop (cancel or read error)
};

// Message ids of the archive message table that the decoders report.
namespace msg {
inline constexpr int BadBlock = 25109;           // "Bad block"
inline constexpr int BadHuffmanCode = 25110;     // "Bad Huffman code"
inline constexpr int InvalidCode = 25111;        // "Invalid code encountered"
inline constexpr int WriteError = 25115;         // "Error writing to file"
inline constexpr int IncompleteCodeSet = 25118;  // "Incomplete code set"
inline constexpr int CorruptInput = 25119;       // "Corrupt input"
inline constexpr int InvalidDecodeTree = 25122;  // "File contains invalid decode tree"
inline constexpr int SizeDifferent = 25133;      // "File size different"
inline constexpr int BadLengths = 25147;         // "Bad lengths"
inline constexpr int AmbiguousTree = 25192;      // "Ambiguous Shannon-Fano decode tree encountered"
inline constexpr int StackOverflow = 25197;      // "Stack overflow"
inline constexpr int UserAborted = 25300;        // "User Aborted"
}  // namespace msg

struct Result {
    Status status = Status::Ok;
    int messageId = 0;       // 0 when Ok
    uint64_t inputUsed = 0;  // compressed bytes consumed (whole bytes)
    uint64_t output = 0;     // bytes produced

    bool ok() const { return status == Status::Ok; }
};

inline Result failure(Status s, int id) { return Result{s, id, 0, 0}; }

// The id a caller shows for a status that carries none of its own.
inline int defaultMessageId(Status s) {
    switch (s) {
        case Status::Ok: return 0;
        case Status::BadData: return msg::CorruptInput;
        case Status::ShortInput: return msg::BadBlock;  // running out of bits is a bad block
        case Status::OutputLimit: return msg::SizeDifferent;
        case Status::SinkFailed: return msg::WriteError;
        case Status::Aborted: return msg::UserAborted;
    }
    return msg::CorruptInput;
}

}  // namespace kv::codec
