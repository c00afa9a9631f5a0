// Multi-rename: the pattern language, the refusals, and renames that never lose a name.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fileops/rename/multi_rename.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace kv::fileops;

std::set<std::string> namesIn(const std::string& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
    return out;
}

RenameRules rules(const char* name, const char* ext = "[E]") {
    RenameRules r;
    r.namePattern = name;
    r.extPattern = ext;
    return r;
}

TEST(MultiRename, PatternsGiveTheExpectedNames) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::int64_t when = 1'709'294'645;  // 2024-03-01 12:04:05 UTC
    struct Case {
        const char* what;
        RenameRules r;
        std::vector<std::string> in, out;
    };
    RenameRules counter = rules("pic_[C]");
    counter.counterStart = 8;
    counter.counterStep = 2;
    counter.counterDigits = 3;
    RenameRules plain = rules("[N]");
    plain.search = "a";
    plain.replace = "o";
    RenameRules regex = rules("[N]");
    regex.search = "^(\\w+)-(\\w+)";
    regex.replace = "$2-$1";
    regex.regex = true;
    RenameRules upper = rules("[N]");
    upper.letterCase = LetterCase::Upper;
    RenameRules lower = rules("[N]");
    lower.letterCase = LetterCase::Lower;
    const std::vector<Case> cases = {
        {"as they are", rules("[N]"), {"a.txt", "noext", ".profile"}, {"a.txt", "noext", ".profile"}},
        {"part of the name", rules("[N2-3]_[N1]"), {"abcdef.c"}, {"bc_a.c"}},
        {"from a character on", rules("[N3-]"), {"abcdef"}, {"cdef"}},
        {"characters, not bytes", rules("[N1-2]"), {"жёлтый.txt"}, {"жё.txt"}},
        {"past the end is empty", rules("x[N9-12]"), {"ab.c"}, {"x.c"}},
        {"new extension", rules("[N]", "bak"), {"a.txt", "b"}, {"a.bak", "b.bak"}},
        {"no extension drops the dot", rules("[N]", ""), {"a.txt"}, {"a"}},
        {"counter", counter, {"x.jpg", "y.jpg", "z.jpg"}, {"pic_008.jpg", "pic_010.jpg", "pic_012.jpg"}},
        {"date and time", rules("[Y]-[M]-[D]_[h][m][s]"), {"a.log"}, {"2024-03-01_120405.log"}},
        {"literal bracket", rules("[[[N]]"), {"a.b"}, {"[a].b"}},
        {"plain replace, every one", plain, {"banana.tar"}, {"bonono.tor"}},
        {"regular expression", regex, {"left-right.txt"}, {"right-left.txt"}},
        {"upper case (ß has no one-letter capital)", upper, {"Straße-ёж.txt"}, {"STRAßE-ЁЖ.TXT"}},
        {"lower case", lower, {"ÀÉ-ΣΩ-ДЖ.TXT"}, {"àé-σω-дж.txt"}},
    };
    for (const Case& c : cases) {
        std::vector<RenameSource> src;
        for (const auto& n : c.in) src.push_back({n, when});
        const RenamePreview p = previewRename(src, c.r, c.in);
        ASSERT_TRUE(p.error.empty()) << c.what << ": " << p.error;
        ASSERT_EQ(p.rows.size(), c.out.size()) << c.what;
        for (std::size_t i = 0; i < c.out.size(); ++i) {
            EXPECT_EQ(p.rows[i].newName, c.out[i]) << c.what;
            EXPECT_EQ(p.rows[i].problem, "") << c.what;
        }
    }
}

TEST(MultiRename, RefusesBadPatternsAndCollisionsBeforeRenaming) {
    struct Case {
        const char* what;
        RenameRules r;
        std::vector<std::string> sources, folder;
        std::string problemOf;  // the old name whose row must show a problem ("" : a pattern error)
    };
    RenameRules slash = rules("[N]");
    slash.search = "a";
    slash.replace = "x/y";
    RenameRules badRegex = rules("[N]");
    badRegex.search = "(";
    badRegex.regex = true;
    const std::vector<Case> cases = {
        {"two equal new names", rules("same"), {"a.txt", "b.txt"}, {"a.txt", "b.txt"}, "b.txt"},
        {"an unselected file's name", rules("keep"), {"a.txt"}, {"a.txt", "keep.txt"}, "a.txt"},
        {"empty", rules(""), {"a"}, {"a"}, "a"},
        {"dot", rules("."), {"a"}, {"a"}, "a"},
        {"dot dot", rules(".."), {"a"}, {"a"}, "a"},
        {"slash", slash, {"a"}, {"a"}, "a"},
        {"unknown field", rules("[Q]"), {"a"}, {"a"}, ""},
        {"unclosed field", rules("[N"), {"a"}, {"a"}, ""},
        {"bad regular expression", badRegex, {"a"}, {"a"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<RenameSource> src;
        for (const auto& n : c.sources) src.push_back({n, 0});
        const RenamePreview p = previewRename(src, c.r, c.folder);
        EXPECT_FALSE(p.ok()) << c.what;
        if (c.problemOf.empty()) {
            EXPECT_FALSE(p.error.empty()) << c.what;
            continue;
        }
        for (const RenameRow& row : p.rows) {
            if (row.oldName == c.problemOf) {
                EXPECT_FALSE(row.problem.empty()) << c.what;
            }
        }
    }
    // Renaming into a name another selected entry leaves is fine (a chain), and NUL is refused.
    const std::vector<RenameSource> chain = {{"a", 0}, {"b", 0}};
    RenameRules shift = rules("[N]");
    shift.search = "a";
    shift.replace = "b";
    RenameRules shiftB = shift;
    EXPECT_FALSE(previewRename(chain, shift, {"a", "b"}).ok()) << "a->b while b stays b";
    shiftB.regex = true;
    shiftB.search = "^(a|b)$";
    shiftB.replace = "x$1";
    EXPECT_TRUE(previewRename(chain, shiftB, {"a", "b"}).ok());
    RenameRules nul = rules("[N]");
    nul.search = "a";
    nul.replace = std::string("x\0y", 3);
    EXPECT_FALSE(previewRename({{"a", 0}}, nul, {"a"}).ok());
}

TEST(MultiRename, SwapsAndChainsWithoutLosingAFileAndThePreviewIsTheResult) {
    kv::test::TempDir tmp("kv_mrn");
    tmp.file("a", "A");
    tmp.file("b", "B");
    tmp.file("c", "C");
    tmp.file("keep", "K");
    // a->b, b->c, c->a: a cycle through names all in use.
    RenameRules r = rules("[N]");
    r.regex = true;
    r.search = "^a$|^b$|^c$";
    r.replace = "$&$&";
    const RenamePreview p = previewRename({{"a", 0}, {"b", 0}, {"c", 0}}, r, {"a", "b", "c", "keep"});
    ASSERT_TRUE(p.ok());
    std::vector<std::pair<std::string, std::string>> cycle = {{"a", "b"}, {"b", "c"}, {"c", "a"}};
    ASSERT_TRUE(renameAll(tmp.path(), cycle).ok);
    EXPECT_EQ(namesIn(tmp.path()), (std::set<std::string>{"a", "b", "c", "keep"}));
    EXPECT_EQ(tmp.read("b"), "A");
    EXPECT_EQ(tmp.read("c"), "B");
    EXPECT_EQ(tmp.read("a"), "C");
    // What the preview showed is what is on disk after the rename.
    ASSERT_TRUE(renameAll(tmp.path(), p.pairs()).ok);
    std::set<std::string> expected = {"keep"};
    for (const RenameRow& row : p.rows) expected.insert(row.newName);
    EXPECT_EQ(namesIn(tmp.path()), expected);
    EXPECT_EQ(tmp.read("aa"), "C");
}

TEST(MultiRename, NeverOverwritesAndAFailureMidwayPutsEveryNameBack) {
    kv::test::TempDir tmp("kv_mrn");
    for (const char* n : {"1", "2", "3", "other"}) tmp.file(n, n);
    // A target that appeared after the preview is never replaced.
    RenameOutcome o = renameAll(tmp.path(), {{"1", "one"}, {"2", "other"}});
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.error.find("other"), std::string::npos) << o.error;
    EXPECT_EQ(namesIn(tmp.path()), (std::set<std::string>{"1", "2", "3", "other"}));
    EXPECT_EQ(tmp.read("other"), "other");

    // The fifth step (the second temporary to its final name) fails.
    int calls = 0;
    RenameStep failing = [&](int fd, const std::string& from, const std::string& to) {
        if (++calls == 5) {
            errno = EIO;
            return -1;
        }
        return renameNoReplace(fd, from, to);
    };
    o = renameAll(tmp.path(), {{"1", "x1"}, {"2", "x2"}, {"3", "x3"}}, failing);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.error.find("No name was changed"), std::string::npos) << o.error;
    EXPECT_EQ(namesIn(tmp.path()), (std::set<std::string>{"1", "2", "3", "other"}));
    for (const char* n : {"1", "2", "3"}) EXPECT_EQ(tmp.read(n), n);
}

TEST(MultiRename, UndoRestoresEveryNameOrSaysWhichIsGone) {
    kv::test::TempDir tmp("kv_mrn");
    for (const char* n : {"a", "b", "c"}) tmp.file(n, n);
    const std::vector<std::pair<std::string, std::string>> swap = {{"a", "b"}, {"b", "a"}, {"c", "d"}};
    ASSERT_TRUE(renameAll(tmp.path(), swap).ok);
    RenameUndo undo;
    undo.record(tmp.path(), swap);
    ASSERT_TRUE(undo.undo().ok);
    EXPECT_FALSE(undo.available());
    EXPECT_EQ(namesIn(tmp.path()), (std::set<std::string>{"a", "b", "c"}));
    for (const char* n : {"a", "b", "c"}) EXPECT_EQ(tmp.read(n), n);

    ASSERT_TRUE(renameAll(tmp.path(), {{"a", "x"}, {"c", "y"}}).ok);
    undo.record(tmp.path(), {{"a", "x"}, {"c", "y"}});
    fs::remove(tmp / "y");
    RenameOutcome o = undo.undo();
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.error.find("No longer there:\ny"), std::string::npos) << o.error;
    EXPECT_TRUE(fs::exists(tmp / "x")) << "nothing was renamed back";
    tmp.file("y", "again");
    tmp.file("c", "taken");
    o = undo.undo();
    EXPECT_NE(o.error.find("Taken again meanwhile:\nc"), std::string::npos) << o.error;
    fs::remove(tmp / "c");
    EXPECT_TRUE(undo.undo().ok);
    EXPECT_EQ(namesIn(tmp.path()), (std::set<std::string>{"a", "b", "c"}));
}

}  // namespace
