#pragma once
// What a running job has done so far, read by the progress window from another thread, and
// the cancel flag it sets. The job checks the flag between blocks and between files.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kv::fileops {

struct ProgressSnapshot {
    std::string name;  // the file being worked on
    std::uint64_t bytesDone = 0, bytesTotal = 0;
    std::uint64_t filesDone = 0, filesTotal = 0;
    std::uint64_t fileBytesDone = 0, fileBytesTotal = 0;  // of the file being worked on
};

class Progress {
public:
    void addTotals(std::uint64_t files, std::uint64_t bytes) {
        filesTotal_ += files;
        bytesTotal_ += bytes;
    }
    // `size`: the bytes this file will bring (0 for folders, links and renames).
    void beginFile(const std::string& name, std::uint64_t size = 0) {
        std::lock_guard<std::mutex> lock(m_);
        name_ = name;
        fileBytesDone_ = 0;
        fileBytesTotal_ = size;
    }
    // n may wrap below zero: a copy started again takes back what it had counted.
    void addBytes(std::uint64_t n) {
        bytesDone_ += n;
        fileBytesDone_ += n;
    }
    void fileDone() { ++filesDone_; }

    ProgressSnapshot snapshot() const {
        ProgressSnapshot s;
        {
            std::lock_guard<std::mutex> lock(m_);
            s.name = name_;
        }
        s.fileBytesDone = fileBytesDone_;
        s.fileBytesTotal = fileBytesTotal_;
        s.bytesDone = bytesDone_;
        s.bytesTotal = bytesTotal_;
        s.filesDone = filesDone_;
        s.filesTotal = filesTotal_;
        return s;
    }

    void cancel() { cancel_ = true; }
    bool cancelled() const { return cancel_; }

private:
    mutable std::mutex m_;
    std::string name_;
    std::atomic<std::uint64_t> bytesDone_{0}, bytesTotal_{0}, filesDone_{0}, filesTotal_{0};
    std::atomic<std::uint64_t> fileBytesDone_{0}, fileBytesTotal_{0};
    std::atomic<bool> cancel_{false};
};

}  // namespace kv::fileops
