#include "kvarc/kvarc_extract.h"

#include <cstdio>
#include <memory>
#include <string>

#include "archive/base/messages.h"
#include "archive/base/util.h"
#include "archive/base/extractor_factory.h"
#include "platform/display_text.h"

namespace kvarc {
namespace {

// Names, paths and messages come from the archive: printed raw they could drive the terminal.
std::string shown(std::string_view text) { return kv::platform::escapeControls(text); }

// Errors that stop a job before any entry: the archive itself cannot be read.
bool unreadable(int id) {
    return id == kv::msg::InvalidFileName || id == kv::msg::UnsupportedArcType || id == kv::msg::OpenError ||
           id == kv::msg::BadFileHeader || id == kv::msg::HeaderIdError || id == kv::msg::CreateDirError;
}

void printError(const std::string& fn, int id, const std::string& extra) {
    std::string_view text = kv::messageText(id);
    std::fprintf(stderr, "kvarc: %s: %.*s (%d)%s%s\n", shown(fn).c_str(), int(text.size()), text.data(), id,
                 extra.empty() ? "" : ": ", shown(extra).c_str());
}

struct Job {
    std::unique_ptr<kv::TUnBase> x;  // the extractor for the archive's type
    bool started = false;            // the walk over the entries began
    int failed = 0;
};

// What t and x are given: [-p PASSWORD] [--cp866], and for x a folder and [-y].
struct JobArgs {
    std::string archive, dir, password;
    bool overwrite = false, cp866 = false;
};

// False on a missing archive (or folder), an extra word, or -y where it does not belong.
bool parseJobArgs(const Args& args, bool withDir, JobArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-p" && i + 1 < args.size())
            out.password = args[++i];
        else if (args[i] == "--cp866")
            out.cp866 = true;
        else if (withDir && args[i] == "-y")
            out.overwrite = true;
        else if (out.archive.empty())
            out.archive = args[i];
        else if (withDir && out.dir.empty())
            out.dir = args[i];
        else
            return false;
    }
    return !out.archive.empty() && (!withDir || !out.dir.empty());
}

// Prepares the extractor; answers an exit status when the archive is no ZIP we can read.
int setUp(Job& job, const JobArgs& a) {
    const std::string& archive = a.archive;
    kv::TZipCommon typed;
    typed.setArchiveFile(archive);
    job.x = kv::makeExtractor(typed.ArcType());
    if (!job.x) job.x = kv::makeExtractor(kv::atZIP);  // only to report what the file is
    job.x->OnError = [&job](kv::TZipCommon&, const std::string& fn, const std::string& extra,
                            const std::string&, int id) { printError(fn, id, extra); };
    job.x->OnActivate = [&job](kv::TZipCommon&) { job.started = true; };
    job.x->setArchiveFile(archive);
    kv::TArcType t = job.x->ArcType();
    if (t == kv::atFileOpenErr) {
        std::string_view why = kv::fileExists(archive) ? std::string_view("cannot open")
                                                       : kv::messageText(kv::msg::FileNotFound);
        std::fprintf(stderr, "kvarc: %s: %.*s\n", shown(archive).c_str(), int(why.size()), why.data());
        return 2;
    }
    if (!kv::makeExtractor(t)) {
        std::fprintf(stderr,
                     "kvarc: %s: not an archive kvarc can test or extract (ZIP, ARJ, LHA, ARC, RAR)\n",
                     shown(archive).c_str());
        return 2;
    }
    if (a.cp866) job.x->NameCodePage = kv::TNameCodePage::cp866;
    if (!a.password.empty()) job.x->Passwords.push_back(a.password);
    return -1;
}

int finish(Job& job) {
    // One summary of everything that went wrong, after the per-entry lines.
    for (const auto& f : job.x->Failures) {
        std::string_view text = kv::messageText(f.id);
        std::fprintf(stderr, "failed: %s: %.*s\n", shown(f.name).c_str(), int(text.size()), text.data());
    }
    for (const auto& f : job.x->Skipped) {
        std::string_view text = kv::messageText(f.id);
        std::fprintf(stderr, "skipped: %s: %.*s\n", shown(f.name).c_str(), int(text.size()), text.data());
    }
    // Entries after a damaged directory were never seen: the archive was not read whole.
    if (job.x->DirectoryIncomplete) {
        std::fprintf(stderr, "kvarc: %s: the directory could not be read to its end\n",
                     shown(job.x->ArchiveFile()).c_str());
        return 2;
    }
    if (!job.started ||
        (unreadable(job.x->LastError) && job.x->ExtractedCount == 0 && job.x->FailedCount == 0))
        return 2;
    return job.x->FailedCount > 0 || job.x->Cancel() ? 1 : 0;
}

}  // namespace

int testCommand(const Args& args) {
    JobArgs a;
    if (!parseJobArgs(args, false, a)) {
        std::fputs("usage: kvarc t ARCHIVE [-p PASSWORD] [--cp866]\n", stderr);
        return 2;
    }
    Job job;
    if (int rc = setUp(job, a); rc >= 0) return rc;
    job.x->OnEnd = [](kv::TZipCommon& z, const std::string&, bool pass) {
        std::printf("%s  %s\n", pass ? "OK    " : "FAILED", shown(z.FileName).c_str());
    };
    job.x->Test();
    int rc = finish(job);
    if (rc != 2)
        std::printf("%d tested, %d failed\n", job.x->ExtractedCount + job.x->FailedCount, job.x->FailedCount);
    return rc;
}

int extractCommand(const Args& args) {
    JobArgs a;
    if (!parseJobArgs(args, true, a)) {
        std::fputs("usage: kvarc x ARCHIVE DIR [-p PASSWORD] [-y] [--cp866]\n", stderr);
        return 2;
    }
    Job job;
    if (int rc = setUp(job, a); rc >= 0) return rc;
    job.x->setExtractDir(a.dir);
    const bool overwrite = a.overwrite;
    int skipped = 0;
    job.x->OnFileExists = [&](kv::TZipCommon&, const std::string& fn, const kv::TDateTime&, bool& accept) {
        accept = overwrite;
        if (!overwrite) {
            std::printf("skipped (exists): %s\n", shown(fn).c_str());
            ++skipped;
        }
    };
    job.x->OnEnd = [](kv::TZipCommon& z, const std::string&, bool pass) {
        if (!pass) std::fprintf(stderr, "kvarc: %s: not extracted\n", shown(z.FileName).c_str());
    };
    job.x->Activate();
    return finish(job);
}

}  // namespace kvarc
