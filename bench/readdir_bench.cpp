// Opening a folder of 100 000 files: our listing (read, stat, sort) against `ls -l -U`
// (read and stat, no sort) and `ls -l` (read, stat and sort). Prints times and ratios;
// the goal is to be no slower than `ls -l`.
//
//   readdir_bench [count] [folder]   (default 100000 files in a fresh temporary folder)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "panel/model/directory.h"

namespace {

using Clock = std::chrono::steady_clock;

double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
double timeIt(F&& f, int runs) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return medianOf(t);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::string dir;
    bool made = false;
    if (argc > 2) {
        dir = argv[2];
    } else {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kv-readdir-XXXXXX").string();
        dir = ::mkdtemp(tmpl.data());
        made = true;
        const char* exts[] = {"txt", "cpp", "h", "jpg", "zip", "", "tar.gz", "EXE"};
        for (int i = 0; i < count; ++i) {
            char name[64];
            const char* e = exts[(i * 7) % 8];
            std::snprintf(name, sizeof name, "%s/f%07d%s%s", dir.c_str(), (i * 7919) % count, *e ? "." : "",
                          e);
            if (i % 50 == 0) {
                ::mkdir(name, 0755);
                continue;
            }
            const int fd = ::open(name, O_CREAT | O_WRONLY, 0644);
            if (fd >= 0) {
                if (i % 3 == 0) (void)!::write(fd, name, static_cast<std::size_t>(i % 61));
                ::close(fd);
            }
        }
    }
    const int runs = 5;
    std::printf("folder: %s (%d entries)\n", dir.c_str(), count);

    // Warm the caches once, as a user opening a folder twice would.
    kv::TDirectory warm;
    warm.Read(dir);
    std::size_t listed = std::size_t(warm.FilesCount());

    double ours[5];
    const char* names[] = {"arrival", "name", "extension", "size", "date"};
    for (int s = 0; s <= 4; ++s) {
        ours[s] = timeIt(
            [&] {
                kv::TDirectory fl;
                fl.SortType = static_cast<std::uint8_t>(s);
                fl.Read(dir);
                listed = std::size_t(fl.FilesCount());
            },
            runs);
    }
    const std::string q = "'" + dir + "'";
    const double lsU = timeIt([&] { (void)!std::system(("ls -l -U " + q + " > /dev/null").c_str()); }, runs);
    const double ls = timeIt([&] { (void)!std::system(("ls -l " + q + " > /dev/null").c_str()); }, runs);

    std::printf("entries listed: %zu\n", listed);
    std::printf("ls -l -U : %8.1f ms\n", lsU);
    std::printf("ls -l    : %8.1f ms\n", ls);
    for (int s = 0; s <= 4; ++s)
        std::printf("ReadDir by %-9s: %8.1f ms   ratio to ls -l -U %.2f, to ls -l %.2f\n", names[s], ours[s],
                    ours[s] / lsU, ours[s] / ls);
    if (made) std::filesystem::remove_all(dir);
    return 0;
}
