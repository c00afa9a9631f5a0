#pragma once
// kvarc commands: each takes the arguments after the command word and answers the exit status.
#include <string>
#include <vector>

namespace kvarc {

using Args = std::vector<std::string>;

// l [--tsv] ARCHIVE: list the entries (0: whole directory read, 2: archive unreadable).
int listCommand(const Args& args);

}  // namespace kvarc
