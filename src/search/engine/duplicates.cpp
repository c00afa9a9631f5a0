#include "search/engine/duplicates.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>

#include "platform/file_contents.h"

namespace kv::search {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

// A 64-bit hash of 8-byte words (mixing as in splitmix64); the tail goes in byte by byte.
struct Hash {
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    static std::uint64_t mix(std::uint64_t x) {
        x ^= x >> 30;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 27;
        x *= 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }
    void add(const unsigned char* p, std::size_t n) {
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            h = mix(h ^ w) + 0x632BE59BD9B4E019ull;
        }
        for (; i < n; ++i) h = mix(h ^ p[i]);
    }
};

// Hash of the first `limit` bytes (all of them for UINT64_MAX); nothing when unreadable.
std::optional<std::uint64_t> hashOf(const std::string& path, std::uint64_t limit,
                                    std::vector<unsigned char>& buf, const std::atomic<bool>& cancel) {
    std::string error;
    const int fd = platform::openRegularFile(path, error);
    if (fd < 0) return std::nullopt;
    Hash h;
    std::uint64_t done = 0;
    bool ok = true;
    while (done < limit) {
        if (cancel.load(std::memory_order_relaxed)) {
            ok = false;
            break;
        }
        const ssize_t n =
            ::read(fd, buf.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, limit - done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        h.add(buf.data(), static_cast<std::size_t>(n));
        done += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return h.h;
}

bool sameContent(const std::string& a, const std::string& b, const std::atomic<bool>& cancel) {
    std::string error;
    return platform::sameFileContents(a, b, error,
                                      [&cancel](std::int64_t) { return !cancel.load(std::memory_order_relaxed); });
}

// Splits one set of candidates by a hash; answers the buckets of two or more.
std::vector<std::vector<const TFindResult*>> splitBy(const std::vector<const TFindResult*>& set,
                                                     std::uint64_t limit, std::vector<unsigned char>& buf,
                                                     const std::atomic<bool>& cancel) {
    std::map<std::uint64_t, std::vector<const TFindResult*>> by;
    for (const TFindResult* r : set) {
        if (cancel.load(std::memory_order_relaxed)) break;
        if (auto h = hashOf(r->path, limit, buf, cancel)) by[*h].push_back(r);
    }
    std::vector<std::vector<const TFindResult*>> out;
    for (auto& [h, v] : by)
        if (v.size() > 1) out.push_back(std::move(v));
    return out;
}

}  // namespace

std::vector<std::vector<TFindResult>> findDuplicates(const std::vector<TFindResult>& files,
                                                     const std::atomic<bool>& cancel) {
    std::map<std::int64_t, std::vector<const TFindResult*>> bySize;
    for (const TFindResult& r : files)
        if (!r.isDir && !r.inArchive() && r.size > 0) bySize[r.size].push_back(&r);
    std::vector<unsigned char> buf(kBlock);
    std::vector<std::vector<TFindResult>> groups;
    for (auto& [size, set] : bySize) {
        if (set.size() < 2) continue;
        // The same path twice (a file found through a link and directly) is one file.
        std::sort(set.begin(), set.end(), [](auto* a, auto* b) { return a->path < b->path; });
        set.erase(std::unique(set.begin(), set.end(), [](auto* a, auto* b) { return a->path == b->path; }),
                  set.end());
        if (set.size() < 2) continue;
        for (auto& first : splitBy(set, kBlock, buf, cancel)) {
            auto whole = static_cast<std::uint64_t>(size) <= kBlock
                             ? std::vector<std::vector<const TFindResult*>>{first}
                             : splitBy(first, UINT64_MAX, buf, cancel);
            for (auto& same : whole) {
                // Equal hashes, then equal bytes: each file joins the first group it equals.
                std::vector<std::vector<const TFindResult*>> exact;
                for (const TFindResult* r : same) {
                    bool placed = false;
                    for (auto& g : exact)
                        if (!placed && sameContent(g.front()->path, r->path, cancel)) {
                            g.push_back(r);
                            placed = true;
                        }
                    if (!placed) exact.push_back({r});
                }
                for (auto& g : exact) {
                    if (g.size() < 2) continue;
                    std::vector<TFindResult> out;
                    for (const TFindResult* r : g) out.push_back(*r);
                    groups.push_back(std::move(out));
                }
            }
        }
        if (cancel.load(std::memory_order_relaxed)) break;
    }
    std::sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
        if (a.front().size != b.front().size) return a.front().size > b.front().size;
        return a.front().path < b.front().path;
    });
    return groups;
}

}  // namespace kv::search
