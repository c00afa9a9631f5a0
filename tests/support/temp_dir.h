#pragma once
// A fresh folder under the system's temporary folder for one test, removed with everything
// in it (also what a test made read-only) when the object goes.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kv::test {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "kvtest") {
        std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder");
        path_ = tmpl;
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ec;
        // Folders a test made read-only or unlistable could not be emptied.
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it =
                 fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

    // Writes a file (its folders must exist) and answers its path.
    std::string file(const std::string& rel, const std::string& content = "x") const {
        const std::string p = *this / rel;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    // Makes a folder with its parents and answers its path.
    std::string dir(const std::string& rel) const {
        const std::string p = *this / rel;
        std::filesystem::create_directories(p);
        return p;
    }
    // The whole content of a file below the folder ("" when there is none).
    std::string read(const std::string& rel) const {
        std::ifstream in(*this / rel, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string path_;
};

}  // namespace kv::test
