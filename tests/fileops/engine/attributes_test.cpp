// The attributes of several entries: what they share, a change that leaves the differing
// bits alone, and failures that name the system's reason.
#include <sys/stat.h>

#include "engine_fixture.h"
#include "fileops/engine/attributes.h"

using namespace kvtest;
using kv::test::TempDir;

TEST(Attributes, ASelectionSharesItsCommonBitsAndAChangeKeepsTheOthers) {
    TempDir t;
    const std::string a = t.file("a"), b = t.file("b");
    ::chmod(a.c_str(), 0640);
    ::chmod(b.c_str(), 0604);
    std::vector<Failure> unreadable;
    const SharedAttributes s = sharedAttributes({a, b, t / "gone"}, unreadable);
    EXPECT_EQ(s.readable, 2);
    EXPECT_EQ(s.allSet, 0600u);
    EXPECT_EQ(s.anySet, 0644u);
    ASSERT_EQ(unreadable.size(), 1u);
    EXPECT_NE(unreadable[0].reason.find("No such file or directory"), std::string::npos);

    AttributeChange c;
    c.setBits = 0001;    // others may run
    c.clearBits = 0200;  // nobody writes
    c.modified = timespec{1000000000, 0};
    const auto failures = applyAttributes({a, b, t / "gone"}, c);
    struct stat st {};
    ::stat(a.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0441u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    ::stat(b.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0405u);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, t / "gone");
    EXPECT_NE(failures[0].reason.find("No such file or directory"), std::string::npos) << failures[0].reason;
}

TEST(Attributes, OctalModesAreOneToFourOctalDigits) {
    EXPECT_EQ(parseOctalMode("0755"), 0755u);
    EXPECT_EQ(parseOctalMode("4755"), 04755u);
    EXPECT_EQ(parseOctalMode("7"), 07u);
    for (const char* bad : {"", "0758", "07555", "rwx", "-1"}) EXPECT_FALSE(parseOctalMode(bad)) << bad;
}
