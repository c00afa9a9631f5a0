#pragma once
// Reading one folder into a sorted TDirectory away from the window's thread.
//
// A job first reads on the caller's thread as long as the folder stays small (a few
// thousand names cost a few milliseconds): such folders are listed at once, exactly as
// before. Past that it hands the open folder to a worker that reads the rest, stats on
// every core and sorts; the caller gets told when it is done and takes the listing then.
// cancel() makes the worker stop at its next slice of names; the destructor waits for it.
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "panel/model/directory.h"
#include "platform/dir_reader.h"

namespace kv {

class TListingJob {
public:
    struct Params {
        std::string folder;  // normalised: no trailing "/" except the root
        std::uint8_t sortType = stExt;
        bool programsFirst = true;
        bool showHidden = true;
    };
    explicit TListingJob(Params p);
    ~TListingJob();
    TListingJob(const TListingJob&) = delete;
    TListingJob& operator=(const TListingJob&) = delete;

    // Reads on this thread while the folder has at most `inlineLimit` names. True when
    // the listing is complete (then result() holds it and start() is not needed).
    bool runInline(std::size_t inlineLimit);
    // Goes on reading on a worker; `done` runs on the worker when the listing is ready
    // or the job was cancelled.
    void start(std::function<void()> done);
    void cancel() { cancel_.store(true); }
    bool cancelled() const { return cancel_.load(); }
    bool finished() const { return finished_.load(); }
    // Names read so far.
    std::size_t progress() const { return progress_.load(std::memory_order_relaxed); }
    // Whether the folder could be read; meaningful once finished.
    bool readable() const { return readable_; }
    const Params& params() const { return params_; }
    // The sorted listing; only once finished and not cancelled.
    TDirectory& result() { return result_; }

private:
    void finish(bool readable);
    void work();

    Params params_;
    platform::DirNames names_;
    std::vector<platform::DirItem> items_;
    TDirectory result_;
    bool readable_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::size_t> progress_{0};
    std::function<void()> done_;
    std::thread worker_;
};

}  // namespace kv
