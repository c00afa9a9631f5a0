#pragma once
// Our own reader of RIFF WAVE files: integer PCM of 8, 16, 24 or 32 bits and 32-bit float,
// plain or in the extensible header, one channel or more (more than two are reduced to the
// first two). Every chunk size is checked against the file before it is trusted; a data
// chunk that claims more than the file holds (as recorders that were cut off leave it) is
// played as far as the file goes.
#include <memory>
#include <string>

#include "tools/music/pcm_source.h"

namespace kv::music {

// The sound of the file, or null with the reason in error.
std::unique_ptr<PcmSource> openWav(const std::string& path, std::string& error);

}  // namespace kv::music
