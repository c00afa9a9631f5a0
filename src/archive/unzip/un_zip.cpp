#include "archive/unzip/un_zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/codec/crc32.h"
#include "archive/codec/explode.h"
#include "archive/codec/inflate.h"
#include "archive/codec/pkware_crypt.h"
#include "archive/codec/unreduce.h"
#include "archive/codec/unshrink.h"
#include "platform/atomic_file.h"

namespace kv {

namespace {

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

}  // namespace

struct TUnZIP::Entry {
  std::string name;  // presented (UTF-8, "/")
  std::string rel;   // where it goes, relative to the target folder
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
  Skipped.clear();
  DirectoryIncomplete = false;
  currentPassword_.clear();
  clearErrors();
  usedRanges_.clear();
  target_.close();
  bool opened = false;
  try {
    if (ArchiveFile().empty()) reportAndRaise(msg::InvalidFileName, ArchiveFile());
    if (!isZipType(ArcType())) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened = true;

    // The directory is read in blocks, never whole: its declared size is the archive's word.
    BlockReader dirReader(file_);
    ZipEnd zipEnd;
    if (!findZipEnd(file_, zipEnd)) reportAndRaise(msg::BadFileHeader, ArchiveFile());
    const uint64_t sfxShift = SfxOffset >= 1 && ArcStart == SfxOffset + 1 ? uint64_t(SfxOffset) : 0;
    if (int id = locateZipDirectory(dirReader, zipEnd, sfxShift, dir_)) reportAndRaise(id, ArchiveFile());

    const bool wildcard = FileSpec().find_first_of("*?") != std::string::npos;
    if (Sink.selector == TOutputSink::ToFile) {
      // A target folder that cannot be made (a file of that name, no permission) is a start
      // error: one message, instead of the same failure for every entry.
      std::string probe = outputName("x");
      root_ = probe.substr(0, probe.size() - 1);
      if (!target_.open(root_))
        reportAndRaise(msg::CreateDirError, root_.size() > 1 ? root_.substr(0, root_.size() - 1) : root_);
      // Never start what the disk cannot hold: the whole job's declared bytes, at once.
      struct statvfs vfs;
      if (!dir_.empty && ::fstatvfs(target_.rootFd(), &vfs) == 0) {
        const uint64_t need = declaredJobBytes(dirReader, wildcard);
        const uint64_t avail = uint64_t(vfs.f_bavail) * vfs.f_frsize;
        if (need > avail) reportAndRaise(msg::DiskFull, root_);
      }
    }
    if (OnActivate) OnActivate(*this);
    setCancel(false);
    if (OnElaspedTime) startStopwatch();
    if (!dir_.empty) {
      const int stop = walkZipDirectory(dirReader, dir_, [&](const ZipCentralRecord& rec) {
        return visitEntry(rec, wildcard) && !Cancel();
      });
      if (stop && !Cancel()) {
        // The rest of the directory was never seen: the job did not cover the archive.
        DirectoryIncomplete = true;
        report(stop, ArchiveFile());
      }
    }
  } catch (const E_RAISE&) {
    // reported already; the job ends here
  }
  if (Cancel() && LastError == 0) LastError = msg::UserAborted;
  if (OnElaspedTime) OnElaspedTime(*this, elapsedSeconds());
  window_ = {};
  target_.close();
  if (opened) {
    file_.close();
    if (OnDeactivate) OnDeactivate(*this);
  }
}

uint64_t TUnZIP::declaredJobBytes(BlockReader& r, bool wildcard) {
  uint64_t total = 0;
  walkZipDirectory(r, dir_, [&](const ZipCentralRecord& rec) {
    std::string name = presentName(rec.rawName, NameCodePage, rec.utf8());
    if (name.empty() || (rec.extAttr & 0x10) || name.back() == '/') return true;
    if (!wildcardMatch(FileSpec(), name, false)) return true;
    if (!checkedAdd(total, rec.size, total)) total = UINT64_MAX;
    return wildcard;
  });
  return total;
}

bool TUnZIP::visitEntry(const ZipCentralRecord& rec, bool wildcard) {
  Entry e;
  e.madeBy = rec.madeBy;
  e.flags = rec.flags;
  e.method = rec.method;
  e.dosDateTime = rec.dosDateTime;
  e.crc = rec.crc;
  e.packed = rec.packed;
  e.size = rec.size;
  e.extAttr = rec.extAttr;
  e.localOffset = rec.localOffset;
  e.utMtime = rec.utMtime;
  e.delta = dir_.localDelta;
  e.name = presentName(rec.rawName, NameCodePage, rec.utf8());
  FileName = e.name;
  FileDate = convertDate(e.dosDateTime);
  PackedSize = e.packed;
  UnpackedSize = e.size;
  FileCRC = e.crc;
  MethodNo = e.method;
  ExternalAttr = e.extAttr;
  Encrypted = (e.flags & 1) != 0;
  const bool toFile = Sink.selector == TOutputSink::ToFile;
  auto refuse = [&](int id, const std::string& shown) {
    report(id, shown, shown);
    noteFailure(shown, id);
    if (OnEnd) OnEnd(*this, shown, false);
  };
  if (e.name.empty() || rec.rawName.size() > kMaxNameBytes ||
      rec.rawName.find('\0') != std::string_view::npos) {
    // Nothing can be made of it, but the entries after it still can.
    refuse(msg::InvalidFileName, e.name.empty() ? std::string("(no name)") : e.name);
    return true;
  }
  const bool isDir = (e.extAttr & 0x10) || e.name.back() == '/';
  if ((e.extAttr & 0x08) && !e.madeOnUnix() && !isDir) {
    // A DOS volume label names a disk, not a file: left out, and said so. One that carries
    // data is extracted like any file, so nothing the listing shows is silently passed by.
    if (e.size == 0 && e.packed == 0) {
      if (wildcardMatch(FileSpec(), e.name, false)) Skipped.push_back({e.name, msg::FileVolumeID});
      return true;
    }
  }
  if (!wildcardMatch(FileSpec(), e.name, false)) return true;
  if (isDir) {
    // Folders are made for files on demand; an empty stored folder is made too.
    if (UseStoredDirs && toFile) {
      std::string dirName = e.name;
      while (!dirName.empty() && dirName.back() == '/') dirName.pop_back();
      ExtractTarget::Failure why = ExtractTarget::Failure::None;
      if (dirName.find_first_not_of("./") == std::string::npos && dirName.find("..") == std::string::npos)
        return true;  // "./": the target folder itself, there already
      if (refusedEntryName(dirName)) refuse(msg::InvalidFileName, e.name);
      else if (target_.folder(dirName, true, why) < 0)
        refuse(why == ExtractTarget::Failure::Outside ? msg::InvalidFileName : msg::CreateDirError, e.name);
    }
    return true;
  }
  std::string outPath = refusedEntryName(e.name) ? std::string() : outputName(e.name);
  bool go = true;
  if (outPath.empty()) {
    // "..", absolute names, drive prefixes: nothing is written for this entry, the rest
    // goes on.
    refuse(msg::InvalidFileName, e.name);
  } else {
    e.rel = toFile ? outPath.substr(root_.size()) : std::string();
    go = extractEntry(e, outPath);
  }
  if (!go || !wildcard) return false;
  if (Sink.selector >= TOutputSink::ToStream && Sink.selector <= TOutputSink::ToMemory) return false;
  return true;
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
  uint64_t localPos = 0, dataPos = 0, dataEnd = 0;
  const bool located = checkedAdd(e.localOffset, uint64_t(e.delta), localPos);
  if (!located || !zipLocalDataStart(file_, localPos, dataPos, lh)) {
    report(msg::InconsistentLocalHeader, outPath);
    noteFailure(e.name, msg::InconsistentLocalHeader);
    if (OnEnd) OnEnd(*this, outPath, false);
    return true;
  }
  ++RecNum;
  const bool toFile = Sink.selector == TOutputSink::ToFile;
  auto fail = [&](int id) {
    if (id) report(id, outPath);
    noteFailure(e.name, id);
    if (OnEnd) OnEnd(*this, outPath, false);
    return true;
  };

  // Where the entry goes: its folder resolved beneath the target, never through a link
  // that leads out of it.
  int dirFd = -1;
  const std::string leaf(fileNamePart(e.rel));
  bool exists = false;
  if (toFile) {
    ExtractTarget::Failure why = ExtractTarget::Failure::None;
    dirFd = target_.folder(folderPart(e.rel), true, why);
    if (dirFd < 0) {
      --RecNum;
      return fail(why == ExtractTarget::Failure::Outside ? msg::InvalidFileName : msg::CreateDirError);
    }
    struct stat st;
    exists = ::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }
  bool accept = true;
  const uint16_t localFlags = le16(lh + 6);
  const uint32_t localDos = uint32_t(le16(lh + 12)) << 16 | le16(lh + 10);
  if (exists && OnFileExists) OnFileExists(*this, outPath, convertDate(localDos), accept);
  if (accept && OnBegin) OnBegin(*this, outPath, RecNum, accept);
  if (!accept) {
    --RecNum;
    return true;
  }

  uint64_t packed = e.packed;
  // The data must lie in the file; entries whose data overlap another's are how some zip
  // bombs multiply one stream.
  if (!checkedAdd(dataPos, packed, dataEnd) || dataEnd > file_.size()) return fail(msg::ReadError);
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

  platform::AtomicFile out;
  if (toFile && !e.isSymlink()) {
    if (!out.begin(dirFd, leaf, 0600)) return fail(msg::OpenError);
  }

  uint32_t crc = 0;
  uint64_t written = 0;
  int errorId = 0;
  std::string linkTarget;
  bool ok = decode(e, dataPos, packed, encrypted ? &password : nullptr, header,
                   e.isSymlink() ? -1 : out.fd(), e.isSymlink() ? &linkTarget : nullptr, crc,
                   written, errorId);
  const bool cancelled = !ok && errorId == msg::UserAborted;
  bool good = ok && crc == e.crc && written == e.size;
  if (!ok && errorId && !cancelled) report(errorId, outPath);
  else if (ok && written != e.size) report(msg::SizeDifferent, outPath);
  // Why a decoded entry still failed after decoding: its link, closing or renaming it.
  int placeError = 0;

  if (toFile) {
    bool keep = good || (KeepDamaged && !Cancel());
    if (keep && e.isSymlink()) {
      // A link is made only when every path through it, from where it lands, stays inside.
      if (!target_.linkStaysInside(folderPart(e.rel), linkTarget) ||
          !ExtractTarget::placeLink(dirFd, leaf, linkTarget)) {
        report(msg::InvalidFileName, e.name, linkTarget);
        keep = good = false;
        placeError = msg::InvalidFileName;
      }
    } else if (keep) {
      mode_t mode;
      if (e.madeOnUnix()) {
        mode = mode_t((e.extAttr >> 16) & 0777);
      } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = mode_t(0666 & ~mask);
        if (e.extAttr & 0x01) mode &= mode_t(~0222);  // DOS read-only
      }
      ::fchmod(out.fd(), mode);
      if (SetDateTo() != TSetDate::sdSysDate) {
        int64_t t = e.utMtime >= 0 ? e.utMtime : dateTimeToUnixTime(dosDateTimeToDateTime(e.dosDateTime));
        if (t >= 0) {
          struct timespec ts[2] = {{time_t(t), 0}, {time_t(t), 0}};
          ::futimens(out.fd(), ts);
        }
      }
      // Replacing a file puts its old content at stake: that one is flushed first.
      if (!out.commit(exists)) {
        const int err = out.error();
        report(err == ENOSPC ? msg::DiskFull : msg::WriteError, outPath);
        keep = good = false;
        placeError = err == ENOSPC ? msg::DiskFull : msg::WriteError;
      }
    }
    if (!keep) out.abandon();
  }

  const bool crcFailed = ok && written == e.size && crc != e.crc;
  if (OnEnd) OnEnd(*this, outPath, good);
  else if (crcFailed) report(msg::CrcFailed, outPath);
  if (good) ++ExtractedCount;
  else if (!cancelled)  // a cancelled entry is no failure: the job simply ends
    noteFailure(e.name, !ok ? (errorId ? errorId : msg::UserAborted)
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
