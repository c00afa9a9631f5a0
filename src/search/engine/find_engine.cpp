#include "search/engine/find_engine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "archive/base/date_time.h"
#include "archive/base/extractor_factory.h"
#include "archive/kelmo/kelmo.h"
#include "panel/model/archive_folder.h"
#include "panel/model/mask.h"
#include "search/engine/text_needles.h"

namespace kv::search {
namespace {

constexpr std::size_t kBlock = 256 * 1024;
constexpr std::size_t kBatch = 256;
constexpr auto kBatchDelay = std::chrono::milliseconds(50);
// Deeper than this, a folder's descriptor is closed before its subfolders are walked (they
// are then opened by path), so a deep tree cannot run out of descriptors.
constexpr int kOpenDepth = 128;

// The text seen so far of one stream of blocks: keeps the last bytes of a block in front
// of the next, so a text cut across two blocks is still found.
class BlockSearch {
public:
    BlockSearch(const TTextNeedles& n, std::vector<char>& buf) : n_(n), buf_(buf) {
        if (buf_.size() < kBlock + n.longest()) buf_.resize(kBlock + n.longest());
    }
    // Room for the next bytes (at most kBlock).
    char* room() { return buf_.data() + keep_; }
    // The bytes put in room(): true when the text is found.
    bool add(std::size_t n) {
        const std::size_t have = keep_ + n;
        if (n_.foundIn(std::string_view(buf_.data(), have))) return true;
        const std::size_t tail = std::min(have, n_.longest() > 0 ? n_.longest() - 1 : 0);
        std::memmove(buf_.data(), buf_.data() + have - tail, tail);
        keep_ = tail;
        return false;
    }

private:
    const TTextNeedles& n_;
    std::vector<char>& buf_;
    std::size_t keep_ = 0;
};

}  // namespace

struct TFindEngine::Impl {
    TFindQuery q;
    TMaskList masks;
    TTextNeedles needles;
    bool wantText;
    const std::atomic<bool>* cancel = nullptr;
    TFindCounts* counts = nullptr;
    const Batch* onBatch = nullptr;
    std::vector<TFindResult> pending;
    std::chrono::steady_clock::time_point lastFlush;
    std::vector<char> block;
    std::vector<std::pair<dev_t, ino_t>> onPath;  // folders from the start to here
    std::string path;                             // the folder being walked ("" for the root)

    // Names matched without their text: their stat calls, which are what a name search
    // costs beyond reading the folders, run on a helper thread beside the walk.
    struct StatJob {
        int fd = -1;  // the folder, a descriptor of the job's own
        std::string dir;
        std::vector<std::string> names;
        std::vector<bool> isDir;
    };
    std::mutex resultsLock;  // pending, the batches and the count
    std::mutex jobsLock;
    std::condition_variable jobsReady;
    std::deque<StatJob> jobs;
    bool walkDone = false;
    std::thread statter;

    void statLoop() {
        for (;;) {
            StatJob job;
            {
                std::unique_lock lock(jobsLock);
                jobsReady.wait(lock, [this] { return !jobs.empty() || walkDone; });
                if (jobs.empty()) return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            for (std::size_t i = 0; i < job.names.size() && !cancelled(); ++i) {
                struct stat st;
                if (::fstatat(job.fd, job.names[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                const bool isDir = job.isDir[i];
                if (!limitsPass(isDir ? 0 : st.st_size, st.st_mtim.tv_sec, isDir)) continue;
                TFindResult r;
                r.path.reserve(job.dir.size() + 1 + job.names[i].size());
                r.path = job.dir;
                r.path += '/';
                r.path += job.names[i];
                r.size = isDir ? 0 : st.st_size;
                r.mtime = st.st_mtim.tv_sec;
                r.isDir = isDir;
                add(std::move(r));
            }
            ::close(job.fd);
        }
    }
    void submit(int fd, std::vector<std::string>&& names, std::vector<bool>&& isDir) {
        StatJob job;
        job.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (job.fd < 0) return;
        job.dir = path;
        job.names = std::move(names);
        job.isDir = std::move(isDir);
        {
            std::lock_guard lock(jobsLock);
            jobs.push_back(std::move(job));
        }
        jobsReady.notify_one();
    }
    void endStats() {
        {
            std::lock_guard lock(jobsLock);
            walkDone = true;
        }
        jobsReady.notify_one();
        if (statter.joinable()) statter.join();
        for (StatJob& j : jobs) ::close(j.fd);
        jobs.clear();
    }

    explicit Impl(TFindQuery query)
        : q(std::move(query)),
          masks(q.masks.empty() ? std::string_view("*") : std::string_view(q.masks)),
          needles(q.text, q.ignoreCase),
          wantText(!q.text.empty()) {}

    bool cancelled() const { return cancel->load(std::memory_order_relaxed); }

    void add(TFindResult&& r) {
        std::lock_guard lock(resultsLock);
        counts->matched.fetch_add(1, std::memory_order_relaxed);
        pending.push_back(std::move(r));
        if (pending.size() >= kBatch || std::chrono::steady_clock::now() - lastFlush >= kBatchDelay) flush();
    }
    // Called with resultsLock held, or once the helper has ended.
    void flush() {
        lastFlush = std::chrono::steady_clock::now();
        if (pending.empty()) return;
        (*onBatch)(std::move(pending));
        pending.clear();
    }

    // Names alone answer the query: no limits to check and no sizes wanted.
    const bool needStat = q.withSizes || q.minSize >= 0 || q.maxSize >= 0 ||
                          q.fromTime != std::numeric_limits<std::int64_t>::min() ||
                          q.toTime != std::numeric_limits<std::int64_t>::max();

    bool limitsPass(std::int64_t size, std::int64_t mtime, bool isDir) const {
        if (!isDir) {
            if (q.minSize >= 0 && size < q.minSize) return false;
            if (q.maxSize >= 0 && size > q.maxSize) return false;
        } else if (q.minSize > 0) {
            return false;  // a folder has no size to reach a lower limit with
        }
        return mtime >= q.fromTime && mtime <= q.toTime;
    }

    std::string full(const char* name) const {
        std::string p;
        p.reserve(path.size() + 1 + std::strlen(name));
        p = path;
        p += '/';
        p += name;
        return p;
    }

    // The text in an open regular file of `size` bytes, read block by block.
    bool fileHasText(int fd, off_t size) {
        if (size > static_cast<off_t>(kBlock)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        BlockSearch s(needles, block);
        for (;;) {
            if (cancelled()) return false;
            const ssize_t n = ::read(fd, s.room(), kBlock);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            if (s.add(static_cast<std::size_t>(n))) return true;
            // A regular file reads short only at its end: no further call to learn that.
            if (static_cast<std::size_t>(n) < kBlock) return false;
        }
    }

    void scanArchive(const std::string& file) {
        TKelmo list;
        list.ShowBlankDirs = true;
        list.setArchiveFile(file);
        if (!isRealArchive(list.ArcType())) return;
        struct Hit {
            std::string stored, inner;
            std::int64_t size, mtime;
            bool isDir;
        };
        std::vector<Hit> hits;
        std::string inner;
        list.OnRead = [&](TZipCommon& k, int64_t, int) {
            if (cancelled()) k.setCancel(true);
            bool dirMark = false;
            if (!archiveInnerPath(k.FileName, inner, dirMark)) return;
            const bool isDir = dirMark || k.IsDirectory;
            const std::size_t slash = inner.rfind('/');
            const std::string_view leaf = slash == std::string::npos
                                              ? std::string_view(inner)
                                              : std::string_view(inner).substr(slash + 1);
            if (!masks.Matches(leaf)) return;
            const auto size = static_cast<std::int64_t>(std::min<std::uint64_t>(k.UnpackedSize, INT64_MAX));
            const std::int64_t mtime = dateTimeToUnixTime(k.FileDate);
            if (!limitsPass(size, mtime, isDir) || (wantText && isDir)) return;
            hits.push_back({k.FileName, inner, size, mtime, isDir});
        };
        list.Activate();
        if (hits.empty() || cancelled()) return;
        std::unordered_set<std::string> found;
        if (wantText) {
            std::unique_ptr<TUnBase> x = makeExtractor(list.ArcType());
            if (!x) return;  // names can be listed, but no text can be read
            std::unordered_set<std::string> wanted;
            for (const Hit& h : hits) wanted.insert(h.stored);
            x->setArchiveFile(file);
            x->setExtractDir(std::string(file.substr(0, file.rfind('/') + 1)));
            std::string current;
            std::uint64_t decoded = 0;
            bool done = false;
            std::unique_ptr<BlockSearch> s;
            x->SelectEntry = [&](std::string& name) {
                if (cancelled() || !wanted.count(name)) return false;
                current = name;
                decoded = 0;
                done = false;
                s = std::make_unique<BlockSearch>(needles, block);
                return true;
            };
            x->Sink.scanner = [&](std::span<const std::uint8_t> data) -> std::size_t {
                if (done || cancelled()) return 0;
                for (std::size_t at = 0; at < data.size();) {
                    // Never more than the cap is looked at, whatever size the decoder's pieces are.
                    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(
                        std::min(kBlock, data.size() - at), q.entryTextCap - decoded));
                    std::memcpy(s->room(), data.data() + at, n);
                    at += n;
                    decoded += n;
                    if (s->add(n)) {
                        found.insert(current);
                        done = true;
                        return 0;  // found: the rest of this entry need not be decoded
                    }
                    if (decoded >= q.entryTextCap) {
                        done = true;
                        return 0;
                    }
                }
                return data.size();
            };
            x->Scan();
            if (cancelled()) return;
        }
        for (Hit& h : hits) {
            if (wantText && !found.count(h.stored)) continue;
            TFindResult r;
            r.path = file + "/" + h.inner;
            r.size = h.isDir ? 0 : h.size;
            r.mtime = h.mtime;
            r.isDir = h.isDir;
            r.archive = file;
            r.inner = std::move(h.inner);
            add(std::move(r));
        }
    }

    // An entry whose name matched: its limits, its text, and the result.
    void consider(int fd, const char* name, unsigned type, bool viaLink, const struct stat* known,
                  std::vector<std::string>& toStat, std::vector<bool>& toStatDir) {
        const bool isDir = type == DT_DIR;
        if (wantText && isDir) return;
        if (!wantText && !known && !needStat) {
            TFindResult r;
            r.path = full(name);
            r.size = r.mtime = -1;
            r.isDir = isDir;
            add(std::move(r));
            return;
        }
        if (!wantText && !known) {
            toStat.emplace_back(name);
            toStatDir.push_back(isDir);
            return;
        }
        struct stat st;
        if (wantText) {
            // Only regular files are opened: a fifo would wait for a writer, a device could be
            // anything. The kind is checked again on the open file, whose fstat also gives
            // the size and time (no separate stat by name).
            if (type != DT_REG) return;
            const int f =
                ::openat(fd, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (viaLink ? 0 : O_NOFOLLOW));
            if (f < 0) return;
            const bool take = ::fstat(f, &st) == 0 && S_ISREG(st.st_mode) &&
                              limitsPass(st.st_size, st.st_mtim.tv_sec, false) && fileHasText(f, st.st_size);
            ::close(f);
            if (!take) return;
        } else {
            if (known)
                st = *known;
            else if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            if (!limitsPass(isDir ? 0 : st.st_size, st.st_mtim.tv_sec, isDir)) return;
        }
        TFindResult r;
        r.path = full(name);
        r.size = isDir ? 0 : st.st_size;
        r.mtime = st.st_mtim.tv_sec;
        r.isDir = isDir;
        add(std::move(r));
    }

    // The folder open at `fd` (owned), whose path is in `path`.
    void walk(int fd, int depth) {
        counts->folders.fetch_add(1, std::memory_order_relaxed);
        DIR* d = ::fdopendir(fd);
        if (!d) {
            ::close(fd);
            return;
        }
        std::vector<std::pair<std::string, bool>> later;  // deep trees: (name, through a link)
        std::vector<std::string> toStat;
        std::vector<bool> toStatDir;
        while (const dirent* e = ::readdir(d)) {
            if (cancelled()) break;
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            unsigned type = e->d_type;
            struct stat st;
            bool haveStat = false;
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                haveStat = true;
                type = S_ISDIR(st.st_mode)   ? DT_DIR
                       : S_ISLNK(st.st_mode) ? DT_LNK
                       : S_ISREG(st.st_mode) ? DT_REG
                                             : DT_FIFO;
            }
            bool viaLink = false;
            if (type == DT_LNK && q.followLinks) {
                struct stat t;
                if (::fstatat(fd, name, &t, 0) == 0) {
                    st = t;
                    haveStat = true;
                    viaLink = true;
                    type = S_ISDIR(t.st_mode) ? DT_DIR : S_ISREG(t.st_mode) ? DT_REG : DT_FIFO;
                }
            }
            const bool isDir = type == DT_DIR;
            if (masks.matchesAll() || masks.Matches(name))
                consider(fd, name, type, viaLink, haveStat ? &st : nullptr, toStat, toStatDir);
            if (q.inArchives && type == DT_REG && archiveExtension(name)) scanArchive(full(name));
            if (!isDir) continue;
            if (depth >= kOpenDepth) {
                later.emplace_back(name, viaLink);
                continue;
            }
            const int sub =
                ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (viaLink ? 0 : O_NOFOLLOW));
            if (sub >= 0) enter(sub, name, depth);
        }
        if (!toStat.empty()) submit(fd, std::move(toStat), std::move(toStatDir));
        ::closedir(d);
        for (const auto& [name, viaLink] : later) {
            if (cancelled()) break;
            const int sub = ::open(full(name.c_str()).c_str(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC | (viaLink ? 0 : O_NOFOLLOW));
            if (sub >= 0) enter(sub, name.c_str(), depth);
        }
    }

    // Walks the subfolder open at `sub` unless it is one of the folders on the way here (a
    // link loop).
    void enter(int sub, const char* name, int depth) {
        struct stat ds;
        if (::fstat(sub, &ds) != 0 ||
            std::find(onPath.begin(), onPath.end(), std::make_pair(ds.st_dev, ds.st_ino)) != onPath.end()) {
            ::close(sub);
            return;
        }
        onPath.emplace_back(ds.st_dev, ds.st_ino);
        const std::size_t before = path.size();
        path += '/';
        path += name;
        walk(sub, depth + 1);
        path.resize(before);
        onPath.pop_back();
    }
};

TFindEngine::TFindEngine(TFindQuery query) : impl_(new Impl(std::move(query))) {}
TFindEngine::~TFindEngine() { delete impl_; }

bool TFindEngine::run(const std::atomic<bool>& cancel, TFindCounts& counts, const Batch& onBatch) {
    Impl& m = *impl_;
    m.cancel = &cancel;
    m.counts = &counts;
    m.onBatch = &onBatch;
    m.lastFlush = std::chrono::steady_clock::now();
    std::string start = m.q.startDir.empty() ? std::string("/") : m.q.startDir;
    while (start.size() > 1 && start.back() == '/') start.pop_back();
    const int fd = ::open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat ds;
    if (::fstat(fd, &ds) == 0) m.onPath.emplace_back(ds.st_dev, ds.st_ino);
    m.path = start == "/" ? std::string() : start;
    m.walkDone = false;
    if (!m.wantText) m.statter = std::thread([&m] { m.statLoop(); });
    m.walk(fd, 0);
    m.endStats();
    m.flush();
    m.onPath.clear();
    return true;
}

std::vector<TFindResult> findAll(const TFindQuery& query) {
    std::vector<TFindResult> out;
    std::atomic<bool> cancel{false};
    TFindCounts counts;
    TFindEngine e(query);
    e.run(cancel, counts, [&out](std::vector<TFindResult>&& b) {
        if (out.empty())
            out = std::move(b);
        else
            out.insert(out.end(), std::make_move_iterator(b.begin()), std::make_move_iterator(b.end()));
    });
    return out;
}

}  // namespace kv::search
