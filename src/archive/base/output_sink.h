#pragma once
// Where a decoder's bytes go: a file, a caller's stream, a second stream, a memory block, or
// nowhere (test mode: every write succeeds), or a scanner that sees every selected entry in turn.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <vector>

namespace kv {

class TOutputSink {
public:
    enum Selector : int {
        ToFile = 1,
        ToStream = 2,
        ToStream2 = 3,
        ToMemory = 4,
        TestOnly = 5,
        ToScanner = 16  // numbered apart, so an unknown selector still writes nothing
    };
    // A stream answers how many bytes it took; fewer than offered is a write error.
    using StreamWrite = std::function<size_t(std::span<const uint8_t>)>;

    int selector = ToFile;
    std::FILE* file = nullptr;  // not owned
    StreamWrite stream, stream2;
    // ToScanner: takes the bytes of each entry; fewer than offered ends that entry only.
    StreamWrite scanner;
    std::vector<uint8_t>* memory = nullptr;  // appended to; not owned

    // True when every byte was written.
    bool write(std::span<const uint8_t> data);
};

}  // namespace kv
