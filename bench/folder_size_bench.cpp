// Folder sizes: our sizer against `du -sb` on a tree of 200 000 files made here (200
// folders of 1000 files, two levels deep) and on /usr. Each side runs warm, the median of a
// few runs is kept; the ratio is ours / du (goal: 1.0 or less). du counts folders and we do
// not, so the totals differ by the folders' own sizes; both are printed.
//
//   folder_size_bench [files] [extra folder ...]   (default 200000 files, then /usr)
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

#include "panel/model/files_scan.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double medianMs(F&& f, int runs) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

long long duBytes(const std::string& dir) {
    const std::string cmd = "du -sb '" + dir + "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    long long v = -1;
    if (p) {
        if (std::fscanf(p, "%lld", &v) != 1) v = -1;
        ::pclose(p);
    }
    return v;
}

void compare(const char* what, const std::string& dir, int runs) {
    long long ours = 0, theirs = 0;
    kv::TScanSizer sizer;
    ours = sizer.Size(dir);  // warms the cache for both
    const double usMs = medianMs([&] { ours = kv::TScanSizer().Size(dir); }, runs);
    const double duMs = medianMs([&] { theirs = duBytes(dir); }, runs);
    std::printf(
        "%-22s ours %8.1f ms (%lld bytes, %lld entries)   du -sb %8.1f ms (%lld bytes)   ratio %.2f\n", what,
        usMs, ours, static_cast<long long>(sizer.FilesCount()), duMs, theirs, usMs / duMs);
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::string tmpl = (std::filesystem::temp_directory_path() / "kv-dirsize-XXXXXX").string();
    const std::string root = ::mkdtemp(tmpl.data());
    const int perFolder = 1000;
    char path[512];
    for (int i = 0; i < files; ++i) {
        if (i % perFolder == 0) {
            std::snprintf(path, sizeof path, "%s/g%02d", root.c_str(), i / (perFolder * 20));
            ::mkdir(path, 0755);
            std::snprintf(path, sizeof path, "%s/g%02d/d%04d", root.c_str(), i / (perFolder * 20),
                          i / perFolder);
            ::mkdir(path, 0755);
        }
        std::snprintf(path, sizeof path, "%s/g%02d/d%04d/file%06d.dat", root.c_str(), i / (perFolder * 20),
                      i / perFolder, i);
        const int fd = ::open(path, O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0) {
            std::perror(path);
            return 1;
        }
        // Sizes without writing data: the tree is made in seconds, not minutes.
        if (::ftruncate(fd, (i * 7919) % 100000) != 0) std::perror("ftruncate");
        ::close(fd);
    }
    char label[64];
    std::snprintf(label, sizeof label, "%d files", files);
    compare(label, root, 5);
    std::vector<std::string> extra(argv + (argc > 2 ? 2 : argc), argv + argc);
    if (extra.empty()) extra.push_back("/usr");
    for (const auto& d : extra) compare(d.c_str(), d, 5);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}
