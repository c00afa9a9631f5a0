#pragma once
// A temporary folder that creates named files and folders and removes itself.
#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

namespace kv::test {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kvpanel-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

    std::string file(const std::string& rel, const std::string& content = "x") const {
        const std::string p = *this / rel;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    std::string dir(const std::string& rel) const {
        const std::string p = *this / rel;
        std::filesystem::create_directories(p);
        return p;
    }

private:
    std::string path_;
};

}  // namespace kv::test
