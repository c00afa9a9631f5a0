// Type detection and every directory reader on arbitrary bytes. The first byte picks the
// file's extension (so the name-based types are reached too); the rest is the file.
// Seeds: each file under tests/data/archives with one byte in front naming its extension
// (the index in kExtensions below), e.g. printf '\001' | cat - stored.zip > seed.
// Run with -timeout=10: a listing must end quickly on any input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "archive/kelmo/kelmo.h"

namespace {

constexpr const char* kExtensions[] = {"",    ".zip", ".arj", ".lzh", ".rar", ".arc", ".pak", ".zoo",
                                       ".bh", ".cab", ".gz",  ".tar", ".uue", ".exe", ".ha",  ".Z"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const std::string dir = [] {
        std::string t = "/tmp/kv-archive-fuzz-" + std::to_string(getpid());
        mkdir(t.c_str(), 0700);
        return t;
    }();
    std::string path = dir + "/input" + kExtensions[data[0] % std::size(kExtensions)];
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    kv::TKelmo k;
    k.ShowBlankDirs = data[0] & 0x80;
    uint64_t sum = 0, entries = 0, nameBytes = 0;
    k.OnRead = [&](kv::TZipCommon& s, int64_t off, int n) {
        sum += s.FileName.size() + s.PackedSize + uint64_t(off) + uint64_t(n);
        ++entries;
        nameBytes += s.FileName.size();
    };
    k.setArchiveFile(path);
    k.Activate();
    std::remove(path.c_str());
    // Every entry takes at least one byte of the file, and names cannot grow much faster
    // than the file (ARC folder paths repeat at most 64 levels; a DOS byte is up to 3 UTF-8
    // bytes): a listing beyond that is one that walks in place or multiplies its input.
    const uint64_t fileBytes = size - 1;
    if (entries > fileBytes || nameBytes > 4096 + 100 * fileBytes) __builtin_trap();
    return sum == 1 ? 0 : 0;
}
