#include "archive/unzip/un_zip.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/codec/explode.h"
#include "archive/codec/inflate.h"
#include "archive/codec/pkware_crypt.h"
#include "archive/codec/unreduce.h"
#include "archive/codec/unshrink.h"

namespace kv {

namespace {

bool isZipType(TArcType t) { return t == atZIP || t == atZipExe || t == atZip250 || t == atZip250Exe; }

bool supportedMethod(uint16_t m) { return m <= 6 || m == 8; }

}  // namespace

void TUnZIP::openArchive() {
    currentPassword_.clear();
    usedRanges_.clear();
    cursor_.reset();
    if (!isZipType(ArcType())) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened_ = true;
    dirReader_ = std::make_unique<BlockReader>(file_);
    ZipEnd zipEnd;
    if (!findZipEnd(file_, zipEnd)) reportAndRaise(msg::BadFileHeader, ArchiveFile());
    const uint64_t sfxShift = SfxOffset >= 1 && ArcStart == SfxOffset + 1 ? uint64_t(SfxOffset) : 0;
    if (int id = locateZipDirectory(*dirReader_, zipEnd, sfxShift, dir_)) reportAndRaise(id, ArchiveFile());
    if (!dir_.empty) cursor_.emplace(dir_);
    entryIndex_ = entriesMet_ = 0;
    const unsigned workers = DecodeAheadWorkers < 0 ? ZipDecodeAhead::workersForThisMachine()
                                                    : unsigned(std::min(DecodeAheadWorkers, 8));
    if (workers && !dir_.empty) {
        const TNameCodePage cp = NameCodePage;
        ahead_ = std::make_unique<ZipDecodeAhead>(
            file_, dir_, FileSpec(),
            [cp](const ZipCentralRecord& rec) { return presentName(rec.rawName, cp, rec.utf8()); }, workers,
            bufferPool());
    }
}

void TUnZIP::closeArchive() {
    ahead_.reset();
    window_ = {};
    cursor_.reset();
    dirReader_.reset();
    if (opened_) {
        opened_ = false;
        file_.close();
        if (OnDeactivate) OnDeactivate(*this);
    }
}

void TUnZIP::fillEntry(const ZipCentralRecord& rec, TArcEntry& e) const {
    e.name = presentName(rec.rawName, NameCodePage, rec.utf8());
    e.rawNameSize = rec.rawName.size();
    e.rawNameHasNul = rec.rawName.find('\0') != std::string_view::npos;
    e.packed = rec.packed;
    e.size = rec.size;
    e.crc = rec.crc;
    e.dosDateTime = rec.dosDateTime;
    e.unixMtime = rec.utMtime;
    e.extAttr = rec.extAttr;
    e.unixMode = rec.madeOnUnix() ? int(rec.extAttr >> 16) : -1;
    e.method = rec.method;
    e.encrypted = (rec.flags & 1) != 0;
    e.isDir = (rec.extAttr & 0x10) || (!e.name.empty() && e.name.back() == '/');
    e.isVolumeLabel = (rec.extAttr & 0x08) && !rec.madeOnUnix();
    e.cookie = rec.localOffset;
    e.cookie2 = rec.flags;
}

bool TUnZIP::nextEntry(TArcEntry& e, int& stopId) {
    ZipCentralRecord rec;
    if (!cursor_ || !cursor_->next(*dirReader_, rec, stopId)) return false;
    entryIndex_ = entriesMet_++;
    fillEntry(rec, e);
    return true;
}

uint64_t TUnZIP::declaredBytes(bool wildcard) {
    if (dir_.empty) return 0;
    uint64_t total = 0;
    BlockReader r(file_);
    walkZipDirectory(r, dir_, [&](const ZipCentralRecord& rec) {
        TArcEntry e;
        fillEntry(rec, e);
        if (e.name.empty() || e.isDir || !wildcardMatch(FileSpec(), e.name, false)) return true;
        if (!checkedAdd(total, e.size, total)) total = UINT64_MAX;
        return wildcard;
    });
    return total;
}

int TUnZIP::locateEntry(TArcEntry& e) {
    if (!checkedAdd(e.cookie, uint64_t(dir_.localDelta), localPos_) ||
        !zipLocalDataStart(file_, localPos_, dataPos_, localHeader_))
        return msg::InconsistentLocalHeader;
    e.localDosDateTime = uint32_t(le16(localHeader_ + 12)) << 16 | le16(localHeader_ + 10);
    return 0;
}

int TUnZIP::decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) {
    const uint8_t* lh = localHeader_;
    uint64_t dataPos = dataPos_, packed = e.packed, dataEnd = 0;
    // The data must lie in the file; entries whose data overlap another's are how some zip
    // bombs multiply one stream.
    if (!checkedAdd(dataPos, packed, dataEnd) || dataEnd > file_.size()) return msg::ReadError;
    auto next = usedRanges_.upper_bound(localPos_);
    if ((next != usedRanges_.end() && next->first < dataEnd) ||
        (next != usedRanges_.begin() && std::prev(next)->second > localPos_))
        return msg::InconsistentLocalHeader;
    usedRanges_[localPos_] = dataEnd;

    if (!supportedMethod(e.method)) return msg::UnsupportedMethod;

    std::string password;
    uint8_t header[12];
    const uint16_t localFlags = le16(lh + 6);
    const bool encrypted = ((uint16_t(e.cookie2) | localFlags) & 1) != 0;
    if (encrypted) {
        if (packed < 12 || !file_.readExact(dataPos, header)) return msg::BadBlock;
        checkByte_ = (localFlags & 8) ? uint8_t(e.localDosDateTime >> 8) : uint8_t(le32(lh + 14) >> 24);
        if (!findPassword(outPath, header, endJob, password)) {
            // With passwords given, none of them fitted: say so rather than "protected".
            return endJob              ? msg::PasswordFailed
                   : Passwords.empty() ? msg::PasswordProtected
                                       : msg::InvalidPassword;
        }
        dataPos += 12;
        packed -= 12;
    } else if (ahead_ && e.method == 8) {
        // Decoded by a worker from the same directory record and found at the same place.
        ZipDecodeAhead::Decoded d;
        if (ahead_->take(entryIndex_, d) && d.dataPos == dataPos) return emitDecoded(e, d);
    }
    return decode(e, dataPos, packed, encrypted ? &password : nullptr, header, emit);
}

bool TUnZIP::findPassword(const std::string& outPath, const uint8_t* header12, bool& endJob,
                          std::string& fitting) {
    std::span<const uint8_t, 12> header(header12, 12);
    const uint8_t check = checkByte_;
    auto fits = [&](const std::string& pw) { return codec::pkwareHeaderFits(header, pw, check); };
    if (fits(currentPassword_)) {
        fitting = currentPassword_;
        return true;
    }
    for (const std::string& pw : Passwords) {
        currentPassword_ = pw;
        if (fits(pw)) {
            fitting = pw;
            return true;
        }
    }
    if (!OnGetPassword) return false;  // skipped; the walk goes on
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string pw;
        bool tryAgain = true;
        OnGetPassword(*this, outPath, pw, tryAgain);
        if (!pw.empty() && fits(pw)) {
            Passwords.insert(Passwords.begin(), pw);
            currentPassword_ = fitting = pw;
            return true;
        }
        if (!pw.empty()) report(msg::InvalidPassword, outPath);
        if (!tryAgain) break;
    }
    report(msg::PasswordFailed, outPath);
    endJob = true;
    return false;
}

int TUnZIP::emitDecoded(const TArcEntry& e, ZipDecodeAhead::Decoded& d) {
    if (Cancel()) return msg::UserAborted;
    if (!emitOwned(std::move(d.bytes), size_t(d.result.output), &d.crc))
        return codec::defaultMessageId(codec::Status::SinkFailed);
    if (!d.result.ok())
        return d.result.status == codec::Status::Aborted ? msg::UserAborted : d.result.messageId;
    reportProgress(e.packed, e.packed);
    return 0;
}

int TUnZIP::decode(const TArcEntry& e, uint64_t dataPos, uint64_t packed, const std::string* password,
                   const uint8_t* header12, const Emit& emit) {
    std::optional<codec::PkwareKeys> keys;
    if (password) {
        keys.emplace(*password);
        for (int i = 0; i < 12; ++i) keys->decryptByte(header12[i]);
    }
    const int step = (int(ProgressNotify) + 1) * 5;
    int lastPercent = -1;
    uint64_t pos = dataPos, remaining = packed, consumed = 0;
    codec::InputSource in(
        [&](uint8_t* dst, size_t cap) -> long {
            if (Cancel()) return -1;
            size_t n = size_t(std::min<uint64_t>(cap, remaining));
            if (n == 0) return 0;
            size_t got = file_.readAt(pos, std::span<uint8_t>(dst, n));
            if (got == 0) return 0;
            if (keys) keys->decrypt(dst, got);
            pos += got;
            remaining -= got;
            consumed += got;
            int percent = Percent(consumed, packed);
            if (percent / step != lastPercent / step) {
                lastPercent = percent;
                reportProgress(consumed, packed);
            }
            return long(got);
        },
        input_, codec::InputSource::chunkFor(packed));
    uint64_t written = 0;
    auto sink = [&](const uint8_t* p, size_t n) {
        written += n;
        return emit(p, n);
    };

    codec::Result r;
    if (e.method == 0) {
        // Stored: straight from the input chunks to the sink, never past the declared size.
        r.status = codec::Status::Ok;
        while (r.ok()) {
            if (in.pos() == in.end() && !in.refill()) {
                if (in.aborted()) r.status = codec::Status::Aborted;
                break;
            }
            size_t n = size_t(in.end() - in.pos());
            if (written + n > e.size) {
                n = size_t(e.size - written);
                r.status = codec::Status::OutputLimit;
            }
            if (n && !sink(in.pos(), n)) r.status = codec::Status::SinkFailed;
            in.advance(in.end());
        }
        if (r.status == codec::Status::Ok && written < e.size) r.status = codec::Status::ShortInput;
        r.messageId = codec::defaultMessageId(r.status);
    } else {
        codec::OutputWindow out(sink, e.size, window_);
        switch (e.method) {
            case 1: r = codec::unshrink(in, out); break;
            case 2:
            case 3:
            case 4:
            case 5: r = codec::unreduce(in, out, e.method - 1); break;
            case 6: r = codec::explode(in, out, {(e.cookie2 & 2) != 0, (e.cookie2 & 4) != 0}); break;
            default: r = codec::inflate(in, out); break;
        }
    }
    if (r.ok() && lastPercent < 100 && !Cancel()) reportProgress(packed, packed);
    if (r.status == codec::Status::Aborted || (Cancel() && !r.ok())) return msg::UserAborted;
    return r.ok() ? 0 : r.messageId;
}

}  // namespace kv
