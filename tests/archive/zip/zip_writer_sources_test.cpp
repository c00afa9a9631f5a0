// What the ZIP writer takes in and under which names. It never reads its own output: not the
// archive it updates (by any path, link or hard link to it), not its temporary file, and no
// entry holds more than its file had when it was opened. Every name it stores is a plain
// relative path that an extractor takes back as the same file; a name that cannot be one is
// refused, and said.
#include "archive/zip/zip_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../fixture_util.h"
#include "archive/base/messages.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kv::test::TempDir;
using Names = std::vector<std::string>;

std::string sh(const std::string& cmd, int* status = nullptr) { return kvtest::run(cmd + " 2>&1", status); }
std::string q(const std::string& s) { return "'" + s + "'"; }
bool haveUnzip() {
    int st = 1;
    sh("command -v unzip >/dev/null", &st);
    return st == 0;
}

// The names (as presented, sorted) and sizes of an archive's entries, read by our own lister.
struct Listing {
    Names names;
    std::vector<uint64_t> sizes;
    bool ok = false;
};
Listing listArchive(const std::string& zip) {
    Listing l;
    kv::TZip z;
    z.Switch = kv::TSwitch::swRead;
    z.setArchiveFile(zip);
    std::vector<std::pair<std::string, uint64_t>> rows;
    z.OnRead = [&](kv::TZipCommon& s, int64_t, int) { rows.emplace_back(s.FileName, s.UnpackedSize); };
    l.ok = z.Activate();
    std::sort(rows.begin(), rows.end());
    for (const auto& [n, size] : rows) {
        l.names.push_back(n);
        l.sizes.push_back(size);
    }
    return l;
}

void expectUnzipAccepts(const std::string& zip) {
    if (!haveUnzip()) return;
    int st = 1;
    const std::string out = sh("unzip -tqq " + q(zip), &st);
    EXPECT_EQ(st, 0) << out;
}

#ifdef KVARC
// kvarc in `cwd`; a writer that reads its own output must fail the test, not fill the disk,
// so each run has a file size limit (about 20 MB) and a time limit.
std::string kvarc(const std::string& cwd, const std::string& args, int& status) {
    return sh("cd " + q(cwd) + " && ulimit -f 40000 && timeout 60 " + std::string(KVARC) + " " + args,
              &status);
}

// One tree per case: t/tree/a.txt, t/tree/sub/b.txt, t/tree/.hidden. a.txt does not
// compress, so a writer that reads its own temporary chases its own output for ever.
void makeTree(const TempDir& t) {
    t.dir("tree/sub");
    std::mt19937 rng(3);
    std::string noise(2 << 20, '\0');
    for (char& c : noise) c = char(rng());
    t.file("tree/a.txt", noise);
    t.file("tree/sub/b.txt", "b\n");
    t.file("tree/.hidden", "h\n");
}

// The archive's own file, its temporary and every other name of it stay out of the scan.
TEST(ZipWriterSources, TheArchiveAndItsTemporaryAreNeverSources) {
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> before;  // links, an existing archive
        const char* cwd;
        const char* args;
        const char* archive;  // the file the command wrote, below t
        Names names;
        int status;
        const char* said;  // in kvarc's messages ("" for none)
    };
    const Case cases[] = {
        {"a new archive named relative to the folder scanned (its temporary is made there too)",
         nullptr,
         "tree",
         "a -r a.zip .",
         "tree/a.zip",
         {".hidden", "a.txt", "sub/b.txt"},
         0,
         ""},
        {"an archive updated inside the tree it is made of",
         [](const TempDir& t) {
             sh(std::string(KVARC) + " a " + q(t / "tree/a.zip") + " " + q(t / "tree/sub/b.txt"));
         },
         "",
         "a -r tree/a.zip tree",
         "tree/a.zip",
         {"b.txt", "tree/.hidden", "tree/a.txt", "tree/sub/b.txt"},
         0,
         ""},
        {"the archive's folder reached through a symbolic link",
         [](const TempDir& t) { fs::create_symlink("tree/sub", t / "alias"); },
         "",
         "a -r alias/a.zip tree",
         "tree/sub/a.zip",
         {"tree/.hidden", "tree/a.txt", "tree/sub/b.txt"},
         0,
         ""},
        {"the tree scanned through a symbolic link to it",
         [](const TempDir& t) { fs::create_symlink("tree", t / "view"); },
         "",
         "a -r tree/a.zip view",
         "tree/a.zip",
         {"view/.hidden", "view/a.txt", "view/sub/b.txt"},
         0,
         ""},
        {"the archive named by a symbolic link inside the tree to an archive inside it",
         [](const TempDir& t) {
             sh(std::string(KVARC) + " a " + q(t / "tree/sub/real.zip") + " " + q(t / "tree/a.txt"));
             fs::create_symlink("sub/real.zip", t / "tree/link.zip");
         },
         "tree",
         "a -r link.zip .",
         "tree/link.zip",
         {".hidden", "a.txt", "sub/b.txt"},
         0,
         ""},
        {"a hard link to the archive elsewhere in the tree",
         [](const TempDir& t) {
             sh(std::string(KVARC) + " a " + q(t / "tree/a.zip") + " " + q(t / "tree/sub/b.txt"));
             fs::create_hard_link(t / "tree/a.zip", t / "tree/sub/copy.zip");
         },
         "tree",
         "a -r a.zip .",
         "tree/a.zip",
         {".hidden", "a.txt", "b.txt", "sub/b.txt"},
         0,
         ""},
        {"the archive named as a source",
         [](const TempDir& t) {
             sh(std::string(KVARC) + " a " + q(t / "tree/a.zip") + " " + q(t / "tree/a.txt"));
         },
         "tree",
         "a a.zip a.zip sub/b.txt",
         "tree/a.zip",
         {"a.txt", "b.txt"},
         1,
         "Same input and output"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        makeTree(t);
        if (c.before) c.before(t);
        int st = -1;
        const std::string out = kvarc(t / c.cwd, c.args, st);
        EXPECT_EQ(st, c.status) << out;
        if (*c.said) {
            EXPECT_NE(out.find(c.said), std::string::npos) << out;
        }
        const Listing l = listArchive(t / c.archive);
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.names, c.names);
        expectUnzipAccepts(t / c.archive);
        // Never more than its sources hold: a.txt once, the small files and the records.
        std::error_code ec;
        EXPECT_LT(fs::file_size(t / c.archive, ec), (2u << 20) + 4096);
        // No temporary is left behind, wherever the archive went.
        for (const auto& e : fs::recursive_directory_iterator(t.path()))
            EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    }
}

// Moving into an archive deletes what was written and nothing else: never the archive, by
// whatever name it was reached, and never a file the archive could not take.
TEST(ZipWriterSources, MoveNeverDeletesTheArchive) {
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> before;
        const char* cwd;
        const char* args;
        const char* archive;
        Names names;
        Names left;  // files still there below t/tree afterwards
    };
    const Case cases[] = {
        {"the archive inside the folder moved",
         nullptr,
         "tree",
         "a -r -m a.zip .",
         "tree/a.zip",
         {".hidden", "a.txt", "sub/b.txt"},
         {"a.zip"}},
        {"an existing archive inside the folder moved",
         [](const TempDir& t) {
             sh(std::string(KVARC) + " a " + q(t / "tree/a.zip") + " " + q(t / "tree/sub/b.txt"));
         },
         "",
         "a -r -m tree/a.zip tree",
         "tree/a.zip",
         {"b.txt", "tree/.hidden", "tree/a.txt", "tree/sub/b.txt"},
         {"a.zip"}},
        {"the archive given by a symbolic link in the folder moved",
         [](const TempDir& t) {
             sh(std::string(KVARC) + " a " + q(t / "tree/sub/real.zip") + " " + q(t / "tree/sub/b.txt"));
             fs::create_symlink("sub/real.zip", t / "tree/link.zip");
         },
         "tree",
         "a -r -m link.zip .",
         "tree/link.zip",
         {".hidden", "a.txt", "b.txt", "sub/b.txt"},
         {"link.zip", "sub/real.zip"}},
        {"a file whose name the archive refuses stays",
         [](const TempDir& t) { t.file("tree/sub/back\\slash", "kept\n"); },
         "tree",
         "a -r -m a.zip .",
         "tree/a.zip",
         {".hidden", "a.txt", "sub/b.txt"},
         {"a.zip", "sub/back\\slash"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        makeTree(t);
        if (c.before) c.before(t);
        int st = -1;
        const std::string out = kvarc(t / c.cwd, c.args, st);
        EXPECT_LE(st, 1) << out;
        const Listing l = listArchive(t / c.archive);
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.names, c.names);
        expectUnzipAccepts(t / c.archive);
        Names left;
        for (const auto& e : fs::recursive_directory_iterator(t / "tree"))
            if (!e.is_directory()) left.push_back(fs::relative(e.path(), t / "tree").string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, c.left);
    }
}

// Stored names are built from the path below the folder named on the command line, and are
// plain relative paths whatever that folder's spelling.
TEST(ZipWriterSources, StoredNamesArePlainRelativePaths) {
    struct Case {
        const char* what;
        const char* cwd;   // below t
        const char* args;  // the archive is t/out.zip
        Names names;
        int status;
        const char* said;
    };
    const Case cases[] = {
        {"the parent folder: what it holds, by its path below it",
         "top/work",
         "a -r ../../out.zip ..",
         {"f.txt", "work/sub/s.txt", "work/w.txt"},
         0,
         ""},
        {"a folder through \"..\" that comes back to the working folder",
         "top/work",
         "a -r ../../out.zip ./sub/..",
         {"sub/s.txt", "w.txt"},
         0,
         ""},
        {"the working folder itself", "top/work", "a -r ../../out.zip .", {"sub/s.txt", "w.txt"}, 0, ""},
        {"the working folder with a trailing slash",
         "top/work",
         "a -r ../../out.zip ./",
         {"sub/s.txt", "w.txt"},
         0,
         ""},
        {"two levels up and down again",
         "top/work",
         "a -r ../../out.zip ../../top/work/sub",
         {"sub/s.txt"},
         0,
         ""},
        {"a file through \"..\"", "top/work", "a ../../out.zip ../f.txt", {"f.txt"}, 0, ""},
        {"a folder through \"..\" keeps its own name",
         "top/work/sub",
         "a -r ../../../out.zip ../../work",
         {"work/sub/s.txt", "work/w.txt"},
         0,
         ""},
        {"a mask in the parent folder", "top/work", "a ../../out.zip '../*.txt'", {"f.txt"}, 0, ""},
        {"an absolute path", "", "a -r out.zip \"$PWD/top/work/sub\"", {"sub/s.txt"}, 0, ""},
        {"a named file is that file, not its case variants",
         "names",
         "a ../out.zip Readme",
         {"Readme"},
         0,
         ""},
        {"a name with a line break is stored as it is",
         "names",
         "a ../out.zip 'line\nbreak'",
         {"line\nbreak"},
         0,
         ""},
        {"a backslash name met in a folder is refused and named",
         "names",
         "a -r ../out.zip odd",
         {"odd/fine.txt", "odd/inner/c:drive"},
         1,
         "evil: Invalid file name"},
        {"a backslash name given itself is refused and named",
         "names",
         "a ../out.zip 'odd/..\\..\\evil' Readme",
         {"Readme"},
         1,
         "evil: Invalid file name"},
        {"a name an extractor takes for a drive is refused",
         "names",
         "a ../out.zip c:drive Readme",
         {"Readme"},
         1,
         "c:drive: Invalid file name"},
        {"the same name below a folder is no drive",
         "names",
         "a -r ../out.zip odd/inner",
         {"inner/c:drive"},
         0,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        t.dir("top/work/sub");
        t.file("top/f.txt", "f\n");
        t.file("top/work/w.txt", "w\n");
        t.file("top/work/sub/s.txt", "s\n");
        t.dir("names/odd/inner");
        t.file("names/Readme", "the one named\n");
        t.file("names/README", "another file\n");
        t.file("names/readme", "and another\n");
        t.file("names/line\nbreak", "n\n");
        t.file("names/c:drive", "d\n");
        t.file("names/odd/..\\..\\evil", "e\n");
        t.file("names/odd/fine.txt", "ok\n");
        t.file("names/odd/inner/c:drive", "d\n");
        int st = -1;
        const std::string out = kvarc(t / c.cwd, c.args, st);
        EXPECT_EQ(st, c.status) << out;
        if (*c.said) {
            EXPECT_NE(out.find(c.said), std::string::npos) << out;
        }
        const Listing l = listArchive(t / "out.zip");
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.names, c.names);
        expectUnzipAccepts(t / "out.zip");
    }
}
#endif  // KVARC

// Names the program gives (a folder path of the absolute mode, a folder to make, the folder
// inside the archive the files go into) pass the same rule as names found on the disk.
TEST(ZipWriterSources, NamesTheProgramGivesAreCheckedToo) {
    struct Case {
        const char* what;
        std::function<void(kv::TZip&, const TempDir&)> set;
        Names names;
        bool refused;  // an "Invalid file name" was reported
    };
    const Case cases[] = {
        {"absolute mode through \"..\" stores the path without it",
         [](kv::TZip& z, const TempDir& t) {
             z.StoredDirNames = kv::TStoredDirNames::sdAbsolute;
             z.FileSpecList = {t / "top/work/../f.txt"};
         },
         {"*/top/f.txt"},
         false},
        {"a folder to make that climbs",
         [](kv::TZip& z, const TempDir& t) {
             z.FileSpecList = {t / "top/f.txt"};
             z.NewFolders = {"../up/"};
         },
         {"f.txt"},
         true},
        {"a folder to make with a \".\" part",
         [](kv::TZip& z, const TempDir& t) {
             z.FileSpecList = {t / "top/f.txt"};
             z.NewFolders = {"docs/./new"};
         },
         {"f.txt"},
         true},
        {"a folder inside the archive that climbs",
         [](kv::TZip& z, const TempDir& t) {
             z.FileSpecList = {t / "top/f.txt"};
             z.StoredPrefix = "docs/../../";
         },
         {},
         true},
        {"a plain folder inside the archive",
         [](kv::TZip& z, const TempDir& t) {
             z.FileSpecList = {t / "top/f.txt"};
             z.StoredPrefix = "docs/";
             z.NewFolders = {"docs/new"};
         },
         {"docs/f.txt", "docs/new/"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        t.dir("top/work");
        t.file("top/f.txt", "f\n");
        kv::TZip z;
        z.setArchiveFile(t / "out.zip");
        std::vector<int> ids;
        z.OnError = [&](kv::TZipCommon&, const std::string&, const std::string&, const std::string&, int id) {
            ids.push_back(id);
        };
        c.set(z, t);
        z.Activate();
        EXPECT_EQ(std::count(ids.begin(), ids.end(), kv::msg::InvalidFileName) > 0, c.refused);
        const Listing l = fs::exists(t / "out.zip") ? listArchive(t / "out.zip") : Listing{};
        if (l.names.size() != c.names.size()) {
            ADD_FAILURE() << ::testing::PrintToString(l.names);
            continue;
        }
        for (size_t i = 0; i < c.names.size(); ++i) {
            const std::string& want = c.names[i];
            if (want.rfind("*/", 0) == 0) {
                // The absolute path's own folders come first; what matters is the tail and no "..".
                EXPECT_TRUE(l.names[i].size() >= want.size() - 1 &&
                            l.names[i].compare(l.names[i].size() - (want.size() - 1), std::string::npos,
                                               want.substr(1)) == 0)
                    << l.names[i];
                EXPECT_EQ(l.names[i].find(".."), std::string::npos) << l.names[i];
                EXPECT_NE(l.names[i][0], '/');
            } else {
                EXPECT_EQ(l.names[i], want);
            }
        }
        if (!l.names.empty()) expectUnzipAccepts(t / "out.zip");
    }
}

// A file that grows while it is read goes in as long as it was when opened, and is reported;
// the archive never holds more than its sources had.
TEST(ZipWriterSources, AFileGrowingWhileReadIsTakenAsItWasWhenOpened) {
    TempDir t;
    std::mt19937 rng(7);
    std::string first(4 << 20, '\0');
    for (char& c : first) c = char(rng());
    const std::string path = t.file("grow.bin", first);
    for (const bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted ? "encrypted" : "plain");
        t.file("grow.bin", first);
        const std::string zip = t / (encrypted ? "e.zip" : "p.zip");
        kv::TZip z;
        z.FileSpecList = {path};
        z.setCompressMethod(kv::TCompressMethod::cmStore);
        if (encrypted) z.Password = "pw";
        z.setArchiveFile(zip);
        std::vector<int> ids;
        z.OnError = [&](kv::TZipCommon&, const std::string&, const std::string&, const std::string&, int id) {
            ids.push_back(id);
        };
        // Each progress step appends to the file being read, as a log written meanwhile would.
        int appended = 0;
        z.OnProgress = [&](kv::TZipCommon&, const std::string&, uint8_t) {
            if (appended++ < 40)
                std::ofstream(path, std::ios::app | std::ios::binary) << std::string(1 << 18, 'x');
        };
        ASSERT_TRUE(z.Activate());
        EXPECT_GT(appended, 0);
        EXPECT_NE(std::find(ids.begin(), ids.end(), kv::msg::SizeDifferent), ids.end());
        const Listing l = listArchive(zip);
        ASSERT_EQ(l.sizes.size(), 1u);
        EXPECT_EQ(l.sizes[0], first.size());
        if (haveUnzip()) {
            const std::string pw = encrypted ? " -P pw" : "";
            int st = 1;
            sh("unzip -p" + pw + " " + q(zip) + " grow.bin >" + q(t / "out.bin"), &st);
            EXPECT_EQ(st, 0);
            EXPECT_TRUE(t.read("out.bin") == first) << "the entry holds the file as it was when opened";
            sh("unzip -tqq" + pw + " " + q(zip), &st);
            EXPECT_EQ(st, 0);
        }
    }
}

}  // namespace
