#pragma once
// The body of the extractor fuzz targets: arbitrary bytes as an archive of one format,
// tested, then extracted for real into a fresh folder inside a box. Beyond "no crash, no
// hang": nothing is ever made outside the target folder, and no link inside leads out;
// the files written hold no more bytes than the listing declares (each file once, however
// many names it has), and, for the formats that ask, every file lies under a name the
// listing shows.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "archive/base/extractor_factory.h"
#include "archive/kelmo/kelmo.h"

namespace kvfuzz {

namespace fs = std::filesystem;

inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

inline bool linkLeadsOut(const fs::path& root) {
    const fs::path real = fs::canonical(root);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink()) continue;
        std::error_code wc;
        fs::path where = fs::weakly_canonical(it->path(), wc);
        fs::path rel = where.lexically_relative(real);
        if (wc || rel.empty() || *rel.begin() == "..") return true;
    }
    return false;
}

// Every path below root with what it holds: a file's bytes, a link's target, "/" for a folder.
inline std::map<std::string, std::string> treeOf(const fs::path& root) {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string rel = it->path().lexically_relative(root).string();
        std::error_code lc;
        if (it->is_symlink(lc)) {
            tree[rel] = "-> " + fs::read_symlink(it->path(), lc).string();
        } else if (it->is_directory(lc)) {
            tree[rel] = "/";
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            tree[rel] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

// What the listing of the same file holds: its names and the bytes it declares.
struct Listed {
    bool whole = false;  // listed to its end without an error
    std::set<std::string> names;
    uint64_t bytes = 0;
};

inline Listed listingOf(const fs::path& archive) {
    Listed l;
    kv::TKelmo k;
    k.OnRead = [&](kv::TZipCommon& z, int64_t, int) {
        l.names.insert(fs::path(z.FileName).lexically_normal().string());
        l.bytes = z.UnpackedSize > UINT64_MAX - l.bytes ? UINT64_MAX : l.bytes + z.UnpackedSize;
    };
    k.setArchiveFile(archive.string());
    l.whole = k.Activate();
    return l;
}

// Bytes of the regular files below root, each file once, and whether each lies under a
// name in names.
inline uint64_t bytesBelow(const fs::path& root, const std::set<std::string>& names, bool& allNamed) {
    std::map<std::pair<dev_t, ino_t>, uint64_t> files;
    allNamed = true;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        files[{st.st_dev, st.st_ino}] = uint64_t(st.st_size);
        if (!names.count(it->path().lexically_relative(root).string())) allNamed = false;
    }
    uint64_t sum = 0;
    for (const auto& [id, n] : files) sum += n;
    return sum;
}

// What the listing bounds: Always, also when it stops at damage (the extractor walks the
// same records and stops there too); WhenWhole, only for a listing that ended well.
enum class ListingBounds { Always, WhenWhole };

// ext names the file (".arj"), so a file the detector does not recognise is still typed.
// namesListed: every file written must lie under a name the listing shows.
inline int extractJob(const uint8_t* data, size_t size, const char* ext,
                      ListingBounds bounds = ListingBounds::WhenWhole, bool namesListed = false) {
    static const fs::path box = fs::temp_directory_path() / ("kv-xfuzz-" + std::to_string(::getpid()));
    const fs::path archive = fs::temp_directory_path() / ("kv-xfuzz-" + std::to_string(::getpid()) + ext);
    std::error_code ec;
    fs::remove_all(box, ec);
    fs::create_directories(box / "out");
    std::FILE* f = std::fopen(archive.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    kv::TZipCommon typed;
    typed.setArchiveFile(archive.string());
    for (bool forReal : {false, true}) {
        std::unique_ptr<kv::TUnBase> x = kv::makeExtractor(typed.ArcType());
        if (!x) break;
        x->setArchiveFile(archive.string());
        x->setExtractDir((box / "out").string());
        if (forReal)
            x->Activate();
        else
            x->Test();
    }
    size_t beside = 0;
    for (auto& e : fs::directory_iterator(box)) beside += e.path().filename() != "out";
    check(beside == 0, "something was made beside the target folder");
    check(!linkLeadsOut(box / "out"), "a link inside the target leads out");
    const Listed listed = listingOf(archive);
    if (listed.whole || bounds == ListingBounds::Always) {
        bool allNamed = true;
        check(bytesBelow(box / "out", listed.names, allNamed) <= listed.bytes,
              "the files written hold more bytes than the listing declares");
        check(!namesListed || allNamed, "a file was written under a name the listing does not show");
    }
    fs::remove_all(box, ec);
    fs::remove(archive, ec);
    return 0;
}

}  // namespace kvfuzz
