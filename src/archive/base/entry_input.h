#pragma once
// The packed bytes of one entry as a decoder's input: pulled from the archive in chunks
// (never the whole entry in memory), with progress reported through the component and its
// Cancel flag honoured. Shared by the extractors of the formats whose entries are one
// contiguous span of the archive (ARJ, LHA, ARC).
#include <cstdint>

#include "archive/base/arc_file.h"
#include "archive/base/zip_common.h"
#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"

namespace kv {

// The packed bytes at pos of file; the caller has checked that they lie inside it.
// Progress is reported every step percent of packed.
codec::InputSource entryInput(TZipCommon& owner, const ArcFile& file, uint64_t pos, uint64_t packed,
                              int step);

// The message id of a decoder's result: 0 when it decoded, UserAborted when it stopped for
// Cancel, else the decoder's own id.
int decodeResultId(const codec::Result& r, bool cancelled);

}  // namespace kv
