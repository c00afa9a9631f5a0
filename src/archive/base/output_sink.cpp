#include "archive/base/output_sink.h"

namespace kv {

bool TOutputSink::write(std::span<const uint8_t> data) {
    if (data.empty()) return true;
    switch (selector) {
        case ToFile: return file && std::fwrite(data.data(), 1, data.size(), file) == data.size();
        case ToStream: return stream && stream(data) == data.size();
        case ToStream2: return stream2 && stream2(data) == data.size();
        case ToScanner: return scanner && scanner(data) == data.size();
        case ToMemory:
            if (!memory) return false;
            memory->insert(memory->end(), data.begin(), data.end());
            return true;
        default: return true;
    }
}

}  // namespace kv
