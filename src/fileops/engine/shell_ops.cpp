#include "fileops/engine/shell_ops.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

#include "fileops/engine/delete_job.h"
#include "fileops/engine/paths.h"
#include "fileops/engine/transfer_job.h"

namespace kv::fileops {

std::string zeroList(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), ';', '\0');
    // The extra zero after the last name; the second is the list's own end.
    out.append(2, '\0');
    return out;
}

std::vector<std::string> splitZeroList(const std::string& list) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end = list.find('\0', at);
        const std::size_t stop = end == std::string::npos ? list.size() : end;
        if (stop > at) names.push_back(list.substr(at, stop - at));
        at = stop + 1;
    }
    return names;
}

std::vector<std::string> expandWildcards(const std::vector<std::string>& names, bool filesOnly) {
    std::vector<std::string> out;
    for (const auto& n : names) {
        const std::string pattern = baseName(n);
        if (pattern.find_first_of("*?") == std::string::npos) {
            out.push_back(n);
            continue;
        }
        const std::string dir = parentPath(n);
        std::vector<std::string> found;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name == "." || name == ".." || ::fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) != 0)
                    continue;
                const std::string p = n.find('/') == std::string::npos ? name : joinPath(dir, name);
                struct stat st {};
                if (filesOnly && ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
                found.push_back(p);
            }
            ::closedir(d);
        }
        std::sort(found.begin(), found.end());
        out.insert(out.end(), found.begin(), found.end());
    }
    return out;
}

int SHFileOperation(ShellRequest& r) {
    r.anyOperationsAborted = false;
    r.result = {};
    if (!r.owner) return 1;
    const auto sources = expandWildcards(splitZeroList(r.from), r.flags & FOF_FILESONLY);
    if (sources.empty()) return 2;  // nothing matched: nothing to do is not a success
    JobResult result;
    if (r.operation == FO_DELETE) {
        DeleteJob job({sources, (r.flags & FOF_ALLOWUNDO) != 0});
        result = r.owner->runJob(job);
    } else if (r.operation == FO_COPY || r.operation == FO_MOVE) {
        const auto targets = splitZeroList(r.to);
        if (targets.empty()) return 3;
        TransferRequest t;
        t.sources = sources;
        t.target = targets.front();
        t.move = r.operation == FO_MOVE;
        t.noConfirm = r.flags & FOF_NOCONFIRMATION;
        t.renameOnCollision = r.flags & FOF_RENAMEONCOLLISION;
        TransferJob job(std::move(t));
        result = r.owner->runJob(job);
    } else {
        return 4;
    }
    r.anyOperationsAborted = result.outcome == Outcome::Cancelled;
    const int rc = result.outcome == Outcome::Failed ? 5 : 0;
    r.result = std::move(result);
    return rc;
}

namespace {
ShellResult send(FileOpHost& owner, unsigned op, std::string_view source, std::string_view target,
                 unsigned flags) {
    ShellRequest r;
    r.owner = &owner;
    r.operation = op;
    r.from = zeroList(source);
    r.to = op == FO_DELETE ? std::string() : zeroList(target);
    r.flags = flags;
    ShellResult out;
    out.ok = SHFileOperation(r) == 0;
    out.aborted = r.anyOperationsAborted;
    out.job = std::move(r.result);
    return out;
}
}  // namespace

ShellResult ShellCopy(FileOpHost& owner, std::string_view source, std::string_view target, int confirm,
                      int rename) {
    unsigned flags = FOF_ALLOWUNDO | FOF_FILESONLY;
    if (rename) flags |= FOF_RENAMEONCOLLISION;
    if (confirm == 0) flags |= FOF_NOCONFIRMATION;
    return send(owner, FO_COPY, source, target, flags);
}

ShellResult ShellMove(FileOpHost& owner, std::string_view source, std::string_view target, int noconfirm,
                      int rename) {
    unsigned flags = FOF_ALLOWUNDO | FOF_FILESONLY;
    if (rename) flags |= FOF_RENAMEONCOLLISION;
    if (noconfirm == 1) flags |= FOF_NOCONFIRMATION;
    return send(owner, FO_MOVE, source, target, flags);
}

ShellResult ShellDelete(FileOpHost& owner, std::string_view source, int recycle, int confirm) {
    unsigned flags = confirm == 0 ? unsigned{FOF_NOCONFIRMATION} : 0u;
    flags |= recycle ? FOF_ALLOWUNDO | FOF_FILESONLY : FOF_FILESONLY;
    return send(owner, FO_DELETE, source, {}, flags);
}

}  // namespace kv::fileops
