// LHA/LZH archives, header levels 0 to 3.
#include <cstring>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

// Folder names use 0xFF (and some programs "\") as separators.
std::string lhaPath(std::string_view raw) {
  std::string s(raw);
  for (char& c : s)
    if (uint8_t(c) == 0xFF) c = '/';
  return s;
}

}  // namespace

void TKelmo::listLha() {
  BlockReader& r = *reader_;
  const uint64_t size = file_.size();
  uint64_t cursor = ArcStart - 1;
  if (const uint8_t* p = r.get(cursor, 1); p && p[0] == 0) cursor += 128;
  while (cursor + 22 <= size && !Cancel()) {
    const uint8_t* first = r.get(cursor, 22);
    if (!first || first[0] == 0) return;  // a zero header size is the end mark
    // A copy: the reads of the extended headers below may refill the reader's buffer.
    uint8_t h[22];
    std::memcpy(h, first, sizeof h);
    const uint8_t level = h[20];
    if (level > 3 || h[2] != '-' || h[6] != '-') {
      report(msg::BadFileHeader, ArchiveFile());
      return;
    }
    if (level <= 1) {
      // Level 0 and 1 headers carry a byte sum of themselves: a damaged one would list
      // made-up names and sizes. (A header cut short is reported below as a short read.)
      if (const uint8_t* whole = r.get(cursor, size_t(h[0]) + 2)) {
        uint8_t sum = 0;
        for (size_t i = 2; i < size_t(h[0]) + 2; ++i) sum = uint8_t(sum + whole[i]);
        if (sum != h[1]) {
          report(msg::HeaderCrcError, ArchiveFile());
          return;
        }
      }
    }
    clearEntry();
    uint64_t headerLen;  // bytes before the data, extended headers included
    uint64_t packed = le32(h + 7);
    uint64_t next = 0;
    bool nextFits = true;
    std::string dir, name;
    uint32_t stamp = le32(h + 15);
    ExternalAttr = h[19];
    InternalAttr = 32;
    VersionMadeBy = VersionNeeded = 0;
    MethodNo = h[5];
    UnpackedSize = le32(h + 11);
    bool unixTime = level >= 2;
    // Extended headers: a chain of (size, type, data) whose size field has sizeWidth bytes
    // and sits at the end of the previous header.
    bool shortRead = false;
    auto walk = [&](uint64_t pos, uint64_t firstSize, int sizeWidth, uint64_t& total) -> bool {
      uint64_t extSize = firstSize;
      for (int guard = 0; extSize != 0; ++guard) {
        // Real extended headers are small; a huge size is damage, not a reason to read it.
        if (guard > 4096 || extSize < uint64_t(1 + sizeWidth) || extSize > (1u << 20)) return false;
        const uint8_t* x = r.get(pos, static_cast<size_t>(extSize));
        if (!x) {
          shortRead = true;
          return false;
        }
        uint8_t type = x[0];
        std::string_view data(reinterpret_cast<const char*>(x + 1), extSize - 1 - sizeWidth);
        if (type == 0x01) name = std::string(data);
        else if (type == 0x02) dir = lhaPath(data);
        else if (type == 0x54 && data.size() >= 4) {
          stamp = le32(x + 1);
          unixTime = true;
        }
        total += extSize;
        pos += extSize;
        const uint8_t* s = x + extSize - sizeWidth;
        extSize = sizeWidth == 2 ? le16(s) : le32(s);
      }
      return true;
    };
    bool ok = true;
    if (level <= 1) {
      uint64_t hsize = uint64_t(h[0]) + 2;
      uint8_t nameLen = h[21];
      const uint8_t* full = r.get(cursor, static_cast<size_t>(hsize));
      if (!full || 22 + uint64_t(nameLen) + 2 > hsize) {
        report(full ? msg::BadFileHeader : msg::ReadError, ArchiveFile());
        return;
      }
      name = std::string(reinterpret_cast<const char*>(full + 22), nameLen);
      FileCRC = le16(full + 22 + nameLen);
      headerLen = hsize;
      nextFits = checkedAdd(cursor, hsize + packed, next);
      if (level == 1 && hsize >= 22 + uint64_t(nameLen) + 5) {
        uint64_t extTotal = 0;
        ok = walk(cursor + hsize, le16(full + hsize - 2), 2, extTotal);
        // In level 1 the stored size counts the extended headers too.
        packed = extTotal <= packed ? packed - extTotal : 0;
        headerLen += extTotal;
      }
      // A "\" in a level 0/1 name is a folder separator.
      for (char& c : name)
        if (uint8_t(c) == 0xFF) c = '/';
    } else {
      int width = level == 2 ? 2 : 4;
      uint64_t hsize = level == 2 ? le16(h) : 0;
      const uint8_t* full = r.get(cursor, level == 2 ? 26 : 32);
      if (!full) {
        report(msg::ReadError, ArchiveFile());
        return;
      }
      FileCRC = le16(full + 21);
      uint64_t firstExt = level == 2 ? le16(full + 24) : le32(full + 28);
      uint64_t base = level == 2 ? 26 : 32;
      if (level == 3) hsize = le32(full + 24);
      uint64_t extTotal = 0;
      ok = walk(cursor + base, firstExt, width, extTotal);
      if (hsize < base) hsize = base + extTotal;
      headerLen = hsize;
      nextFits = checkedAdd(cursor, hsize + packed, next);
    }
    if (!ok) {
      report(shortRead ? msg::ReadError : msg::BadFileHeader, ArchiveFile());
      return;
    }
    (void)headerLen;
    PackedSize = packed;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    FileName = presentName(dir + name, NameCodePage);
    FileDate = unixTime ? unixTimeToDateTime(stamp) : convertDate(stamp);
    IsDirectory = h[3] == 'l' && h[4] == 'h' && h[5] == 'd';
    if (IsDirectory) MethodName = "Dir";
    else if (h[3] == 'l' && h[4] == 'h' && h[5] == '0') MethodName = "Stored";
    else if (h[3] == 'l' && h[4] == 'h' && h[5] >= '1' && h[5] <= '6')
      MethodName = std::string("Frozen-") + char(h[5]);
    else MethodName = "Unknown";
    uint64_t entryPos = cursor;
    if (nextFits && next <= cursor) {
      report(msg::BadFileHeader, ArchiveFile());
      return;
    }
    listEntry(int64_t(entryPos));
    if (!nextFits || next > size) {
      report(msg::ReadError, ArchiveFile());
      return;
    }
    cursor = next;
  }
  // Bytes left that hold neither a header nor the end mark: the archive was cut short.
  if (!Cancel() && cursor < size) {
    const uint8_t* t = r.get(cursor, 1);
    if (t && t[0] != 0) report(msg::ReadError, ArchiveFile());
  }
}

}  // namespace kv
