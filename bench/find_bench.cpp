// The file search over a tree of 200 000 files: our name search against
// `find DIR -name '*.txt'` and our text search against `grep -rl TEXT DIR`. Prints times
// (median of five warm runs) and ratios (ours / theirs, under 1 is faster); the goals are
// names no slower than find and text no slower than 1.5 times grep. The window's names-only
// search leaves size and time to the rows it shows; the search that gives them with every
// result is timed against find with -printf of those.
//
//   find_bench [folder]   (default: kv-find-bench-tree under the temporary folder; the
//                          tree is made there unless the folder exists)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "search/engine/find_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFolders = 2000;        // 40 folders of 50 subfolders
constexpr int kFilesPerFolder = 100;  // 200 000 files
constexpr const char* kNeedle = "kvFindBenchNeedle";

double seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double median(const std::function<void()>& f) {
    f();  // warm the caches
    std::vector<double> v;
    for (int i = 0; i < 5; ++i) v.push_back(seconds(f));
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void makeTree(const std::string& dir) {
    std::printf("making %d files in %s ...\n", kFolders * kFilesPerFolder, dir.c_str());
    std::filesystem::create_directories(dir);
    const char* exts[] = {"txt", "dat", "cpp", "log"};
    std::string body(200, 'a');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + (i * 7) % 26);
    for (int d = 0; d < kFolders; ++d) {
        const std::string top = dir + "/g" + std::to_string(d / 50);
        const std::string sub = top + "/s" + std::to_string(d % 50);
        std::filesystem::create_directories(sub);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            const int n = d * kFilesPerFolder + i;
            const std::string name = sub + "/file" + std::to_string(n) + "." + exts[n % 4];
            const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0) continue;
            std::string text = body;
            if (n % 997 == 0) text += kNeedle;
            text += "\n";
            (void)!::write(fd, text.data(), text.size());
            ::close(fd);
        }
    }
}

std::size_t ours(const std::string& dir, const std::string& masks, const std::string& text,
                 bool withSizes = false) {
    kv::search::TFindQuery q;
    q.startDir = dir;
    q.masks = masks;
    q.text = text;
    q.withSizes = withSizes;  // the window's names-only search leaves them to the rows it shows
    return kv::search::findAll(q).size();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "kv-find-bench-tree").string();
    if (!std::filesystem::exists(dir)) makeTree(dir);
    const std::string q = "'" + dir + "'";

    std::size_t names = 0, texts = 0;
    const double oursNames = median([&] { names = ours(dir, "*.txt", ""); });
    const double findNames =
        median([&] { (void)!std::system(("find " + q + " -name '*.txt' >/dev/null").c_str()); });
    // With each result's size and time (a stat call that find -name never makes), against
    // find -printf of them: the same work.
    const double oursStat = median([&] { ours(dir, "*.txt", "", true); });
    const double findStat = median(
        [&] { (void)!std::system(("find " + q + " -name '*.txt' -printf '%s %T@\\n' >/dev/null").c_str()); });
    const double oursText = median([&] { texts = ours(dir, "*", kNeedle); });
    const double grepText = median(
        [&] { (void)!std::system(("grep -rl " + std::string(kNeedle) + " " + q + " >/dev/null").c_str()); });
    std::printf("names *.txt: ours %.3f s (%zu found), find -name %.3f s, ratio %.2f (goal <= 1)\n",
                oursNames, names, findNames, oursNames / findNames);
    std::printf("  with sizes: ours %.3f s, find -name -printf '%%s %%T@' %.3f s, ratio %.2f\n", oursStat,
                findStat, oursStat / findStat);
    std::printf("text:        ours %.3f s (%zu found), grep -rl   %.3f s, ratio %.2f (goal <= 1.5)\n",
                oursText, texts, grepText, oursText / grepText);
    return 0;
}
