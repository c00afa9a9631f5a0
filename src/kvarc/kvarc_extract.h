#pragma once
// kvarc t and x: test and extract archives (ZIP for now).
#include "kvarc/commands.h"

namespace kvarc {

// t ARCHIVE [-p PASSWORD] [--cp866]: 0 when every entry passes, 1 when any fails, 2 when the archive is
// unreadable.
int testCommand(const Args& args);
// x ARCHIVE DIR [-p PASSWORD] [-y] [--cp866]: extract; without -y existing files are skipped and named.
int extractCommand(const Args& args);

}  // namespace kvarc
