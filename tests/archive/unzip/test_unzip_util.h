// Helpers for the extraction tests: temporary folders, a small ZIP writer for hand-made
// (and deliberately broken) archives, running tools, comparing trees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::unzip_test {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir();
    ~TempDir();
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct HandEntry {
    HandEntry(std::string n, std::vector<uint8_t> d, uint16_t m = 0, uint32_t mode = 0, bool bad = false,
              int64_t declared = -1, std::string pw = {})
        : name(std::move(n)),
          data(std::move(d)),
          method(m),
          unixMode(mode),
          badCrc(bad),
          declaredSize(declared),
          password(std::move(pw)) {}
    std::string name;
    std::vector<uint8_t> data;
    uint16_t method = 0;        // 0 stored, 8 deflated (zlib)
    uint32_t unixMode = 0;      // non-zero: "made by" Unix with this st_mode
    bool badCrc = false;        // store a CRC that does not match
    int64_t declaredSize = -1;  // store this uncompressed size instead of the real one
    std::string password;       // traditional encryption when non-empty
};
std::vector<uint8_t> makeZip(const std::vector<HandEntry>& entries);

void writeFile(const fs::path& p, const std::vector<uint8_t>& data);
std::vector<uint8_t> readAll(const fs::path& p);
std::vector<uint8_t> bytes(const std::string& s);

// Runs a shell command; answers its exit status.
int run(const std::string& cmd);
std::string quote(const fs::path& p);
bool haveTool(const char* name);

// Every file (with content) and folder under root, relative, sorted; "" when equal.
std::string treeDifference(const fs::path& a, const fs::path& b);

}  // namespace kv::unzip_test
