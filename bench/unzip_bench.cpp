// Extracting a ~200 MB deflated ZIP of real text and binaries: kvarc x against unzip and
// 7zz x, each into a fresh folder, best of three runs. Prints seconds and ratios; the
// goal is to be faster than 7zz. kvarc runs twice: serial (KV_EXTRACT_THREADS=1) and with
// the threads it takes on this machine (half the cores decode entries ahead, the job itself
// decoding ahead whenever it would wait for them; the cores left place files, and on two
// cores one thread writes the large files). Wall time and the tools' CPU time are both
// printed: on a shared machine the CPU figure is the steadier one, but only wall time shows
// what the threads gain. Run by hand: ./unzip_bench [MB of input] [folder to
// extract into]. The folder's file system matters: on ext4 the creation of ten thousand
// files costs more, and varies more, right after many files were deleted there; a fresh
// file system (or /dev/shm, which has no such cost) gives steadier figures.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int run(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool have(const char* tool) { return run(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0; }

double childCpu() {
    rusage ru;
    getrusage(RUSAGE_CHILDREN, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 1e9, cpu = 1e9;  // best of three each; CPU = user + system of the tool
};

// A command line that extracts into the folder it is given.
using Command = std::function<std::string(const fs::path& outDir)>;

// Best of three for each command, the commands taking turns within each round so that a
// burst of the neighbours' load slows one run of each rather than all runs of one. Every
// run extracts into a folder of its own, removed only after the last run: ext4 passes over
// the inodes freed in the last seconds when it allocates new ones, so a run that followed
// the removal of the previous run's ten thousand files paid for that removal. (Timed that
// way the bench's first run was several times faster than every later one, whatever the
// tool.)
std::vector<Timing> timeEach(const std::vector<Command>& cmds, const fs::path& work) {
    std::vector<Timing> best(cmds.size());
    std::vector<bool> failed(cmds.size());
    for (int round = 0; round < 3; ++round)
        for (size_t c = 0; c < cmds.size(); ++c) {
            if (failed[c]) continue;
            const fs::path outDir = work / ("out-" + std::to_string(c) + "-" + std::to_string(round));
            fs::create_directories(outDir);
            const std::string cmd = cmds[c](outDir);
            run("sync");
            double c0 = childCpu();
            auto t0 = std::chrono::steady_clock::now();
            if (run(cmd) != 0) {
                std::printf("FAILED: %s\n", cmd.c_str());
                failed[c] = true;
                best[c] = {-1, -1};
                continue;
            }
            best[c].wall = std::min(
                best[c].wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            best[c].cpu = std::min(best[c].cpu, childCpu() - c0);
        }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef KVARC
    std::puts("kvarc not built");
    return 0;
#else
    size_t budget = size_t(argc > 1 ? std::atoi(argv[1]) : 200) << 20;
    if (!have("zip") || !have("unzip")) {
        std::puts("zip and unzip are needed");
        return 0;
    }
    fs::path work = (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()) / "kv-unzip-bench";
    fs::remove_all(work);
    fs::create_directories(work);
    // Half text (/usr/share), half binaries (/usr/lib): real files, as a user would pack them.
    std::ofstream list(work / "list.txt");
    size_t text = 0, bin = 0;
    std::error_code ec;
    for (auto it =
             fs::recursive_directory_iterator("/usr", fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator() && text + bin < budget; it.increment(ec)) {
        if (ec || it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        size_t sz = it->file_size(ec);
        if (ec || sz == 0 || sz > (16u << 20)) continue;
        std::string p = it->path().string();
        bool isText = p.rfind("/usr/share/", 0) == 0;
        bool isBin = p.rfind("/usr/lib/", 0) == 0 || p.rfind("/usr/bin/", 0) == 0;
        if ((isText && text < budget / 2) || (isBin && bin < budget / 2)) {
            list << p << "\n";
            (isText ? text : bin) += sz;
        }
    }
    list.close();
    fs::path zip = work / "bench.zip";
    std::printf("packing %.0f MB (%.0f MB text, %.0f MB binaries) with zip -6 ...\n",
                (text + bin) / 1048576.0, text / 1048576.0, bin / 1048576.0);
    run("zip -q -6 " + zip.string() + " -@ < " + (work / "list.txt").string() + " 2>/dev/null");
    std::printf("archive: %.0f MB\n", double(fs::file_size(zip)) / 1048576.0);

    const std::string zipArg = zip.string();
    auto kvarcX = [zipArg](const char* threads) -> Command {
        return [zipArg, threads](const fs::path& out) {
            return std::string("KV_EXTRACT_THREADS=") + threads + " " + KVARC + " x " + zipArg + " " +
                   out.string() + " -y >/dev/null";
        };
    };
    std::vector<Command> cmds = {
        kvarcX("1"),
        kvarcX(""),  // as many threads as the machine has cores
        [zipArg](const fs::path& out) { return "unzip -q -o " + zipArg + " -d " + out.string(); },
    };
    const bool with7zz = have("7zz");
    if (with7zz)
        cmds.push_back([zipArg](const fs::path& out) {
            return "7zz x -y -bd -o" + out.string() + " " + zipArg + " >/dev/null";
        });
    const std::vector<Timing> t = timeEach(cmds, work);
    const Timing serial = t[0], ours = t[1], unz = t[2], sz = with7zz ? t[3] : Timing{-1, -1};
    std::printf("            wall      CPU (user+sys)\n");
    std::printf("kvarc x  %6.2f s  %6.2f s   serial\n", serial.wall, serial.cpu);
    std::printf("kvarc x  %6.2f s  %6.2f s   parallel: %.2fx the serial speed (wall)\n", ours.wall, ours.cpu,
                serial.wall / ours.wall);
    std::printf("unzip    %6.2f s  %6.2f s   kvarc is %.2fx (wall), %.2fx (CPU) unzip's speed\n", unz.wall,
                unz.cpu, unz.wall / ours.wall, unz.cpu / ours.cpu);
    if (sz.wall > 0)
        std::printf("7zz x    %6.2f s  %6.2f s   kvarc is %.2fx (wall), %.2fx (CPU) 7zz's speed\n", sz.wall,
                    sz.cpu, sz.wall / ours.wall, sz.cpu / ours.cpu);
    fs::remove_all(work);
    return 0;
#endif
}
