// Links, broken links, fifos, sockets and devices as the listing reads them and as the
// panel marks them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "panel/model/directory.h"
#include "panel/model/file_kinds.h"
#include "temp_dir.h"

namespace kv {
namespace {

using platform::FileKind;

// A socket file that stays after its descriptor is closed.
bool makeSocketFile(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (path.size() >= sizeof a.sun_path) return false;
    std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

TEST(FileKinds, ListingKnowsEveryKindAndThePanelMarksEachItsOwnWay) {
    test::TempDir dir;
    dir.file("plain.txt", "abc");
    dir.dir("sub");
    ASSERT_EQ(::symlink("plain.txt", (dir / "to-file").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (dir / "to-sub").c_str()), 0);
    ASSERT_EQ(::symlink("gone/away", (dir / "broken").c_str()), 0);
    ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);  // a link to itself is broken too
    ASSERT_EQ(::symlink("/dev/null", (dir / "to-null").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    ASSERT_TRUE(makeSocketFile(dir / "sock"));

    TDirectory d;
    d.SortType = stName;
    ASSERT_TRUE(d.Read(dir.path()));

    struct Want {
        const char* name;
        FileKind kind;
        bool link, broken, special, folder;
        const char* mark;
        const char* sizeWord;
        const char* statusWord;
    } const wants[] = {
        {"plain.txt", FileKind::Regular, false, false, false, false, "", "", ""},
        {"sub", FileKind::Folder, false, false, false, true, "", "", ""},
        {"to-file", FileKind::Regular, true, false, false, false, " \u2192", "", ""},
        {"to-sub", FileKind::Folder, true, false, false, true, " \u2192", "", ""},
        {"broken", FileKind::Other, true, true, false, false, " \u2192", "<Broken>", "broken link"},
        {"loop", FileKind::Other, true, true, false, false, " \u2192", "<Broken>", "broken link"},
        {"to-null", FileKind::CharDevice, true, false, true, false, " \u2192", "<Device>",
         "character device"},
        {"pipe", FileKind::Fifo, false, false, true, false, "|", "<Pipe>", "named pipe"},
        {"sock", FileKind::Socket, false, false, true, false, "=", "<Socket>", "socket"},
    };
    for (const Want& w : wants) {
        SCOPED_TRACE(w.name);
        const int i = d.findByName(w.name);
        ASSERT_NE(i, 0);
        const TDirEntry& e = d.entry(i);
        EXPECT_EQ(e.Kind, w.kind);
        EXPECT_EQ(e.IsLink, w.link);
        EXPECT_EQ(e.IsBroken, w.broken);
        EXPECT_EQ(e.isSpecial(), w.special);
        EXPECT_EQ(e.isDir(), w.folder);
        EXPECT_EQ(kindMark(e), w.mark);
        EXPECT_EQ(kindSizeWord(e), w.sizeWord);
        EXPECT_EQ(kindStatusWord(e), w.statusWord);
    }
    EXPECT_EQ(linkTarget(dir / "broken"), "gone/away");
    EXPECT_EQ(linkTarget(dir / "to-null"), "/dev/null");
    EXPECT_EQ(linkTarget(dir / "plain.txt"), "") << "no link, no target";
}

TEST(FileKinds, AVeryLongLinkTargetIsReadWhole) {
    test::TempDir dir;
    const std::string target = std::string(3000, 'a') + "/b";
    ASSERT_EQ(::symlink(target.c_str(), (dir / "long").c_str()), 0);
    EXPECT_EQ(linkTarget(dir / "long"), target);
}

TEST(FileKinds, SpecialFilesAreRecognisedByPathWithoutOpeningThem) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("pipe", (dir / "to-pipe").c_str()), 0);
    dir.file("plain");
    // Opening the fifo for reading would block this test for good: the check must not.
    EXPECT_EQ(specialKindAt(dir / "pipe"), "named pipe");
    EXPECT_EQ(specialKindAt(dir / "to-pipe"), "named pipe");
    EXPECT_EQ(specialKindAt("/dev/null"), "character device");
    EXPECT_EQ(specialKindAt(dir / "plain"), "");
    EXPECT_EQ(specialKindAt(dir / "missing"), "");
    EXPECT_EQ(specialNotOpened("named pipe", "pipe"), "<pipe> is a named pipe: it is not opened");
}

}  // namespace
}  // namespace kv
