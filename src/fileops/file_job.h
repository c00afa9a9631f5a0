#pragma once
// How a command runs its job: queued in JobQueue, waited for with the progress window until
// it ends or goes to the background; both panels' folder monitors rest meanwhile. When it
// ends, wherever the user is by then, both panels are re-read and one message lists what
// failed or was left out.
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "fileops/engine/job.h"
#include "fileops/fileops_context.h"

class QWidget;

namespace kv {

// sources, target: what the job reads and writes (the devices it keeps busy; the target may
// be empty). They also name the job in the jobs window.
void runFileJob(const FileOpsContext& ctx, const QString& caption, std::unique_ptr<fileops::Job> job,
                const std::vector<std::string>& sources, const std::string& target);

// Nothing when all went well or the user cancelled without failures.
void showJobSummary(QWidget* owner, const QString& caption, const fileops::JobResult& r);

}  // namespace kv
