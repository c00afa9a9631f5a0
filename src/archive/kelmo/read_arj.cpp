// ARJ archives, following a file that continues into the next volume.
#include <cstring>

#include "archive/base/crc.h"
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

constexpr const char* kArjMethods[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
constexpr uint16_t kArjId = 0xEA60;
constexpr size_t kMaxBasicHeader = 2600;  // the format's own limit for a basic header

struct ArjHeader {
  uint64_t pos = 0;   // where the 60 EA id is
  uint64_t next = 0;  // right after the header and its extended headers
  const uint8_t* b = nullptr;  // the basic header (size bytes, from first_hdr_size on)
  uint16_t size = 0;
  std::string name, comment;
};

// Reads the header at pos. False at the end marker (size 0), on a wrong id or when the
// header does not fit the file: bad is then the message id (0 at the end marker).
bool readArjHeader(BlockReader& r, uint64_t pos, ArjHeader& h, int& bad) {
  bad = 0;
  const uint8_t* p = r.get(pos, 4);
  if (!p) { bad = msg::ReadError; return false; }
  if (le16(p) != kArjId) { bad = msg::BadFileHeader; return false; }
  h.size = le16(p + 2);
  if (h.size == 0) return false;
  if (h.size > kMaxBasicHeader || h.size < 30) { bad = msg::BadFileHeader; return false; }
  uint64_t basicPos;
  if (!checkedAdd(pos, 4, basicPos)) { bad = msg::ReadError; return false; }
  p = r.get(basicPos, size_t(h.size) + 4);
  if (!p) { bad = msg::ReadError; return false; }
  // Every basic header carries its CRC-32: a damaged one would list made-up names and sizes.
  if (crc32(std::span<const uint8_t>(p, h.size)) != le32(p + h.size)) { bad = msg::HeaderCrcError; return false; }
  uint8_t first = p[0];
  if (first > h.size || first < 30) { bad = msg::BadFileHeader; return false; }
  h.pos = pos;
  // Name and comment are zero-terminated strings inside the basic header.
  size_t i = first;
  size_t nameEnd = i;
  while (nameEnd < h.size && p[nameEnd]) ++nameEnd;
  h.name.assign(reinterpret_cast<const char*>(p + i), nameEnd - i);
  size_t c = nameEnd + 1, commentEnd = c;
  while (commentEnd < h.size && p[commentEnd]) ++commentEnd;
  h.comment = c < h.size ? std::string(reinterpret_cast<const char*>(p + c), commentEnd - c)
                         : std::string();
  // Extended headers follow the header CRC: size, data and CRC each, until a size of 0.
  uint64_t q = basicPos + h.size + 4;
  for (int guard = 0;; ++guard) {
    const uint8_t* s = r.get(q, 2);
    if (!s) { bad = msg::ReadError; return false; }
    if (guard > 1000) { bad = msg::BadFileHeader; return false; }
    uint16_t extSize = le16(s);
    q += 2;
    if (extSize == 0) break;
    q += uint64_t(extSize) + 4;  // at most 1000 * 64 KiB past a position inside the file
  }
  h.next = q;
  h.b = r.get(basicPos, h.size);  // refreshed: the loop above may have moved the buffer
  if (!h.b) { bad = msg::ReadError; return false; }
  return true;
}

}  // namespace

void TKelmo::listArj() {
  BlockReader& r = *reader_;
  ArjHeader main;
  int bad = 0;
  if (!readArjHeader(r, ArcStart - 1, main, bad))
    reportAndRaise(bad == msg::HeaderCrcError ? bad : msg::HeaderIdError, ArchiveFile());
  ArchiveComment = presentText(main.comment, NameCodePage);
  const bool volumeSet = main.b[4] & 0x04;
  std::string volumePath = ArchiveFile();
  if (volumeSet) VolumeName = std::string(fileNamePart(volumePath));
  int volumeCounter = 0;
  uint64_t cursor = main.next;

  while (!Cancel()) {
    ArjHeader h;
    if (!readArjHeader(r, cursor, h, bad)) {
      if (bad) report(bad, ArchiveFile());
      return;
    }
    const uint8_t* b = h.b;
    clearEntry();
    uint8_t flags = b[4];
    VersionMadeBy = b[1];
    VersionNeeded = b[2];
    Encrypted = flags & 0x01;
    MethodNo = b[5];
    uint8_t fileType = b[6];
    uint8_t hostOs = b[3];
    uint32_t stamp = le32(b + 8);
    // Made on UNIX without DOS compatibility, the stamp is in Unix seconds.
    FileDate = (hostOs == 2 && b[1] >= 11) ? unixTimeToDateTime(stamp) : convertDate(stamp);
    PackedSize = le32(b + 12);
    UnpackedSize = le32(b + 16);
    FileCRC = le32(b + 20);
    InternalAttr = le16(b + 26);
    ExternalAttr = le16(b + 26);
    IsDirectory = fileType == 3;
    FileName = presentName(h.name, NameCodePage);
    FileComment = presentText(h.comment, NameCodePage);
    MethodName = IsDirectory ? "Dir" : MethodNo < 5 ? kArjMethods[MethodNo] : "Unknown";
    // Every header starts past the one before (next > pos), so the walk always advances.
    const bool pastEnd = !checkedAdd(h.next, le32(b + 12), cursor) || cursor > file_.size();
    if (fileType == 4 && !pastEnd) continue;  // a volume label is no entry
    uint64_t entryPos = h.pos;
    if (pastEnd) {
      if (fileType != 4) listEntry(int64_t(entryPos));
      report(msg::ReadError, ArchiveFile());
      return;
    }
    // A file that goes on in the next volume: sum its parts, then list on from there.
    bool continues = flags & 0x04;
    bool volumeFailed = false;
    while (continues && !Cancel()) {
      std::string next = nextArjVolumeName(volumePath, volumeCounter);
      if (next.empty()) {
        listEntry(int64_t(entryPos));
        reportAndRaise(msg::MaxVolumes, ArchiveFile());
      }
      if (!openNextVolume(next, std::to_string(volumeCounter + 1), msg::InvalidFileName)) {
        volumeFailed = true;
        break;
      }
      volumePath = next;
      VolumeName = std::string(fileNamePart(volumePath));
      ArjHeader vmain, part;
      if (!readArjHeader(r, 0, vmain, bad) || !readArjHeader(r, vmain.next, part, bad)) {
        report(msg::BadFileHeader, next);
        volumeFailed = true;
        break;
      }
      PackedSize += le32(part.b + 12);
      UnpackedSize += le32(part.b + 16);
      continues = part.b[4] & 0x04;
      cursor = part.next + uint64_t(le32(part.b + 12));
    }
    listEntry(int64_t(entryPos));
    if (volumeFailed) return;
  }
}

}  // namespace kv
