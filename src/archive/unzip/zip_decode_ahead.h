// Deflated ZIP entries decoded ahead of the extraction, on worker threads: while the job
// writes one entry, the workers decode the next ones into memory in directory order. The
// job still takes every entry in its own order and through its own checks; an entry the
// workers did not decode (encrypted, not deflated, too large, or simply not reached yet)
// is decoded by the job as before. A job that would wait for a worker still on its entry
// decodes the next entry the workers would take instead. Memory is bounded: each entry
// held ahead declares at most kMaxEntry bytes (and no more than deflate can give from its
// packed size), and all of them together at most kMaxHeld (plus one entry the job took).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/buffer_pool.h"
#include "archive/codec/codec_result.h"
#include "archive/formats/zip/zip_directory.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

class ZipDecodeAhead {
public:
    static constexpr uint64_t kMaxEntry = 8u << 20;
    static constexpr uint64_t kMaxHeld = 32u << 20;
    static constexpr uint64_t kMaxAhead = 1024;  // entries past the one being taken
    static_assert(kMaxEntry <= kMaxHeld / 2, "an entry fits once half the window is free");

    struct Decoded {
        uint64_t dataPos = 0;  // where the worker found the entry's data
        BufferPool::Buffer bytes;  // from the job's pool, not zeroed: result.output of them are set
        uint32_t crc = 0;          // of those bytes
        codec::Result result;
    };

    // Workers for this machine: half the cores (at least one beside the job, at most four),
    // the rest placing files; none on one core or when KV_EXTRACT_THREADS is 1.
    static unsigned workersForThisMachine();
    unsigned workers() const { return unsigned(workers_.size()); }

    // The entry's name as the job presents it, to skip the entries `fileSpec` leaves out.
    using NameOf = std::function<std::string(const ZipCentralRecord&)>;

    ZipDecodeAhead(const ArcFile& file, const ZipDirectory& dir, std::string fileSpec, NameOf nameOf,
                   unsigned workers, BufferPool& pool);
    ~ZipDecodeAhead();
    ZipDecodeAhead(const ZipDecodeAhead&) = delete;
    ZipDecodeAhead& operator=(const ZipDecodeAhead&) = delete;

    // The entry at directory position `index` (0 first), once a worker has decoded it
    // (waits while one is at it): true and `out` filled. False when the caller decodes it
    // itself; no worker starts on it or on anything before it after that.
    bool take(uint64_t index, Decoded& out);

private:
    struct Slot {
        bool done = false;
        uint64_t declared = 0;
        Decoded decoded;
    };
    // An entry claimed for decoding ahead, by a worker or by the job while it would wait.
    struct Claim {
        uint64_t index = 0, localOffset = 0, packed = 0, size = 0;
    };
    void work();
    // The next entry to decode ahead: false when there is none, or at stop. A worker
    // (mayWait) waits for room in the window; the job does not.
    bool claim(std::unique_lock<std::mutex>& lock, bool mayWait, Claim& c);
    // Decodes it outside the lock, reading through the caller's input chunk, and hands it to
    // its slot.
    void decodeClaimed(std::unique_lock<std::mutex>& lock, const Claim& c, std::vector<uint8_t>& input);
    // A worker that finds the window full waits until the job has taken half of it, so it
    // is woken once per stretch of entries rather than once per entry.
    bool roomy() const;
    void wakeIfRoomy();
    void waitForRoom(std::unique_lock<std::mutex>& lock);
    void decode(uint64_t localOffset, uint64_t packed, uint64_t size, std::vector<uint8_t>& input,
                Decoded& out) const;

    const ArcFile& file_;
    const ZipDirectory& dir_;
    BufferPool& pool_;
    const std::string fileSpec_;
    const NameOf nameOf_;
    std::mutex mutex_;
    std::condition_variable room_;  // workers wait here for the window to empty
    std::condition_variable done_;  // the job waits here for the entry a worker is on
    unsigned waitingForRoom_ = 0;
    std::map<uint64_t, Slot> slots_;  // by directory position
    uint64_t held_ = 0;               // bytes declared by the slots
    uint64_t passed_ = 0;             // the job took, or decodes itself, everything before this
    uint64_t nextIndex_ = 0;          // the position the cursor reads next
    bool stop_ = false;
    std::atomic<bool> stopping_{false};  // read by the decodes, outside the lock
    bool walkEnded_ = false;
    std::unique_ptr<BlockReader> reader_;
    std::optional<ZipDirectoryCursor> cursor_;
    std::vector<std::thread> workers_;
    std::vector<uint8_t> jobInput_;  // the job's input chunk when it decodes ahead itself
};

}  // namespace kv
