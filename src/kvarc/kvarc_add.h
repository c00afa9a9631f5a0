#pragma once
// kvarc a and d: add to (or update) a ZIP archive, and delete entries from one.
#include "kvarc/commands.h"

namespace kvarc {

// a ARCHIVE FILE... [-r] [-0|-1..-9] [-p PASSWORD] [-m]: 0 when the archive holds every file
// (written or already up to date), 1 when it was written but some files failed, 2 when
// nothing was written because of an error.
int addCommand(const Args& args);
// d ARCHIVE NAME...: 0 when entries were deleted, 1 when no entry matched, 2 on an error.
int deleteCommand(const Args& args);

}  // namespace kvarc
