#include "fileops/engine/job.h"

#include <cerrno>
#include <cstring>

namespace kv::fileops {

std::string OpError::reason() const {
    if (!message.empty()) return message;
    return std::strerror(error);
}

bool succeeded(int rc, OpError& e, const std::string& path, const char* action) {
    if (rc == 0) return true;
    e = {path, action, errno, {}};
    return false;
}

Asker::Step Asker::conflict(const Conflict& c, bool noConfirm) {
    if (noConfirm || overwriteAll_) return Step::Go;
    if (skipAllConflicts_) return Step::Skip;
    switch (decider_.conflict(c)) {
        case Decision::OverwriteAll: overwriteAll_ = true; [[fallthrough]];
        case Decision::Overwrite:
        case Decision::Retry: return Step::Go;
        case Decision::SkipAll: skipAllConflicts_ = true; [[fallthrough]];
        case Decision::Skip: return Step::Skip;
        case Decision::Cancel: break;
    }
    cancelled_ = true;
    return Step::Cancel;
}

Asker::Step Asker::error(const OpError& e) {
    Decision d = skipAllErrors_ ? Decision::Skip : decider_.error(e);
    switch (d) {
        case Decision::Retry:
        case Decision::Overwrite:
        case Decision::OverwriteAll: return Step::Retry;
        case Decision::SkipAll: skipAllErrors_ = true; [[fallthrough]];
        case Decision::Skip: result_.failures.push_back({e.path, e.reason()}); return Step::Skip;
        case Decision::Cancel: break;
    }
    cancelled_ = true;
    return Step::Cancel;
}

void Asker::refuse(const std::string& path, const std::string& why) {
    result_.failures.push_back({path, why});
}

void Asker::finish() {
    cancelled();
    result_.outcome = cancelled_                 ? Outcome::Cancelled
                      : result_.failures.empty() ? Outcome::Done
                                                 : Outcome::Failed;
}

}  // namespace kv::fileops
