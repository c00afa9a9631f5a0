#pragma once
// Helpers of the engine tests: a scripted decider, a host that runs jobs on the calling
// thread, a snapshot of a tree to compare copies with, and a small tmpfs for root runs.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fileops/engine/decider.h"
#include "fileops/engine/paths.h"
#include "fileops/engine/shell_ops.h"
#include "support/temp_dir.h"

namespace kvtest {

namespace fs = std::filesystem;
using namespace kv::fileops;

// Answers from a list; an unexpected question cancels (and the test sees it in `asked`).
class ScriptedDecider : public Decider {
public:
    std::deque<Decision> conflictAnswers, errorAnswers;
    std::vector<Conflict> conflicts;
    std::vector<OpError> errors;

    Decision conflict(const Conflict& c) override {
        conflicts.push_back(c);
        return pop(conflictAnswers);
    }
    Decision error(const OpError& e) override {
        errors.push_back(e);
        return pop(errorAnswers);
    }

private:
    static Decision pop(std::deque<Decision>& q) {
        if (q.empty()) return Decision::Cancel;
        const Decision d = q.front();
        q.pop_front();
        return d;
    }
};

class DirectHost : public FileOpHost {
public:
    explicit DirectHost(Decider& d) : decider_(d) {}
    JobResult runJob(Job& job) override {
        Progress p;
        return job.run(decider_, p);
    }

private:
    Decider& decider_;
};

// One entry of a tree as a copy must keep it.
struct Node {
    char kind = '?';  // f file, d folder, l link, p fifo
    mode_t mode = 0;
    std::int64_t mtime = 0;
    std::string data;  // file contents or link target
    bool operator==(const Node&) const = default;
};

inline std::map<std::string, Node> snapshot(const std::string& root, bool withFolderTimes = true) {
    std::map<std::string, Node> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string p = it->path().string();
        struct stat st {};
        ::lstat(p.c_str(), &st);
        Node n;
        n.mode = st.st_mode & 07777;
        n.mtime = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        if (S_ISDIR(st.st_mode)) {
            n.kind = 'd';
            if (!withFolderTimes) n.mtime = 0;
        } else if (S_ISLNK(st.st_mode)) {
            n.kind = 'l';
            n.mode = 0;
            n.data = fs::read_symlink(p).string();
        } else if (S_ISFIFO(st.st_mode)) {
            n.kind = 'p';
        } else if (S_ISREG(st.st_mode)) {
            n.kind = 'f';
            std::ifstream in(p, std::ios::binary);
            n.data.assign(std::istreambuf_iterator<char>(in), {});
        }
        out[p.substr(root.size())] = n;
    }
    return out;
}

inline void setTimes(const std::string& p, std::int64_t sec) {
    const timespec t[2] = {{sec, 123456789}, {sec, 987654321}};
    ::utimensat(AT_FDCWD, p.c_str(), t, AT_SYMLINK_NOFOLLOW);
}

// Names in a folder that look like our temporaries (none may stay after a job).
inline std::vector<std::string> temporariesIn(const std::string& dir) {
    std::vector<std::string> out;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it)
        if (isTemporaryName(it->path().filename().string())) out.push_back(it->path().string());
    return out;
}

// A tmpfs of `size` mounted on a fresh folder (root only); empty path when it cannot be made.
class TinyTmpfs {
public:
    explicit TinyTmpfs(const std::string& size) {
        if (::geteuid() != 0) return;
        if (::mount("kvtest", dir_.path().c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0)
            mounted_ = true;
    }
    ~TinyTmpfs() {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    bool ok() const { return mounted_; }
    const std::string& path() const { return dir_.path(); }

private:
    kv::test::TempDir dir_{"kv_tmpfs"};
    bool mounted_ = false;
};

}  // namespace kvtest
