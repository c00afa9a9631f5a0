#pragma once
// Writes the extraction's files: creates each under a temporary name, fills it, gives it its
// mode and time, and moves it onto its name (or removes it when the entry turned out bad).
// On a machine of more than one core this runs on threads of its own, so that the job
// decodes the next entries while the kernel creates and fills the files of the last ones
// (on the archives we measured, creating and filling files took half of an extraction's
// time, and more on a file system that had just freed many files). With no threads (one
// core, or KV_EXTRACT_THREADS=1) every step runs at once on the caller's thread and each
// outcome is known when finish() returns.
//
// The caller keeps every rule about names, links and overwriting; the placer only does the
// system calls, each file's in the order given. It never flushes a file: durability is the
// job's one step at its end. The files of one folder go to one thread
// while the folder stays the same, and a new folder goes to the next thread: creating files
// in one folder from several threads only makes them queue for the folder's lock in the
// kernel. Memory is bounded: appending waits while more than kMaxHeld bytes are queued.
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "archive/base/buffer_pool.h"

namespace kv {

class FilePlacer {
public:
    static constexpr uint64_t kMaxHeld = 32u << 20;

    // A folder descriptor shared by the files placed into it; closed with the last of them.
    class Folder {
    public:
        explicit Folder(int fd) : fd_(fd) {}
        ~Folder();
        Folder(const Folder&) = delete;
        Folder& operator=(const Folder&) = delete;
        int fd() const { return fd_; }

    private:
        int fd_;
    };
    // A descriptor of its own for dirFd (which stays the caller's); null when none is left.
    static std::shared_ptr<const Folder> shareFolder(int dirFd);

    // Bytes for a file: a buffer from the job's pool and how much of it is used. The buffer
    // goes back to the pool once written.
    struct Chunk {
        BufferPool::Buffer buffer;
        size_t size = 0;
        uint8_t* data() const { return buffer.data.get(); }
    };

    // What becomes of a file once its bytes are all given.
    struct Finish {
        bool keep = false;      // false: the temporary is removed, the name untouched
        mode_t mode = 0600;     // set exactly, whatever the umask
        int64_t mtime = -1;     // seconds since 1970; -1 leaves the time of writing
        bool noReplace = false;  // nothing was there: a file that appeared since is kept
        // What is there is a file this job placed, (overDev, overIno): replaced without the
        // flush some file systems give a file renamed over another.
        bool overOwn = false;
        dev_t overDev = 0;
        ino_t overIno = 0;
        bool identify = false;  // report the device and inode of the placed file
    };
    struct Outcome {
        uint64_t ticket = 0;
        bool kept = false;   // the file is in place under its name
        int err = 0;         // errno of the step that failed (0: none failed)
        bool opened = true;  // false: the temporary could not even be created
        dev_t dev = 0;
        ino_t ino = 0;
    };

    // Files of at least this many bytes are the ones worth a thread when no core is spare:
    // written while the job still decodes them, instead of after.
    static constexpr uint64_t kLargeFile = 4u << 20;

    // The threads for this machine, and from which size a file goes to them.
    struct Threads {
        unsigned count = 0;
        uint64_t from = 0;  // smaller files are placed on the caller's thread
    };
    // One thread per core beside the job's own and the `othersBusy` threads the extractor
    // runs beside it (decoding ahead), at most three, for every file. With no core spare
    // (but more than one core), one thread for large files only: the small ones would only
    // take turns with the decoders, and a file's own calls are cheap next to its decoding;
    // a large file is written while its decoding goes on. None on one core.
    // KV_EXTRACT_THREADS caps the job's threads, its own included (1: no placing thread,
    // every step on the job's thread).
    static Threads threadsForThisMachine(unsigned othersBusy = 0);

    FilePlacer(Threads threads, BufferPool& pool);
    ~FilePlacer();  // waits for everything given
    FilePlacer(const FilePlacer&) = delete;
    FilePlacer& operator=(const FilePlacer&) = delete;

    bool threaded() const { return !workers_.empty(); }

    // Starts a file named leaf in folder, created with createMode (less the umask); answers
    // its ticket (1, 2, ... in the order given). Only the latest file takes bytes and its
    // finish, so one file is started at a time. A finish that keeps the file with the very
    // mode it was created with (the umask took nothing from it) sets no mode again.
    // declaredSize, the bytes the file is expected to take, chooses where it is placed.
    uint64_t open(std::shared_ptr<const Folder> folder, const std::string& leaf, mode_t createMode = 0600,
                  uint64_t declaredSize = 0);
    // Whether ticket's file is placed on the caller's thread, each step as it is given, its
    // outcome known once finished (it is the next one once the files before it are known).
    bool placedHere(uint64_t ticket) const;
    // Bytes for the file of ticket, written in the order given. Waits while too much is held.
    void append(uint64_t ticket, Chunk&& bytes);
    // errno of a step of ticket's file that failed already (its further bytes are of no
    // use), or 0 while none has.
    int error(uint64_t ticket) const;
    // Whether that failed step was the creation of ticket's file.
    bool openFailed(uint64_t ticket) const;
    // The file's last bytes (may be empty) and what becomes of it.
    void finish(uint64_t ticket, const Finish& how, Chunk&& last);
    void finish(uint64_t ticket, const Finish& how);

    // Sets every thread to the steps queued for it, without waiting (before the job stops
    // for a question, so the files before it are on disk while the user looks).
    void flush();

    // The outcome of the next file in the order of the tickets; with wait, waits for it
    // while files are still being placed (every file started must be finished first). False
    // when it is not known yet.
    bool next(Outcome& out, bool wait);

private:
    struct Step {
        enum Kind { Open, Append, Finish } kind;
        uint64_t ticket;
        std::shared_ptr<const Folder> folder;
        std::string leaf;
        mode_t createMode;
        Chunk bytes;
        FilePlacer::Finish how;
    };
    struct Current;  // the file a thread is placing
    static constexpr size_t kBatchSteps = 24;
    static constexpr uint64_t kBatchBytes = 4u << 20;
    struct Worker {
        std::deque<Step> steps;
        uint64_t bytes = 0;  // queued since it was last woken
        std::condition_variable wake;
        std::unique_ptr<Current> current;
        std::thread thread;
    };
    // Queues s (after the latest file's open, which waits for its first bytes or its finish
    // so that a small file costs the thread one wake-up), or runs it when there are no threads.
    void give(Step&& s);
    void run(Step& s, Current& c);
    void work(Worker& w);
    // Wakes every thread that has steps queued (the caller holds the lock and will wait).
    void wakeAll(std::unique_lock<std::mutex>& lock);

    BufferPool& pool_;
    mutable std::mutex mutex_;
    std::condition_variable room_;     // append waits here while too much is held
    std::condition_variable settled_;  // next(wait) waits here for an outcome
    std::vector<std::unique_ptr<Worker>> workers_;
    std::unique_ptr<Current> inline_;  // the file placed on the caller's thread
    uint64_t threadedFrom_ = 0;        // files declared smaller are placed there
    uint64_t hereTicket_ = 0;          // the latest file, when it is placed there
    std::map<uint64_t, Outcome> outcomes_;       // finished, not yet taken, by ticket
    struct Failed {
        int err = 0;
        bool unopened = false;  // the temporary could not be created
    };
    std::unordered_map<uint64_t, Failed> failed_;  // by ticket, until its outcome is taken
    uint64_t held_ = 0;
    uint64_t lastTicket_ = 0, lastTaken_ = 0;
    Step opening_{};                   // the latest file's open, not yet queued
    bool openingHeld_ = false;
    size_t worker_ = 0;                // the thread of the latest file
    const Folder* lastFolder_ = nullptr;  // and its folder
    bool stop_ = false;
};

}  // namespace kv
