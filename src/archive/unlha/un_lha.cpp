#include "archive/unlha/un_lha.h"

#include <string_view>

#include "archive/base/entry_input.h"
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/codec/lha_decode.h"
#include "archive/codec/output_window.h"

namespace kv {

void TUnLHA::openArchive() {
    cursor_.reset();
    const TArcType t = ArcType();
    if (t != atLHA && t != atLhaExe && t != atLZH && t != atLzhExe)
        reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened_ = true;
    reader_ = std::make_unique<BlockReader>(file_);
    cursor_.emplace(*reader_, ArcStart - 1);
}

void TUnLHA::closeArchive() {
    window_ = {};
    cursor_.reset();
    reader_.reset();
    if (opened_) {
        opened_ = false;
        file_.close();
        if (OnDeactivate) OnDeactivate(*this);
    }
}

bool TUnLHA::nextEntry(TArcEntry& e, int& stopId) {
    LhaHeader h;
    if (!cursor_ || !cursor_->next(h, stopId)) return false;
    current_ = h;
    e.name = presentName(h.name, NameCodePage);
    e.rawNameSize = h.name.size();
    e.rawNameHasNul = h.name.find('\0') != std::string::npos;
    e.packed = h.packed;
    e.size = h.size;
    e.crc = h.crc;
    if (h.unixTime)
        e.unixMtime = h.stamp;
    else
        e.dosDateTime = h.stamp;
    // Only the permission bits of a Unix mode: the entry is a plain file whatever it says.
    if (h.unixMode >= 0) e.unixMode = 0100000 | (h.unixMode & 0777);
    e.extAttr = h.attr;
    e.isDir = h.isDir();
    return true;
}

int TUnLHA::decodeEntry(TArcEntry& e, const std::string&, const Emit& emit, bool&) {
    const LhaHeader& h = current_;
    const std::optional<codec::LhaMethod> method = codec::lhaMethod(std::string_view(h.method, 5));
    if (!method) return msg::UnsupportedMethod;
    if (!h.nextFits || !rangeInside(h.dataPos, h.packed, file_.size())) return msg::ReadError;
    codec::InputSource in = entryInput(*this, file_, h.dataPos, h.packed, (int(ProgressNotify) + 1) * 5);
    codec::OutputWindow out(emit, e.size, window_, codec::lhaHistory(*method));
    return decodeResultId(codec::lhaDecode(in, out, *method), Cancel());
}

}  // namespace kv
