// Listing a ZIP of 100 000 entries: kvarc l --tsv (and the reader in-process) against
// zipinfo -1, unzip -l and 7zz l. Prints times and ratios; asserts nothing.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/base/crc.h"
#include "archive/kelmo/kelmo.h"

namespace {

using Clock = std::chrono::steady_clock;

void put(std::vector<uint8_t>& b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// Stored entries with short contents, then a ZIP64 end record (more than 65535 entries).
void writeZip(const std::string& path, int entries) {
    std::vector<uint8_t> data, cd;
    data.reserve(size_t(entries) * 80);
    cd.reserve(size_t(entries) * 90);
    char name[64];
    for (int i = 0; i < entries; ++i) {
        int n = std::snprintf(name, sizeof name, "dir%03d/file%06d.txt", i % 500, i);
        std::string content = "entry " + std::to_string(i) + "\n";
        uint32_t crc = kv::crc32({reinterpret_cast<const uint8_t*>(content.data()), content.size()});
        uint64_t local = data.size();
        put(data, 0x04034B50, 4);
        put(data, 20, 2);
        put(data, 0, 2);
        put(data, 0, 2);
        put(data, 0x2A432086, 4);
        put(data, crc, 4);
        put(data, content.size(), 4);
        put(data, content.size(), 4);
        put(data, n, 2);
        put(data, 0, 2);
        data.insert(data.end(), name, name + n);
        data.insert(data.end(), content.begin(), content.end());
        put(cd, 0x02014B50, 4);
        put(cd, 0x031E, 2);
        put(cd, 20, 2);
        put(cd, 0, 2);
        put(cd, 0, 2);
        put(cd, 0x2A432086, 4);
        put(cd, crc, 4);
        put(cd, content.size(), 4);
        put(cd, content.size(), 4);
        put(cd, n, 2);
        put(cd, 0, 2);
        put(cd, 0, 2);
        put(cd, 0, 2);
        put(cd, 0, 2);
        put(cd, 0100644u << 16, 4);
        put(cd, local, 4);
        cd.insert(cd.end(), name, name + n);
    }
    uint64_t cdPos = data.size(), cdSize = cd.size();
    data.insert(data.end(), cd.begin(), cd.end());
    uint64_t end64 = data.size();
    put(data, 0x06064B50, 4);
    put(data, 44, 8);
    put(data, 45, 2);
    put(data, 45, 2);
    put(data, 0, 4);
    put(data, 0, 4);
    put(data, entries, 8);
    put(data, entries, 8);
    put(data, cdSize, 8);
    put(data, cdPos, 8);
    put(data, 0x07064B50, 4);
    put(data, 0, 4);
    put(data, end64, 8);
    put(data, 1, 4);
    put(data, 0x06054B50, 4);
    put(data, 0, 2);
    put(data, 0, 2);
    put(data, 0xFFFF, 2);
    put(data, 0xFFFF, 2);
    put(data, 0xFFFFFFFF, 4);
    put(data, 0xFFFFFFFF, 4);
    put(data, 0, 2);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

// Best wall time of a few runs of a shell command (output to /dev/null); < 0 if it failed.
double timeCommand(const std::string& cmd, int runs = 5) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        int rc = std::system((cmd + " > /dev/null 2>&1").c_str());
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (rc == -1 || !WIFEXITED(rc) || WEXITSTATUS(rc) != 0) return -1;
        best = std::min(best, s);
    }
    return best;
}

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::string dir =
        (std::filesystem::temp_directory_path() / ("kv-zip-list-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(dir);
    std::string zip = dir + "/big.zip";
    writeZip(zip, entries);
    std::printf("ZIP of %d entries, %llu bytes\n", entries,
                static_cast<unsigned long long>(std::filesystem::file_size(zip)));

    // In-process: detection and the whole directory, best of five.
    double inProcess = 1e9;
    int listed = 0;
    for (int i = 0; i < 5; ++i) {
        auto t0 = Clock::now();
        kv::TKelmo k;
        int n = 0;
        k.OnRead = [&](kv::TZipCommon&, int64_t, int) { ++n; };
        k.setArchiveFile(zip);
        k.Activate();
        inProcess = std::min(inProcess, std::chrono::duration<double>(Clock::now() - t0).count());
        listed = n;
    }
    std::printf("%-28s %8.1f ms  (%d entries, %.2f us/entry)\n", "TKelmo in-process", inProcess * 1e3, listed,
                inProcess * 1e6 / entries);

#ifdef KVARC
    double ours = timeCommand(std::string(KVARC) + " l --tsv " + zip);
#else
    double ours = -1;
#endif
    std::printf("%-28s %8.1f ms\n", "kvarc l --tsv", ours * 1e3);
    struct Peer {
        const char* label;
        const char* tool;
        std::string cmd;
    };
    Peer peers[] = {{"zipinfo -1", "zipinfo", "zipinfo -1 " + zip},
                    {"unzip -l", "unzip", "unzip -l " + zip},
                    {"7zz l", "7zz", "7zz l " + zip}};
    for (const Peer& p : peers) {
        if (!have(p.tool)) {
            std::printf("%-28s not installed\n", p.label);
            continue;
        }
        double t = timeCommand(p.cmd);
        if (t < 0) {
            std::printf("%-28s failed\n", p.label);
            continue;
        }
        std::printf("%-28s %8.1f ms   kvarc is %.2fx faster\n", p.label, t * 1e3, ours > 0 ? t / ours : 0.0);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
