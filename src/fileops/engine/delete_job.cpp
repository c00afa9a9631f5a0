#include "fileops/engine/delete_job.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fileops/engine/paths.h"

namespace kv::fileops {

namespace {
using Step = Asker::Step;

std::uint64_t countEntries(const std::string& path, const struct stat& st) {
    if (!S_ISDIR(st.st_mode)) return 1;
    std::uint64_t n = 1;
    DIR* d = ::opendir(path.c_str());
    if (!d) return n;
    while (dirent* e = ::readdir(d)) {
        const char* s = e->d_name;
        if (s[0] == '.' && (s[1] == 0 || (s[1] == '.' && s[2] == 0))) continue;
        const std::string child = joinPath(path, s);
        struct stat cs {};
        if (::lstat(child.c_str(), &cs) == 0) n += countEntries(child, cs);
    }
    ::closedir(d);
    return n;
}
DeleteJob::Status statusOf(Step s) {
    return s == Step::Cancel ? DeleteJob::Status::Cancelled : DeleteJob::Status::Skipped;
}
}  // namespace

JobResult DeleteJob::run(Decider& decider, Progress& progress) {
    JobResult result;
    Asker ask(decider, progress, result);
    ask_ = &ask;
    progress_ = &progress;
    std::vector<std::string> sources;
    for (const auto& s : request_.sources)
        if (!s.empty()) sources.push_back(absolutePath(s));
    std::vector<struct stat> stats(sources.size());
    std::vector<bool> present(sources.size(), false);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (::lstat(sources[i].c_str(), &stats[i]) != 0) {
            ask.refuse(sources[i], OpError{sources[i], "delete", errno, {}}.reason());
            continue;
        }
        present[i] = true;
        progress.addTotals(request_.toTrash ? 1 : countEntries(sources[i], stats[i]), 0);
    }
    for (std::size_t i = 0; i < sources.size() && !ask.cancelled(); ++i) {
        if (!present[i]) continue;
        if (sources[i] == "/") {
            ask.refuse(sources[i], "The root folder is never deleted");
            continue;
        }
        const Status s = request_.toTrash ? putInTrash(sources[i]) : remove(sources[i], stats[i]);
        if (s == Status::Cancelled) ask.setCancelled();
    }
    ask.finish();
    ask_ = nullptr;
    return result;
}

DeleteJob::Status DeleteJob::putInTrash(const std::string& path) {
    progress_->beginFile(path);
    // Never deleted for good instead: the user asked for the Trash.
    const Step step = ask_->until([&](OpError& e) {
        const TrashResult r = trash_.put(path);
        e = {path, "move to the Trash", r.error, {}};
        return r.ok;
    });
    if (step != Step::Go) return statusOf(step);
    progress_->fileDone();
    return Status::Done;
}

DeleteJob::Status DeleteJob::remove(const std::string& path, const struct stat& st) {
    if (ask_->cancelled()) return Status::Cancelled;
    progress_->beginFile(path);
    bool complete = true;
    if (S_ISDIR(st.st_mode)) {
        std::vector<std::string> names;
        const Step listed = ask_->until([&](OpError& err) {
            DIR* d = ::opendir(path.c_str());
            if (!d) return succeeded(-1, err, path, "read folder");
            names.clear();
            while (dirent* e = ::readdir(d)) {
                const char* s = e->d_name;
                if (s[0] == '.' && (s[1] == 0 || (s[1] == '.' && s[2] == 0))) continue;
                names.emplace_back(s);
            }
            ::closedir(d);
            return true;
        });
        if (listed != Step::Go) return statusOf(listed);
        for (const auto& n : names) {
            const std::string child = joinPath(path, n);
            struct stat cs {};
            if (::lstat(child.c_str(), &cs) != 0) continue;
            const Status s = remove(child, cs);
            if (s == Status::Cancelled) return s;
            if (s == Status::Skipped) complete = false;
        }
        if (!complete) return Status::Skipped;  // what could not go keeps its folder
    }
    const Step step = ask_->until([&](OpError& e) {
        const int rc = S_ISDIR(st.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
        return succeeded(rc != 0 && errno == ENOENT ? 0 : rc, e, path, "delete");
    });
    if (step != Step::Go) return statusOf(step);
    progress_->fileDone();
    return Status::Done;
}

}  // namespace kv::fileops
