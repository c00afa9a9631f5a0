#pragma once
// Which queued file jobs may run now. Jobs run one after another in the order they were
// queued, except that a job whose devices (st_dev of its sources and targets) share none
// with the running jobs, nor with an earlier job still waiting, starts at once beside them:
// two disks work in parallel, one disk is never made to seek between two jobs.
// A job with no known device waits for every other job. No Qt here.
#include <cstdint>
#include <string>
#include <vector>

namespace kv::fileops {

// The devices a job touches: st_dev of each path, or of its nearest existing parent for a
// target that is still to be made. Sorted, without repeats.
std::vector<std::uint64_t> devicesOf(const std::vector<std::string>& paths);

class JobSchedule {
public:
    using Id = std::uint64_t;
    enum class State { Queued, Running, Gone };

    Id add(std::vector<std::uint64_t> devices);
    // The queued jobs that may start now, in queue order; they are running from here on.
    std::vector<Id> take();
    // A running job ended; its devices are free for the jobs behind it.
    void finish(Id id);
    // A job that has not started leaves the queue; false when it was not waiting.
    bool dropQueued(Id id);

    State state(Id id) const;
    std::size_t running() const;
    std::size_t queued() const;

private:
    struct Entry {
        Id id = 0;
        std::vector<std::uint64_t> devices;
        bool running = false;
    };
    static bool overlap(const Entry& a, const Entry& b);

    std::vector<Entry> entries_;  // queue order; running and waiting jobs
    Id next_ = 1;
};

}  // namespace kv::fileops
