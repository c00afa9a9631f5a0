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
    bool passwordFailed = false;
    std::vector<uint8_t> readBuf = std::vector<uint8_t>(kReadChunk);
    std::vector<uint8_t> packedBuf;
    // One compressor for every entry of the archive, reset between them.
    std::optional<codec::Deflater> deflater;

    explicit Impl(TZip& owner) : z(owner) {}

    bool readOldArchive();
    bool copyOld(const OldEntry& e);
    void scanItem(const std::string& item);
    void scanFolder(const std::string& base, const std::string& rel, const std::string& mask, bool recurse);
    void takeFile(const std::string& base, const std::string& rel, const struct stat& st);
    std::string storedName(const std::string& base, const std::string& rel) const;
    bool addSource(Source& s);
    bool writeEntry(Source& s, int fd, const std::string& linkTarget, ZipEntryFields& e, bool zip64,
                    bool store, bool& tooBig, bool& grew);
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
    const std::string_view base = fileNamePart(n);
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

std::string TZip::Impl::storedName(const std::string& base, const std::string& rel) const {
    switch (z.StoredDirNames) {
        case TStoredDirNames::sdNone: return z.StoredPrefix + std::string(fileNamePart(rel));
        case TStoredDirNames::sdRelative: return z.StoredPrefix + rel;
        case TStoredDirNames::sdAbsolute:
        case TStoredDirNames::sdAbsoluteNoDrv: {
            // Linux has no drive; a stored name never starts with "/" (it would extract anywhere).
            std::string full = joinPath(base, rel);
            if (!full.empty() && full[0] != '/') full = joinPath(currentDir(), full);
            const size_t b = full.find_first_not_of('/');
            return b == std::string::npos ? std::string() : z.StoredPrefix + full.substr(b);
        }
    }
    return rel;
}

void TZip::Impl::takeFile(const std::string& base, const std::string& rel, const struct stat& st) {
    const uint32_t attrs = dosAttributes(st, fileNamePart(rel));
    const int mask = z.FileAttribute.Attr();
    if ((attrs & 0x06) & ~uint32_t(mask)) return;  // hidden or system not asked for
    if (attrs == 0x20 && !(mask & 0x20)) return;
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return;  // fifos and devices are never read
    Source s;
    s.path = joinPath(base, rel);
    s.storedName = storedName(base, rel);
    if (s.storedName.empty()) return;
    s.st = st;
    s.dosTime = dosTimeOf(st);
    s.extAttr = uint32_t(st.st_mode & 0xFFFF) << 16 | attrs;
    // One name once per job (sdNone through subfolders meets names again).
    if (!sourceNames.insert(s.storedName).second) return;
    sources.push_back(std::move(s));
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
    struct stat st {};
    const bool wild = item.find_first_of("*?") != std::string::npos;
    if (!wild && ::stat(item.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder named by itself goes in under its own name, with what it holds.
        const std::string parent = std::string(folderPart(item));
        const std::string name = std::string(fileNamePart(item));
        if (z.OnRecurseDir) z.OnRecurseDir(z, item);
        scanFolder(parent.empty() ? "/" : parent, name, "*", z.RecurseDirs);
        return;
    }
    const std::string folder(folderPart(item)), mask(fileNamePart(item));
    const size_t before = sources.size();
    scanFolder(folder.empty() ? "/" : folder, "", mask, z.RecurseDirs);
    if (!wild && sources.size() == before && !z.Cancel()) z.report(msg::FileNotFound, item);
}

bool TZip::Impl::writeEntry(Source& s, int fd, const std::string& linkTarget, ZipEntryFields& e, bool zip64,
                            bool store, bool& tooBig, bool& grew) {
    tooBig = grew = false;
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

    // The source, read from the file or (for a link) from its target text.
    auto readAt = [&](uint64_t pos, uint8_t* dst, size_t n) -> ssize_t {
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
    const uint64_t expected = fd < 0 ? linkTarget.size() : uint64_t(s.st.st_size);

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
    bool ok = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool tooBig = false, grew = false;
        ok = writeEntry(s, fd, linkTarget, e, zip64, store, tooBig, grew);
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
            if (m.oldByName.count(name) || !m.sourceNames.insert(name).second) continue;
            Source s;
            s.storedName = name;
            s.st.st_mode = S_IFDIR | 0755;
            s.st.st_mtime = ::time(nullptr);
            s.dosTime = dosTimeOf(s.st);
            s.extAttr = uint32_t(s.st.st_mode & 0xFFFF) << 16 | 0x10;
            m.sources.push_back(std::move(s));
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
