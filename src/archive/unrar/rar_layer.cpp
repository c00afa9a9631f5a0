#include "archive/unrar/rar_layer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "archive/base/arc_file.h"
#include "archive/base/messages.h"
#include "archive/base/util.h"

#if KV_HAVE_UNARR
#include <unarr.h>
#endif
#if KV_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

namespace kv::rar {

int messageId(int code) {
    switch (code) {
        case NoMemory: return msg::OutOfMemory;
        case BadData: return msg::BadFileHeader;
        case BadArchive:
        case UnknownFormat: return msg::UnsupportedArcType;
        case OpenError: return msg::OpenError;
        case CreateError:
        case WriteError: return msg::WriteError;
        case CloseError: return msg::CloseError;
        case ReadError: return msg::ReadError;
        case MissingPassword: return msg::PasswordProtected;
        default: return 0;
    }
}

bool libraryAvailable() { return KV_HAVE_UNARR || KV_HAVE_LIBARCHIVE; }

namespace {

// While a library call runs, what it prints on standard error goes to /dev/null: its
// warnings are no message of ours. One call at a time, so the saved descriptor is ours.
class QuietStderr {
public:
    QuietStderr() : lock_(mutex()) {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, 2);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, 2);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> lock_;
    int saved_ = -1;
};

constexpr uint8_t kMarker4[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
constexpr uint8_t kMarker5[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};

// What the first volume says of itself.
struct Probe {
    bool found = false, rar5 = false, volumeSet = false, newNumbering = false;
    uint64_t offset = 0;  // where the marker is (past a self-extractor's program)
};

bool readVint(const uint8_t*& p, const uint8_t* end, uint64_t& v) {
    v = 0;
    for (int shift = 0; p < end && shift < 64; shift += 7) {
        const uint8_t b = *p++;
        v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

Probe probe(const std::string& path) {
    Probe pr;
    ArcFile f;
    if (!f.open(path)) return pr;
    // A self-extractor keeps its archive after the program: the marker is looked for in the
    // first few megabytes.
    const uint64_t limit = std::min<uint64_t>(f.size(), 4u << 20);
    std::vector<uint8_t> buf(static_cast<size_t>(limit));
    if (!f.readExact(0, buf)) return pr;
    for (size_t i = 0; i + 7 <= buf.size(); ++i) {
        if (std::memcmp(buf.data() + i, kMarker4, 6) != 0) continue;
        pr.found = true;
        pr.offset = i;
        if (buf[i + 6] == 0x00) {
            // The main header follows the marker: CRC, type 0x73, flags (bit 0: a volume; bit 4:
            // volumes numbered name1.rar, name2.rar, ...).
            if (i + 7 + 5 <= buf.size() && buf[i + 9] == 0x73) {
                pr.volumeSet = le16(&buf[i + 10]) & 0x01;
                pr.newNumbering = le16(&buf[i + 10]) & 0x10;
            }
        } else if (i + 8 <= buf.size() && std::memcmp(buf.data() + i, kMarker5, 8) == 0) {
            pr.rar5 = true;
            pr.newNumbering = true;
            // CRC-32, header size, type 1 (main), header flags, [extra size], archive flags.
            const uint8_t* p = buf.data() + i + 12;
            const uint8_t* end = buf.data() + buf.size();
            uint64_t size, type, flags, extra = 0, arcFlags = 0;
            if (readVint(p, end, size) && readVint(p, end, type) && type == 1 && readVint(p, end, flags) &&
                (!(flags & 1) || readVint(p, end, extra)) && readVint(p, end, arcFlags))
                pr.volumeSet = arcFlags & 1;
        } else {
            continue;
        }
        break;
    }
    return pr;
}

}  // namespace

std::vector<std::string> gatherVolumes(const std::string& first, bool isVolumeSet, bool newNumbering,
                                       const VolumeProc& volumes) {
    std::vector<std::string> names{first};
    if (!isVolumeSet) return names;
    const std::string folder(folderPart(first));
    const std::string file(fileNamePart(first));
    auto lower = [](std::string s) {
        for (char& c : s) c = char(std::tolower(uint8_t(c)));
        return s;
    };
    const std::string low = lower(file);
    // name.partN.rar or nameN.rar: the number before ".rar" counts, its width kept.
    std::function<std::string(int)> nameOf;
    int firstNumber = 0;
    if (newNumbering && low.size() > 4 && low.ends_with(".rar")) {
        size_t part = low.size() - 4;
        while (part > 0 && std::isdigit(uint8_t(low[part - 1]))) --part;
        const std::string digits = file.substr(part, file.size() - 4 - part);
        if (!digits.empty() && digits.size() < 9) {
            const std::string head = first.substr(0, folder.size() + part),
                              tail = file.substr(file.size() - 4);
            const size_t width = digits.size();
            firstNumber = std::stoi(digits);
            nameOf = [head, tail, width](int n) {
                std::string d = std::to_string(n);
                if (d.size() < width) d.insert(0, width - d.size(), '0');
                return head + d + tail;
            };
        }
    }
    if (!nameOf) {
        // name.rar, name.r00 ... name.r99, in the case of the first extension.
        const size_t dot = file.rfind('.');
        if (dot == std::string::npos) return names;
        const bool upper = file.size() > dot + 1 && std::isupper(uint8_t(file[dot + 1]));
        const std::string head = first.substr(0, folder.size() + dot + 1);
        nameOf = [head, upper](int n) {
            if (n > 99) return std::string();
            std::string d = std::to_string(n);
            if (d.size() < 2) d.insert(0, 1, '0');
            return head + (upper ? "R" : "r") + d;
        };
        firstNumber = -1;
    }
    for (int n = firstNumber + 1; n < firstNumber + 1000; ++n) {
        std::string name = nameOf(n);
        if (name.empty() || name == first) break;
        if (!fileExists(name)) break;
        if (volumes && !volumes(name, VolumeEvent::Notify)) break;
        names.push_back(name);
    }
    return names;
}

class Archive {
public:
    virtual ~Archive() = default;
    virtual int readHeader(HeaderData& h) = 0;
    virtual int process(Operation op) = 0;
    virtual void setPassword(const std::string&) {}
    DataProc data;
    VolumeProc volumes;
};

void ArchiveDeleter::operator()(Archive* a) const { delete a; }

namespace {

#if KV_HAVE_UNARR
// RAR 1.5 to 4.x, one file starting with its marker.
class UnarrArchive : public Archive {
public:
    bool open(OpenData& d) {
        QuietStderr quiet;
        if (!file_.open(d.arcName)) {
            d.openResult = OpenError;
            return false;
        }
        stream_ = ar_open_file(d.arcName.c_str());
        if (!stream_) {
            d.openResult = OpenError;
            return false;
        }
        ar_ = ar_open_rar_archive(stream_);
        if (!ar_) {
            d.openResult = BadArchive;
            return false;
        }
        std::vector<char> comment(d.commentCapacity);
        const size_t n = ar_get_global_comment(ar_, comment.data(), comment.size());
        if (n > 0 && n <= comment.size()) d.comment.assign(comment.data(), n);
        return true;
    }
    ~UnarrArchive() override {
        if (ar_) ar_close_archive(ar_);
        if (stream_) ar_close(stream_);
    }

    int readHeader(HeaderData& h) override {
        QuietStderr quiet;
        h = HeaderData{};
        if (!ar_parse_entry(ar_)) return ar_at_eof(ar_) ? EndArchive : BadData;
        const char* name = ar_entry_get_name(ar_);
        h.fileName = name ? name : "";
        size_ = ar_entry_get_size(ar_);
        h.unpSize = size_;
        // The fields the library keeps to itself are read from the entry's own header.
        uint8_t b[32];
        const uint64_t at = uint64_t(ar_entry_get_offset(ar_));
        if (file_.readExact(at, b) && b[2] == 0x74) {
            h.flags = le16(b + 3);
            // A name without the Unicode form is handed over as stored, for the caller's own
            // code-page rule (the library would read it as CP437 even when it is UTF-8).
            const uint64_t namePos = at + 32 + ((h.flags & 0x100) ? 8 : 0);
            std::string raw(le16(b + 26), '\0');
            if (!(h.flags & 0x200) &&
                file_.readExact(namePos,
                                std::span<uint8_t>(reinterpret_cast<uint8_t*>(raw.data()), raw.size()))) {
                h.fileName = raw;
                h.nameIsUtf8 = false;
            }
            h.packSize = le32(b + 7);
            h.hostOs = b[15];
            h.fileCrc = le32(b + 16);
            h.crcKnown = true;
            h.fileTime = le32(b + 20);
            h.method = b[25];
            h.fileAttr = le32(b + 28);
        }
        return Success;
    }

    int process(Operation op) override {
        if (op == Operation::Skip) return Success;
        QuietStderr quiet;
        std::vector<uint8_t> buf(64 * 1024);
        size_t left = size_;
        while (left > 0) {
            const size_t n = std::min(left, buf.size());
            if (!ar_entry_uncompress(ar_, buf.data(), n)) {
                // The library checks its checksum with the last block: those bytes are handed over
                // for the caller's own CRC comparison, then the failure is answered.
                if (n == left && data) data(buf.data(), n);
                return BadData;
            }
            left -= n;
            if (data && !data(buf.data(), n)) return WriteError;
        }
        return Success;
    }

private:
    ArcFile file_;
    ar_stream* stream_ = nullptr;
    ar_archive* ar_ = nullptr;
    size_t size_ = 0;
};
#endif

#if KV_HAVE_LIBARCHIVE
// RAR 5, self-extractors and volume sets of either kind.
class LibarchiveArchive : public Archive {
public:
    // A set of volumes, or one archive whose marker is at offset (a self-extractor: the
    // library looks for it only near the start, so it is given the bytes from there on).
    bool open(OpenData& d, const std::vector<std::string>& names, uint64_t offset) {
        a_ = archive_read_new();
        if (!a_) {
            d.openResult = NoMemory;
            return false;
        }
        archive_read_support_format_rar(a_);
        archive_read_support_format_rar5(a_);
        int r;
        if (names.size() == 1 && offset > 0) {
            if (!file_.open(names[0])) {
                d.openResult = OpenError;
                return false;
            }
            pos_ = offset;
            start_ = offset;
            archive_read_set_seek_callback(a_, &LibarchiveArchive::seekCb);
            r = archive_read_open2(a_, this, nullptr, &LibarchiveArchive::readCb, &LibarchiveArchive::skipCb,
                                   nullptr);
        } else {
            std::vector<const char*> list;
            for (const std::string& n : names) list.push_back(n.c_str());
            list.push_back(nullptr);
            r = archive_read_open_filenames(a_, list.data(), 64 * 1024);
        }
        if (r != ARCHIVE_OK) {
            d.openResult = fileExists(d.arcName) ? BadArchive : OpenError;
            return false;
        }
        return true;
    }
    ~LibarchiveArchive() override {
        if (a_) archive_read_free(a_);
    }

    int readHeader(HeaderData& h) override {
        h = HeaderData{};
        archive_entry* e = nullptr;
        const int r = archive_read_next_header(a_, &e);
        if (r == ARCHIVE_EOF) return EndArchive;
        if (r < ARCHIVE_WARN || !e) return BadData;
        const char* name = archive_entry_pathname_utf8(e);
        if (!name) name = archive_entry_pathname(e);
        h.fileName = name ? name : "";
        h.unpSize = archive_entry_size_is_set(e) ? uint64_t(archive_entry_size(e)) : 0;
        h.hostOs = kHostUnix;
        h.fileAttr = archive_entry_mode(e);
        if (archive_entry_mtime_is_set(e)) h.unixTime = archive_entry_mtime(e);
        if (archive_entry_filetype(e) == AE_IFDIR) h.flags |= kFlagDirectory;
        if (archive_entry_is_encrypted(e)) h.flags |= kFlagEncrypted;
        link_.clear();
        if (archive_entry_filetype(e) == AE_IFLNK) {
            const char* t = archive_entry_symlink_utf8(e);
            if (!t) t = archive_entry_symlink(e);
            link_ = t ? t : "";
            h.linkTarget = link_;
            h.unpSize = link_.size();
        }
        return Success;
    }

    int process(Operation op) override {
        if (op == Operation::Skip) return archive_read_data_skip(a_) == ARCHIVE_OK ? Success : BadData;
        if (!link_.empty()) {
            // A link's target is its data, for the frame to check and make.
            const auto* p = reinterpret_cast<const uint8_t*>(link_.data());
            return !data || data(p, link_.size()) ? Success : WriteError;
        }
        std::vector<uint8_t> buf(64 * 1024);
        for (;;) {
            const la_ssize_t n = archive_read_data(a_, buf.data(), buf.size());
            if (n == 0) return Success;
            if (n < 0) return n == ARCHIVE_WARN ? Success : BadData;
            if (data && !data(buf.data(), size_t(n))) return WriteError;
        }
    }

    void setPassword(const std::string& pw) override { archive_read_add_passphrase(a_, pw.c_str()); }

private:
    static la_ssize_t readCb(archive*, void* self, const void** buffer) {
        auto* me = static_cast<LibarchiveArchive*>(self);
        me->buf_.resize(64 * 1024);
        const size_t n = me->file_.readAt(me->pos_, me->buf_);
        me->pos_ += n;
        *buffer = me->buf_.data();
        return la_ssize_t(n);
    }
    static la_int64_t skipCb(archive*, void* self, la_int64_t request) {
        auto* me = static_cast<LibarchiveArchive*>(self);
        const uint64_t left = me->file_.size() > me->pos_ ? me->file_.size() - me->pos_ : 0;
        const uint64_t n = request > 0 ? std::min<uint64_t>(uint64_t(request), left) : 0;
        me->pos_ += n;
        return la_int64_t(n);
    }
    static la_int64_t seekCb(archive*, void* self, la_int64_t offset, int whence) {
        auto* me = static_cast<LibarchiveArchive*>(self);
        const int64_t size = int64_t(me->file_.size() - me->start_);
        int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(me->pos_ - me->start_) : size;
        int64_t to = base + offset;
        if (to < 0 || to > size) return ARCHIVE_FATAL;
        me->pos_ = me->start_ + uint64_t(to);
        return to;
    }

    archive* a_ = nullptr;
    std::string link_;
    ArcFile file_;  // a self-extractor read from its marker on
    uint64_t pos_ = 0, start_ = 0;
    std::vector<uint8_t> buf_;
};
#endif

}  // namespace

ArchivePtr openArchive(OpenData& d, const VolumeProc& volumes) {
    d.openResult = Success;
    d.comment.clear();
    if (!fileExists(d.arcName)) {
        d.openResult = OpenError;
        return nullptr;
    }
    const Probe pr = probe(d.arcName);
    if (!pr.found) {
        d.openResult = BadArchive;
        return nullptr;
    }
#if KV_HAVE_UNARR
    if (!pr.rar5 && pr.offset == 0 && !pr.volumeSet) {
        auto a = std::make_unique<UnarrArchive>();
        if (!a->open(d)) return nullptr;
        a->volumes = volumes;
        return ArchivePtr(a.release());
    }
#endif
#if KV_HAVE_LIBARCHIVE
    {
        auto a = std::make_unique<LibarchiveArchive>();
        if (!a->open(d, gatherVolumes(d.arcName, pr.volumeSet, pr.newNumbering, volumes), pr.offset))
            return nullptr;
        a->volumes = volumes;
        return ArchivePtr(a.release());
    }
#endif
    (void)volumes;
    d.openResult = UnknownFormat;
    return nullptr;
}

int readHeader(Archive& a, HeaderData& h) { return a.readHeader(h); }
int processFile(Archive& a, Operation op) { return a.process(op); }
void setPassword(Archive& a, const std::string& password) { a.setPassword(password); }
void setDataProc(Archive& a, DataProc proc) { a.data = std::move(proc); }
void setVolumeProc(Archive& a, VolumeProc proc) { a.volumes = std::move(proc); }
int closeArchive(ArchivePtr a) {
    a.reset();
    return Success;
}

}  // namespace kv::rar
