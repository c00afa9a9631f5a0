#include "panel/model/select_group.h"

#include "panel/model/mask.h"

namespace kv {

int selectGroup(TDirectory& listing, const std::string& maskText, GroupAction action) {
    const bool everyFile = maskText == "*.*";
    const TMaskList masks(everyFile ? std::string("*") : maskText);
    int changed = 0;
    for (int i = 1; i <= listing.FilesCount(); ++i) {
        const TDirEntry& e = listing.entry(i);
        if (e.isParent() || e.isDir() || !masks.Matches(e.FileName)) continue;
        const bool now = action == GroupAction::Flip ? !e.Selected : false;
        if (now == static_cast<bool>(e.Selected)) continue;
        listing.setSelected(i, now);
        ++changed;
    }
    return changed;
}

}  // namespace kv
