#include "archive/unarc/un_arc.h"

#include "archive/base/entry_input.h"
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/codec/arc_decode.h"
#include "archive/codec/output_window.h"

namespace kv {

void TUnARC::openArchive() {
    cursor_.reset();
    const TArcType t = ArcType();
    if (t != atARC && t != atArcExe && t != atPAK && t != atPakExe)
        reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    pak_ = t == atPAK || t == atPakExe;
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened_ = true;
    reader_ = std::make_unique<BlockReader>(file_);
    cursor_.emplace(*reader_, ArcStart - 1, pak_);
}

void TUnARC::closeArchive() {
    window_ = {};
    cursor_.reset();
    reader_.reset();
    if (opened_) {
        opened_ = false;
        file_.close();
        if (OnDeactivate) OnDeactivate(*this);
    }
}

bool TUnARC::nextEntry(TArcEntry& e, int& stopId) {
    ArcHeader h;
    if (!cursor_ || !cursor_->next(h, stopId)) return false;
    current_ = h;
    e.name = presentName(h.name, NameCodePage);
    e.rawNameSize = h.name.size();
    e.packed = h.packed;
    e.size = h.size;
    e.crc = h.crc;
    e.dosDateTime = h.dosDateTime;
    e.method = h.method;
    e.isDir = h.isDir;
    return true;
}

int TUnARC::decodeEntry(TArcEntry& e, const std::string&, const Emit& emit, bool&) {
    const ArcHeader& h = current_;
    if (h.method < 1 || h.method > 9) return msg::UnsupportedMethod;
    if (!h.dataFits || !rangeInside(h.dataPos, h.packed, file_.size())) return msg::ReadError;
    codec::InputSource in = entryInput(*this, file_, h.dataPos, h.packed, (int(ProgressNotify) + 1) * 5);
    codec::OutputWindow out(emit, e.size, window_);
    return decodeResultId(codec::arcDecode(in, out, h.method), Cancel());
}

}  // namespace kv
