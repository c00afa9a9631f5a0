// Archives as folders in the panel model: the tree made from a listing (hostile names
// included), entering and leaving an archive, nested archives, entries opened through a
// private copy that goes when the panel leaves the archive.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "archive/base/crc.h"
#include "panel/model/archive_folder.h"
#include "panel/model/panel_model.h"
#include "temp_dir.h"

namespace kv {
namespace {

using test::TempDir;

void put(std::string& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}

// A ZIP of stored entries with any names at all, as no archiver would write them.
std::string handZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string data, cd;
    for (const auto& [name, body] : entries) {
        const std::uint32_t crc = crc32({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()});
        const std::uint64_t local = data.size();
        for (std::string* rec : {&data, &cd}) {
            const bool central = rec == &cd;
            put(*rec, central ? 0x02014B50 : 0x04034B50, 4);
            if (central) put(*rec, 0x031E, 2);
            put(*rec, 20, 2);
            put(*rec, 0x0800, 2);  // UTF-8 names
            put(*rec, 0, 2);
            put(*rec, 0x2A432086, 4);
            put(*rec, crc, 4);
            put(*rec, body.size(), 4);
            put(*rec, body.size(), 4);
            put(*rec, name.size(), 2);
            put(*rec, 0, 2);
            if (central) {
                put(*rec, 0, 6);
                put(*rec, (name.back() == '/' ? 040755u : 0100644u) << 16, 4);
                put(*rec, local, 4);
            }
            rec->append(name);
            if (!central) rec->append(body);
        }
    }
    const std::uint64_t at = data.size();
    data += cd;
    put(data, 0x06054B50, 4);
    put(data, 0, 4);
    put(data, entries.size(), 2);
    put(data, entries.size(), 2);
    put(data, cd.size(), 4);
    put(data, at, 4);
    put(data, 0, 2);
    return data;
}

std::vector<std::string> shown(const TFPanelModel& m) {
    std::vector<std::string> out;
    for (int i = 1; i <= m.FL.FilesCount(); ++i) out.push_back(m.FL.displayName(i));
    return out;
}

std::string atCursor(const TFPanelModel& m) {
    return m.FL.valid(m.cursorIndex()) ? m.FL.entry(m.cursorIndex()).FileName : std::string();
}

void cursorOn(TFPanelModel& m, const std::string& name) {
    const int i = m.FL.findByName(name);
    ASSERT_GT(i, 0) << name;
    m.PosList = 0;
    m.Bar_Pos = i - 1;
    m.publishCurrent();
}

TEST(ArchiveFolder, InnerPathsDropWhatCouldLeadOutOfTheArchive) {
    struct Case {
        std::string stored;
        bool placed;
        const char* inner;
        bool isDir;
    };
    const Case cases[] = {
        {"docs/a.txt", true, "docs/a.txt", false},
        {"docs/", true, "docs", true},
        {"/etc/passwd", true, "etc/passwd", false},
        {"//x//./y", true, "x/y", false},
        {"C:\\dos\\name.txt", true, "dos/name.txt", false},
        {"..", false, "", false},
        {"../evil", false, "", false},
        {"a/../../evil", false, "", false},
        {"a/..", false, "", false},
        {"/", false, "", true},
        {"./", false, "", true},
        {"", false, "", false},
        {std::string("nul\0name", 8), false, "", false},
        {"...", true, "...", false},  // three dots are a name, not a step up
        {"esc\x1b[31m.txt", true, "esc\x1b[31m.txt", false},
    };
    for (const Case& c : cases) {
        std::string inner;
        bool isDir = false;
        EXPECT_EQ(archiveInnerPath(c.stored, inner, isDir), c.placed) << c.stored;
        if (c.placed) {
            EXPECT_EQ(inner, c.inner) << c.stored;
        }
        EXPECT_EQ(isDir, c.isDir) << c.stored;
    }
}

TEST(ArchiveFolder, TreeHasImpliedFoldersLastOfOneNameAndFoldersOverFiles) {
    TArchiveTree t;
    auto item = [](std::string name, std::int64_t size, bool dir = false) {
        TArchiveTree::Item i;
        i.stored = std::move(name);
        i.size = size;
        i.isDir = dir;
        return i;
    };
    t.build({item("a/b/c.txt", 3), item("top.txt", 1), item("top.txt", 7), item("x", 5), item("x/inside", 2),
             item("../up", 9), item("e/", 0, true), item("e", 4), item("/abs", 6)});
    EXPECT_EQ(t.refused(), 1u);
    const int top = t.folder("");
    ASSERT_EQ(top, 0);
    std::map<std::string, std::int64_t> topNames;
    for (const auto& d : t.items(top)) topNames[d.name] = (d.attr & platform::faDirectory) ? -1 : d.size;
    EXPECT_EQ(topNames, (std::map<std::string, std::int64_t>{
                            {"a", -1}, {"top.txt", 7}, {"x", -1}, {"e", -1}, {"abs", 6}}));
    EXPECT_GE(t.folder("a/b"), 0) << "folders only implied by a path are made";
    EXPECT_LT(t.folder("a/b/c.txt"), 0) << "a file is no folder";
    ASSERT_EQ(t.items(t.folder("x")).size(), 1u);
    std::vector<std::string> stored;
    t.storedNames(t.find("a"), stored);
    EXPECT_EQ(stored, std::vector<std::string>{"a/b/c.txt"});
}

struct ArchiveModel : ::testing::Test {
    TempDir t;
    TFPanelModel m;
    std::vector<std::string> notices, launched;

    void SetUp() override {
        m.Rows = 100;
        m.SortMethod = srName;
        m.OnNotice = [this](const std::string& s) { notices.push_back(s); };
        m.Launch = [this](const std::string& file, const std::string&, std::string&) {
            launched.push_back(file);
            return true;
        };
    }
    void write(const std::string& rel, const std::string& bytes) {
        std::ofstream(t / rel, std::ios::binary) << bytes;
    }
    void enter(const std::string& name) {
        cursorOn(m, name);
        m.EnterItem();
    }
};

TEST_F(ArchiveModel, EnterOpensTheArchiveAndParentLeavesItOntoTheArchive) {
    for (int i = 0; i < 30; ++i) t.file("f" + std::to_string(100 + i) + ".txt");
    write("pack.zip", handZip({{"docs/a.txt", "alpha"},
                               {"docs/sub/", ""},
                               {"readme", "r"},
                               {"../evil", "no"},
                               {"/", ""},
                               {"..", "x"}}));
    m.CurDir = t.path();
    m.ReadDir();
    enter("pack.zip");
    EXPECT_EQ(m.CurDir, t / "pack.zip");
    EXPECT_TRUE(m.InArchive());
    EXPECT_EQ(shown(m), (std::vector<std::string>{"..", "docs", "readme"}))
        << "no entry stands for a way out";
    EXPECT_TRUE(notices.empty());

    t.file("a-new.txt");  // the folder changes meanwhile: the saved place means another entry
    enter("docs");
    EXPECT_EQ(m.CurDir, t / "pack.zip/docs");
    EXPECT_EQ(shown(m), (std::vector<std::string>{"..", "sub", "a.txt"}));
    EXPECT_EQ(m.FL.entry(m.FL.findByName("a.txt")).Size, 5);

    m.PosList = m.Bar_Pos = 0;  // on ".."
    m.EnterItem();
    EXPECT_EQ(m.CurDir, t / "pack.zip");
    EXPECT_EQ(atCursor(m), "docs");
    m.PosList = m.Bar_Pos = 0;
    m.EnterItem();
    EXPECT_EQ(m.CurDir, t.path());
    EXPECT_FALSE(m.InArchive());
    EXPECT_FALSE(m.Archive().inside());
    EXPECT_EQ(atCursor(m), "pack.zip") << "the cursor is back on the archive";
}

TEST_F(ArchiveModel, EntriesAndNestedArchivesOpenFromAPrivateCopyThatGoesWithTheArchive) {
    const std::string inner = handZip({{"deep.txt", "deep bytes"}});
    write("outer.zip", handZip({{"in/inner.zip", inner}, {"note.txt", "note"}}));
    m.CurDir = t.path();
    m.ReadDir();
    enter("outer.zip");
    enter("note.txt");
    ASSERT_EQ(launched.size(), 1u);
    std::ifstream in(launched[0], std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "note");
    struct stat st {};
    ASSERT_EQ(::stat(std::filesystem::path(launched[0]).parent_path().parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "the copy is ours alone";

    enter("in");
    enter("inner.zip");
    EXPECT_EQ(m.CurDir, t / "outer.zip/in/inner.zip");
    EXPECT_EQ(m.Archive().depth(), 2u);
    EXPECT_EQ(shown(m), (std::vector<std::string>{"..", "deep.txt"}));
    m.PosList = m.Bar_Pos = 0;
    m.EnterItem();
    EXPECT_EQ(m.CurDir, t / "outer.zip/in");
    EXPECT_EQ(atCursor(m), "inner.zip");
    EXPECT_EQ(m.Archive().depth(), 1u);

    m.CurDir = t.path();  // any way out lets the archive go, and its copies with it
    m.ReadDir();
    EXPECT_FALSE(m.Archive().inside());
    EXPECT_FALSE(std::filesystem::exists(launched[0]));
}

TEST_F(ArchiveModel, AnArchiveThatCannotBeListedStaysAFileAndSaysWhy) {
    write("broken.zip", "PK\x03\x04 this is no archive at all");
    m.CurDir = t.path();
    m.ReadDir();
    enter("broken.zip");
    EXPECT_EQ(m.CurDir, t.path());
    EXPECT_FALSE(m.Archive().inside());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("broken.zip"), std::string::npos) << notices[0];
    EXPECT_TRUE(launched.empty());
}

}  // namespace
}  // namespace kv
