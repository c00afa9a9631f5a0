#include "archive/unzip/zip_decode_ahead.h"

#include <algorithm>
#include <cstdlib>
#include <span>

#include "archive/base/crc.h"
#include "archive/base/util.h"
#include "archive/codec/inflate.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

unsigned ZipDecodeAhead::workersForThisMachine() {
    unsigned cores = std::thread::hardware_concurrency();
    // KV_EXTRACT_THREADS caps the threads of a job, the job's own included (1: no workers).
    if (const char* cap = std::getenv("KV_EXTRACT_THREADS"); cap && *cap) {
        long n = std::strtol(cap, nullptr, 10);
        if (n >= 1 && n < long(cores)) cores = unsigned(n);
    }
    // Decoding is most of the work, and a worker costs the job little now that the job takes
    // over a decoded entry's buffer whole and decodes ahead itself rather than wait for a
    // worker. On two cores, one worker and no placing thread: 0.275 s for the bench archive,
    // against 0.29 s with a placing thread too and 0.40 s with the placing thread alone.
    return cores >= 2 ? std::clamp(cores / 2, 1u, 4u) : 0;
}

ZipDecodeAhead::ZipDecodeAhead(const ArcFile& file, const ZipDirectory& dir, std::string fileSpec,
                               NameOf nameOf, unsigned workers, BufferPool& pool)
    : file_(file), dir_(dir), pool_(pool), fileSpec_(std::move(fileSpec)), nameOf_(std::move(nameOf)) {
    reader_ = std::make_unique<BlockReader>(file_);
    if (!dir_.empty) cursor_.emplace(dir_);
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

ZipDecodeAhead::~ZipDecodeAhead() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    stopping_ = true;
    room_.notify_all();
    for (auto& t : workers_) t.join();
}

bool ZipDecodeAhead::take(uint64_t index, Decoded& out) {
    std::unique_lock lock(mutex_);
    // Entries the job passed by are of no more use.
    for (auto it = slots_.begin(); it != slots_.end() && it->first < index;) {
        held_ -= it->second.declared;
        it = slots_.erase(it);
    }
    passed_ = std::max(passed_, index + 1);
    wakeIfRoomy();
    auto it = slots_.find(index);
    if (it == slots_.end()) return false;
    // While a worker is still on it, the job decodes the next entry the workers would have
    // taken instead of waiting idle: with one worker the job waited for it at every tenth
    // entry. Only this thread erases slots, so `it` stays valid meanwhile.
    while (!it->second.done) {
        Claim c;
        if (claim(lock, false, c))
            decodeClaimed(lock, c, jobInput_);
        else
            done_.wait(lock, [&] { return it->second.done; });
    }
    out = std::move(it->second.decoded);
    held_ -= it->second.declared;
    slots_.erase(it);
    wakeIfRoomy();
    return true;
}

bool ZipDecodeAhead::roomy() const {
    return nextIndex_ + kMaxAhead / 2 < passed_ + kMaxAhead && held_ <= kMaxHeld / 2;
}

void ZipDecodeAhead::wakeIfRoomy() {
    if (waitingForRoom_ && roomy()) room_.notify_all();
}

void ZipDecodeAhead::waitForRoom(std::unique_lock<std::mutex>& lock) {
    ++waitingForRoom_;
    room_.wait(lock, [&] { return stop_ || roomy(); });
    --waitingForRoom_;
}

void ZipDecodeAhead::work() {
    std::unique_lock lock(mutex_);
    Claim c;
    std::vector<uint8_t> input;  // this worker's input chunk, kept from entry to entry
    while (claim(lock, true, c)) decodeClaimed(lock, c, input);
}

bool ZipDecodeAhead::claim(std::unique_lock<std::mutex>& lock, bool mayWait, Claim& c) {
    for (;;) {
        // The job, which never waits here, claims only while any entry would fit: the entry
        // it reads off the cursor cannot be given back.
        if (!mayWait && (nextIndex_ >= passed_ + kMaxAhead || held_ + kMaxEntry > kMaxHeld)) return false;
        if (nextIndex_ >= passed_ + kMaxAhead) waitForRoom(lock);
        if (stop_ || walkEnded_) return false;
        ZipCentralRecord rec;
        int stopId = 0;
        if (!cursor_ || !cursor_->next(*reader_, rec, stopId)) {
            walkEnded_ = true;
            return false;
        }
        const uint64_t index = nextIndex_++;
        // Deflate gives at most 1032 bytes per packed byte: a larger declared size is a lie
        // the job's own decode deals with.
        const bool eligible = rec.method == 8 && !(rec.flags & 1) && rec.size > 0 && rec.size <= kMaxEntry &&
                              rec.packed <= file_.size() && rec.size <= rec.packed * 1032 + 1024;
        if (!eligible || index < passed_) continue;
        if (!fileSpec_.empty()) {
            lock.unlock();
            const bool wanted = wildcardMatch(fileSpec_, nameOf_ ? nameOf_(rec) : std::string(), false);
            lock.lock();
            if (!wanted) continue;
        }
        // Room only comes from the job taking entries: the job never waits for it. Its entry
        // may pass the bound by at most one entry, when a worker filled the window while the
        // lock was open for the name.
        if (mayWait && held_ + rec.size > kMaxHeld) waitForRoom(lock);
        if (stop_) return false;
        if (index < passed_) continue;
        Slot& slot = slots_[index];
        slot.declared = rec.size;
        held_ += rec.size;
        c = {index, rec.localOffset, rec.packed, rec.size};
        return true;
    }
}

void ZipDecodeAhead::decodeClaimed(std::unique_lock<std::mutex>& lock, const Claim& c,
                                   std::vector<uint8_t>& input) {
    lock.unlock();
    Decoded d;
    decode(c.localOffset, c.packed, c.size, input, d);
    lock.lock();
    if (auto it = slots_.find(c.index); it != slots_.end()) {
        it->second.decoded = std::move(d);
        it->second.done = true;
    }
    done_.notify_all();
}

void ZipDecodeAhead::decode(uint64_t localOffset, uint64_t packed, uint64_t size, std::vector<uint8_t>& input,
                            Decoded& out) const {
    out.dataPos = UINT64_MAX;  // not usable unless the data is found below
    out.result.status = codec::Status::BadData;
    uint64_t localPos = 0, dataPos = 0, dataEnd = 0;
    uint8_t header[30];
    if (!checkedAdd(localOffset, uint64_t(dir_.localDelta), localPos) ||
        !zipLocalDataStart(file_, localPos, dataPos, header))
        return;
    if ((header[6] & 1) || !checkedAdd(dataPos, packed, dataEnd) || dataEnd > file_.size()) return;
    out.bytes = pool_.take(size_t(size));
    uint64_t pos = dataPos, remaining = packed;
    codec::InputSource in(
        [&](uint8_t* dst, size_t cap) -> long {
            if (stopping_) return -1;
            size_t n = size_t(std::min<uint64_t>(cap, remaining));
            if (n == 0) return 0;
            size_t got = file_.readAt(pos, std::span<uint8_t>(dst, n));
            pos += got;
            remaining -= got;
            return long(got);
        },
        input, codec::InputSource::chunkFor(packed));
    codec::OutputWindow window{std::span<uint8_t>(out.bytes.data.get(), size_t(size))};
    out.result = codec::inflate(in, window);
    // Here, while the bytes are still in this core's cache.
    out.crc = crc32Update(0, std::span<const uint8_t>(out.bytes.data.get(), size_t(out.result.output)));
    out.dataPos = dataPos;
}

}  // namespace kv
