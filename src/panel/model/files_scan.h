#pragma once
// Folder scanners: TFilesScan walks folders depth first and counts (and with UpdateList
// collects) every entry whose name matches its mask list; TFilesScanner keeps what it finds
// in a TFilesList; TScanSizer sums the sizes below one folder.
//
// The walk takes every entry as it is (lstat): a symbolic link is counted with its own
// size and never followed, so a link loop cannot trap it. Folders count with size 0, so the
// total is the apparent size of the files, as `du --apparent-size` has it without the
// folders. A file with several hard links counts once in the total. Mounts of the kernel's
// pseudo file systems (/proc, /sys, ...) below the scanned folder are not entered, so a
// pseudo file such as /proc/kcore never makes a folder look huge. Totals are 64-bit.
//
// A scan runs on whatever thread calls Execute; Stop() may be called from any other thread
// and ends it after the current entry. Progress is readable from other threads meanwhile.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "panel/model/files_list.h"

namespace kv {

enum class TScanOptions {
    soGlobal,         // the root of every local, network and CD drive
    soSpecifiedDisk,  // the whole drive (mount) that holds ScanDir
    soSpecifiedDir,   // ScanDir
};

class TFilesScan {
public:
    virtual ~TFilesScan() = default;

    std::string FileMask = "*";  // masks separated by ","
    bool UpdateList = true;      // hand each match to addFound (TFilesScanner lists it)
    TScanOptions ScanOptions = TScanOptions::soGlobal;
    std::string ScanDir = "/";
    bool Recursive = true;
    // On entering each folder, with the totals so far. Runs on the scanning thread.
    std::function<void(const std::string& Dir, std::int64_t FilesCount, std::int64_t FilesSize)> OnProcess;
    // Once at the end, with the totals.
    std::function<void(std::int64_t FilesCount, std::int64_t FilesSize)> OnChanged;

    // Throws EMaskError when FileMask holds an invalid mask (nothing is scanned then).
    virtual void Execute();
    void Stop() { stop_.store(true, std::memory_order_relaxed); }
    bool Stopped() const { return stop_.load(std::memory_order_relaxed); }

    std::int64_t FilesCount() const { return count_.load(std::memory_order_relaxed); }
    std::int64_t FilesSize() const { return size_.load(std::memory_order_relaxed); }
    // Folders that could not be read (no permission, vanished while scanning).
    std::int64_t Unreadable() const { return unreadable_.load(std::memory_order_relaxed); }

protected:
    virtual void addFound(TFileObject&& /*item*/) {}

private:
    void scanTree(const std::string& root);

    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> count_{0};
    std::atomic<std::int64_t> size_{0};
    std::atomic<std::int64_t> unreadable_{0};
};

class TFilesScanner : public TFilesScan {
public:
    TSortOptions Sorted() const { return list_.Sorted(); }
    void setSorted(TSortOptions s) { list_.setSorted(s); }
    const TFilesList& List() const { return list_; }

    // Clears the list, then scans.
    void Execute() override;

protected:
    void addFound(TFileObject&& item) override { list_.add(std::move(item)); }

private:
    TFilesList list_;
};

class TScanSizer {
public:
    // Sum of the sizes of all files below folder (0 for a folder of empty folders).
    std::int64_t Size(const std::string& folder);
    // Ends the Size call that runs, or the next one when none runs yet (so a stop sent
    // just before the scan starts is not lost). The result is then a partial total.
    void Stop() {
        stop_.store(true);
        scanner_.Stop();
    }
    // During Size: a stop was asked; after it: that call was stopped.
    bool Stopped() const { return stop_.load() || wasStopped_.load(); }
    // Running totals while Size runs (from any thread).
    std::int64_t FilesCount() const { return scanner_.FilesCount(); }
    std::int64_t FilesSize() const { return scanner_.FilesSize(); }

private:
    TFilesScanner scanner_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> wasStopped_{false};
};

}  // namespace kv
