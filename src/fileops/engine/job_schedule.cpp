#include "fileops/engine/job_schedule.h"

#include <sys/stat.h>

#include <algorithm>

#include "fileops/engine/paths.h"

namespace kv::fileops {

std::vector<std::uint64_t> devicesOf(const std::vector<std::string>& paths) {
    std::vector<std::uint64_t> out;
    for (std::string p : paths) {
        struct stat st {};
        // A missing target lives on the device of the folder it will be made in.
        while (::stat(p.c_str(), &st) != 0) {
            const std::string up = parentPath(p);
            if (up.empty() || up == p) break;
            p = up;
        }
        if (::stat(p.c_str(), &st) == 0) out.push_back(static_cast<std::uint64_t>(st.st_dev));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool JobSchedule::overlap(const Entry& a, const Entry& b) {
    if (a.devices.empty() || b.devices.empty()) return true;
    for (auto d : a.devices)
        if (std::binary_search(b.devices.begin(), b.devices.end(), d)) return true;
    return false;
}

JobSchedule::Id JobSchedule::add(std::vector<std::uint64_t> devices) {
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    Entry e;
    e.id = next_++;
    e.devices = std::move(devices);
    entries_.push_back(std::move(e));
    return entries_.back().id;
}

std::vector<JobSchedule::Id> JobSchedule::take() {
    std::vector<Id> started;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (e.running) continue;
        // Everything ahead of it, running or waiting, keeps its turn on a shared device.
        bool free = true;
        for (std::size_t j = 0; j < i && free; ++j) free = !overlap(entries_[j], e);
        if (!free) continue;
        e.running = true;
        started.push_back(e.id);
    }
    return started;
}

void JobSchedule::finish(Id id) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [id](const Entry& e) { return e.id == id && e.running; }),
                   entries_.end());
}

bool JobSchedule::dropQueued(Id id) {
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
    if (it == entries_.end() || it->running) return false;
    entries_.erase(it);
    return true;
}

JobSchedule::State JobSchedule::state(Id id) const {
    for (const Entry& e : entries_)
        if (e.id == id) return e.running ? State::Running : State::Queued;
    return State::Gone;
}

std::size_t JobSchedule::running() const {
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.running; }));
}

std::size_t JobSchedule::queued() const { return entries_.size() - running(); }

}  // namespace kv::fileops
