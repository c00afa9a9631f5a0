#include "panel/model/listing_job.h"

namespace kv {

TListingJob::TListingJob(Params p) : params_(std::move(p)) {
    result_.SortType = params_.sortType;
    result_.ProgramsFirst = params_.programsFirst;
    result_.FoldersFirst = true;
    result_.ShowHidden = params_.showHidden;
}

TListingJob::~TListingJob() {
    cancel();
    if (worker_.joinable()) worker_.join();
}

void TListingJob::finish(bool readable) {
    readable_ = readable;
    if (!cancelled()) result_.Build(params_.folder, std::move(items_));
    std::vector<platform::DirItem>().swap(items_);
    finished_.store(true);
}

bool TListingJob::runInline(std::size_t inlineLimit) {
    if (!names_.open(params_.folder)) {
        finish(false);  // an unreadable folder lists ".." alone, without a message
        return true;
    }
    // One name more than the limit tells a big folder from one of exactly that size.
    if (names_.next(items_, inlineLimit + 1)) {
        progress_.store(items_.size());
        return false;
    }
    progress_.store(items_.size());
    platform::statItems(names_.fd(), items_);
    finish(true);
    return true;
}

void TListingJob::start(std::function<void()> done) {
    done_ = std::move(done);
    worker_ = std::thread([this] { work(); });
}

void TListingJob::work() {
    platform::ReadControl control;
    control.cancel = &cancel_;
    while (!cancelled() && names_.next(items_, 8192))
        progress_.store(items_.size(), std::memory_order_relaxed);
    progress_.store(items_.size());
    if (!cancelled()) platform::statItems(names_.fd(), items_, control);
    finish(true);
    if (done_) done_();
}

}  // namespace kv
