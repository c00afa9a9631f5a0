// Copying one 1 GB file and a tree of 20 000 small files: our engine (TransferJob) against
// `cp -r` and, for the tree, `rsync -a`. Each copy goes to a fresh target on the same file
// system as its source, after a sync so earlier writes do not land on the next timing;
// the median of three runs is printed with the ratio (peer time / our time: 1.0 is as fast,
// more is faster). Goal: at least 0.95 of cp on both.
//
//   copy_bench [folder] [megabytes] [files]   (default a fresh folder in /var/tmp, 1024, 20000)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fileops/engine/transfer_job.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace kv::fileops;

class Overwrite : public Decider {
public:
    Decision conflict(const Conflict&) override { return Decision::OverwriteAll; }
    Decision error(const OpError& e) override {
        std::fprintf(stderr, "copy_bench: %s: %s\n", e.path.c_str(), e.reason().c_str());
        return Decision::Cancel;
    }
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

bool ourCopy(const std::string& from, const std::string& to) {
    TransferRequest r;
    r.sources = {from};
    r.target = to;
    TransferJob job(r);
    Overwrite d;
    Progress p;
    return job.run(d, p).outcome == Outcome::Done;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Times `copy` three times, each into an empty `target` (removed and synced beforehand).
double timeCopy(const std::string& target, const std::function<bool()>& copy) {
    std::vector<double> t;
    for (int i = 0; i < 3; ++i) {
        fs::remove_all(target);
        ::sync();
        const auto t0 = Clock::now();
        if (!copy()) {
            std::fprintf(stderr, "copy_bench: a copy failed\n");
            std::exit(1);
        }
        t.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    fs::remove_all(target);
    return median(t);
}

void report(const char* what, double ours, const char* peer, double theirs) {
    std::printf("%-22s kv %8.3f s   %-9s %8.3f s   ratio %.2f\n", what, ours, peer, theirs, theirs / ours);
}

}  // namespace

int main(int argc, char** argv) {
    std::string root = argc > 1 ? argv[1] : "";
    const long megabytes = argc > 2 ? std::atol(argv[2]) : 1024;
    const int files = argc > 3 ? std::atoi(argv[3]) : 20000;
    bool made = false;
    if (root.empty()) {
        char tmpl[] = "/var/tmp/kv_copy_bench-XXXXXX";
        if (!::mkdtemp(tmpl)) return 1;
        root = tmpl;
        made = true;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool haveRsync = std::system("command -v rsync >/dev/null 2>&1") == 0;

    // One big file of incompressible bytes, written once.
    const std::string big = root + "/big.bin";
    {
        std::ofstream out(big, std::ios::binary);
        std::mt19937_64 rng(1);
        std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
        for (long i = 0; i < megabytes; ++i) {
            for (auto& w : block) w = rng();
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size() * 8));
        }
    }
    // The tree: 200 folders of small files from 100 bytes to 8 KiB.
    const std::string tree = root + "/tree";
    {
        std::mt19937 rng(2);
        std::string data(8192, 'x');
        for (auto& c : data) c = static_cast<char>(rng());
        for (int i = 0; i < files; ++i) {
            const std::string dir = tree + "/d" + std::to_string(i % 200);
            if (i < 200) fs::create_directories(dir);
            std::ofstream(dir + "/f" + std::to_string(i) + ".dat", std::ios::binary)
                .write(data.data(), 100 + static_cast<std::streamsize>(rng() % 8092));
        }
    }
    std::printf("copy_bench: %ld MiB file, %d small files in %s\n", megabytes, files, root.c_str());

    const std::string bigCopy = root + "/big.copy", treeCopy = root + "/tree.copy";
    const double kvBig = timeCopy(bigCopy, [&] { return ourCopy(big, bigCopy); });
    const double cpBig = timeCopy(
        bigCopy, [&] { return std::system(("cp -r " + quoted(big) + " " + quoted(bigCopy)).c_str()) == 0; });
    report("1 GB file", kvBig, "cp -r", cpBig);

    const double kvTree = timeCopy(treeCopy, [&] { return ourCopy(tree, treeCopy); });
    const double cpTree = timeCopy(treeCopy, [&] {
        return std::system(("cp -r " + quoted(tree) + " " + quoted(treeCopy)).c_str()) == 0;
    });
    report("20 000 small files", kvTree, "cp -r", cpTree);
    if (haveRsync) {
        const double rsyncTree = timeCopy(treeCopy, [&] {
            return std::system(("rsync -a " + quoted(tree + "/") + " " + quoted(treeCopy + "/")).c_str()) ==
                   0;
        });
        report("20 000 small files", kvTree, "rsync -a", rsyncTree);
    } else {
        std::printf("rsync not installed: no rsync figure\n");
    }
    if (made) fs::remove_all(root);
    return 0;
}
