#include "archive/zip/zip_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "archive/base/crc.h"
#include "archive/base/extract_target.h"
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/codec/deflate.h"
#include "archive/codec/inflate.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"
#include "archive/codec/pkware_crypt.h"
#include "archive/formats/zip/zip_directory.h"
#include "archive/formats/zip/zip_end.h"
#include "archive/formats/zip/zip_write_records.h"
#include "archive/kelmo/block_reader.h"
#include "platform/atomic_file.h"

namespace kv {

namespace {

constexpr size_t kReadChunk = 1 << 18;
constexpr size_t kOutFlush = 1 << 20;
// Files this large get a ZIP64 local header from the start: deflate may grow data a little.
constexpr uint64_t kZip64LocalFrom = 0xFFFF0000u;

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x80; });
}

std::string currentDir() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// Paths on the disk split at "/" only: a backslash is part of a Linux file's name.
std::string_view lastPart(std::string_view path) {
    const size_t p = path.rfind('/');
    return p == std::string_view::npos ? path : path.substr(p + 1);
}
std::string_view parentPart(std::string_view path) {
    const size_t p = path.rfind('/');
    return p == std::string_view::npos ? std::string_view{} : path.substr(0, p + 1);
}

// Why a new entry's name cannot go into the archive (nullptr: it can). A stored name must be
// a relative path of plain names that every extractor takes back as the same path, so
// nothing it would refuse or read otherwise is written ("/" ends a folder's name).
const char* unstorableBecause(std::string_view name) {
    std::string_view body = name;
    if (!body.empty() && body.back() == '/') body.remove_suffix(1);
    if (name.size() > kMaxNameBytes) return "the name is longer than archive readers take";
    for (size_t start = 0;;) {
        const size_t end = std::min(body.find('/', start), body.size());
        const std::string_view part = body.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return "a stored name must be a plain relative path";
        if (end == body.size()) break;
        start = end + 1;
    }
    // Readers take a backslash for a folder separator: ..\..\x would climb, a\b land in a.
    if (body.find('\\') != std::string_view::npos)
        return "archive readers take its backslash for a folder separator; rename the file to add it";
    if (body.size() >= 2 && body[1] == ':')
        return "archive readers take its start for a drive; rename the file to add it";
    if (refusedEntryName(body)) return "archive readers would refuse the name";
    return nullptr;
}

// The DOS attributes a Linux file stands for.
uint32_t dosAttributes(const struct stat& st, std::string_view name) {
    uint32_t a = 0;
    if (S_ISDIR(st.st_mode))
        a |= 0x10;
    else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        a |= 0x20;
    else
        a |= 0x04;
    if (!(st.st_mode & 0222)) a |= 0x01;
    if (!name.empty() && name[0] == '.') a |= 0x02;
    return a;
}

uint32_t dosTimeOf(const struct stat& st) { return dateTimeToDos(unixTimeToDateTime(st.st_mtime)); }

// The output archive: buffered sequential writes, with local headers patched in place.
class ArchiveOut {
public:
    bool begin(const std::string& path) { return file_.begin(AT_FDCWD, path); }
    uint64_t offset() const { return flushed_ + buf_.size(); }
    void put(const void* p, size_t n) {
        buf_.append(static_cast<const char*>(p), n);
        if (buf_.size() >= kOutFlush) flush();
    }
    void put(std::string_view s) { put(s.data(), s.size()); }
    bool flush() {
        if (!buf_.empty()) {
            ok_ = file_.write(buf_.data(), buf_.size()) && ok_;
            flushed_ += buf_.size();
            buf_.clear();
        }
        return ok_;
    }
    void patch(uint64_t at, const uint8_t* p, size_t n) {
        if (at >= flushed_) {
            std::memcpy(buf_.data() + (at - flushed_), p, n);
            return;
        }
        flush();
        for (size_t done = 0; done < n;) {
            const ssize_t w = ::pwrite(file_.fd(), p + done, n - done, off_t(at + done));
            if (w <= 0) {
                if (w < 0 && errno == EINTR) continue;
                ok_ = false;
                return;
            }
            done += size_t(w);
        }
    }
    // Drops everything from at on (an entry written again another way).
    void truncate(uint64_t at) {
        if (at >= flushed_) {
            buf_.resize(at - flushed_);
            return;
        }
        buf_.clear();
        if (::ftruncate(file_.fd(), off_t(at)) != 0 || ::lseek(file_.fd(), off_t(at), SEEK_SET) < 0)
            ok_ = false;
        flushed_ = at;
    }
    bool ok() const { return ok_; }
    bool commit() { return flush() && file_.commit(); }
    const std::string& tempName() const { return file_.tempName(); }
    int fd() const { return file_.fd(); }

private:
    platform::AtomicFile file_;
    std::string buf_;
    uint64_t flushed_ = 0;
    bool ok_ = true;
};

// One entry of the existing archive.
struct OldEntry {
    ZipEntryFields fields;
    std::string name;        // as presented (UTF-8, "/")
    uint64_t recordPos = 0;  // local header
    uint64_t dataPos = 0;    // after the local header's name and extra field
    uint64_t recordEnd = 0;  // after the data and its descriptor
    bool encrypted() const { return fields.flags & kZipFlagEncrypted; }
};

// A file found by the scan.
struct Source {
    std::string path, storedName;
    struct stat st {};
    uint32_t dosTime = 0, extAttr = 0;
    int replaces = -1;  // index of the old entry it replaces
};

// What became of a file the scan met.
enum class Take { Added, Duplicate, Filtered, Refused, JobFile };

// The length of the data descriptor after an entry's data (0 when there is none).
uint64_t descriptorLength(const ArcFile& f, const ZipCentralRecord& rec, uint64_t dataEnd) {
    if (!(rec.flags & kZipFlagDescriptor)) return 0;
    const bool wide = rec.packed >= kZip32Max || rec.size >= kZip32Max;
    uint8_t sig[4];
    const bool signed_ = f.readExact(dataEnd, sig) && le32(sig) == 0x08074B50;
    return (signed_ ? 4 : 0) + (wide ? 20 : 12);
}

}  // namespace

struct TZip::Impl {
    TZip& z;
    std::string archive;
    ArcFile old;
    std::vector<OldEntry> oldEntries;
    std::unordered_map<std::string, size_t> oldByName;
    std::string oldComment;
    ArchiveOut out;
    std::vector<ZipEntryFields> central;
    std::vector<Source> sources;
    std::unordered_set<std::string> sourceNames;
    // Per written file, for the move: its identity when it was read.
    struct Written {
        std::string path;
        dev_t dev;
        ino_t ino;
        off_t size;
        time_t mtime;
    };
    std::vector<Written> written;
    // The files this job writes or replaces: the archive (by the name given, which may be a
    // link, and as opened) and its temporary. The scan never takes them, by any name.
    struct FileId {
        uint64_t dev, ino;
    };
    std::vector<FileId> jobFiles;
    // The real path of the last folder a name was made absolute from (sdAbsolute).
    std::string realFor, realOf;
    bool passwordFailed = false;
    std::vector<uint8_t> readBuf = std::vector<uint8_t>(kReadChunk);
    std::vector<uint8_t> packedBuf;
    // One compressor for every entry of the archive, reset between them.
    std::optional<codec::Deflater> deflater;

    explicit Impl(TZip& owner) : z(owner) {}

    bool readOldArchive();
    bool copyOld(const OldEntry& e);
    void noteJobFiles();
    bool isJobFile(const struct stat& st) const;
    void scanItem(const std::string& item);
    void scanFolder(const std::string& base, const std::string& rel, const std::string& mask, bool recurse);
    Take takeFile(const std::string& base, const std::string& rel, const struct stat& st);
    Take admit(Source&& s, const std::string& shown);
    std::string storedName(const std::string& base, const std::string& rel);
    bool addSource(Source& s);
    bool writeEntry(Source& s, int fd, const std::string& linkTarget, ZipEntryFields& e, bool zip64,
                    bool store, bool& tooBig, bool& grew, bool& changed);
    bool passwordFits(const OldEntry& e, const std::string& pw);
    bool findDeletePassword(const OldEntry& e);
    bool finish(bool deleting, size_t keptCount);
    void fireRead();
    void deleteWrittenSources();
};

TZip::TZip() {
    arcType_ = atZIP;
    StoredDirNames = TStoredDirNames::sdRelative;
    defaultDir_ = currentDir();
}

TZip::~TZip() = default;

void TZip::setArchiveFile(const std::string& name) {
    TotalPacked = TotalUnpacked = 0;
    std::string n = trim(name);
    if (n.empty()) {
        archiveFile_.clear();
        arcType_ = atNA;
        return;
    }
    const std::string_view base = lastPart(n);
    if (!base.empty() && base.find('.') == std::string_view::npos) {
        std::string ext = defaultExt_;
        for (char& c : ext) c = char(std::tolower(uint8_t(c)));
        n += "." + ext;
    }
    ArcStart = 1;
    Count = 0;
    archiveFile_ = n;
    arcType_ = atZIP;
}

void TZip::setDefaultDir(const std::string& dir) {
    const std::string d = trim(dir);
    struct stat st {};
    defaultDir_ = !d.empty() && ::stat(d.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? d : currentDir();
}

void TZip::setDefaultExt(const std::string& ext) {
    std::string e = trim(ext);
    if (const size_t dot = e.find('.'); dot != std::string::npos) e = e.substr(dot + 1);
    e = e.substr(0, 3);
    defaultExt_ = e.empty() ? "ZIP" : e;
}

void TZip::setDeflateType(TDeflateType t) {
    deflateType_ = t;
    switch (t) {
        case TDeflateType::dtDeflateS: break;
        case TDeflateType::dtDeflateF: level_ = 2; break;
        case TDeflateType::dtDeflateN: level_ = 7; break;
        case TDeflateType::dtDeflateX: level_ = 9; break;
    }
}

void TZip::setLevel(int level) { level_ = std::clamp(level, 1, 9); }

void TZip::setCompressMethod(TCompressMethod m) {
    if (m == TCompressMethod::cmStore || m == TCompressMethod::cmDeflate) method_ = m;
}

bool TZip::Activate() {
    WrittenFiles.clear();
    DeletedFiles.clear();
    KeptTempArchive.clear();
    clearErrors();
    if (trim(archiveFile_).empty()) return false;
    startStopwatch();
    bool done = false;
    try {
        done = mainJob();
    } catch (const E_RAISE&) {
        done = false;  // reported when raised
    } catch (const std::exception&) {
        report(msg::OutOfMemory, archiveFile_);
        done = false;
    }
    if (OnElaspedTime) OnElaspedTime(*this, elapsedSeconds());
    return done;
}

bool TZip::Impl::readOldArchive() {
    if (!old.open(archive)) return false;
    ZipEnd end;
    if (!findZipEnd(old, end)) return false;
    BlockReader r(old);
    ZipDirectory dir;
    if (locateZipDirectory(r, end, 0, dir) != 0) return false;
    oldComment = end.comment;
    if (dir.empty) return true;
    bool damaged = false;
    const int walked = walkZipDirectory(r, dir, [&](const ZipCentralRecord& rec) {
        OldEntry e;
        e.fields.madeBy = rec.madeBy;
        e.fields.needed = rec.needed;
        e.fields.flags = rec.flags;
        e.fields.method = rec.method;
        e.fields.internalAttr = rec.internalAttr;
        e.fields.dosDateTime = rec.dosDateTime;
        e.fields.crc = rec.crc;
        e.fields.externalAttr = rec.extAttr;
        e.fields.packed = rec.packed;
        e.fields.size = rec.size;
        e.fields.name.assign(rec.rawName);
        const char* extraBegin = rec.rawName.data() + rec.rawName.size();
        e.fields.extra =
            zipExtraWithoutZip64(std::string_view(extraBegin, size_t(rec.rawComment.data() - extraBegin)));
        e.fields.comment.assign(rec.rawComment);
        e.name = presentName(rec.rawName, z.NameCodePage, rec.utf8());
        uint8_t lh[30];
        const int64_t pos = int64_t(rec.localOffset) + dir.localDelta;
        uint64_t dataEnd;
        if (pos < 0 || !zipLocalDataStart(old, uint64_t(pos), e.dataPos, lh) ||
            !checkedAdd(e.dataPos, rec.packed, dataEnd) || dataEnd > old.size()) {
            damaged = true;
            return false;
        }
        e.recordPos = uint64_t(pos);
        if (!checkedAdd(dataEnd, descriptorLength(old, rec, dataEnd), e.recordEnd) ||
            e.recordEnd > old.size()) {
            damaged = true;
            return false;
        }
        oldByName.emplace(e.name, oldEntries.size());
        oldEntries.push_back(std::move(e));
        return true;
    });
    return walked == 0 && !damaged;
}

// Copies an old entry's local record unchanged and gives it its new central header.
bool TZip::Impl::copyOld(const OldEntry& e) {
    ZipEntryFields f = e.fields;
    f.localOffset = out.offset();
    for (uint64_t at = e.recordPos; at < e.recordEnd;) {
        const size_t n = size_t(std::min<uint64_t>(readBuf.size(), e.recordEnd - at));
        if (!old.readExact(at, std::span<uint8_t>(readBuf.data(), n))) {
            z.report(msg::ReadError, archive);
            return false;
        }
        out.put(readBuf.data(), n);
        at += n;
    }
    central.push_back(std::move(f));
    return true;
}

void TZip::Impl::noteJobFiles() {
    auto note = [&](int fd) {
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0) jobFiles.push_back({uint64_t(st.st_dev), uint64_t(st.st_ino)});
    };
    note(out.fd());
    if (old.isOpen()) jobFiles.push_back({old.device(), old.inode()});
    // The archive's own name: a link to the archive is no source either.
    const int self = ::open(archive.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    note(self);
    if (self >= 0) ::close(self);
}

bool TZip::Impl::isJobFile(const struct stat& st) const {
    return std::any_of(jobFiles.begin(), jobFiles.end(), [&](const FileId& f) {
        return f.dev == uint64_t(st.st_dev) && f.ino == uint64_t(st.st_ino);
    });
}

std::string TZip::Impl::storedName(const std::string& base, const std::string& rel) {
    switch (z.StoredDirNames) {
        case TStoredDirNames::sdNone: return z.StoredPrefix + std::string(lastPart(rel));
        case TStoredDirNames::sdRelative: return z.StoredPrefix + rel;
        case TStoredDirNames::sdAbsolute:
        case TStoredDirNames::sdAbsoluteNoDrv: {
            // The folder's real path, so no "." or ".." of the spelling given is stored; Linux
            // has no drive, and a stored name never starts with "/" (it would extract anywhere).
            if (realFor != base) {
                char* real = ::realpath(base.c_str(), nullptr);
                realOf = real ? real : base;
                std::free(real);
                realFor = base;
            }
            const std::string full = joinPath(realOf, rel);
            const size_t b = full.find_first_not_of('/');
            return b == std::string::npos ? std::string() : z.StoredPrefix + full.substr(b);
        }
    }
    return rel;
}

// The one gate for every new entry's name: names that are not plain relative paths, or
// that an extractor would refuse or read as another path, are refused and said.
Take TZip::Impl::admit(Source&& s, const std::string& shown) {
    if (const char* why = unstorableBecause(s.storedName)) {
        z.report(msg::InvalidFileName, shown, why);
        return Take::Refused;
    }
    // One name once per job (sdNone through subfolders meets names again).
    if (!sourceNames.insert(s.storedName).second) return Take::Duplicate;
    sources.push_back(std::move(s));
    return Take::Added;
}

Take TZip::Impl::takeFile(const std::string& base, const std::string& rel, const struct stat& st) {
    // The archive and its temporary are never read into themselves, whatever name leads there.
    if (isJobFile(st)) return Take::JobFile;
    const uint32_t attrs = dosAttributes(st, lastPart(rel));
    const int mask = z.FileAttribute.Attr();
    if ((attrs & 0x06) & ~uint32_t(mask)) return Take::Filtered;  // hidden or system not asked for
    if (attrs == 0x20 && !(mask & 0x20)) return Take::Filtered;
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return Take::Filtered;  // fifos and devices are never read
    Source s;
    s.path = joinPath(base, rel);
    s.storedName = storedName(base, rel);
    s.st = st;
    s.dosTime = dosTimeOf(st);
    s.extAttr = uint32_t(st.st_mode & 0xFFFF) << 16 | attrs;
    const std::string shown = s.path;
    return admit(std::move(s), shown);
}

void TZip::Impl::scanFolder(const std::string& base, const std::string& rel, const std::string& mask,
                            bool recurse) {
    const std::string folder = rel.empty() ? base : joinPath(base, rel);
    DIR* d = ::opendir(folder.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (const dirent* de = ::readdir(d)) {
        const std::string n = de->d_name;
        if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    std::vector<std::string> subfolders;
    for (const std::string& n : names) {
        if (z.Cancel()) return;
        const std::string r = rel.empty() ? n : rel + "/" + n;
        struct stat st {};
        if (::lstat(joinPath(base, r).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {  // a link to a folder is lstat'ed as a link, never followed
            if (recurse && n[0] != '.') subfolders.push_back(r);
            continue;
        }
        if (wildcardMatch(mask, n, true)) takeFile(base, r, st);
    }
    for (const std::string& r : subfolders) {
        if (z.Cancel()) return;
        if (z.OnRecurseDir) z.OnRecurseDir(z, joinPath(base, r));
        scanFolder(base, r, mask, recurse);
    }
}

void TZip::Impl::scanItem(const std::string& rawItem) {
    std::string item = trim(rawItem);
    if (item.empty()) return;
    if (item[0] != '/') item = joinPath(z.DefaultDir(), item);
    while (item.size() > 1 && item.back() == '/') item.pop_back();
    const std::string last(lastPart(item));
    std::string folder(parentPart(item));
    if (folder.empty()) folder = "/";
    if (last.find_first_of("*?") != std::string::npos) {
        // A mask: the matching names in its folder, stored by their path below that folder.
        scanFolder(folder, "", last, z.RecurseDirs);
        return;
    }
    struct stat st {};
    if (::stat(item.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (z.OnRecurseDir) z.OnRecurseDir(z, item);
        if (last.empty() || last == "." || last == "..")
            // "/", ".", "..", "x/..": a folder with no name of its own here gives what it
            // holds, by its path below it.
            scanFolder(item, "", "*", z.RecurseDirs);
        else
            // A folder named by itself goes in under its own name, with what it holds.
            scanFolder(folder, last, "*", z.RecurseDirs);
        return;
    }
    // A file named by itself is that very file: no mask, so no other spelling of its name.
    if (::lstat(item.c_str(), &st) != 0) {
        z.report(msg::FileNotFound, item);
        return;
    }
    const Take took = takeFile(folder, last, st);
    if (took == Take::JobFile) z.report(msg::SameInOut, item, "the archive is not added to itself");
    if (took == Take::Filtered) z.report(msg::FileNotFound, item);
}

bool TZip::Impl::writeEntry(Source& s, int fd, const std::string& linkTarget, ZipEntryFields& e, bool zip64,
                            bool store, bool& tooBig, bool& grew, bool& changed) {
    tooBig = grew = changed = false;
    const uint64_t headerPos = out.offset();
    e.localOffset = headerPos;
    e.method = store ? 0 : 8;
    e.flags = uint16_t(isAscii(e.name) ? 0 : kZipFlagUtf8);
    const bool encrypt = !z.Password.empty();
    if (encrypt) e.flags |= kZipFlagEncrypted;
    if (!store) {
        if (z.Level() <= 2)
            e.flags |= 4;
        else if (z.Level() >= 8)
            e.flags |= 2;
    }
    e.crc = 0;
    e.packed = e.size = 0;
    std::string header;
    appendZipLocalHeader(header, e, zip64);
    out.put(header);

    // The source, read from the file or (for a link) from its target text, never past the
    // size it had when opened: a file that grows meanwhile (a log, or output of this very job
    // under a name the scan could not know) cannot make the archive grow with it.
    const uint64_t expected = fd < 0 ? linkTarget.size() : uint64_t(s.st.st_size);
    auto readAt = [&](uint64_t pos, uint8_t* dst, size_t n) -> ssize_t {
        if (pos >= expected) return 0;
        n = size_t(std::min<uint64_t>(n, expected - pos));
        if (fd < 0) {
            if (pos >= linkTarget.size()) return 0;
            const size_t k = std::min<size_t>(n, linkTarget.size() - size_t(pos));
            std::memcpy(dst, linkTarget.data() + pos, k);
            return ssize_t(k);
        }
        while (true) {
            const ssize_t r = ::pread(fd, dst, n, off_t(pos));
            if (r < 0 && errno == EINTR) continue;
            return r;
        }
    };

    uint32_t crc = 0;
    std::optional<codec::PkwareKeys> keys;
    if (encrypt) {
        // The header's check byte is the CRC's high byte, so the CRC comes first.
        for (uint64_t pos = 0;;) {
            const ssize_t r = readAt(pos, readBuf.data(), readBuf.size());
            if (r < 0) return false;
            if (r == 0) break;
            crc = crc32Update(crc, std::span<const uint8_t>(readBuf.data(), size_t(r)));
            pos += uint64_t(r);
        }
        keys.emplace(z.Password);
        uint8_t head[12];
        if (::getrandom(head, 10, 0) != 10)
            for (int i = 0; i < 10; ++i) head[i] = uint8_t(std::rand());
        head[10] = uint8_t(crc >> 16);
        head[11] = uint8_t(crc >> 24);
        for (uint8_t& b : head) b = keys->encryptByte(b);
        out.put(head, 12);
    }
    auto emit = [&](uint8_t* p, size_t n) {
        if (keys)
            for (size_t i = 0; i < n; ++i) p[i] = keys->encryptByte(p[i]);
        out.put(p, n);
    };

    if (!store) {
        if (deflater)
            deflater->reset(z.Level());
        else
            deflater.emplace(z.Level());
    }
    const int step = progressStep(z.ProgressNotify);
    int lastPercent = -1;
    uint64_t pos = 0;
    uint32_t crc2 = 0;
    z.FileName = e.name;
    z.reportProgress(0, expected);
    while (true) {
        if (z.Cancel()) return false;
        const ssize_t r = readAt(pos, readBuf.data(), readBuf.size());
        if (r < 0) return false;
        const size_t n = size_t(r);
        crc2 = crc32Update(crc2, std::span<const uint8_t>(readBuf.data(), n));
        pos += n;
        if (store) {
            emit(readBuf.data(), n);
        } else {
            packedBuf.clear();
            deflater->compress(std::span<const uint8_t>(readBuf.data(), n), n == 0, packedBuf);
            emit(packedBuf.data(), packedBuf.size());
        }
        const int pc = Percent(pos, expected);
        if (pc / step != lastPercent / step && pc < 100) {
            lastPercent = pc;
            z.reportProgress(pos, expected);
        }
        if (n == 0) break;
    }
    if (encrypt && crc2 != crc) return false;  // the file changed between the two reads
    if (fd >= 0) {
        // Shorter or longer now than when it was opened, or written to meanwhile: what went
        // in is what was read up to that size, and the caller says so.
        struct stat now {};
        uint8_t more;
        changed = pos != expected || ::pread(fd, &more, 1, off_t(expected)) > 0 || ::fstat(fd, &now) != 0 ||
                  now.st_size != s.st.st_size || now.st_mtim.tv_sec != s.st.st_mtim.tv_sec ||
                  now.st_mtim.tv_nsec != s.st.st_mtim.tv_nsec;
    }
    e.crc = crc2;
    e.size = pos;
    e.packed = out.offset() - headerPos - header.size();
    if (!zip64 && (e.size >= kZip32Max || e.packed >= kZip32Max)) {
        tooBig = true;
        return false;
    }
    if (!store && e.packed > e.size + (encrypt ? 12 : 0)) {
        grew = true;
        return false;
    }
    std::vector<uint8_t> h(header.begin(), header.end());
    zipPatchLocalSizes(h.data(), h.size(), e, zip64);
    out.patch(headerPos, h.data(), h.size());
    z.reportProgress(expected, expected);
    return true;
}

bool TZip::Impl::addSource(Source& s) {
    int fd = -1;
    std::string linkTarget;
    if (S_ISDIR(s.st.st_mode)) {
        // A folder entry: a name and no data.
    } else if (S_ISLNK(s.st.st_mode)) {
        char buf[4096];
        const ssize_t n = ::readlink(s.path.c_str(), buf, sizeof buf);
        if (n < 0) {
            z.report(msg::OpenError, s.path);
            return false;
        }
        linkTarget.assign(buf, size_t(n));
    } else {
        fd = ::open(s.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat now {};
        if (fd < 0 || ::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode)) {
            if (fd >= 0) ::close(fd);
            z.report(msg::OpenError, s.path);
            return false;
        }
        // Only the file the scan took (and found not to be the archive) is read.
        if (now.st_dev != s.st.st_dev || now.st_ino != s.st.st_ino) {
            ::close(fd);
            z.report(msg::OpenError, s.path, "the file was replaced after its folder was read");
            return false;
        }
        s.st = now;
    }
    ZipEntryFields e;
    e.name = s.storedName;
    e.dosDateTime = s.dosTime;
    e.externalAttr = s.extAttr;
    const uint64_t size = fd < 0 ? linkTarget.size() : uint64_t(s.st.st_size);
    bool zip64 = size >= kZip64LocalFrom;
    bool store = size == 0 || fd < 0 || z.CompressMethod() == TCompressMethod::cmStore;
    // A folder entry has nothing to encrypt.
    const std::string password = z.Password;
    if (S_ISDIR(s.st.st_mode)) z.Password.clear();
    const uint64_t start = out.offset();
    bool ok = false, changed = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool tooBig = false, grew = false;
        ok = writeEntry(s, fd, linkTarget, e, zip64, store, tooBig, grew, changed);
        if (ok) break;
        out.truncate(start);
        if (tooBig && !zip64)
            zip64 = true;  // the file grew past what the header can hold
        else if (grew && !store)
            store = true;  // already compressed data is stored
        else
            break;
    }
    if (fd >= 0) ::close(fd);
    z.Password = password;
    if (!ok) {
        if (!z.Cancel()) z.report(msg::ReadError, s.path);
        return false;
    }
    if (size == 0) e.flags &= uint16_t(~6u);  // empty: stored, no level bits
    central.push_back(e);
    if (changed) {
        // In the archive as it was read; a move keeps the file, which now holds more.
        z.report(msg::SizeDifferent, s.path,
                 "the file changed while it was read; the archive holds the " + std::to_string(e.size) +
                     " bytes read, no more than it had when opened");
        return true;
    }
    if (!S_ISDIR(s.st.st_mode))
        written.push_back({s.path, s.st.st_dev, s.st.st_ino, s.st.st_size, s.st.st_mtime});
    return true;
}

bool TZip::Impl::passwordFits(const OldEntry& e, const std::string& pw) {
    uint8_t head[12];
    if (!old.readExact(e.dataPos, head)) return false;
    const uint8_t check = (e.fields.flags & kZipFlagDescriptor) ? uint8_t(e.fields.dosDateTime >> 8)
                                                                : uint8_t(e.fields.crc >> 24);
    if (!codec::pkwareHeaderFits(std::span<const uint8_t, 12>(head, 12), pw, check)) return false;
    // The check byte lets one wrong password in 256 through: stored and deflated entries are
    // decrypted whole, and the password is taken only when their CRC comes out right.
    if ((e.fields.method != 0 && e.fields.method != 8) || e.fields.packed < 12) return true;
    codec::PkwareKeys keys(pw);
    keys.decrypt(head, sizeof head);
    uint64_t pos = e.dataPos + 12, left = e.fields.packed - 12;
    auto pull = [&](uint8_t* dst, size_t cap) -> long {
        const size_t n = size_t(std::min<uint64_t>(cap, left));
        if (n == 0) return 0;
        if (!old.readExact(pos, std::span<uint8_t>(dst, n))) return -1;
        keys.decrypt(dst, n);
        pos += n;
        left -= n;
        return long(n);
    };
    uint32_t crc = 0;
    uint64_t got = 0;
    auto take = [&](const uint8_t* p, size_t n) {
        crc = crc32Update(crc, std::span<const uint8_t>(p, n));
        got += n;
        return true;
    };
    if (e.fields.method == 0) {
        std::vector<uint8_t> buf(size_t(std::min<uint64_t>(left, 1u << 16)));
        while (left > 0) {
            const long n = pull(buf.data(), buf.size());
            if (n <= 0) return false;
            take(buf.data(), size_t(n));
        }
    } else {
        codec::InputSource in(pull, codec::InputSource::chunkFor(left));
        codec::OutputWindow window(take, e.fields.size);
        if (!codec::inflate(in, window).ok()) return false;
    }
    return got == e.fields.size && crc == e.fields.crc;
}

bool TZip::Impl::findDeletePassword(const OldEntry& e) {
    if (passwordFits(e, z.Password)) return true;
    for (const std::string& p : z.Passwords)
        if (passwordFits(e, p)) return true;
    if (!z.OnGetPassword) {
        z.report(msg::EventNotAssigned, e.name, "OnGetPassword");
        return false;
    }
    for (int tries = 0; tries < 3; ++tries) {
        std::string pw;
        bool again = true;
        z.OnGetPassword(z, e.name, pw, again);
        if (passwordFits(e, pw)) {
            z.Passwords.insert(z.Passwords.begin(), pw);
            return true;
        }
        z.report(msg::InvalidPassword, e.name);
        if (!again) break;
    }
    return false;
}

bool TZip::Impl::finish(bool deleting, size_t keptCount) {
    if (central.empty()) {
        if (deleting && keptCount == 0 && !oldEntries.empty() && !passwordFailed) {
            old.close();
            if (::unlink(archive.c_str()) != 0) {
                z.report(msg::DeleteError, archive);
                return false;
            }
            z.setArchiveFile("");
            return true;
        }
        z.report(msg::NothingToDo, archive);
        return false;
    }
    const uint64_t cdOffset = out.offset();
    std::string cd;
    for (const ZipEntryFields& e : central) {
        appendZipCentralHeader(cd, e);
        if (cd.size() >= kOutFlush) {
            out.put(cd);
            cd.clear();
        }
    }
    out.put(cd);
    const uint64_t cdSize = out.offset() - cdOffset;
    std::string end;
    appendZipEnd(end, central.size(), cdSize, cdOffset, oldComment);
    out.put(end);
    if (!out.ok() || !out.commit()) {
        z.report(msg::WriteError, archive);
        return false;
    }
    return true;
}

void TZip::Impl::fireRead() {
    if (!z.OnRead) return;
    int n = 0;
    for (const ZipEntryFields& e : central) {
        z.FileName = presentName(e.name, z.NameCodePage, e.flags & kZipFlagUtf8);
        z.FileDate = dosDateTimeToDateTime(e.dosDateTime);
        z.PackedSize = e.packed;
        z.UnpackedSize = e.size;
        z.FileCRC = e.crc;
        z.MethodNo = e.method;
        z.Encrypted = e.flags & kZipFlagEncrypted;
        z.ExternalAttr = e.externalAttr;
        z.InternalAttr = e.internalAttr;
        z.VersionMadeBy = uint8_t(e.madeBy);
        z.VersionNeeded = uint8_t(e.needed);
        z.FileComment = e.comment;
        z.MethodName = e.method == 0                                 ? "Stored"
                       : z.DeflateType() == TDeflateType::dtDeflateF ? "DeflateF"
                       : z.DeflateType() == TDeflateType::dtDeflateX ? "DeflateX"
                                                                     : "DeflateN";
        z.computeRatio();
        z.OnRead(z, int64_t(e.localOffset), ++n);
    }
}

void TZip::Impl::deleteWrittenSources() {
    for (const Written& w : written) {
        struct stat st {};
        // Only the very file that was read: not one changed or put in its place since.
        if (::lstat(w.path.c_str(), &st) != 0 || st.st_dev != w.dev || st.st_ino != w.ino ||
            st.st_size != w.size || st.st_mtime != w.mtime) {
            z.report(msg::DeleteError, w.path);
            continue;
        }
        if (::unlink(w.path.c_str()) == 0)
            z.DeletedFiles.push_back(w.path);
        else
            z.report(msg::DeleteError, w.path);
    }
}

bool TZip::mainJob() {
    Impl m(*this);
    m.archive = archiveFile_;
    Count = 0;
    setCancel(false);

    struct stat st {};
    const bool exists = ::stat(m.archive.c_str(), &st) == 0;
    if (Switch == TSwitch::swRead) {
        if (!exists || !m.readOldArchive()) {
            report(msg::StreamError, m.archive);
            return false;
        }
        if (OnActivate) OnActivate(*this);
        for (const OldEntry& e : m.oldEntries) m.central.push_back(e.fields);
        for (size_t i = 0; i < m.central.size(); ++i) m.central[i].localOffset = m.oldEntries[i].recordPos;
        m.fireRead();
        if (OnDeactivate) OnDeactivate(*this);
        return true;
    }
    if (std::none_of(FileSpecList.begin(), FileSpecList.end(),
                     [](const std::string& s) { return !trim(s).empty(); }) &&
        NewFolders.empty() && ExactNames.empty())
        return false;
    if (exists && (!S_ISREG(st.st_mode) || ::access(m.archive.c_str(), W_OK) != 0)) {
        if (!S_ISREG(st.st_mode)) {
            report(msg::WriteError, m.archive);
            return false;
        }
        bool writeToFile = false;
        if (!OnNonWriteableArchive) {
            report(msg::WriteError, m.archive);
            return false;
        }
        OnNonWriteableArchive(*this, m.archive, writeToFile);
        if (!writeToFile) return false;
        if (::chmod(m.archive.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) {
            report(msg::WriteError, m.archive);
            return false;
        }
    }
    if (!exists && Switch == TSwitch::swDelete) {
        report(msg::NothingToDo, m.archive);
        return false;
    }
    if ((exists && !m.readOldArchive()) || !m.out.begin(m.archive)) {
        report(msg::StreamError, m.archive);
        return false;
    }
    m.noteJobFiles();
    if (OnActivate) OnActivate(*this);
    bool done = false;
    size_t kept = 0;
    if (Switch == TSwitch::swDelete) {
        const std::unordered_set<std::string> exact(ExactNames.begin(), ExactNames.end());
        for (const OldEntry& e : m.oldEntries) {
            bool drop = exact.count(e.name) > 0;
            for (const std::string& raw : FileSpecList) {
                const std::string item = trim(raw);
                if (item.empty()) continue;
                // A mask with a folder matches the whole stored path; a bare mask the name alone.
                const bool withFolder = item.find('/') != std::string::npos;
                if (wildcardMatch(item, e.name, !withFolder)) drop = true;
            }
            if (drop && Cancel()) drop = false;  // after a failed password nothing more is dropped
            if (drop && e.encrypted() && !m.findDeletePassword(e)) {
                m.passwordFailed = true;
                setCancel(true);
                drop = false;
            }
            if (drop) {
                bool go = true;
                if (OnBegin) OnBegin(*this, e.name, Count + 1, go);
                if (go) {
                    ++Count;
                    if (OnEnd) OnEnd(*this, e.name, true);
                    continue;
                }
            }
            if (!m.copyOld(e)) return false;
            ++kept;
        }
        if (m.passwordFailed || Cancel()) {
            if (OnDeactivate) OnDeactivate(*this);
            return false;  // the old archive stays as it is
        }
        // Nothing dropped: the archive stays as it is.
        if (kept == m.oldEntries.size()) {
            report(msg::NothingToDo, m.archive);
            if (OnDeactivate) OnDeactivate(*this);
            return false;
        }
        done = m.finish(true, kept);
    } else {
        for (const std::string& item : FileSpecList) {
            if (Cancel()) break;
            m.scanItem(item);
        }
        for (const std::string& folder : NewFolders) {
            std::string name = folder;
            while (!name.empty() && name[0] == '/') name.erase(0, 1);
            if (name.empty()) continue;
            if (name.back() != '/') name.push_back('/');
            if (m.oldByName.count(name)) continue;
            Source s;
            s.storedName = name;
            s.st.st_mode = S_IFDIR | 0755;
            s.st.st_mtime = ::time(nullptr);
            s.dosTime = dosTimeOf(s.st);
            s.extAttr = uint32_t(s.st.st_mode & 0xFFFF) << 16 | 0x10;
            m.admit(std::move(s), name);
        }
        // Replace test against the existing entries.
        std::vector<Source> toAdd;
        for (Source& s : m.sources) {
            const auto it = m.oldByName.find(s.storedName);
            if (it != m.oldByName.end()) {
                const OldEntry& o = m.oldEntries[it->second];
                const uint64_t size = uint64_t(s.st.st_size);  // for a link: its target's length, as stored
                if (o.fields.dosDateTime == s.dosTime && o.fields.size == size &&
                    o.fields.externalAttr == s.extAttr)
                    continue;  // the same file is in already
                bool replace = true;
                if (OnReplaceFile)
                    OnReplaceFile(*this, s.storedName, dosDateTimeToDateTime(o.fields.dosDateTime),
                                  dosDateTimeToDateTime(s.dosTime), o.fields.size, size,
                                  o.fields.externalAttr, s.extAttr, replace);
                if (!replace) continue;
                s.replaces = int(it->second);
            }
            toAdd.push_back(s);
        }
        std::vector<bool> replaced(m.oldEntries.size(), false), candidate(m.oldEntries.size(), false);
        for (const Source& s : toAdd)
            if (s.replaces >= 0) candidate[size_t(s.replaces)] = true;
        for (size_t i = 0; i < m.oldEntries.size(); ++i)
            if (!candidate[i] && !m.copyOld(m.oldEntries[i])) return false;
        for (Source& s : toAdd) {
            if (Cancel()) break;
            bool go = true;
            if (OnBegin) OnBegin(*this, s.storedName, Count + 1, go);
            if (!go) continue;
            if (!m.addSource(s)) {
                if (OnEnd) OnEnd(*this, s.storedName, false);
                continue;
            }
            if (s.replaces >= 0) replaced[size_t(s.replaces)] = true;
            ++Count;
            if (OnEnd) OnEnd(*this, s.storedName, true);
        }
        // Old entries whose replacement did not happen stay in the archive.
        for (size_t i = 0; i < m.oldEntries.size(); ++i)
            if (candidate[i] && !replaced[i] && !m.copyOld(m.oldEntries[i])) return false;
        if (Count == 0 && !Cancel() && !m.oldEntries.empty()) {
            // Nothing new: the old archive is already what the job asked for.
            report(msg::NothingToDo, m.archive);
            if (OnDeactivate) OnDeactivate(*this);
            return false;
        }
        if (Cancel()) {
            if (OnDeactivate) OnDeactivate(*this);
            return false;  // the temporary archive is dropped; the old one stays
        }
        done = m.finish(false, 0);
        if (done) {
            for (const auto& w : m.written) WrittenFiles.push_back(w.path);
            m.fireRead();
            if (Switch == TSwitch::swMove) m.deleteWrittenSources();
        }
    }
    if (OnDeactivate) OnDeactivate(*this);
    return done;
}

}  // namespace kv
