// Copying one big file and a tree of small files: our engine (TransferJob) against `cp -a`
// (which keeps modes, times and links, as we do) and `cp -r`, on each folder given (one on
// disk, one on tmpfs, say). Each copy goes to a fresh target on the same file system as its
// source, after a sync so earlier writes do not land on the next timing. The three take turns
// within every round (the order rotates), so a machine that gets busier or quieter weighs on
// all of them alike; the median of the rounds is printed with the ratio (peer time / our
// time: 1.0 is as fast, more is faster). Goal: at least 1.0 of cp -a and 0.9 of cp -r.
//
//   copy_bench [megabytes] [files] [rounds] [folder...]
//   (defaults 1024, 20000, 5, and /var/tmp and /dev/shm; a fresh folder is made in each)
#include <sys/stat.h>
#include <sys/statfs.h>
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

struct Contender {
    const char* name;
    std::function<bool(const std::string& from, const std::string& to)> copy;
    std::vector<double> times;
};

// Every round times each contender once into an empty `target` (removed and synced first),
// starting with a different one each round.
void race(const std::string& from, const std::string& target, int rounds, std::vector<Contender>& cs) {
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < cs.size(); ++k) {
            Contender& c = cs[(k + static_cast<std::size_t>(round)) % cs.size()];
            fs::remove_all(target);
            ::sync();
            const auto t0 = Clock::now();
            if (!c.copy(from, target)) {
                std::fprintf(stderr, "copy_bench: %s failed\n", c.name);
                std::exit(1);
            }
            c.times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        }
    }
    fs::remove_all(target);
}

void makeBigFile(const std::string& path, long megabytes) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 rng(1);
    std::vector<std::uint64_t> block(1 << 17);  // 1 MiB of incompressible bytes
    for (long i = 0; i < megabytes; ++i) {
        for (auto& w : block) w = rng();
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 8));
    }
}

// 200 folders of small files from 100 bytes to 8 KiB.
void makeTree(const std::string& tree, int files) {
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

std::string fileSystemOf(const std::string& path) {
    struct statfs s {};
    if (::statfs(path.c_str(), &s) != 0) return "?";
    switch (s.f_type) {
        case 0x01021994: return "tmpfs";
        case 0xEF53: return "ext4";
        case 0x9123683E: return "btrfs";
        case 0x58465342: return "xfs";
        default: return "other";
    }
}

void report(const std::string& where, const char* what, const std::vector<Contender>& cs) {
    const double ours = median(cs[0].times);
    std::printf("%-6s %-20s kv %7.3f s", where.c_str(), what, ours);
    for (std::size_t i = 1; i < cs.size(); ++i) {
        const double theirs = median(cs[i].times);
        std::printf("   %s %7.3f s ratio %.2f", cs[i].name, theirs, theirs / ours);
    }
    std::printf("\n");
}

std::vector<Contender> contenders() {
    auto cp = [](const char* flags) {
        return [flags](const std::string& from, const std::string& to) {
            return std::system(
                       ("cp " + std::string(flags) + " " + quoted(from) + " " + quoted(to)).c_str()) == 0;
        };
    };
    return {{"kv", ourCopy, {}}, {"cp -a", cp("-a"), {}}, {"cp -r", cp("-r"), {}}};
}

}  // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 1024;
    const int files = argc > 2 ? std::atoi(argv[2]) : 20000;
    const int rounds = std::max(1, argc > 3 ? std::atoi(argv[3]) : 5);
    std::vector<std::string> folders;
    for (int i = 4; i < argc; ++i) folders.emplace_back(argv[i]);
    if (folders.empty()) folders = {"/var/tmp", "/dev/shm"};
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("copy_bench: %ld MiB file, %d small files, median of %d rounds taken in turns\n", megabytes,
                files, rounds);
    for (const std::string& folder : folders) {
        std::string root = folder + "/kv_copy_bench-XXXXXX";
        if (!::mkdtemp(root.data())) {
            std::fprintf(stderr, "copy_bench: cannot make a folder in %s\n", folder.c_str());
            continue;
        }
        const std::string where = fileSystemOf(root);
        const std::string big = root + "/big.bin", tree = root + "/tree";
        makeBigFile(big, megabytes);
        makeTree(tree, files);
        auto cs = contenders();
        race(big, root + "/big.copy", rounds, cs);
        report(where, (std::to_string(megabytes) + " MiB file").c_str(), cs);
        cs = contenders();
        race(tree, root + "/tree.copy", rounds, cs);
        report(where, (std::to_string(files) + " small files").c_str(), cs);
        fs::remove_all(root);
    }
    return 0;
}
