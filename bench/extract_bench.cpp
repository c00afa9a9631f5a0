// Extraction by our ARJ, LHA and ARC extractors against the tools people use for them, on
// the same archive: a mixed corpus (text from /usr/share/doc and /usr/include, binaries
// from /usr/lib/x86_64-linux-gnu) packed at bench time with arj a -m1 and jlha (-lh5-), a
// part of it packed with arc a, and the ARC fixtures of the tests. Ours runs in this
// process through makeExtractor; a peer is a process, so on a tiny archive its start-up
// is most of its time (the start of a bare shell is printed to judge by). Wall clock, best
// of N runs, each into a fresh folder. Prints seconds and peer/ours; never asserts.
// Run by hand: ./extract_bench [MB of corpus, default 100] [runs, default 3]
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/base/extractor_factory.h"

namespace fs = std::filesystem;

namespace {

int runs = 3;

int run(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool have(const char* tool) { return run(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0; }

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

uint64_t bytesUnder(const fs::path& dir) {
    uint64_t total = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec) && !it->is_symlink(ec)) total += it->file_size(ec);
    }
    return total;
}

struct Timing {
    double seconds = -1;    // best of the runs; -1 when a run failed
    uint64_t bytesOut = 0;  // what the last run left in its folder, to see both sides wrote the same
    std::string failure;
};

// Times job (which writes into out) runs times, each into a fresh out; outside the clock.
Timing timeBest(const std::function<std::string()>& job, const fs::path& out) {
    Timing t;
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(out);
        fs::create_directories(out);
        run("sync");
        auto t0 = std::chrono::steady_clock::now();
        std::string failure = job();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!failure.empty()) {
            t.failure = failure;
            t.bytesOut = bytesUnder(out);
            fs::remove_all(out);
            return t;
        }
        best = std::min(best, s);
    }
    t.seconds = best;
    t.bytesOut = bytesUnder(out);
    fs::remove_all(out);
    return t;
}

// Our extractor for the archive, as kvarc x sets up a job: every existing file overwritten.
Timing timeOurs(const fs::path& archive, const fs::path& out) {
    return timeBest(
        [&]() -> std::string {
            kv::TZipCommon typed;
            typed.setArchiveFile(archive.string());
            std::unique_ptr<kv::TUnBase> x = kv::makeExtractor(typed.ArcType());
            if (!x) return "no extractor for this type";
            int errors = 0;
            x->OnError = [&](kv::TZipCommon&, const std::string&, const std::string&, const std::string&,
                             int) { ++errors; };
            x->OnFileExists = [](kv::TZipCommon&, const std::string&, const kv::TDateTime&, bool& accept) {
                accept = true;
            };
            x->setArchiveFile(archive.string());
            x->setExtractDir(out.string());
            x->Activate();
            if (x->FailedCount > 0 || x->ExtractedCount == 0)
                return std::to_string(x->FailedCount) + " failed, " + std::to_string(x->ExtractedCount) +
                       " extracted";
            return {};
        },
        out);
}

// A peer tool run in out; timeout's 124 is a hang cut short.
Timing timePeer(const std::string& cmd, const fs::path& out) {
    return timeBest(
        [&]() -> std::string {
            int rc = run("cd " + quoted(out) + " && " + cmd + " >/dev/null 2>&1");
            if (rc == 124) return "timed out";
            if (rc != 0) return "exit status " + std::to_string(rc);
            return {};
        },
        out);
}

std::string shown(const Timing& t) {
    char buf[64];
    if (t.seconds < 0) return t.failure;
    std::snprintf(buf, sizeof buf, "%8.4f s", t.seconds);
    return buf;
}

void row(const std::string& what, const Timing& ours, const std::string& peer, const Timing& theirs) {
    std::printf("%-26s ours %-12s %-8s %-14s", what.c_str(), shown(ours).c_str(), peer.c_str(),
                shown(theirs).c_str());
    if (ours.seconds > 0 && theirs.seconds > 0)
        std::printf(" peer/ours %6.2fx", theirs.seconds / ours.seconds);
    if (ours.bytesOut != theirs.bytesOut)
        std::printf("  [bytes out differ: ours %llu, peer %llu]", (unsigned long long)ours.bytesOut,
                    (unsigned long long)theirs.bytesOut);
    std::printf("\n");
}

struct Corpus {
    uint64_t text = 0, bin = 0;
    int files = 0;
};

// Copies regular files below roots into dir under short DOS-safe names (every peer keeps
// them as they are), up to budget bytes; skips what is already compressed.
void gather(const std::vector<const char*>& roots, const char* prefix, const char* ext, uint64_t budget,
            const fs::path& dir, uint64_t& taken, int& files) {
    std::error_code ec;
    for (const char* root : roots) {
        for (auto it =
                 fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator() && taken < budget - budget / 100; it.increment(ec)) {
            if (ec || it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
            uint64_t sz = it->file_size(ec);
            // No one file may be most of a small corpus, nor carry it past its size.
            if (ec || sz == 0 || sz > std::min<uint64_t>(16u << 20, budget / 16) || taken + sz > budget)
                continue;
            std::string e = it->path().extension().string();
            if (e == ".gz" || e == ".xz" || e == ".bz2" || e == ".zst" || e == ".png" || e == ".jpg")
                continue;
            char name[32];
            std::snprintf(name, sizeof name, "%s%05d.%s", prefix, files, ext);
            fs::copy_file(it->path(), dir / name, ec);
            if (ec) continue;
            taken += sz;
            ++files;
        }
    }
}

// The first files of corpus up to budget bytes, half text and half binaries, linked into dir.
void subset(const fs::path& corpus, uint64_t budget, const fs::path& dir) {
    std::vector<fs::path> text, bin;
    for (const auto& e : fs::directory_iterator(corpus))
        (e.path().extension() == ".TXT" ? text : bin).push_back(e.path());
    std::sort(text.begin(), text.end());
    std::sort(bin.begin(), bin.end());
    for (auto* part : {&text, &bin}) {
        uint64_t taken = 0;
        for (const auto& p : *part) {
            uint64_t sz = fs::file_size(p);
            if (taken + sz > budget / 2) continue;
            std::error_code ec;
            fs::create_hard_link(p, dir / p.filename(), ec);
            if (ec) fs::copy_file(p, dir / p.filename(), ec);
            taken += sz;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t budget = uint64_t(argc > 1 ? std::max(1, std::atoi(argv[1])) : 100) << 20;
    if (argc > 2) runs = std::max(1, std::atoi(argv[2]));
    fs::path work = fs::temp_directory_path() / "kv-extract-bench";
    fs::remove_all(work);
    fs::path corpus = work / "corpus", out = work / "out";
    fs::create_directories(corpus);

    Corpus c;
    gather({"/usr/share/doc", "/usr/include"}, "T", "TXT", budget / 2, corpus, c.text, c.files);
    int textFiles = c.files;
    gather({"/usr/lib/x86_64-linux-gnu"}, "B", "BIN", budget / 2, corpus, c.bin, c.files);
    std::printf("corpus: %.0f MB in %d files (%.0f MB text in %d, %.0f MB binaries in %d); best of %d runs\n",
                (c.text + c.bin) / 1048576.0, c.files, c.text / 1048576.0, textFiles, c.bin / 1048576.0,
                c.files - textFiles, runs);
    std::printf("the start of a bare shell (sh -c true) ");
    Timing shell = timePeer("true", out);
    std::printf("takes %.4f s: every peer row pays it\n\n", shell.seconds);

    auto packed = [](const fs::path& p) {
        std::error_code ec;
        uint64_t sz = fs::file_size(p, ec);
        return ec ? std::string("missing") : std::to_string(sz / 1024) + " KB";
    };

    if (have("arj")) {
        fs::path arj = work / "bench.arj";
        run("cd " + quoted(corpus) + " && arj a -m1 -y " + quoted(arj) + " '*' >/dev/null 2>&1");
        std::printf("ARJ -m1: %s\n", packed(arj).c_str());
        row("corpus.arj", timeOurs(arj, out), "arj x", timePeer("arj x -y " + quoted(arj), out));
    } else {
        std::puts("arj is not installed: no ARJ row");
    }

    if (have("jlha") && have("lhasa")) {
        fs::path lzh = work / "bench.lzh";
        run("cd " + quoted(corpus) + " && jlha a " + quoted(lzh) + " * >/dev/null 2>&1");
        std::printf("LHA -lh5- (jlha): %s\n", packed(lzh).c_str());
        row("corpus.lzh", timeOurs(lzh, out), "lhasa x", timePeer("lhasa x " + quoted(lzh), out));
    } else {
        std::puts("jlha or lhasa is not installed: no LHA row");
    }

    std::vector<fs::path> arcs;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(KV_ARC_FIXTURES, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!ec && it->path().extension() == ".arc") arcs.push_back(it->path());
    }
    std::sort(arcs.begin(), arcs.end());
    if (have("arc")) {
        fs::path part = work / "arc-in", arc = work / "bench.arc";
        fs::create_directories(part);
        subset(corpus, std::min<uint64_t>(budget, 20u << 20), part);
        run("cd " + quoted(part) + " && arc a " + quoted(arc) + " * >/dev/null 2>&1");
        std::printf("ARC (arc a, %.0f MB of the corpus): %s\n", bytesUnder(part) / 1048576.0,
                    packed(arc).c_str());
        arcs.insert(arcs.begin(), arc);
    }
    for (const auto& a : arcs) {
        std::string name = a.parent_path() == work ? "corpus.arc" : a.filename().string();
        Timing ours = timeOurs(a, out);
        if (have("arc")) row(name, ours, "arc x", timePeer("timeout 60 arc x " + quoted(a), out));
        if (have("nomarch")) row(name, ours, "nomarch", timePeer("timeout 60 nomarch " + quoted(a), out));
    }
    fs::remove_all(work);
    return 0;
}
