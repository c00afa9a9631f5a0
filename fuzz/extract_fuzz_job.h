#pragma once
// The body of the extractor fuzz targets: arbitrary bytes as an archive of one format,
// tested, then extracted for real into a fresh folder inside a box. Beyond "no crash, no
// hang": nothing is ever made outside the target folder, and no link inside leads out.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "archive/base/extractor_factory.h"

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

// ext names the file (".arj"), so a file the detector does not recognise is still typed.
inline int extractJob(const uint8_t* data, size_t size, const char* ext) {
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
    fs::remove_all(box, ec);
    fs::remove(archive, ec);
    return 0;
}

}  // namespace kvfuzz
