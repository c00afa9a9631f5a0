#pragma once
// Search through a file for text (in the encoding it is viewed in, with or without case)
// or for hex bytes, forward or back, a chunk at a time with the chunks overlapping by the
// pattern's length, so a match across a chunk's edge is found. Runs on a worker thread
// (SearchWorker) with a progress count and a cancel flag the window shares.
//   SearchRequest r{.text = "error", .from = top};
//   SearchWorker w;
//   if (!w.start(fd, size, r, &error)) ...;  later: if (w.finished()) w.result();
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "viewers/view/text_encoding.h"

namespace kv::view {

struct SearchRequest {
    std::string text;  // UTF-8 text; with `hex`, hex digits in pairs ("4D 5A" or "4d5a")
    bool hex = false;
    bool matchCase = false;
    bool backward = false;
    Encoding encoding = Encoding::Utf8;
    // Forward: the first offset a match may start at. Back: matches start before it.
    std::uint64_t from = 0;
    // UTF-16 text matches start on a unit counted from `unitStart` (after the BOM).
    std::uint64_t unitStart = 0;
};

class SearchPattern {
public:
    // The bytes to look for; nothing, with `error` set, when the request cannot match
    // (no text, bad hex, a character the code page lacks).
    static std::optional<SearchPattern> compile(const SearchRequest& request, std::string* error);

    std::size_t maxLength() const { return maxLength_; }
    // Whether a run of NUL bytes (a hole in a sparse file) could hold a whole match.
    bool matchesZeros() const { return matchesZeros_; }
    // The first (last) match that starts in [from, to) within `bytes`; its length in
    // `length`. Answers SIZE_MAX when there is none.
    std::size_t findFirst(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to,
                          std::size_t* length) const;
    std::size_t findLast(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to,
                         std::size_t* length) const;

private:
    bool matchAt(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t* length) const;

    // Per character, its spellings in bytes (the character, its lower and upper case).
    std::vector<std::vector<std::string>> units_;
    std::string plain_;  // all of it when every character has one spelling
    bool isPlain_ = true;
    std::vector<std::uint8_t> firstBytes_;  // the bytes a match can start with
    std::array<bool, 256> isFirst_{};
    std::size_t maxLength_ = 0;
    std::size_t align_ = 1;
    std::uint64_t unitStart_ = 0;
    bool matchesZeros_ = false;
    friend struct SearchRun;
};

struct SearchProgress {
    std::atomic<std::uint64_t> done{0}, total{0};  // bytes
    std::atomic<bool> cancel{false};
};

struct SearchResult {
    enum class Outcome { Found, NotFound, Cancelled, Failed };
    Outcome outcome = Outcome::NotFound;
    std::uint64_t offset = 0, length = 0;
    std::string message;  // Failed: why
};

// Searches the open file `fd` of `size` bytes (read with pread; holes of a sparse file are
// skipped when no match can lie in one).
SearchResult searchFile(int fd, std::uint64_t size, const SearchPattern& pattern, const SearchRequest& request,
                        SearchProgress& progress, std::size_t chunk = 1 << 20);

// One search at a time on its own thread; the window polls finished() and progress().
class SearchWorker {
public:
    SearchWorker() = default;
    ~SearchWorker();  // cancels and waits
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    // Starts a search of the file open as `fd` (duplicated: the window may close its own).
    bool start(int fd, std::uint64_t size, const SearchRequest& request, std::string* error,
               std::size_t chunk = 1 << 20);
    bool running() const { return thread_.joinable() && !done_.load(std::memory_order_acquire); }
    bool finished() const { return thread_.joinable() && done_.load(std::memory_order_acquire); }
    // The outcome, once finished (joins the thread).
    SearchResult result();
    void cancel() { progress_.cancel.store(true); }
    const SearchProgress& progress() const { return progress_; }
    const SearchRequest& request() const { return request_; }

private:
    void stop();

    std::thread thread_;
    std::atomic<bool> done_{false};
    SearchProgress progress_;
    SearchRequest request_;
    SearchResult result_;
    int fd_ = -1;
};

}  // namespace kv::view
