#include "viewers/view/view_search.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kv::view {

namespace {

constexpr std::size_t kNone = SIZE_MAX;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> parseHex(const std::string& text, std::string* error) {
    std::string out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',') continue;
        const int v = hexValue(c);
        if (v < 0) {
            *error = std::string("\"") + c + "\" is not a hex digit";
            return std::nullopt;
        }
        if (high < 0) {
            high = v;
        } else {
            out += static_cast<char>(high << 4 | v);
            high = -1;
        }
    }
    if (high >= 0) {
        *error = "Hex bytes need two digits each";
        return std::nullopt;
    }
    return out;
}

}  // namespace

std::optional<SearchPattern> SearchPattern::compile(const SearchRequest& request, std::string* error) {
    SearchPattern p;
    std::string dummy;
    if (!error) error = &dummy;
    if (request.text.empty()) {
        *error = "Nothing to search for";
        return std::nullopt;
    }
    if (request.hex) {
        auto bytes = parseHex(request.text, error);
        if (!bytes) return std::nullopt;
        if (bytes->empty()) {
            *error = "Nothing to search for";
            return std::nullopt;
        }
        for (char c : *bytes) p.units_.push_back({std::string(1, c)});
    } else {
        const std::span<const std::uint8_t> t(reinterpret_cast<const std::uint8_t*>(request.text.data()),
                                              request.text.size());
        for (std::size_t i = 0; i < t.size();) {
            const Decoded d = decodeAt(Encoding::Utf8, t, i);
            i += d.length;
            std::vector<std::string> spellings;
            auto add = [&](char32_t cp) {
                std::string s = encodeChar(request.encoding, cp);
                if (!s.empty() && std::find(spellings.begin(), spellings.end(), s) == spellings.end())
                    spellings.push_back(std::move(s));
            };
            add(d.cp);
            if (!request.matchCase) {
                add(lowerCase(d.cp));
                add(upperCase(d.cp));
            }
            if (spellings.empty()) {
                *error = "The text has a character that " + std::string(encodingName(request.encoding)) +
                         " cannot hold";
                return std::nullopt;
            }
            p.units_.push_back(std::move(spellings));
        }
        p.align_ = unitBytes(request.encoding);
        p.unitStart_ = request.unitStart;
    }
    p.matchesZeros_ = true;
    for (const auto& unit : p.units_) {
        std::size_t longest = 0;
        bool zeros = false;
        for (const std::string& s : unit) {
            longest = std::max(longest, s.size());
            zeros = zeros || s.find_first_not_of('\0') == std::string::npos;
            if (!p.isFirst_[static_cast<std::uint8_t>(s[0])] && &unit == &p.units_.front()) {
                p.isFirst_[static_cast<std::uint8_t>(s[0])] = true;
                p.firstBytes_.push_back(static_cast<std::uint8_t>(s[0]));
            }
        }
        p.matchesZeros_ = p.matchesZeros_ && zeros;
        p.maxLength_ += longest;
        if (unit.size() > 1) p.isPlain_ = false;
        p.plain_ += unit.front();
    }
    return p;
}

bool SearchPattern::matchAt(std::span<const std::uint8_t> b, std::size_t at, std::size_t* length) const {
    // The spellings of one character never begin one another (each encoding is prefix-free),
    // so the first that fits is the only one that can.
    std::size_t p = at;
    for (const auto& unit : units_) {
        bool matched = false;
        for (const std::string& s : unit) {
            if (b.size() - p >= s.size() && std::memcmp(b.data() + p, s.data(), s.size()) == 0) {
                p += s.size();
                matched = true;
                break;
            }
        }
        if (!matched) return false;
    }
    *length = p - at;
    return true;
}

std::size_t SearchPattern::findFirst(std::span<const std::uint8_t> b, std::size_t from, std::size_t to,
                                     std::size_t* length) const {
    to = std::min(to, b.size());
    auto aligned = [this](std::size_t i) { return align_ == 1 || (i + unitStart_) % align_ == 0; };
    if (isPlain_) {
        // memmem needs the whole match inside what it is given.
        while (from < to) {
            const void* hit =
                ::memmem(b.data() + from, b.size() - from, plain_.data(), plain_.size());
            if (!hit) return kNone;
            const std::size_t i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - b.data());
            if (i >= to) return kNone;
            if (aligned(i)) {
                *length = plain_.size();
                return i;
            }
            from = i + 1;
        }
        return kNone;
    }
    if (firstBytes_.size() <= 2) {
        // One memchr cursor per byte a match can start with (a letter and its other case).
        std::size_t next[2] = {kNone, kNone};
        auto advance = [&](int k, std::size_t start) {
            const void* hit = start < to ? std::memchr(b.data() + start, firstBytes_[k], to - start) : nullptr;
            next[k] = hit ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - b.data()) : kNone;
        };
        for (std::size_t k = 0; k < firstBytes_.size(); ++k) advance(static_cast<int>(k), from);
        for (;;) {
            const int k = firstBytes_.size() == 2 && next[1] < next[0] ? 1 : 0;
            const std::size_t i = next[k];
            if (i == kNone) return kNone;
            if (aligned(i) && matchAt(b, i, length)) return i;
            advance(k, i + 1);
        }
    }
    for (std::size_t i = from; i < to; ++i)
        if (isFirst_[b[i]] && aligned(i) && matchAt(b, i, length)) return i;
    return kNone;
}

std::size_t SearchPattern::findLast(std::span<const std::uint8_t> b, std::size_t from, std::size_t to,
                                    std::size_t* length) const {
    std::size_t last = kNone, len = 0;
    for (std::size_t i; (i = findFirst(b, from, to, &len)) != kNone; from = i + 1) {
        last = i;
        *length = len;
    }
    return last;
}

SearchResult searchFile(int fd, std::uint64_t size, const SearchPattern& pattern, const SearchRequest& request,
                        SearchProgress& progress, std::size_t chunk) {
    SearchResult r;
    chunk = std::max<std::size_t>(chunk, 1);
    const std::size_t overlap = pattern.maxLength() - 1;
    std::vector<std::uint8_t> buf(chunk + overlap);
    auto readAt = [&](std::uint64_t offset, std::size_t want) -> std::optional<std::size_t> {
        std::size_t have = 0;
        while (have < want) {
            const ssize_t n = ::pread(fd, buf.data() + have, want - have, static_cast<off_t>(offset + have));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                r.outcome = SearchResult::Outcome::Failed;
                r.message = std::strerror(errno);
                return std::nullopt;
            }
            if (n == 0) break;
            have += static_cast<std::size_t>(n);
        }
        return have;
    };
    auto cancelled = [&] {
        if (!progress.cancel.load(std::memory_order_relaxed)) return false;
        r.outcome = SearchResult::Outcome::Cancelled;
        return true;
    };
    std::size_t length = 0;
    if (!request.backward) {
        std::uint64_t pos = std::min(request.from, size);
        progress.total.store(size - pos);
        const std::uint64_t first = pos;
        while (pos < size) {
            if (cancelled()) return r;
            if (!pattern.matchesZeros()) {
                // A hole reads as zeros: no match lies wholly in one, so reading resumes
                // just before the next data (a match may start in the hole's last bytes).
                const off_t data = ::lseek(fd, static_cast<off_t>(pos), SEEK_DATA);
                if (data < 0 && errno == ENXIO) break;
                if (data > 0 && static_cast<std::uint64_t>(data) > pos + overlap)
                    pos = static_cast<std::uint64_t>(data) - overlap;
            }
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk + overlap, size - pos));
            const auto got = readAt(pos, want);
            if (!got) return r;
            if (*got == 0) break;
            const std::span<const std::uint8_t> b(buf.data(), *got);
            const std::size_t i = pattern.findFirst(b, 0, std::min(chunk, *got), &length);
            if (i != kNone) {
                r.outcome = SearchResult::Outcome::Found;
                r.offset = pos + i;
                r.length = length;
                return r;
            }
            pos += std::min(chunk, *got);
            progress.done.store(pos - first, std::memory_order_relaxed);
        }
        return r;
    }
    std::uint64_t hi = std::min(request.from, size);
    progress.total.store(hi);
    const std::uint64_t first = hi;
    while (hi > 0) {
        if (cancelled()) return r;
        const std::uint64_t lo = hi > chunk ? hi - chunk : 0;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(hi - lo + overlap, size - lo));
        const auto got = readAt(lo, want);
        if (!got) return r;
        const std::span<const std::uint8_t> b(buf.data(), *got);
        const std::size_t i = pattern.findLast(b, 0, static_cast<std::size_t>(hi - lo), &length);
        if (i != kNone) {
            r.outcome = SearchResult::Outcome::Found;
            r.offset = lo + i;
            r.length = length;
            return r;
        }
        hi = lo;
        progress.done.store(first - hi, std::memory_order_relaxed);
    }
    return r;
}

SearchWorker::~SearchWorker() { stop(); }

void SearchWorker::stop() {
    if (thread_.joinable()) {
        progress_.cancel.store(true);
        thread_.join();
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool SearchWorker::start(int fd, std::uint64_t size, const SearchRequest& request, std::string* error,
                         std::size_t chunk) {
    stop();
    auto pattern = SearchPattern::compile(request, error);
    if (!pattern) return false;
    fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    request_ = request;
    progress_.cancel.store(false);
    progress_.done.store(0);
    progress_.total.store(0);
    done_.store(false);
    thread_ = std::thread([this, size, chunk, pattern = std::move(*pattern)] {
        result_ = searchFile(fd_, size, pattern, request_, progress_, chunk);
        done_.store(true, std::memory_order_release);
    });
    return true;
}

SearchResult SearchWorker::result() {
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return result_;
}

}  // namespace kv::view
