#pragma once
// Selecting a group of files by mask in a listing. Folders and ".." are never touched.
#include <string>

#include "panel/model/directory.h"

namespace kv {

enum class GroupAction {
    Flip,      // matching files change their selected state
    Unselect,  // matching files become unselected
};

// Applies the action to every file whose name matches the mask list; the mask text "*.*"
// stands for every file, names without a dot included. Returns how many files changed.
// Throws EMaskError for an invalid mask (before anything changes).
int selectGroup(TDirectory& listing, const std::string& maskText, GroupAction action);

}  // namespace kv
