// A ZIP of a mixed tree at level 7: kvarc against `zip -7` and `7zz a -tzip -mx=7`, as
// ratios of time and size. CPU time (user + system of the tool) is printed beside the wall
// time because on a busy machine only the CPU time compares fairly; each tool runs three
// times and its best run counts. The tree is copied from /usr/include, /usr/share and
// /usr/lib (about 200 MB) unless a folder is given.
//   zip_create_bench [FOLDER] [MEGABYTES]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double childCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 0, cpu = 0;
};

Timing timed(const std::string& cmd, int& status) {
    const double cpu0 = childCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
            childCpuSeconds() - cpu0};
}

void copyTree(const fs::path& into, uint64_t limit) {
    uint64_t total = 0;
    for (const char* root :
         {"/usr/include", "/usr/share/perl", "/usr/share/vim", "/usr/lib/x86_64-linux-gnu"}) {
        std::vector<fs::path> files;
        std::error_code ec;
        for (auto it =
                 fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
        std::sort(files.begin(), files.end());
        for (const fs::path& p : files) {
            if (total >= limit) break;
            if (total >= limit / 2 && std::string(root).find("/lib") == std::string::npos) break;
            const fs::path to = into / fs::relative(p, "/");
            fs::create_directories(to.parent_path(), ec);
            fs::copy_file(p, to, fs::copy_options::skip_existing, ec);
            if (!ec) total += fs::file_size(to, ec);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifndef KVARC
    std::puts("built without kvarc");
    return 0;
#else
    const uint64_t mb = argc > 2 ? uint64_t(std::atoi(argv[2])) : 200;
    const fs::path work = fs::temp_directory_path() / ("kv-zipbench-" + std::to_string(getpid()));
    fs::path tree = argc > 1 ? fs::path(argv[1]) : work / "tree";
    fs::create_directories(work);
    if (argc <= 1) copyTree(tree, mb << 20);
    const std::string src = tree.string();
    struct Tool {
        const char* name;
        std::string cmd;
        fs::path out;
    };
    const fs::path a = work / "kvarc.zip", b = work / "zip.zip", c = work / "7zz.zip";
    std::vector<Tool> tools = {
        {"kvarc -7",
         "cd '" + tree.parent_path().string() + "' && '" KVARC "' a '" + a.string() + "' '" + src + "' -r -7",
         a},
        {"zip -7",
         "cd '" + tree.parent_path().string() + "' && zip -q -r -7 '" + b.string() + "' '" +
             tree.filename().string() + "'",
         b},
        {"7zz -mx=7",
         "cd '" + tree.parent_path().string() + "' && 7zz a -bd -bso0 -tzip -mx=7 -mmt=1 '" + c.string() +
             "' '" + tree.filename().string() + "'",
         c},
    };
    Timing times[3] = {};
    uintmax_t sizes[3] = {};
    for (int round = 0; round < 3; ++round)
        for (size_t i = 0; i < tools.size(); ++i) {
            fs::remove(tools[i].out);
            int st = 0;
            const Timing t = timed(tools[i].cmd + " >/dev/null 2>&1", st);
            if (round == 0 || t.wall < times[i].wall) times[i].wall = t.wall;
            if (round == 0 || t.cpu < times[i].cpu) times[i].cpu = t.cpu;
            std::error_code ec;
            sizes[i] = fs::file_size(tools[i].out, ec);
            if (st != 0 || ec) std::printf("%s failed (status %d)\n", tools[i].name, st);
        }
    int st = 0;
    (void)timed("unzip -tqq '" + a.string() + "' >/dev/null", st);
    std::printf("kvarc's archive passes unzip -t: %s\n", st == 0 ? "yes" : "NO");
    std::printf("%-10s %8s %8s %12s %10s %10s %10s\n", "tool", "wall s", "cpu s", "size", "wall/kvarc",
                "cpu/kvarc", "size/kvarc");
    for (size_t i = 0; i < tools.size(); ++i)
        std::printf("%-10s %8.2f %8.2f %12ju %10.2f %10.2f %10.4f\n", tools[i].name, times[i].wall,
                    times[i].cpu, sizes[i], times[i].wall / times[0].wall, times[i].cpu / times[0].cpu,
                    double(sizes[i]) / double(sizes[0]));
    std::error_code ec;
    if (argc <= 1)
        fs::remove_all(work, ec);
    else
        for (const Tool& t : tools) fs::remove(t.out, ec);
    return 0;
#endif
}
