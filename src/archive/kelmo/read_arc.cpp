// ARC and PAK archives.
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

constexpr int kMaxArcDepth = 64;

std::string arcMethodName(uint16_t m, bool pak) {
  if (pak) {
    switch (m) {
      case 1: case 2: return "Stored";
      case 3: return "RLE";
      case 4: return "Squeezed";
      case 5: case 6: case 7: return "FIXEDLEN";
      case 8: case 9: return "VARIBLE";
      case 10: return "Crushed";
      case 11: return "Distill";
      default: return "Unknown";
    }
  }
  switch (m) {
    case 1: case 2: return "Stored";
    case 3: return "Packed";
    case 4: return "Squeezed";
    case 5: case 6: case 7: return "crunched";
    case 8: return "Crunched";
    case 9: return "Squashed";
    case 10: return "Pack10";
    case 11: return "Pack11";
    case 12: return "Pack12";
    default: return "Unknown";
  }
}

}  // namespace

void TKelmo::listArc(bool pak) {
  BlockReader& r = *reader_;
  const uint64_t size = file_.size();
  uint64_t cursor = ArcStart - 1;
  std::string prefix;
  int depth = 0;
  while (cursor < size && size - cursor >= 2 && !Cancel()) {
    const uint8_t* h = r.get(cursor, 2);
    if (!h) break;
    if (h[0] != 0x1A) {
      report(msg::BadFileHeader, ArchiveFile());
      return;
    }
    uint8_t method = h[1];
    if (method == 0) return;  // end mark
    if (!pak && method == 31) {  // end of a folder: a two-byte record
      if (depth > 0) {
        --depth;
        prefix.pop_back();
        prefix.erase(folderPart(prefix).size());
      }
      cursor += 2;
      continue;
    }
    // Method 1 is the oldest form, without the original-size field.
    const size_t headerLen = method == 1 ? 25 : 29;
    h = r.get(cursor, headerLen);
    if (!h) {
      report(msg::ReadError, ArchiveFile());
      return;
    }
    clearEntry();
    size_t n = 0;
    while (n < 13 && h[2 + n]) ++n;  // bytes after the zero may be left-over garbage
    std::string name = presentName(std::string_view(reinterpret_cast<const char*>(h + 2), n), NameCodePage);
    uint64_t packed = le32(h + 15);
    FileDate = convertDate(uint32_t(le16(h + 19)) << 16 | le16(h + 21));
    FileCRC = le16(h + 23);
    UnpackedSize = method == 1 ? packed : le32(h + 25);
    PackedSize = packed;
    MethodNo = method;
    if (!pak && method == 30) {  // a folder: its entries follow at once
      // Every entry repeats the whole folder path, so deep nesting multiplies the listing;
      // DOS paths never held more than a few dozen levels.
      if (depth >= kMaxArcDepth) reportAndRaise(msg::TooManyNestedDirs, ArchiveFile());
      PackedSize = UnpackedSize = 0;
      IsDirectory = true;
      MethodName = "Dir";
      ExternalAttr = 16;
      InternalAttr = 16;
      FileName = prefix + name + "/";
      if (ShowBlankDirs) listEntry(int64_t(cursor));
      prefix += name + "/";
      ++depth;
      cursor += headerLen;
      continue;
    }
    ExternalAttr = InternalAttr = 32;
    FileName = prefix + name;
    MethodName = arcMethodName(method, pak);
    uint64_t entryPos = cursor;
    listEntry(int64_t(entryPos));
    uint64_t next;
    if (!checkedAdd(cursor, headerLen + packed, next) || next > size) {
      report(msg::ReadError, ArchiveFile());
      return;
    }
    cursor = next;
  }
  // No end mark (1A 00) before the end of the file: the archive was cut short.
  if (!Cancel()) report(msg::ReadError, ArchiveFile());
}

}  // namespace kv
