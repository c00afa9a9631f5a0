#include "test_unzip_util.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>

#include "archive/codec/crc32.h"
#include "archive/codec/pkware_crypt.h"

#ifdef KV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace kv::unzip_test {

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "kv-unzip-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

namespace {

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xffff);
    put16(v, x >> 16);
}

std::vector<uint8_t> deflateRaw(const std::vector<uint8_t>& in) {
#ifdef KV_HAVE_ZLIB
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, uLong(in.size())) + 16);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
#else
    throw std::runtime_error("zlib needed for deflated hand-made entries");
#endif
}

}  // namespace

std::vector<uint8_t> makeZip(const std::vector<HandEntry>& entries) {
    std::vector<uint8_t> zip, central;
    const uint32_t dosTime = 0x5A2B6400;  // 2025-01-11 12:32:00
    for (const HandEntry& e : entries) {
        uint32_t crc = codec::crc32Update(0, e.data.data(), e.data.size());
        if (e.badCrc) crc ^= 0x1234;
        std::vector<uint8_t> packed = e.method == 8 ? deflateRaw(e.data) : e.data;
        uint16_t flags = 0;
        if (!e.password.empty()) {
            flags |= 1;
            codec::PkwareKeys keys(e.password);
            std::vector<uint8_t> enc;
            for (int i = 0; i < 11; ++i) enc.push_back(keys.encryptByte(uint8_t(i * 37 + 5)));
            enc.push_back(keys.encryptByte(uint8_t(crc >> 24)));
            for (uint8_t b : packed) enc.push_back(keys.encryptByte(b));
            packed = std::move(enc);
        }
        uint32_t size = e.declaredSize >= 0 ? uint32_t(e.declaredSize) : uint32_t(e.data.size());
        uint32_t offset = uint32_t(zip.size());
        put32(zip, 0x04034B50);
        put16(zip, 20);
        put16(zip, flags);
        put16(zip, e.method);
        put32(zip, dosTime);
        put32(zip, crc);
        put32(zip, uint32_t(packed.size()));
        put32(zip, size);
        put16(zip, uint16_t(e.name.size()));
        put16(zip, 0);
        zip.insert(zip.end(), e.name.begin(), e.name.end());
        zip.insert(zip.end(), packed.begin(), packed.end());

        put32(central, 0x02014B50);
        put16(central, e.unixMode ? (3u << 8 | 20) : 20);
        put16(central, 20);
        put16(central, flags);
        put16(central, e.method);
        put32(central, dosTime);
        put32(central, crc);
        put32(central, uint32_t(packed.size()));
        put32(central, size);
        put16(central, uint16_t(e.name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, e.unixMode << 16);
        put32(central, offset);
        central.insert(central.end(), e.name.begin(), e.name.end());
    }
    uint32_t cdOffset = uint32_t(zip.size());
    zip.insert(zip.end(), central.begin(), central.end());
    put32(zip, 0x06054B50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, uint16_t(entries.size()));
    put16(zip, uint16_t(entries.size()));
    put32(zip, uint32_t(central.size()));
    put32(zip, cdOffset);
    put16(zip, 0);
    return zip;
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& data) {
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

int run(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string quote(const fs::path& p) {
    std::string out = "'";
    for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool haveTool(const char* name) { return run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0; }

std::string treeDifference(const fs::path& a, const fs::path& b) {
    auto list = [](const fs::path& root) {
        std::map<std::string, fs::path> items;
        for (auto& e : fs::recursive_directory_iterator(root))
            items[fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : "")] = e.path();
        return items;
    };
    auto la = list(a), lb = list(b);
    for (auto& [name, p] : la) {
        auto it = lb.find(name);
        if (it == lb.end()) return "only in first: " + name;
        if (name.back() != '/' && readAll(p) != readAll(it->second)) return "content differs: " + name;
    }
    for (auto& [name, p] : lb)
        if (!la.count(name)) return "only in second: " + name;
    return {};
}

}  // namespace kv::unzip_test
