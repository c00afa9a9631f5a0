#pragma once
// Duplicate files among search results: the same size, then the same content. Only files
// whose size has a partner are read; the first block's hash sorts them out before the
// whole content is hashed, and members of a group are compared byte for byte at the end,
// so a group holds exactly equal files. Folders, archive entries and empty files are left out.
#include <atomic>
#include <vector>

#include "search/engine/find_engine.h"

namespace kv::search {

// Groups of two or more equal files, the biggest files first (then by the first path);
// paths sorted inside a group. Stops early, with what it has, when `cancel` is set.
std::vector<std::vector<TFindResult>> findDuplicates(const std::vector<TFindResult>& files,
                                                     const std::atomic<bool>& cancel);

}  // namespace kv::search
