// ZIP central directory (also self-extracting and ZIP64 archives).
#include <algorithm>
#include <vector>

#include "archive/base/names.h"
#include "archive/base/zip_end.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {

std::string zipMethodName(uint16_t method, uint16_t flags) {
  switch (method) {
    case 0: return "Stored";
    case 1: return "Shrunk";
    case 2: case 3: case 4: case 5: return "Reduce-" + std::to_string(method - 1);
    case 6: return "Imploded";
    case 7: return "Tokened";
    case 8:
      switch ((flags >> 1) & 3) {
        case 0: return "DeflateN";
        case 1: return "DeflateX";
        case 2: return "DeflateF";
        default: return "DeflateS";
      }
    default: return "Unknown";
  }
}

namespace {

constexpr uint32_t kCentral = 0x02014B50;

}  // namespace

void TKelmo::listZip() {
  BlockReader& r = *reader_;
  const uint64_t size = file_.size();
  ZipEnd end;
  if (!findZipEnd(file_, end)) reportAndRaise(msg::HeaderIdError, ArchiveFile());
  if (!end.comment.empty()) ArchiveComment = presentText(end.comment, NameCodePage);
  const uint64_t entries = end.entries, cdSize = end.cdSize, cdOffset = end.cdOffset, dirEnd = end.dirEnd;
  if (entries == 0 && cdSize == 0) return;  // an empty archive is a complete listing

  // Where the directory really starts. Offsets of an executable whose archive was appended
  // without fixing them are relative to the archive: then the directory is found right
  // before the end record, and every offset is moved by the same distance.
  uint64_t cdPos = cdOffset;
  if (SfxOffset > 0 && ArcStart == SfxOffset + 1) cdPos += SfxOffset;
  int64_t delta = int64_t(cdPos) - int64_t(cdOffset);
  auto isCentral = [&](uint64_t pos) {
    const uint8_t* h = r.get(pos, 4);
    return h && le32(h) == kCentral;
  };
  if (!isCentral(cdPos)) {
    if (cdSize <= dirEnd && isCentral(dirEnd - cdSize)) {
      cdPos = dirEnd - cdSize;
      delta = int64_t(cdPos) - int64_t(cdOffset);
    } else {
      reportAndRaise(msg::HeaderIdError, ArchiveFile());
    }
  }

  uint64_t cursor = cdPos;
  bool fired = false;
  while (cursor + 46 <= size && !Cancel()) {
    const uint8_t* h = r.get(cursor, 46);
    if (!h || le32(h) != kCentral) break;
    uint16_t nameLen = le16(h + 28), extraLen = le16(h + 30), commentLen2 = le16(h + 32);
    size_t total = 46 + size_t(nameLen) + extraLen + commentLen2;
    h = r.get(cursor, total);
    if (!h) {
      report(msg::ReadError, ArchiveFile());
      return;
    }
    clearEntry();
    uint16_t flags = le16(h + 8);
    VersionMadeBy = h[4];
    VersionNeeded = h[6];
    Encrypted = flags & 1;
    MethodNo = le16(h + 10);
    FileDate = convertDate(le32(h + 12));
    FileCRC = le32(h + 16);
    PackedSize = le32(h + 20);
    UnpackedSize = le32(h + 24);
    InternalAttr = le16(h + 36);
    ExternalAttr = le32(h + 38);
    uint64_t localOffset = le32(h + 42);
    if (flags > 1) DeflateOption = (flags & 6) == 6 ? 6 : (flags & 4) ? 4 : (flags & 2) ? 2 : 0;
    const char* name = reinterpret_cast<const char*>(h + 46);
    FileName = presentName(std::string_view(name, nameLen), NameCodePage, flags & 0x800);
    // ZIP64 sizes and offset, present for the fields that hold all ones.
    const uint8_t* x = h + 46 + nameLen;
    for (size_t p = 0; p + 4 <= extraLen;) {
      uint16_t id = le16(x + p), len = le16(x + p + 2);
      if (p + 4 + len > extraLen) break;
      if (id == 0x0001) {
        const uint8_t* v = x + p + 4;
        size_t left = len;
        auto take = [&](uint64_t& field) {
          if (field != 0xFFFFFFFFu || left < 8) return;
          field = le64(v);
          v += 8;
          left -= 8;
        };
        take(UnpackedSize);
        take(PackedSize);
        take(localOffset);
      }
      p += 4 + size_t(len);
    }
    if (commentLen2)
      FileComment = presentText(
          std::string_view(reinterpret_cast<const char*>(h + 46 + nameLen + extraLen), commentLen2),
          NameCodePage, flags & 0x800);
    IsDirectory = (ExternalAttr & 0x10) || (!FileName.empty() && FileName.back() == '/');
    MethodName = IsDirectory ? "Dir" : zipMethodName(MethodNo, flags);
    cursor += total;
    fired = true;
    int64_t offset = int64_t(localOffset) + delta;
    if (IsDirectory) {
      // Folders are shown on request but never counted.
      if (ShowBlankDirs) {
        if (OnReadFile) OnReadFile(*this, FileName);
        computeRatio();
        if (OnReadBegin) OnReadBegin(*this);
        if (OnRead) OnRead(*this, offset, Count);
        if (OnReadEnd) OnReadEnd(*this);
      }
      continue;
    }
    fireEntry(offset);
  }
  if (!fired) reportAndRaise(msg::BadFileHeader, ArchiveFile());
}

}  // namespace kv
