// Arbitrary bytes as a .zip file through TUnZIP's test job: the end record search, the
// central-directory walk, ZIP64 fields, overlap checks, passwords and every decoder.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "archive/unzip/un_zip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/kv-unzip-fuzz-" + std::to_string(::getpid()) + ".zip";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    kv::TUnZIP zip;
    zip.setArchiveFile(path);
    zip.Passwords = {"a", "secret"};
    zip.Test();
    return 0;
}
