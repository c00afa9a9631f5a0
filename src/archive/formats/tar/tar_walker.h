#pragma once
// Walks the records of a TAR archive and yields its entries with everything the extension
// records before them said: the long name (pax path, else GNU long name, else the ustar
// prefix and name field), the link name (pax linkpath, else GNU long link name, else the
// link field), the pax size and the data position. The lister and the extractor both walk
// with it, so what one shows is what the other writes.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/base/arc_file.h"
#include "archive/formats/tar/tar_header.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

// What an entry is. Label: a volume label, naming the archive, not a file. Other: devices,
// fifos and types this reader does not know: not listed, and named as not extracted.
enum class TarKind { File, Folder, HardLink, SymLink, Label, Other };

struct TarEntry {
    TarHeader header;  // the entry's own header, its size as a pax "size" record gave it
    TarLongName name;  // the name to use (fullSize > kMaxNameBytes: too long to be used)
    TarLongName link;  // the link name of a hard or symbolic link
    TarKind kind = TarKind::Other;
    bool badExtension = false;  // an extension record before it could not be read
    std::uint64_t headerPos = 0;
};

class TarWalker {
public:
    // Walks the archive from the header at `start`.
    TarWalker(const ArcFile& file, std::uint64_t start);

    // Truncated: an extension record runs past the end of the archive, or a partial header
    // is left at its end. CutEntry: a whole header whose data runs past the end; `out`
    // holds it (its data cannot be had). BadChecksum: a header whose checksum does not match
    // its bytes. Damaged: a header with a size no entry can have. These end the walk; End is
    // the end blocks, the end of the file or `cancelled`.
    enum class Step { Entry, End, BadChecksum, Truncated, CutEntry, Damaged };
    Step next(TarEntry& out, const std::function<bool()>& cancelled = {});

private:
    const ArcFile& file_;
    BlockReader headers_;
    std::uint64_t cursor_;
};

}  // namespace kv
