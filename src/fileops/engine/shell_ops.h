#pragma once
// The request format of the old shell file-operation service, kept for the callers: an
// operation code, a source and a target list (";" becomes a zero character and a final
// extra zero ends the list), and option flags. SHFileOperation turns a request into a job
// and hands it to the owner, which runs it with its own progress window and questions.
//
// Only a typed list is split at ";": callers pass each selected entry in its own request.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fileops/engine/job.h"

namespace kv::fileops {

enum FileOpCode : unsigned { FO_MOVE = 1, FO_COPY = 2, FO_DELETE = 3 };
enum FileOpFlag : unsigned {
    FOF_RENAMEONCOLLISION = 0x08,
    FOF_NOCONFIRMATION = 0x10,
    FOF_ALLOWUNDO = 0x40,  // delete: into the Trash
    FOF_FILESONLY = 0x80,  // a wildcard name matches files only
};

// Whoever runs the jobs: the main window (worker thread, progress window, dialogs), or a
// test (the calling thread and a scripted decider).
class FileOpHost {
public:
    virtual ~FileOpHost() = default;
    virtual JobResult runJob(Job& job) = 0;
};

struct ShellRequest {
    FileOpHost* owner = nullptr;
    unsigned operation = 0;
    std::string from, to;  // double-zero-terminated lists
    unsigned flags = 0;
    bool anyOperationsAborted = false;
    JobResult result;  // what the job reported
};

// ";" separated text -> the double-zero list.
std::string zeroList(std::string_view text);
// The names of a double-zero list (empty names dropped).
std::vector<std::string> splitZeroList(const std::string& list);
// A name whose last part holds * or ? stands for the matching entries of its folder
// (folders left out with FOF_FILESONLY); other names stand for themselves.
std::vector<std::string> expandWildcards(const std::vector<std::string>& names, bool filesOnly);

// 0 when the whole request succeeded; else non-zero (a cancel also sets the aborted flag).
int SHFileOperation(ShellRequest& request);

struct ShellResult {
    bool ok = false;
    bool aborted = false;  // the user cancelled: a multi-entry command stops
    JobResult job;
    explicit operator bool() const { return ok && !aborted; }
};

// Copy: operation 2, flags 0xC0, plus 0x08 with rename, plus 0x10 when confirm is 0.
ShellResult ShellCopy(FileOpHost& owner, std::string_view source, std::string_view target, int confirm,
                      int rename);
// Move: operation 1, flags 0xC0, plus 0x08 with rename, plus 0x10 when noconfirm is 1.
ShellResult ShellMove(FileOpHost& owner, std::string_view source, std::string_view target, int noconfirm,
                      int rename);
// Delete: operation 3, 0x10 when confirm is 0, plus 0xC0 with recycle (into the Trash), else 0x80.
ShellResult ShellDelete(FileOpHost& owner, std::string_view source, int recycle, int confirm);

}  // namespace kv::fileops
