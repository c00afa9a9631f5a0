// Helpers for the decoder tests: file reading, SHA-256, a minimal ZIP central-directory
// walk that hands out each entry's raw compressed bytes, and deterministic test data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::codec::test {

std::vector<uint8_t> readFile(const std::string& path);
std::string sha256Hex(const std::vector<uint8_t>& data);

struct RawZipEntry {
    std::string name;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    std::vector<uint8_t> data;  // compressed bytes (with the encryption header if any)
};
// Entries of a plain ZIP (no ZIP64, no self-extractor offset); throws on a bad file.
std::vector<RawZipEntry> rawZipEntries(const std::vector<uint8_t>& zip);

// Text that compresses like prose, and bytes that do not compress.
std::vector<uint8_t> textData(size_t size, uint32_t seed = 1);
std::vector<uint8_t> randomData(size_t size, uint32_t seed = 1);

std::string fixture(const std::string& relative);  // path under tests/data/archives/zip

}  // namespace kv::codec::test
