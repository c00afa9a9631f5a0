// A copy or move killed with SIGKILL at random moments (the engine in a child process):
// no file under a final target name may differ from its source, and no source may be lost.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <thread>

#include "engine_fixture.h"
#include "fileops/engine/leftovers.h"
#include "fileops/engine/transfer_job.h"

using namespace kvtest;
using kv::test::TempDir;

namespace {

// Contents follow from the name, so a check needs no copy of the source.
std::string contentFor(const std::string& name, std::size_t size) {
    std::string s(size, '\0');
    std::uint32_t h = 2166136261u;
    for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    for (std::size_t i = 0; i < size; ++i) {
        h = h * 1103515245u + 12345u;
        s[i] = static_cast<char>(h >> 16);
    }
    return s;
}

struct Expected {
    std::string rel;
    std::size_t size;
};

std::vector<Expected> makeSource(const std::string& root) {
    std::vector<Expected> files;
    for (int i = 0; i < 3; ++i) files.push_back({"src/big" + std::to_string(i), 3u << 20});
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < 60; ++i)
            files.push_back({"src/d" + std::to_string(d) + "/f" + std::to_string(i), 100u + 37u * i});
    for (const auto& f : files) {
        fs::create_directories(fs::path(root + "/" + f.rel).parent_path());
        std::ofstream(root + "/" + f.rel, std::ios::binary) << contentFor(f.rel, f.size);
    }
    return files;
}

std::string readAll(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the job in a child; kills it after `delay` (or lets it end). Answers every error with
// Skip and the first conflict with Overwrite all.
void runChild(const std::string& source, const std::string& target, bool move,
              std::chrono::microseconds delay, bool kill,
              std::chrono::seconds leftoverAge = kv::fileops::kLeftoverAge) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ScriptedDecider d;
        for (int i = 0; i < 1000; ++i) d.errorAnswers.push_back(Decision::Skip);
        d.conflictAnswers = {Decision::OverwriteAll};  // a run again meets what the killed one made
        TransferRequest r;
        r.sources = {source};
        r.target = target;
        r.move = move;
        r.leftoverAge = leftoverAge;
        TransferJob job(r);
        Progress p;
        job.run(d, p);
        ::_exit(0);
    }
    if (kill) {
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// Answers how many final files the target holds.
std::size_t checkAfterKill(const std::string& srcRoot, const std::string& dstRoot,
                           const std::vector<Expected>& files, bool move) {
    // Every name under the target that is not a temporary holds its source's bytes.
    std::size_t finalFiles = 0;
    if (fs::exists(dstRoot + "/src")) {
        for (auto it = fs::recursive_directory_iterator(dstRoot + "/src");
             it != fs::recursive_directory_iterator(); ++it) {
            if (!it->is_regular_file() || isTemporaryName(it->path().filename().string())) continue;
            const std::string rel = it->path().string().substr(dstRoot.size() + 1);
            std::size_t size = 0;
            bool known = false;
            for (const auto& f : files)
                if (f.rel == rel) size = f.size, known = true;
            EXPECT_TRUE(known) << "unexpected file " << rel;
            EXPECT_EQ(readAll(it->path().string()), contentFor(rel, size)) << "damaged target " << rel;
            ++finalFiles;
        }
    }
    // Every source is still there, whole, or (for a move) safe at its target.
    for (const auto& f : files) {
        const std::string src = srcRoot + "/" + f.rel, dst = dstRoot + "/" + f.rel;
        if (fs::exists(src)) {
            EXPECT_EQ(readAll(src), contentFor(f.rel, f.size)) << "damaged source " << f.rel;
        } else {
            EXPECT_TRUE(move) << "a copy lost its source " << f.rel;
            EXPECT_TRUE(fs::exists(dst)) << "lost " << f.rel;
        }
    }
    return finalFiles;
}

// A fresh source tree per round, copied from one made at the start.
std::vector<Expected> freshSource(const TempDir& round, const TempDir& model) {
    static std::vector<Expected> files;
    if (!fs::exists(model / "src")) files = makeSource(model.path());
    fs::copy(model / "src", round / "src", fs::copy_options::recursive);
    return files;
}

void killAtRandomMoments(bool move) {
    TempDir model;
    TinyTmpfs other("256m");  // a move across file systems when root, a rename otherwise
    std::mt19937 rng(20260);
    // One undisturbed run tells how long the job takes.
    std::chrono::microseconds span{};
    {
        TempDir s;
        const auto files = freshSource(s, model);
        const std::string dst = move && other.ok() ? other.path() : s.dir("dst");
        const auto t0 = std::chrono::steady_clock::now();
        runChild(s / "src", dst, move, {}, false);
        span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
        checkAfterKill(s.path(), dst, files, move);
        for (const auto& f : files)
            ASSERT_TRUE(fs::exists(dst + "/" + f.rel)) << "the undisturbed run is complete";
        if (move && other.ok()) fs::remove_all(dst + "/src");
    }
    int interrupted = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempDir s;
        const auto files = freshSource(s, model);
        const std::string dst = move && other.ok() ? other.path() : s.dir("dst");
        const auto delay = std::chrono::microseconds(
            std::uniform_int_distribution<long>(0, static_cast<long>(span.count()))(rng));
        runChild(s / "src", dst, move, delay, true);
        if (checkAfterKill(s.path(), dst, files, move) < files.size())
            ++interrupted;
        else  // the job was done before the kill: the machine is faster now than when timed
            span = span * 3 / 4;
        // Run again (taking any unheld temporary as left over): it ends the work, leaves none
        // of the killed job's temporaries, and every folder has its source's mode.
        const auto leftovers = temporariesIn(dst);
        runChild(s / "src", dst, move, {}, false, std::chrono::seconds(0));
        checkAfterKill(s.path(), dst, files, move);
        for (const auto& f : files) EXPECT_TRUE(fs::exists(dst + "/" + f.rel)) << "not finished " << f.rel;
        EXPECT_EQ(temporariesIn(dst), std::vector<std::string>{})
            << "of " << leftovers.size() << " left over";
        for (const char* folder : {"src", "src/d0", "src/d3"}) {
            struct stat want {
            }, got{};
            ASSERT_EQ(::stat((model / folder).c_str(), &want), 0);
            ASSERT_EQ(::stat((dst + "/" + folder).c_str(), &got), 0);
            EXPECT_EQ(got.st_mode & 07777, want.st_mode & 07777) << folder;
        }
        if (move && other.ok()) fs::remove_all(dst + "/src");
    }
    // The moments must fall inside the work, or the test shows nothing.
    EXPECT_GE(interrupted, 5);
}

}  // namespace

TEST(KilledJob, ACopyNeverLeavesADamagedTargetOrLosesASource) { killAtRandomMoments(false); }

TEST(KilledJob, AMoveNeverLeavesADamagedTargetOrLosesASource) { killAtRandomMoments(true); }
