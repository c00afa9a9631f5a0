#include "fileops/compare/folder_compare.h"

#include <algorithm>
#include <unordered_map>

#include "fileops/engine/paths.h"
#include "platform/file_contents.h"

namespace kv::fileops {

CompareResult compareFolders(const std::vector<CompareItem>& left, const std::vector<CompareItem>& right,
                             const CompareOptions& options) {
    CompareResult r;
    std::unordered_map<std::string, const CompareItem*> rightByName;
    rightByName.reserve(right.size());
    for (const CompareItem& it : right)
        if (it.name != "..") rightByName.emplace(it.name, &it);
    // What reading the contents will take, for the progress.
    std::int64_t total = 0, done = 0;
    if (options.contents && options.progress)
        for (const CompareItem& l : left)
            if (const auto it = rightByName.find(l.name);
                it != rightByName.end() && !l.isDir && !it->second->isDir && l.size == it->second->size)
                total += 2 * l.size;
    const auto block = [&](std::int64_t bytes) {
        done += bytes;
        return options.progress(done, total);
    };
    std::unordered_map<std::string, bool> seenOnLeft;
    for (const CompareItem& l : left) {
        if (r.cancelled) break;
        if (l.name == "..") continue;
        seenOnLeft.emplace(l.name, true);
        const auto found = rightByName.find(l.name);
        if (found == rightByName.end()) {
            r.left.push_back(l.name);
            ++r.leftOnly;
            continue;
        }
        const CompareItem& rt = *found->second;
        if (l.isDir || rt.isDir) {
            if (l.isDir && rt.isDir)
                ++r.same;
            else
                ++r.clashes;
            continue;
        }
        const std::int64_t dt = l.mtime - rt.mtime;
        const int newer = dt > options.dateSlack ? -1 : dt < -options.dateSlack ? 1 : 0;  // -1 left, 1 right
        bool differs = l.size != rt.size;
        if (!differs && options.contents) {
            if (!l.regular || !rt.regular) {
                r.errors.push_back(l.name + ": not a regular file");
                continue;
            }
            std::string error;
            const bool same = platform::sameFileContents(
                joinPath(options.leftDir, l.name), joinPath(options.rightDir, rt.name), error,
                options.progress ? std::function<bool(std::int64_t)>(block) : nullptr, &r.cancelled);
            if (r.cancelled) break;
            if (!error.empty()) {
                r.errors.push_back(error);
                continue;
            }
            differs = !same;
            if (!differs) {
                ++r.same;
                continue;
            }
        }
        if (newer < 0) {
            r.left.push_back(l.name);
            ++r.leftNewer;
        } else if (newer > 0) {
            r.right.push_back(rt.name);
            ++r.rightNewer;
        } else if (differs) {
            r.left.push_back(l.name);
            r.right.push_back(rt.name);
            ++r.differ;
        } else {
            ++r.same;
        }
    }
    for (const CompareItem& rt : right) {
        if (r.cancelled) break;
        if (rt.name == ".." || seenOnLeft.count(rt.name)) continue;
        r.right.push_back(rt.name);
        ++r.rightOnly;
    }
    return r;
}

std::string CompareResult::summary() const {
    std::string s = "Left: " + std::to_string(left.size()) +
                    " to copy, right: " + std::to_string(right.size()) + " to copy; " + std::to_string(same) +
                    " the same";
    if (differ) s += ", " + std::to_string(differ) + " differ at the same time";
    if (clashes) s += ", " + std::to_string(clashes) + " file/folder clash(es)";
    if (!errors.empty()) s += ", " + std::to_string(errors.size()) + " could not be read";
    return s;
}

}  // namespace kv::fileops
