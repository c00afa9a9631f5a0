// Selecting files of a listing by mask.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "panel/model/mask.h"
#include "panel/model/select_group.h"

namespace kv {
namespace {

TDirectory listing() {
    std::vector<platform::DirItem> items;
    auto add = [&](const char* name, std::uint16_t attr) {
        platform::DirItem d;
        d.name = name;
        d.attr = attr;
        d.size = 10;
        items.push_back(d);
    };
    add("a.txt", platform::faArchive);
    add("B.TXT", platform::faArchive);
    add("c.doc", platform::faArchive);
    add("Makefile", platform::faArchive);
    add("dir.txt", platform::faDirectory);
    TDirectory fl;
    fl.Build("/some/folder", std::move(items));
    return fl;
}

std::vector<std::string> selected(const TDirectory& fl) {
    std::vector<std::string> out;
    for (int i = 1; i <= fl.FilesCount(); ++i)
        if (fl.selected(i)) out.push_back(fl.displayName(i));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(SelectGroup, FlipsMatchingFilesOnly) {
    TDirectory fl = listing();
    EXPECT_EQ(selectGroup(fl, "*.txt", GroupAction::Flip), 2);
    EXPECT_EQ(selected(fl), (std::vector<std::string>{"B.TXT", "a.txt"}));
    EXPECT_EQ(fl.SelectedCount, 2);
    EXPECT_EQ(fl.SelectedSize, 20);
    selectGroup(fl, "*.txt", GroupAction::Flip);  // twice: as it was
    EXPECT_TRUE(selected(fl).empty());

    // "*.*" is every file, also one without a dot; never ".." nor a folder.
    fl.setSelected(fl.findByName("a.txt"), true);
    selectGroup(fl, "*.*", GroupAction::Flip);
    std::vector<std::string> all = selected(fl);
    EXPECT_EQ(all.size(), 3u);
    EXPECT_EQ(std::count(all.begin(), all.end(), ".."), 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), "dir.txt"), 0);
    EXPECT_EQ(std::count(all.begin(), all.end(), "Makefile"), 1);
}

TEST(SelectGroup, UnselectsByMaskAndRefusesBadMasks) {
    TDirectory fl = listing();
    selectGroup(fl, "*.*", GroupAction::Flip);
    EXPECT_EQ(selectGroup(fl, "*.TXT,c*", GroupAction::Unselect), 3);
    EXPECT_EQ(selected(fl), (std::vector<std::string>{"Makefile"}));
    EXPECT_EQ(selectGroup(fl, "*.txt", GroupAction::Unselect), 0);
    EXPECT_THROW(selectGroup(fl, "[a", GroupAction::Flip), EMaskError);
    EXPECT_EQ(selected(fl), (std::vector<std::string>{"Makefile"}));
}

}  // namespace
}  // namespace kv
