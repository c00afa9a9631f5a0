#include "archive/base/un_base.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "archive/base/crc.h"
#include "archive/base/util.h"

namespace kv {

namespace {

// The process's umask, read without changing it: setting it to read it back would let a
// file another thread creates meanwhile get the wrong mode.
mode_t currentUmask() {
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return mode_t(mask & 0777);
    }
    const mode_t mask = ::umask(0);  // kernels before 4.7 do not show it
    ::umask(mask);
    return mask;
}

// Names compared as a file system that ignores case would: an entry waits for a file being
// placed under a name that differs only in case, since it may be the same file there.
std::string foldedKey(std::string_view rel) {
    std::string k(rel);
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return k;
}

}  // namespace

void TUnBase::setExtractDir(const std::string& dir) {
    if (!dir.empty()) {
        extractDir_ = dir;
        if (extractDir_.back() != '/') extractDir_ += '/';
    } else {
        extractDir_ = std::string(folderPart(ArchiveFile()));
    }
}

void TUnBase::Activate() {
    Sink.selector = TOutputSink::ToFile;
    if (CpuType == TCpuType::cpt80486) CpuType = TCpuType::cptAuto;
    runJob();
}

void TUnBase::Test() {
    Sink.selector = TOutputSink::TestOnly;
    runJob();
}

void TUnBase::Scan() {
    Sink.selector = TOutputSink::ToScanner;
    runJob();
}

void TUnBase::noteFailure(const std::string& name, int id) {
    ++FailedCount;
    Failures.push_back({name, id});
}

void TUnBase::runJob() {
    RecNum = 0;
    ExtractedCount = FailedCount = FilesSeen = 0;
    Failures.clear();
    Skipped.clear();
    written_.clear();
    linkCopies_.clear();
    ownFiles_.clear();
    unwrittenDeclared_ = 0;
    replacedFiles_ = false;
    DirectoryIncomplete = DirectoryComplete = false;
    clearErrors();
    target_.close();
    try {
        if (ArchiveFile().empty()) reportAndRaise(msg::InvalidFileName, ArchiveFile());
        openArchive();
        const bool wildcard = FileSpec().find_first_of("*?") != std::string::npos;
        if (Sink.selector == TOutputSink::ToFile) {
            // A target folder that cannot be made (a file of that name, no permission) is a start
            // error: one message, instead of the same failure for every entry.
            std::string probe = outputName("x");
            root_ = probe.substr(0, probe.size() - 1);
            // The target named as a folder, not as "folder/" (whose file name part is empty).
            const std::string targetName = root_.size() > 1 ? root_.substr(0, root_.size() - 1) : root_;
            if (!target_.open(root_)) reportAndRaise(msg::CreateDirError, targetName);
            placer_ = std::make_unique<FilePlacer>(
                PlacerThreads < 0 ? FilePlacer::threadsForThisMachine(threadsOfItsOwn())
                                  : FilePlacer::Threads{unsigned(std::min(PlacerThreads, 8)), PlacerThreadsFrom},
                pool_);
            umask_ = currentUmask();
            // Never start what the disk cannot hold: the whole job's declared bytes, at once.
            struct statvfs vfs;
            if (::fstatvfs(target_.rootFd(), &vfs) == 0) {
                const uint64_t need = declaredBytes(wildcard);
                if (need > uint64_t(vfs.f_bavail) * vfs.f_frsize) reportAndRaise(msg::DiskFull, targetName);
            }
        }
        if (OnActivate) OnActivate(*this);
        setCancel(false);
        if (OnElaspedTime) startStopwatch();
        while (!Cancel()) {
            TArcEntry e;
            int stopId = 0;
            if (!nextEntry(e, stopId)) {
                if (stopId && !Cancel()) {
                    // The rest of the archive was never seen: the job did not cover it.
                    DirectoryIncomplete = true;
                    report(stopId, ArchiveFile());
                }
                break;
            }
            if (!visit(e, wildcard)) break;
        }
        DirectoryComplete = !DirectoryIncomplete;
    } catch (const E_RAISE&) {
        // reported already; the job ends here
    }
    // Files handed over are good ones: they are placed whatever ended the job.
    settlePlaced(true);
    finishDurably();
    placeFolder_.reset();
    placeFolderRel_.clear();
    placer_.reset();
    pool_.clear();
    if (Cancel() && LastError == 0) LastError = msg::UserAborted;
    if (OnElaspedTime) OnElaspedTime(*this, elapsedSeconds());
    target_.close();
    written_.clear();
    linkCopies_.clear();
    ownFiles_.clear();
    closeArchive();
}

void TUnBase::finishDurably() {
    // A replaced file's old content was at stake: once everything is in place, one flush of
    // the target's file system makes the new files and their renames durable together.
    // Files made where nothing was cost no flush, as in every other extractor.
    if (replacedFiles_ && target_.isOpen()) {
        const int fd = ::openat(target_.rootFd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::syncfs(fd);
            ::close(fd);
        }
    }
    replacedFiles_ = false;
}

bool TUnBase::linkToWritten(const TArcEntry& e, const std::string& rel) {
    const auto it = written_.find(e.hardLinkOf);
    if (it != written_.end() && linkToFile(it->second, rel, e.name)) return true;
    const auto copy = e.hardLinkData ? linkCopies_.find(e.hardLinkData) : linkCopies_.end();
    return copy != linkCopies_.end() && linkToFile(copy->second, rel, e.name);
}

bool TUnBase::linkToFile(WrittenFile src, const std::string& rel, const std::string& name) {
    ExtractTarget::Failure why = ExtractTarget::Failure::None;
    const int srcDir = target_.folder(folderPart(src.rel), false, why);
    if (srcDir < 0) return false;
    const std::string srcLeaf(fileNamePart(src.rel));
    const int fd = ::openat(srcDir, srcLeaf.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    // Only the very file this job wrote: not one that took its name since.
    struct stat st {};
    bool made = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == src.dev && st.st_ino == src.ino;
    if (made) {
        const int dirFd = target_.folder(folderPart(rel), true, why);
        made = dirFd >= 0 && ExtractTarget::placeHardLink(dirFd, std::string(fileNamePart(rel)), fd);
    }
    ::close(fd);
    if (made) {
        written_[name] = src;
        ownFiles_[rel] = {src.dev, src.ino};
    }
    return made;
}

void TUnBase::settlePlaced(bool wait) {
    FilePlacer::Outcome o;
    while (placer_ && !placed_.empty() && placer_->next(o, wait)) {
        // A file given up before it was handed over (the decoder left by an exception, or a
        // file placed on this thread whose outcome was not taken): nothing to count.
        if (o.ticket != placed_.front().ticket) continue;
        const Placed p = std::move(placed_.front());
        placed_.pop_front();
        placedKeys_.erase(p.key);
        if (o.kept) {
            if (p.good) ++ExtractedCount;
            ownFiles_[p.rel] = {o.dev, o.ino};
            if (p.linkable) written_[p.name] = {p.rel, o.dev, o.ino};
            if (p.linkable && p.linkData) linkCopies_[p.linkData] = {p.rel, o.dev, o.ino};
        } else if (p.keep) {
            const int id = o.err == ENOSPC ? msg::DiskFull : !o.opened ? msg::OpenError : msg::WriteError;
            report(id, p.outPath);
            // A damaged entry kept on request counted as failed already.
            if (p.good) noteFailure(p.name, id);
        }
    }
}

bool TUnBase::waitsForPlaced(const std::string& rel) const {
    if (placedKeys_.empty()) return false;
    const std::string key = foldedKey(rel);
    for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1))
        if (placedKeys_.count(key.substr(0, slash))) return true;
    return placedKeys_.count(key) > 0;
}

bool TUnBase::visit(TArcEntry& e, bool wildcard) {
    // What the entry carries counts whether or not it is selected: a link selected alone
    // may still be written from the data of the entry it names.
    if (!e.isDir && !e.isSymlink()) {
        const uint64_t own = e.ownBytes ? std::min(*e.ownBytes, e.size) : e.size;
        unwrittenDeclared_ = own > UINT64_MAX - unwrittenDeclared_ ? UINT64_MAX : unwrittenDeclared_ + own;
    }
    if (SelectEntry && !SelectEntry(e.name)) return true;
    FileName = e.name;
    FileDate = convertDate(e.dosDateTime);
    PackedSize = e.packed;
    UnpackedSize = e.size;
    FileCRC = e.crc;
    MethodNo = e.method;
    ExternalAttr = e.extAttr;
    Encrypted = e.encrypted;
    const bool toFile = Sink.selector == TOutputSink::ToFile;
    if (!e.isDir) ++FilesSeen;
    auto refuse = [&](int id, const std::string& shown) {
        report(id, shown, shown);
        noteFailure(shown, id);
        if (OnEnd) OnEnd(*this, shown, false);
    };
    if (e.name.empty() || e.rawNameSize > kMaxNameBytes || e.rawNameHasNul) {
        // Nothing can be made of it, but the entries after it still can.
        refuse(msg::InvalidFileName, e.name.empty() ? std::string("(no name)") : e.name);
        return true;
    }
    if (e.isVolumeLabel && !e.isDir && e.size == 0 && e.packed == 0) {
        // A DOS volume label names a disk, not a file: left out, and said so. One that carries
        // data is extracted like any file, so nothing the listing shows is silently passed by.
        if (wildcardMatch(FileSpec(), e.name, false)) Skipped.push_back({e.name, msg::FileVolumeID});
        return true;
    }
    if (!wildcardMatch(FileSpec(), e.name, false)) return true;
    if (e.isDir) {
        // Folders are made for files on demand; an empty stored folder is made too.
        if (UseStoredDirs && toFile) {
            std::string dirName = e.name;
            while (!dirName.empty() && dirName.back() == '/') dirName.pop_back();
            if (dirName.find_first_not_of("./") == std::string::npos &&
                dirName.find("..") == std::string::npos)
                return true;  // "./": the target folder itself, there already
            ExtractTarget::Failure why = ExtractTarget::Failure::None;
            if (waitsForPlaced(dirName)) settlePlaced(true);
            if (refusedEntryName(dirName))
                refuse(msg::InvalidFileName, e.name);
            else if (target_.folder(dirName, true, why) < 0)
                refuse(why == ExtractTarget::Failure::Outside ? msg::InvalidFileName : msg::CreateDirError,
                       e.name);
        }
        return true;
    }
    const std::string outPath = refusedEntryName(e.name) ? std::string() : outputName(e.name);
    bool go = true;
    if (outPath.empty()) {
        // "..", absolute names, drive prefixes: nothing is written for this entry, the rest
        // goes on.
        refuse(msg::InvalidFileName, e.name);
    } else {
        go = extract(e, outPath, toFile ? outPath.substr(root_.size()) : std::string());
    }
    if (!go || !wildcard) return false;
    if (Sink.selector >= TOutputSink::ToStream && Sink.selector <= TOutputSink::ToMemory) return false;
    return true;
}

bool TUnBase::extract(TArcEntry& e, const std::string& outPath, const std::string& rel) {
    auto fail = [&](int id) {
        if (id) report(id, outPath);
        noteFailure(e.name, id);
        if (OnEnd) OnEnd(*this, outPath, false);
        return true;
    };
    const bool toFile = Sink.selector == TOutputSink::ToFile;
    // A hard link that can be made from a file already written needs no data: its entry
    // is located only when it must be extracted from its own.
    const bool linkFirst = toFile && !e.hardLinkOf.empty();
    if (!linkFirst)
        if (int id = locateEntry(e)) return fail(id);
    ++RecNum;

    // Where the entry goes: its folder resolved beneath the target, never through a link
    // that leads out of it.
    int dirFd = -1;
    const std::string leaf(fileNamePart(rel));
    bool exists = false;
    bool ownFile = false;  // what is there is a file this job placed
    struct stat there {};
    if (toFile) {
        // A file of this name (or of a folder on its way) still being placed must be on disk
        // before this entry looks at what is there.
        if (waitsForPlaced(rel)) settlePlaced(true);
        ExtractTarget::Failure why = ExtractTarget::Failure::None;
        dirFd = target_.folder(folderPart(rel), true, why);
        if (dirFd < 0) {
            --RecNum;
            return fail(why == ExtractTarget::Failure::Outside ? msg::InvalidFileName : msg::CreateDirError);
        }
        exists = ::fstatat(dirFd, leaf.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
        if (exists && S_ISREG(there.st_mode)) {
            const auto own = ownFiles_.find(rel);
            ownFile = own != ownFiles_.end() && own->second == std::make_pair(there.st_dev, there.st_ino);
        }
    }
    bool accept = true;
    if (exists && OnFileExists && placer_) placer_->flush();
    if (exists && OnFileExists)
        OnFileExists(*this, outPath, convertDate(e.localDosDateTime ? e.localDosDateTime : e.dosDateTime),
                     accept);
    if (accept && OnBegin) OnBegin(*this, outPath, RecNum, accept);
    if (!accept) {
        --RecNum;
        return true;
    }

    // A file's bytes go to the placer (on its own thread where the machine has cores to
    // spare), in chunks, so that writing overlaps decoding even within a big entry.
    const bool toPlacer = toFile && !e.isSymlink();
    if (linkFirst) {
        settlePlaced(true);  // the file it names may still be on its way
        if (linkToWritten(e, rel)) {
            ++ExtractedCount;
            if (OnEnd) OnEnd(*this, outPath, true);
            return true;
        }
    }
    // Whatever links point where, the job writes no more than its entries carry: a link
    // whose file was not written is written from its data only while that holds (once;
    // later links to the same data become names of that copy).
    if (toPlacer && !withinDeclared(e)) {
        --RecNum;
        return fail(msg::FileNotFound);
    }
    if (linkFirst) {
        if (int id = locateEntry(e)) {
            --RecNum;
            return fail(id);
        }
        // The link's attempt may have resolved other folders: this one again.
        ExtractTarget::Failure why = ExtractTarget::Failure::None;
        dirFd = target_.folder(folderPart(rel), true, why);
        if (dirFd < 0) {
            --RecNum;
            return fail(why == ExtractTarget::Failure::Outside ? msg::InvalidFileName : msg::CreateDirError);
        }
    }

    mode_t fileMode;
    if (e.unixMode >= 0) {
        fileMode = mode_t(e.unixMode & 0777);
    } else {
        fileMode = mode_t(0666 & ~umask_);
        if (e.extAttr & 0x01) fileMode &= mode_t(~0222);  // DOS read-only
    }
    uint64_t ticket = 0;
    if (toPlacer) {
        const std::string_view folderRel = folderPart(rel);
        if (!placeFolder_ || placeFolderRel_ != folderRel) {
            placeFolder_ = FilePlacer::shareFolder(dirFd);
            placeFolderRel_ = std::string(folderRel);
        }
        // Made with its own mode at once where the umask takes nothing from it (one call
        // fewer per file); privately otherwise, and given its mode once written.
        ticket = placer_->open(placeFolder_, leaf, (fileMode & ~umask_) == fileMode ? fileMode : 0600, e.size);
        if (placer_->placedHere(ticket) && placer_->error(ticket)) {
            // Nothing is decoded for a file that cannot be made.
            placer_->finish(ticket, {});
            settlePlaced(true);  // the files before it, still on their way
            FilePlacer::Outcome o;
            placer_->next(o, true);
            return fail(msg::OpenError);
        }
    }
    // A job ended by an exception inside the decoder still finishes (removes) its file, so
    // that nothing waits for it.
    struct Unfinished {
        FilePlacer* placer;
        uint64_t ticket;
        ~Unfinished() {
            if (placer && ticket) placer->finish(ticket, {});
        }
    } unfinished{toPlacer ? placer_.get() : nullptr, ticket};
    // Bytes not yet handed over, in a buffer never bigger than the entry still needs.
    constexpr size_t kChunk = size_t(1) << 20;
    FilePlacer::Chunk chunk;
    size_t chunkCap = 0;
    auto handOver = [&]() {
        placer_->append(ticket, std::move(chunk));
        chunk = {};
    };

    // Every decoded byte passes here: the CRC, the count, and never past the declared size.
    uint32_t crc = 0;
    uint64_t written = 0;
    bool overrun = false;
    std::string linkTarget;
    const bool crc16 = crcKind() == CrcKind::Crc16;
    // Highly compressed data reads little input for much output, so the input side alone
    // may never look at Cancel during a big entry: the output side looks too, and lets the
    // GUI's cancel reach the component every MiB written.
    constexpr uint64_t kCancelPollBytes = uint64_t(1) << 20;
    uint64_t nextCancelPoll = kCancelPollBytes;
    bool cancelledWhileWriting = false;
    // Every byte is counted and checked here, whichever way it comes; false: take no more.
    // knownCrc: the CRC-32 of exactly these bytes, worked out where they were decoded.
    auto account = [&](const uint8_t* p, size_t& n, const uint32_t* knownCrc = nullptr) {
        if (written >= nextCancelPoll) {
            nextCancelPoll = written + kCancelPollBytes;
            processMessages();
        }
        if (Cancel()) {
            cancelledWhileWriting = true;
            return false;
        }
        if (n > e.size - written) {
            overrun = true;
            n = size_t(e.size - written);
        }
        if (knownCrc && !crc16 && !overrun && written == 0)
            crc = *knownCrc;
        else
            crc = crc16 ? crc16Update(uint16_t(crc), std::span<const uint8_t>(p, n))
                        : crc32Update(crc, std::span<const uint8_t>(p, n));
        written += n;
        return !overrun;
    };
    const Emit emit = [&](const uint8_t* p, size_t n) {
        if (!account(p, n)) return false;
        if (e.isSymlink()) {
            if (linkTarget.size() + n > 4096) return false;
            linkTarget.append(reinterpret_cast<const char*>(p), n);
            return true;
        }
        if (toPlacer) {
            for (size_t at = 0; at < n;) {
                if (!chunk.data()) {
                    // What the entry still declares bounds the buffer: no more can come.
                    chunkCap = size_t(std::min<uint64_t>(kChunk, e.size - (written - n + at)));
                    chunk.buffer = pool_.take(chunkCap);
                }
                const size_t take = std::min(n - at, chunkCap - chunk.size);
                std::memcpy(chunk.data() + chunk.size, p + at, take);
                chunk.size += take;
                at += take;
                // The last chunk waits for the finish, so that a small file is one hand-over
                // (a full chunk at the entry's declared end holds the piece's last byte).
                if (chunk.size == chunkCap && written - n + at < e.size) handOver();
            }
            return placer_->error(ticket) == 0;
        }
        if (Sink.selector != TOutputSink::TestOnly) return Sink.write(std::span<const uint8_t>(p, n));
        return true;
    };
    // An extractor holding the entry whole in a buffer of its own hands the buffer over.
    ownedEmit_ = [&](BufferPool::Buffer& data, size_t n, const uint32_t* knownCrc) {
        n = std::min(n, data.capacity);
        if (!toPlacer || e.isSymlink()) {
            // In the pieces an output window would have handed out.
            for (size_t at = 0; at < n; at += kChunk)
                if (!emit(data.data.get() + at, std::min(kChunk, n - at))) return false;
            return true;
        }
        if (!account(data.data.get(), n, knownCrc)) return false;
        if (chunk.size) handOver();
        chunk = {std::move(data), n};
        chunkCap = n;
        if (written < e.size) handOver();
        return placer_->error(ticket) == 0;
    };
    struct ResetOwned {
        std::function<bool(BufferPool::Buffer&, size_t, const uint32_t*)>& f;
        ~ResetOwned() { f = nullptr; }
    } resetOwned{ownedEmit_};
    bool endJob = false;
    int errorId = decodeEntry(e, outPath, emit, endJob);
    if (toPlacer) unwrittenDeclared_ -= std::min(written, unwrittenDeclared_);
    if (overrun) errorId = msg::SizeDifferent;
    if (cancelledWhileWriting || (errorId && Cancel())) errorId = msg::UserAborted;
    if (errorId && toPlacer && placer_->error(ticket) == ENOSPC) errorId = msg::DiskFull;
    // A file its thread could not create stopped the decoder: said as the serial job says it.
    if (errorId && !cancelledWhileWriting && toPlacer && placer_->openFailed(ticket)) errorId = msg::OpenError;
    const bool cancelled = errorId == msg::UserAborted;
    const bool ok = errorId == 0;
    bool good = ok && crc == e.crc && written == e.size;
    if (!ok && !cancelled && !endJob && errorId != msg::PasswordProtected &&
        errorId != msg::InvalidPassword && errorId != msg::PasswordFailed)
        report(errorId, outPath);
    else if (ok && written != e.size)
        report(msg::SizeDifferent, outPath);
    // Why a decoded entry still failed after decoding: its link, closing or renaming it.
    int placeError = 0;
    bool countedLater = false;  // its file is still being placed: counted when it is

    if (toFile) {
        bool keep = good || (KeepDamaged && !Cancel() && errorId != msg::PasswordProtected &&
                             errorId != msg::InvalidPassword && errorId != msg::PasswordFailed && !endJob);
        if (keep && e.isSymlink()) {
            // A link is made only when every path through it, from where it lands, stays inside.
            if (!target_.linkStaysInside(folderPart(rel), linkTarget) ||
                !ExtractTarget::placeLink(dirFd, leaf, linkTarget)) {
                report(msg::InvalidFileName, e.name, linkTarget);
                keep = good = false;
                placeError = msg::InvalidFileName;
            }
        } else if (toPlacer) {
            FilePlacer::Finish how;
            how.keep = keep;
            how.mode = fileMode;
            if (SetDateTo() != TSetDate::sdSysDate)
                how.mtime =
                    e.unixMtime >= 0 ? e.unixMtime : dateTimeToUnixTime(dosDateTimeToDateTime(e.dosDateTime));
            // Never flushed here: what the job replaced of the user's is made durable in one
            // step at its end (finishDurably), and a file the job wrote a moment before is
            // replaced as cheaply as a new one is made, so entries of one name cost no more
            // than entries of many.
            if (exists && !ownFile) replacedFiles_ = true;
            how.overOwn = ownFile;
            how.overDev = there.st_dev;
            how.overIno = there.st_ino;
            // Found free when the entry began: a file someone made there since (while the
            // question was open, or while this one queued) is never replaced unasked.
            how.noReplace = !exists;
            how.identify = keep;
            unfinished.ticket = 0;
            placer_->finish(ticket, how, std::move(chunk));
            if (placer_->placedHere(ticket) || placer_->error(ticket)) {
                // Known now (or failing already): settled here, as part of this entry.
                settlePlaced(true);
                FilePlacer::Outcome o;
                placer_->next(o, true);
                if (keep && !o.kept) {
                    placeError = o.err == ENOSPC ? msg::DiskFull : !o.opened ? msg::OpenError : msg::WriteError;
                    report(placeError, outPath);
                    keep = good = false;
                } else if (o.kept) {
                    ownFiles_[rel] = {o.dev, o.ino};
                    if (mayHardLink()) {
                        written_[e.name] = {rel, o.dev, o.ino};
                        if (e.hardLinkData && !e.hardLinkOf.empty())
                            linkCopies_[e.hardLinkData] = {rel, o.dev, o.ino};
                    }
                }
            } else {
                const uint64_t linkData = e.hardLinkOf.empty() ? 0 : e.hardLinkData;
                placed_.push_back({ticket, e.name, outPath, rel, foldedKey(rel), linkData,
                                   keep && mayHardLink(), keep, good});
                placedKeys_.insert(placed_.back().key);
                countedLater = true;
                settlePlaced(false);
            }
        }
    }

    const bool crcFailed = ok && written == e.size && crc != e.crc;
    if (OnEnd)
        OnEnd(*this, outPath, good);
    else if (crcFailed)
        report(msg::CrcFailed, outPath);
    if (good) {
        if (!countedLater) ++ExtractedCount;
    } else if (!cancelled)  // a cancelled entry is no failure: the job simply ends
        noteFailure(e.name, !ok                 ? errorId
                            : written != e.size ? msg::SizeDifferent
                            : crcFailed         ? msg::CrcFailed
                                                : placeError);
    return !endJob;
}

bool TUnBase::emitOwned(BufferPool::Buffer&& data, size_t n, const uint32_t* crcOfThem) {
    const bool ok = ownedEmit_ ? ownedEmit_(data, n, crcOfThem) : false;
    pool_.give(std::move(data));  // when it was not taken over
    return ok;
}

bool TUnBase::storedCopy(const ArcFile& file, uint64_t pos, uint64_t size, bool useCrc16, uint32_t& crc) {
    std::vector<uint8_t> buf(static_cast<size_t>(size < 32768 ? size : 32768));
    uint64_t done = 0;
    while (done < size) {
        if (Cancel()) return false;
        size_t want = static_cast<size_t>(size - done < buf.size() ? size - done : buf.size());
        std::span<uint8_t> chunk(buf.data(), want);
        if (!file.readExact(pos + done, chunk)) return false;
        if (useCrc16)
            crc = crc16Update(static_cast<uint16_t>(crc), chunk);
        else
            crc = crc32Update(crc, chunk);
        if (!Sink.write(chunk)) return false;
        done += want;
        reportProgress(done, size);
    }
    return true;
}

}  // namespace kv
