#pragma once
// A job for the queue tests that holds its place until released or cancelled, reporting a
// file and some progress meanwhile: the copies queued behind it on the same device wait.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "fileops/job_queue.h"

namespace kvtest {

struct HoldState {
    std::atomic<bool> release{false}, started{false}, stoppedByCancel{false};
};

class HeldJob : public kv::fileops::Job {
public:
    HeldJob(std::shared_ptr<HoldState> s, std::string file, std::uint64_t done, std::uint64_t total)
        : s_(std::move(s)), file_(std::move(file)), done_(done), total_(total) {}
    kv::fileops::JobResult run(kv::fileops::Decider&, kv::fileops::Progress& p) override {
        p.addTotals(1, total_);
        p.beginFile(file_);
        p.addBytes(done_);
        s_->started = true;
        while (!s_->release && !p.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        kv::fileops::JobResult r;
        if (p.cancelled()) {
            r.outcome = kv::fileops::Outcome::Cancelled;
            s_->stoppedByCancel = true;
        }
        return r;
    }

private:
    std::shared_ptr<HoldState> s_;
    std::string file_;
    std::uint64_t done_, total_;
};

// Queues a held job on the devices of `paths`.
inline std::shared_ptr<HoldState> hold(const QString& caption, const QString& detail,
                                       std::vector<std::string> paths, std::string file = "held",
                                       std::uint64_t done = 0, std::uint64_t total = 100) {
    auto s = std::make_shared<HoldState>();
    kv::JobQueue::Request r;
    r.caption = caption;
    r.detail = detail;
    r.job = std::make_unique<HeldJob>(s, std::move(file), done, total);
    r.paths = std::move(paths);
    kv::JobQueue::instance().submit(std::move(r));
    return s;
}

// Runs the event loop until `done` holds or `ms` have passed; answers whether it held.
template <class F>
bool waitFor(F done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(10);
    return done();
}

}  // namespace kvtest
