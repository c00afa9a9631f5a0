#include "archive/unzip/un_zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/base/zip_end.h"
#include "archive/codec/crc32.h"
#include "archive/codec/explode.h"
#include "archive/codec/inflate.h"
#include "archive/codec/pkware_crypt.h"
#include "archive/codec/unreduce.h"
#include "archive/codec/unshrink.h"

namespace kv {

namespace {

constexpr uint32_t kCentralSig = 0x02014B50, kLocalSig = 0x04034B50;
constexpr uint32_t kLocalSigOld = 0x50000000;  // accepted as a local header too

bool isZipType(TArcType t) {
  return t == atZIP || t == atZipExe || t == atZip250 || t == atZip250Exe;
}

bool supportedMethod(uint16_t m) { return m <= 6 || m == 8; }

bool writeAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

std::string realPath(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// A link target stays inside the extraction folder when, taken from the link's own folder
// inside the archive, no ".." climbs above the top.
bool linkStaysInside(const std::string& entryName, const std::string& target) {
  if (target.empty() || target[0] == '/' || target.find('\\') != std::string::npos) return false;
  int depth = 0;
  std::string path = std::string(folderPart(entryName)) + target;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string_view part(path.data() + start, end - start);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

// Stored names that must never be written: absolute paths, drive prefixes, any ".." step
// (backslashes count as separators), and names with nothing left to create.
bool refusedName(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return true;
  if (name.size() >= 2 && name[1] == ':') return true;
  size_t start = 0;
  bool any = false;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string_view part(name.data() + start, end - start);
    if (part == "..") return true;
    if (!part.empty() && part != ".") any = true;
    start = end + 1;
  }
  return !any;
}

}  // namespace

struct TUnZIP::Entry {
  std::string name;  // presented (UTF-8, "/")
  uint16_t madeBy = 0, flags = 0, method = 0;
  uint32_t dosDateTime = 0, crc = 0, extAttr = 0;
  uint64_t packed = 0, size = 0, localOffset = 0;
  int64_t utMtime = -1;  // from the "UT" extra field, when present
  int64_t delta = 0;     // added to stored offsets (self-extractors)

  bool madeOnUnix() const { return (madeBy >> 8) == 3 && (extAttr >> 16) != 0; }
  bool isSymlink() const { return madeOnUnix() && ((extAttr >> 16) & 0170000) == 0120000; }
};

void TUnZIP::Test() {
  Sink.selector = TOutputSink::TestOnly;
  mainJob();
}

void TUnZIP::mainJob() {
  RecNum = 0;
  ExtractedCount = FailedCount = 0;
  Failures.clear();
  currentPassword_.clear();
  clearErrors();
  usedRanges_.clear();
  lastCheckedFolder_.clear();
  realExtractRoot_.clear();
  bool opened = false;
  try {
    if (ArchiveFile().empty()) reportAndRaise(msg::InvalidFileName, ArchiveFile());
    if (!isZipType(ArcType())) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened = true;
    const uint64_t size = file_.size();

    ZipEnd zipEnd;
    if (!findZipEnd(file_, zipEnd)) reportAndRaise(msg::BadFileHeader, ArchiveFile());
    const uint64_t endPos = zipEnd.endPos, entries = zipEnd.entries, cdSize = zipEnd.cdSize,
                   cdOffset = zipEnd.cdOffset;
    // An archive with no entries at all is complete as it is: nothing to extract, no error.
    const bool empty = entries == 0 && cdSize == 0;

    int64_t delta = 0;
    if (SfxOffset >= 1 && ArcStart == SfxOffset + 1) delta = int64_t(SfxOffset);
    uint64_t cdPos = cdOffset + uint64_t(delta);
    uint8_t sig[4];
    auto centralAt = [&](uint64_t pos) {
      return pos < size && file_.readExact(pos, sig) && le32(sig) == kCentralSig;
    };
    if (!empty && !centralAt(cdPos)) {
      // A ZIP appended to a stub without adjusting its offsets: the directory sits right
      // before the end records, and every stored offset is short by the same amount.
      const uint64_t dirEnd = zipEnd.dirEnd;
      if (dirEnd >= cdSize && centralAt(dirEnd - cdSize)) {
        cdPos = dirEnd - cdSize;
        delta = int64_t(cdPos) - int64_t(cdOffset);
        // The shift is only a guess: when the first entry's local header is where its
        // stored offset says and not at the shifted place, the directory offset itself is
        // what was damaged, and the stored local offsets stay as they are.
        uint8_t ch[46], lh[4];
        auto localAt = [&](uint64_t pos) { return file_.readExact(pos, lh) && (le32(lh) == kLocalSig || le32(lh) == kLocalSigOld); };
        if (file_.readExact(cdPos, ch)) {
          uint64_t first = le32(ch + 42);
          if (!localAt(first + uint64_t(delta)) && localAt(first)) delta = 0;
        }
      } else {
        bool found = false;
        std::vector<uint8_t> win(size_t(std::min<uint64_t>(size, 32768)));
        uint64_t winPos = size - win.size();
        if (file_.readExact(winPos, win))
          for (size_t i = 0; i + 4 <= win.size(); ++i)
            if (le32(&win[i]) == kCentralSig) {
              cdPos = winPos + i;
              found = true;
              break;
            }
        if (!found) reportAndRaise(msg::HeaderIdError, ArchiveFile());
      }
    }

    if (Sink.selector == TOutputSink::ToFile) {
      // A target folder that cannot be made (a file of that name, no permission) is a start
      // error: one message, instead of the same failure for every entry.
      std::string probe = outputName("x");
      std::string root = probe.substr(0, probe.size() - 1);
      if (!createDirs(root) || (realExtractRoot_ = realPath(root)).empty())
        reportAndRaise(msg::CreateDirError, root.size() > 1 ? root.substr(0, root.size() - 1) : root);
    }
    if (OnActivate) OnActivate(*this);
    setCancel(false);
    if (OnElaspedTime) startStopwatch();
    if (!empty) walk(cdPos, std::max(cdPos, endPos), delta);
  } catch (const E_RAISE&) {
    // reported already; the job ends here
  }
  if (Cancel() && LastError == 0) LastError = msg::UserAborted;
  if (OnElaspedTime) OnElaspedTime(*this, elapsedSeconds());
  window_ = {};
  if (opened) {
    file_.close();
    if (OnDeactivate) OnDeactivate(*this);
  }
}

void TUnZIP::walk(uint64_t cdPos, uint64_t cdEnd, int64_t delta) {
  // The whole directory in one read: no per-entry system calls while walking it.
  std::vector<uint8_t> cd(size_t(cdEnd - cdPos));
  cd.resize(file_.readAt(cdPos, cd));
  const bool wildcard = FileSpec().find_first_of("*?") != std::string::npos;
  size_t p = 0;
  while (p + 46 <= cd.size() && !Cancel()) {
    const uint8_t* h = &cd[p];
    if (le32(h) != kCentralSig) break;
    Entry e;
    e.madeBy = le16(h + 4);
    e.flags = le16(h + 8);
    e.method = le16(h + 10);
    e.dosDateTime = uint32_t(le16(h + 14)) << 16 | le16(h + 12);
    e.crc = le32(h + 16);
    e.packed = le32(h + 20);
    e.size = le32(h + 24);
    e.extAttr = le32(h + 38);
    e.localOffset = le32(h + 42);
    e.delta = delta;
    size_t nameLen = le16(h + 28), extraLen = le16(h + 30), commentLen = le16(h + 32);
    if (p + 46 + nameLen + extraLen + commentLen > cd.size()) {
      report(msg::BadFileHeader, ArchiveFile());
      break;
    }
    std::string_view raw(reinterpret_cast<const char*>(h + 46), nameLen);
    const uint8_t* x = h + 46 + nameLen;
    for (size_t q = 0; q + 4 <= extraLen;) {
      uint16_t id = le16(x + q), len = le16(x + q + 2);
      const uint8_t* d = x + q + 4;
      if (q + 4 + len > extraLen) break;
      if (id == 0x0001) {  // ZIP64: the fields that hold all ones follow, in this order
        size_t k = 0;
        if (e.size == 0xFFFFFFFF && k + 8 <= len) e.size = le64(d + k), k += 8;
        if (e.packed == 0xFFFFFFFF && k + 8 <= len) e.packed = le64(d + k), k += 8;
        if (e.localOffset == 0xFFFFFFFF && k + 8 <= len) e.localOffset = le64(d + k), k += 8;
      } else if (id == 0x5455 && len >= 5 && (d[0] & 1)) {  // "UT": modification time
        e.utMtime = int32_t(le32(d + 1));
      }
      q += 4 + len;
    }
    p += 46 + nameLen + extraLen + commentLen;

    e.name = presentName(raw, NameCodePage, (e.flags & 0x800) != 0);
    FileName = e.name;
    FileDate = convertDate(e.dosDateTime);
    PackedSize = e.packed;
    UnpackedSize = e.size;
    FileCRC = e.crc;
    MethodNo = e.method;
    ExternalAttr = e.extAttr;
    Encrypted = (e.flags & 1) != 0;
    if (e.name.empty()) break;  // an empty stored name ends the walk
    if (e.extAttr & 0x08) continue;  // volume label
    bool isDir = (e.extAttr & 0x10) || e.name.back() == '/';
    if (!wildcardMatch(FileSpec(), e.name, false)) continue;
    if (isDir) {
      // Folders are made for files on demand; an empty stored folder is made too.
      if (UseStoredDirs && Sink.selector == TOutputSink::ToFile) {
        std::string dirName = e.name;
        while (!dirName.empty() && dirName.back() == '/') dirName.pop_back();
        std::string probe = refusedName(dirName) ? std::string() : outputName(dirName + "/x");
        if (!probe.empty() && safeTarget(probe))
          createDirs(std::string(folderPart(probe)));
      }
      continue;
    }
    std::string outPath = refusedName(e.name) ? std::string() : outputName(e.name);
    bool go = true;
    if (outPath.empty() || (Sink.selector == TOutputSink::ToFile && !safeTarget(outPath))) {
      // "..", absolute names, drive prefixes or links on the way that lead out of the
      // folder: nothing is written for this entry, the rest goes on.
      report(msg::InvalidFileName, e.name, e.name);
      noteFailure(e.name, msg::InvalidFileName);
      if (OnEnd) OnEnd(*this, outPath.empty() ? e.name : outPath, false);
    } else {
      go = extractEntry(e, outPath);
    }
    if (!go || !wildcard) break;
    if (Sink.selector >= TOutputSink::ToStream && Sink.selector <= TOutputSink::ToMemory) break;
  }
}

bool TUnZIP::safeTarget(const std::string& outPath) {
  std::string folder(folderPart(outPath));
  if (folder == lastCheckedFolder_) return true;
  if (!createDirs(folder)) return true;  // the create step reports the failure
  std::string real = realPath(folder);
  if (real.empty() || realExtractRoot_.empty()) return false;
  bool inside = real == realExtractRoot_ ||
                (real.size() > realExtractRoot_.size() &&
                 real.compare(0, realExtractRoot_.size(), realExtractRoot_) == 0 &&
                 (realExtractRoot_.back() == '/' || real[realExtractRoot_.size()] == '/'));
  if (inside) lastCheckedFolder_ = folder;
  return inside;
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

bool TUnZIP::extractEntry(Entry& e, const std::string& outPath) {
  uint8_t lh[30];
  const uint64_t localPos = e.localOffset + uint64_t(e.delta);
  if (!file_.readExact(localPos, lh) || (le32(lh) != kLocalSig && le32(lh) != kLocalSigOld)) {
    report(msg::InconsistentLocalHeader, outPath);
    noteFailure(e.name, msg::InconsistentLocalHeader);
    return true;
  }
  ++RecNum;
  const bool toFile = Sink.selector == TOutputSink::ToFile;
  bool accept = true;
  const uint16_t localFlags = le16(lh + 6);
  const uint32_t localDos = uint32_t(le16(lh + 12)) << 16 | le16(lh + 10);
  if (toFile && fileExists(outPath) && OnFileExists) OnFileExists(*this, outPath, convertDate(localDos), accept);
  if (accept && OnBegin) OnBegin(*this, outPath, RecNum, accept);
  if (!accept) {
    --RecNum;
    return true;
  }
  auto fail = [&](int id) {
    if (id) report(id, outPath);
    noteFailure(e.name, id);
    if (OnEnd) OnEnd(*this, outPath, false);
    return true;
  };

  uint64_t dataPos = localPos + 30 + le16(lh + 26) + le16(lh + 28);
  uint64_t packed = e.packed;
  // Entries whose data overlap another's are how some zip bombs multiply one stream.
  const uint64_t dataEnd = dataPos + packed;
  auto next = usedRanges_.upper_bound(localPos);
  if ((next != usedRanges_.end() && next->first < dataEnd) ||
      (next != usedRanges_.begin() && std::prev(next)->second > localPos))
    return fail(msg::InconsistentLocalHeader);
  usedRanges_[localPos] = dataEnd;

  if (!supportedMethod(e.method)) return fail(msg::UnsupportedMethod);

  std::string password;
  uint8_t header[12];
  const bool encrypted = ((e.flags | localFlags) & 1) != 0;
  if (encrypted) {
    if (packed < 12 || !file_.readExact(dataPos, header)) return fail(msg::BadBlock);
    checkByte_ = (localFlags & 8) ? uint8_t(localDos >> 8) : uint8_t(le32(lh + 14) >> 24);
    bool endJob = false;
    if (!findPassword(outPath, header, endJob, password)) {
      // With passwords given, none of them fitted: say so rather than "protected".
      noteFailure(e.name, endJob ? msg::PasswordFailed
                                 : Passwords.empty() ? msg::PasswordProtected : msg::InvalidPassword);
      if (OnEnd) OnEnd(*this, outPath, false);
      return !endJob;
    }
    dataPos += 12;
    packed -= 12;
  }

  int fd = -1;
  std::string tmp;
  if (toFile) {
    // Never start what the disk cannot hold.
    struct statvfs vfs;
    std::string folder(folderPart(outPath));
    if (!createDirs(folder)) return fail(msg::CreateDirError);
    if (::statvfs(folder.c_str(), &vfs) == 0 && uint64_t(vfs.f_bavail) * vfs.f_frsize < e.size)
      return fail(msg::DiskFull);
    tmp = makeTempFileBeside(outPath, "kvz");
    if (tmp.empty() || (fd = ::open(tmp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)) < 0) {
      if (!tmp.empty()) ::unlink(tmp.c_str());
      reportAndRaise(msg::OpenError, outPath);
    }
  }

  uint32_t crc = 0;
  uint64_t written = 0;
  int errorId = 0;
  std::string linkTarget;
  bool ok = decode(e, dataPos, packed, encrypted ? &password : nullptr, header, e.isSymlink() ? -1 : fd,
                   e.isSymlink() ? &linkTarget : nullptr, crc, written, errorId);
  bool good = ok && crc == e.crc && written == e.size;
  if (!ok && errorId && errorId != msg::UserAborted) report(errorId, outPath);
  else if (ok && written != e.size) report(msg::SizeDifferent, outPath);
  // Why a decoded entry still failed after decoding: its link, closing or renaming it.
  int placeError = 0;

  if (toFile) {
    bool keep = good || (KeepDamaged && !Cancel());
    if (keep && e.isSymlink()) {
      ::close(fd);
      fd = -1;
      ::unlink(tmp.c_str());
      tmp = outPath + ".kvzlink";
      ::unlink(tmp.c_str());
      if (!linkStaysInside(e.name, linkTarget) || ::symlink(linkTarget.c_str(), tmp.c_str()) != 0) {
        report(msg::InvalidFileName, e.name, linkTarget);
        keep = good = false;
        placeError = msg::InvalidFileName;
      }
    }
    if (fd >= 0 && keep) {
      mode_t mask = ::umask(0);
      ::umask(mask);
      mode_t mode = e.madeOnUnix() ? mode_t((e.extAttr >> 16) & 0777) : mode_t(0666 & ~mask);
      if (!e.madeOnUnix() && (e.extAttr & 0x01)) mode &= mode_t(~0222);  // DOS read-only
      ::fchmod(fd, mode);
      if (SetDateTo() != TSetDate::sdSysDate) {
        int64_t t = e.utMtime >= 0 ? e.utMtime : dateTimeToUnixTime(dosDateTimeToDateTime(e.dosDateTime));
        if (t >= 0) {
          struct timespec ts[2] = {{time_t(t), 0}, {time_t(t), 0}};
          ::futimens(fd, ts);
        }
      }
    }
    if (fd >= 0 && ::close(fd) != 0 && keep) {
      report(msg::CloseError, outPath);
      keep = good = false;
      placeError = msg::CloseError;
    }
    if (keep && !renameWithReplace(tmp, outPath)) {
      report(msg::WriteError, outPath);
      keep = good = false;
      placeError = msg::WriteError;
    }
    if (!keep) ::unlink(tmp.c_str());
  }

  const bool crcFailed = ok && written == e.size && crc != e.crc;
  if (OnEnd) OnEnd(*this, outPath, good);
  else if (crcFailed) report(msg::CrcFailed, outPath);
  if (good) ++ExtractedCount;
  else noteFailure(e.name, !ok ? (errorId ? errorId : msg::UserAborted)
                              : written != e.size ? msg::SizeDifferent
                              : crcFailed ? msg::CrcFailed : placeError);
  return true;
}

void TUnZIP::noteFailure(const std::string& name, int id) {
  ++FailedCount;
  Failures.push_back({name, id});
}

bool TUnZIP::decode(Entry& e, uint64_t dataPos, uint64_t packed, const std::string* password,
                    const uint8_t* header12, int fd, std::string* capture, uint32_t& crc,
                    uint64_t& written, int& errorId) {
  std::optional<codec::PkwareKeys> keys;
  if (password) {
    keys.emplace(*password);
    for (int i = 0; i < 12; ++i) keys->decryptByte(header12[i]);
  }
  const int step = (int(ProgressNotify) + 1) * 5;
  int lastPercent = -1;
  uint64_t pos = dataPos, remaining = packed, consumed = 0;
  codec::InputSource in([&](uint8_t* dst, size_t cap) -> long {
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
  });
  auto sink = [&](const uint8_t* p, size_t n) {
    crc = codec::crc32Update(crc, p, n);
    written += n;
    if (capture) {
      if (capture->size() + n > 4096) return false;
      capture->append(reinterpret_cast<const char*>(p), n);
      return true;
    }
    if (fd >= 0) return writeAll(fd, p, n);
    if (Sink.selector != TOutputSink::ToFile && Sink.selector != TOutputSink::TestOnly)
      return Sink.write(std::span<const uint8_t>(p, n));
    return true;
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
      case 2: case 3: case 4: case 5: r = codec::unreduce(in, out, e.method - 1); break;
      case 6: r = codec::explode(in, out, {(e.flags & 2) != 0, (e.flags & 4) != 0}); break;
      default: r = codec::inflate(in, out); break;
    }
  }
  if (r.ok() && lastPercent < 100 && !Cancel()) reportProgress(packed, packed);
  if (r.status == codec::Status::SinkFailed && fd >= 0 && errno == ENOSPC) r.messageId = msg::DiskFull;
  errorId = r.ok() ? 0 : r.messageId;
  return r.ok();
}

}  // namespace kv
