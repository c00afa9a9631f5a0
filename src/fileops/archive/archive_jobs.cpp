#include "fileops/archive/archive_jobs.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <system_error>

#include "archive/base/extractor_factory.h"
#include "archive/base/messages.h"
#include "archive/kelmo/kelmo.h"
#include "archive/zip/zip_writer.h"
#include "panel/model/archive_folder.h"

namespace kv::fileops {

namespace {

std::string messageOf(int id, const std::string& extra = {}) {
    std::string text(messageText(id));
    if (!extra.empty()) text += ": " + extra;
    return text;
}

// The component's Cancel follows the progress window's: asked at every progress point of
// the job, so a press of Cancel stops it at the next block, not at the next entry.
void followCancel(TZipCommon& component, Progress& progress) {
    component.OnProcessMessages = [&component, &progress] {
        // setCancel pumps again; the flag is set by then, so this does not recurse.
        if (progress.cancelled() && !component.Cancel()) component.setCancel(true);
    };
}

// Turns one entry's percentage into bytes on the progress bar.
class EntryBytes {
public:
    explicit EntryBytes(Progress& p) : progress_(p) {}
    void begin(const std::string& name, std::uint64_t size) {
        progress_.beginFile(name);
        size_ = size;
        reported_ = 0;
    }
    void percent(unsigned pct) { advanceTo(size_ / 100 * pct + size_ % 100 * pct / 100); }
    void end() {
        advanceTo(size_);
        progress_.fileDone();
    }

private:
    void advanceTo(std::uint64_t done) {
        if (done > reported_) {
            progress_.addBytes(done - reported_);
            reported_ = done;
        }
    }
    Progress& progress_;
    std::uint64_t size_ = 0, reported_ = 0;
};

FileFacts factsOnDisk(const std::string& path) {
    FileFacts f;
    f.path = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        f.isDir = S_ISDIR(st.st_mode);
        f.size = st.st_size;
        f.modified = st.st_mtime;
    }
    return f;
}

}  // namespace

bool chosenEntryPath(std::string_view stored, const std::string& base, const std::set<std::string>& names,
                     std::string& out) {
    std::string inner;
    bool isDir = false;
    if (!archiveInnerPath(stored, inner, isDir)) return false;
    std::string_view rest = inner;
    if (!base.empty()) {
        if (rest.size() <= base.size() || rest.compare(0, base.size(), base) != 0 || rest[base.size()] != '/')
            return false;
        rest.remove_prefix(base.size() + 1);
    }
    const std::string_view first = rest.substr(0, rest.find('/'));
    if (names.find(std::string(first)) == names.end()) return false;
    out.assign(rest);
    if (isDir) out.push_back('/');
    return true;
}

JobResult ExtractJob::run(Decider& decider, Progress& progress) {
    JobResult result;
    Asker asker(decider, progress, result);
    TZipCommon typed;
    typed.setArchiveFile(archive);
    std::unique_ptr<TUnBase> x = makeExtractor(typed.ArcType());
    if (!x) {
        asker.refuse(archive, typed.ArcType() == atFileOpenErr ? "the file cannot be opened"
                                                               : "not an archive that can be extracted");
        asker.finish();
        return result;
    }

    // The listing gives the totals for the bars before anything is written.
    {
        TKelmo list;
        list.setArchiveFile(archive);
        std::uint64_t files = 0, bytes = 0;
        list.OnRead = [&](TZipCommon& k, int64_t, int) {
            std::string rel;
            if (!innerNames.empty() && !chosenEntryPath(k.FileName, innerBase, innerNames, rel)) return;
            if (!k.IsDirectory) {
                ++files;
                bytes += k.UnpackedSize;
            }
        };
        followCancel(list, progress);
        list.Activate();
        progress.addTotals(files, bytes);
    }

    x->setArchiveFile(archive);
    x->setExtractDir(targetDir);
    if (!password.empty()) x->Passwords.push_back(password);
    if (!innerNames.empty()) {
        // The entry's own name gives way to its path below the chosen folder; the frame's
        // refusal rules then apply to that path as to any stored name.
        x->SelectEntry = [this](std::string& name) {
            std::string rel;
            if (!chosenEntryPath(name, innerBase, innerNames, rel)) return false;
            name = std::move(rel);
            return true;
        };
    }
    followCancel(*x, progress);
    EntryBytes bytes(progress);
    x->OnFileExists = [&](TZipCommon& z, const std::string& fn, const TDateTime& date, bool& accept) {
        switch (overwrite) {
            case OverwriteMode::All: accept = true; return;
            case OverwriteMode::None: accept = false; return;
            case OverwriteMode::Ask: break;
        }
        Conflict c;
        c.source.path = archive + "/" + z.FileName;
        c.source.size = static_cast<std::int64_t>(z.UnpackedSize);
        c.source.modified = static_cast<std::time_t>(dateTimeToUnixTime(date));
        c.target = factsOnDisk(fn);
        const Asker::Step step = asker.conflict(c, false);
        accept = step == Asker::Step::Go;
        if (step == Asker::Step::Cancel) z.setCancel(true);
    };
    // A later volume of a set that is not where the last one was: the user can put it there
    // (or insert its disk) and retry, skip what it holds, or cancel the job.
    x->OnNextVolume = [&](TZipCommon& z, std::string& dir, std::string& fn, const std::string& volumeId,
                          bool& stop) {
        OpError e;
        e.path = dir + fn;
        // The RAR library does not say which volume it wants ("0").
        e.action = volumeId.empty() || volumeId == "0" ? std::string("open the next volume of the archive")
                                                       : "open volume " + volumeId + " of the archive";
        e.message = "the volume is not there; put it in this place and retry";
        const Asker::Step step = asker.error(e);
        if (step == Asker::Step::Retry) return;
        stop = true;
        if (step == Asker::Step::Cancel) z.setCancel(true);
    };
    x->OnBegin = [&](TZipCommon& z, const std::string& fn, int, bool&) { bytes.begin(fn, z.UnpackedSize); };
    x->OnProgress = [&](TZipCommon&, const std::string&, uint8_t pct) { bytes.percent(pct); };
    x->OnEnd = [&](TZipCommon&, const std::string&, bool) { bytes.end(); };
    x->Activate();

    extracted = x->ExtractedCount;
    for (const auto& f : x->Failures) result.failures.push_back({f.name, messageOf(f.id)});
    for (const auto& s : x->Skipped) result.notes.push_back(s.name + ": " + messageOf(s.id));
    if (x->DirectoryIncomplete)
        result.failures.push_back({archive, "the directory could not be read to its end"});
    // An error that ended the job before any entry (unreadable archive, target not made).
    const int last = x->LastError;
    if (last != 0 && last != msg::UserAborted && x->ExtractedCount == 0 && x->FailedCount == 0 &&
        !x->DirectoryIncomplete)
        result.failures.push_back({archive, messageOf(last, x->LastErrorExtra)});
    if (x->Cancel()) asker.setCancelled();
    asker.finish();
    return result;
}

JobResult AddToZipJob::run(Decider& decider, Progress& progress) {
    JobResult result;
    Asker asker(decider, progress, result);

    // Totals for the bars: what the sources hold, folders walked whole.
    std::uint64_t files = 0, total = 0;
    for (const std::string& s : sources) {
        std::error_code ec;
        const auto st = std::filesystem::symlink_status(s, ec);
        if (ec) continue;
        if (std::filesystem::is_directory(st)) {
            for (auto it = std::filesystem::recursive_directory_iterator(
                     s, std::filesystem::directory_options::skip_permission_denied, ec);
                 !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
                if (it->is_regular_file(ec)) {
                    ++files;
                    total += it->file_size(ec);
                } else if (!it->is_directory(ec)) {
                    ++files;
                }
            }
        } else {
            ++files;
            if (std::filesystem::is_regular_file(st)) total += std::filesystem::file_size(s, ec);
        }
    }
    progress.addTotals(files, total);

    TZip zip;
    zip.setDefaultDir(baseDir);
    zip.StoredDirNames = TStoredDirNames::sdRelative;
    // A selected folder goes in with everything beneath it, dot files too: what the user
    // picked in the panel is what ends up in the archive.
    zip.RecurseDirs = true;
    zip.FileAttribute.setFtHidden(true);
    zip.Password = password;
    zip.Switch = deleteAfter ? TSwitch::swMove : TSwitch::swAdd;
    zip.StoredPrefix = storedPrefix;
    bool keptAny = false;  // an entry the user chose to keep: nothing to add is no news then
    if (askBeforeReplacing) {
        zip.OnReplaceFile = [&](TZip& z, const std::string& fn, const TDateTime& oldDate,
                                const TDateTime& newDate, uint64_t oldSize, uint64_t newSize, uint32_t,
                                uint32_t, bool& replace) {
            Conflict c;
            c.source.path = baseDir + "/" + fn.substr(std::min(fn.size(), storedPrefix.size()));
            c.source.size = static_cast<std::int64_t>(newSize);
            c.source.modified = static_cast<std::time_t>(dateTimeToUnixTime(newDate));
            c.target.path = archive + "/" + fn;
            c.target.size = static_cast<std::int64_t>(oldSize);
            c.target.modified = static_cast<std::time_t>(dateTimeToUnixTime(oldDate));
            const Asker::Step step = asker.conflict(c, false);
            replace = step == Asker::Step::Go;
            keptAny = keptAny || !replace;
            if (step == Asker::Step::Cancel) z.setCancel(true);
        };
    }
    zip.FileSpecList = sources;
    zip.setArchiveFile(archive);
    followCancel(zip, progress);
    bool nothingToDo = false;
    zip.OnError = [&](TZipCommon&, const std::string& fn, const std::string& extra, const std::string&,
                      int id) {
        if (id == msg::NothingToDo) {
            nothingToDo = true;
            return;
        }
        if (id == msg::UserAborted) return;
        result.failures.push_back({fn, messageOf(id, extra)});
    };
    EntryBytes bytes(progress);
    zip.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
        struct stat st {};
        const std::string path = fn.empty() || fn[0] == '/' ? fn : baseDir + "/" + fn;
        const bool known = ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        bytes.begin(fn, known ? static_cast<std::uint64_t>(st.st_size) : 0);
    };
    zip.OnProgress = [&](TZipCommon&, const std::string&, uint8_t pct) { bytes.percent(pct); };
    zip.OnEnd = [&](TZipCommon&, const std::string&, bool) { bytes.end(); };
    written = zip.Activate();
    if (!written && !zip.Cancel()) {
        if (nothingToDo && keptAny && result.failures.empty()) {
            // Every file the archive lacked was there already and kept: nothing to say.
        } else if (nothingToDo && result.failures.empty())
            result.notes.push_back(archive + ": nothing new to add, the archive is up to date");
        else if (result.failures.empty())
            result.failures.push_back({archive, "the archive was not written"});
    }
    if (!zip.KeptTempArchive.empty())
        result.failures.push_back({archive, "the new archive could not replace the old one; it was kept as " +
                                                zip.KeptTempArchive});
    if (zip.Cancel()) asker.setCancelled();
    asker.finish();
    return result;
}

JobResult EditZipJob::run(Decider& decider, Progress& progress) {
    JobResult result;
    Asker asker(decider, progress, result);
    progress.addTotals(deleteNames.size() + newFolders.size(), 0);
    TZip zip;
    // No masks at all: the writer's default mask would match every entry, or every file
    // of the current folder.
    zip.FileSpecList.clear();
    zip.Switch = deleteNames.empty() ? TSwitch::swAdd : TSwitch::swDelete;
    zip.ExactNames = deleteNames;
    if (deleteNames.empty()) zip.NewFolders = newFolders;
    zip.Password = password;
    // The password was asked before the job; one that does not fit is reported as wrong.
    zip.OnGetPassword = [](TZipCommon&, const std::string&, std::string&, bool& again) { again = false; };
    zip.setArchiveFile(archive);
    followCancel(zip, progress);
    zip.OnError = [&](TZipCommon&, const std::string& fn, const std::string& extra, const std::string&,
                      int id) {
        if (id == msg::NothingToDo || id == msg::UserAborted) return;
        result.failures.push_back({fn, messageOf(id, extra)});
    };
    zip.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) { progress.beginFile(fn); };
    zip.OnEnd = [&](TZipCommon&, const std::string&, bool) { progress.fileDone(); };
    written = zip.Activate();
    if (!written && !zip.Cancel() && result.failures.empty() && !deleteNames.empty())
        result.failures.push_back({archive, "the archive was not changed"});
    if (!zip.KeptTempArchive.empty())
        result.failures.push_back({archive, "the new archive could not replace the old one; it was kept as " +
                                                zip.KeptTempArchive});
    if (zip.Cancel()) asker.setCancelled();
    asker.finish();
    return result;
}

}  // namespace kv::fileops
