#pragma once
// Helpers of the archive tests: list an archive in-process, run a program, temp folders.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/kelmo/kelmo.h"

namespace kvtest {

// Whole files as bytes, and little-endian fields patched into them.
using Bytes = std::vector<uint8_t>;

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}
inline void writeFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
inline void put16(Bytes& b, size_t at, uint16_t v) {
    b.at(at) = uint8_t(v);
    b.at(at + 1) = uint8_t(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    put16(b, at, uint16_t(v));
    put16(b, at + 2, uint16_t(v >> 16));
}
inline uint16_t get16(const Bytes& b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }
inline uint32_t get32(const Bytes& b, size_t at) { return get16(b, at) | uint32_t(get16(b, at + 2)) << 16; }

struct Listed {
    std::string name;
    uint64_t size = 0, packed = 0;
    uint32_t crc = 0;
    uint16_t method = 0;
    std::string methodName;
    bool encrypted = false, dir = false;
    kv::TDateTime date;
    std::string volume;
    int64_t offset = 0;
};

struct Listing {
    kv::TArcType type = kv::atNA;
    bool ok = false;
    int error = 0;
    int totals = -1;
    uint64_t arcStart = 0, sfxOffset = 0;
    std::vector<Listed> entries;
    std::string comment;
};

inline Listing listArchive(const std::string& path, bool showDirs = false) {
    kv::TKelmo k;
    k.ShowBlankDirs = showDirs;
    Listing out;
    k.OnRead = [&](kv::TZipCommon& s, int64_t offset, int) {
        out.entries.push_back({s.FileName, s.UnpackedSize, s.PackedSize, s.FileCRC, s.MethodNo, s.MethodName,
                               s.Encrypted, s.IsDirectory, s.FileDate, s.VolumeName, offset});
    };
    k.OnTotals = [&](kv::TZipCommon&, int n) { out.totals = n; };
    k.setArchiveFile(path);
    out.type = k.ArcType();
    out.arcStart = k.ArcStart;
    out.sfxOffset = k.SfxOffset;
    out.ok = k.Activate();
    out.error = k.LastError;
    out.comment = k.ArchiveComment;
    return out;
}

// Runs a shell command; answers its standard output and sets status to its exit code.
inline std::string run(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

inline bool haveTool(const std::string& tool) {
    int st = 0;
    run("command -v " + tool + " >/dev/null 2>&1", &st);
    return st == 0;
}

// A fresh folder under the system temp folder, removed with the object.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kvarchXXXXXX").string();
        path = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace kvtest
