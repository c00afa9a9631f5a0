// File commands on panels that show a folder inside an archive: browsing in and out, copying
// entries out (checked against what the archivers' own tools extract), adding, deleting and
// making folders in a ZIP (checked with unzip), viewing an entry from a temporary copy, and
// the refusals of archives that cannot do a command.
#include <sys/stat.h>

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>

#include <cstdio>
#include <map>
#include <set>

#include "archive/base/crc.h"
#include "fileops/archive/archive_jobs.h"
#include "fileops/file_forms.h"
#include "main_window_fixture.h"
#include "fileops/question_dialogs.h"
#include "viewers/editor/form_edit.h"
#include "viewers/picture_viewer.h"

using namespace kvtest;

namespace {

int sh(const std::string& cmd) { return std::system(("(" + cmd + ") >/dev/null 2>&1").c_str()); }

std::string shOut(const std::string& cmd) {
    std::string out;
    if (FILE* f = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
        ::pclose(f);
    }
    return out;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

void select(kv::TFPanel* p, const std::vector<std::string>& names) {
    for (const auto& n : names) {
        const int i = p->FL.findByName(n);
        ASSERT_GT(i, 0) << n;
        p->FL.setSelected(i, true);
    }
}

std::string atCursor(const kv::TFPanel* p) { return p->FL.entry(p->cursorIndex()).FileName; }

bool listed(const kv::TFPanel* p, const std::string& name) { return p->FL.findByName(name) > 0; }

// Every file beneath `dir` by its relative path, with its bytes; folders by a trailing "/".
std::map<std::string, std::string> treeOf(const fs::path& dir) {
    std::map<std::string, std::string> out;
    if (!fs::exists(dir)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string rel = fs::relative(e.path(), dir).string();
        if (e.is_directory())
            out[rel + "/"] = "";
        else
            out[rel] = readFile(e.path());
    }
    return out;
}

// The source tree the archives are made of.
void makeSources(const fs::path& dir) {
    writeFile(dir / "readme.txt", "read me\n");
    writeFile(dir / "docs" / "guide.txt", "the guide\n");
    std::string bin;
    for (int i = 0; i < 90000; ++i) bin.push_back(static_cast<char>((i * 7919) >> 3));
    writeFile(dir / "docs" / "deep" / "data.bin", bin);
    writeFile(dir / "other.txt", "not chosen\n");
}

// The names a ZIP holds, as unzip lists them.
std::set<std::string> zipNames(const fs::path& zip) {
    std::set<std::string> out;
    std::string all = shOut("unzip -Z1 " + quoted(zip) + " 2>/dev/null");
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t nl = std::min(all.find('\n', at), all.size());
        if (nl > at) out.insert(all.substr(at, nl - at));
        at = nl + 1;
    }
    return out;
}

// The file names only: folders an archiver adds on its own are left out.
std::set<std::string> fileNames(const std::set<std::string>& names) {
    std::set<std::string> out;
    for (const auto& n : names)
        if (!n.empty() && n.back() != '/') out.insert(n);
    return out;
}

bool zipTestsGood(const fs::path& zip, const std::string& password = "") {
    return sh("unzip -tq " + (password.empty() ? std::string() : "-P " + password + " ") + quoted(zip)) == 0;
}

void put(std::string& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}

// A ZIP of stored entries with any names at all, as no archiver would write them.
std::string handZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string data, cd;
    for (const auto& [name, body] : entries) {
        const std::uint32_t crc =
            kv::crc32({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()});
        const std::uint64_t local = data.size();
        for (std::string* rec : {&data, &cd}) {
            const bool central = rec == &cd;
            put(*rec, central ? 0x02014B50 : 0x04034B50, 4);
            if (central) put(*rec, 0x031E, 2);
            put(*rec, 20, 2);
            put(*rec, 0x0800, 2);
            put(*rec, 0, 2);
            put(*rec, 0x2A432086, 4);
            put(*rec, crc, 4);
            put(*rec, body.size(), 4);
            put(*rec, body.size(), 4);
            put(*rec, name.size(), 2);
            put(*rec, 0, 2);
            if (central) {
                put(*rec, 0, 6);
                put(*rec, 0100644u << 16, 4);
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

struct Format {
    const char* file;
    std::string make;     // run in the source folder; %A is the archive
    std::string extract;  // the format's own tool; %A the archive, %D the folder
};

std::string fill(std::string cmd, const fs::path& archive, const fs::path& dir) {
    for (std::size_t at; (at = cmd.find("%A")) != std::string::npos;) cmd.replace(at, 2, quoted(archive));
    for (std::size_t at; (at = cmd.find("%D")) != std::string::npos;) cmd.replace(at, 2, quoted(dir));
    return cmd;
}

const std::vector<Format>& formats() {
    static const std::vector<Format> f = {
        {"pack.zip", "zip -qr %A readme.txt docs other.txt", "unzip -q %A -d %D"},
        {"pack.lzh", "lha aq %A readme.txt docs other.txt", "cd %D && lhasa xq %A"},
        {"pack.tar", "tar cf %A readme.txt docs other.txt", "tar xf %A -C %D"},
        {"pack.arj", "arj a -r -y %A '*'", "arj x -y %A -ht%D"},
    };
    return f;
}

}  // namespace

// Enter opens each kind of archive as a folder and ".." leads back out with the cursor on
// what was entered; F5 copies the chosen entries (folders whole, only the chosen ones) into
// the other panel's folder byte for byte as the format's own tool extracts them, and an entry
// of a folder inside the archive lands by its name alone.
TEST_F(MainWindowTest, ArchivesBrowseAsFoldersAndCopyOutAsTheirOwnToolsExtract) {
    const fs::path src = root / "src";
    makeSources(src);
    for (const Format& f : formats())
        ASSERT_EQ(sh("cd " + quoted(src) + " && " + fill(f.make, work / f.file, {})), 0) << f.file;
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    kv::TFPanel* other = form.passivePanel();
    for (const Format& f : formats()) {
        SCOPED_TRACE(f.file);
        p->CurDir = work.string();
        p->RefreshDirNow();
        placeCursor(p, f.file);
        key(Qt::Key_Return);
        ASSERT_TRUE(p->InArchive());
        EXPECT_EQ(p->CurDir, (work / f.file).string());
        EXPECT_TRUE(listed(p, "readme.txt"));
        placeCursor(p, "docs");
        key(Qt::Key_Return);
        EXPECT_EQ(p->CurDir, (work / f.file / "docs").string());
        EXPECT_TRUE(listed(p, "guide.txt"));
        EXPECT_TRUE(listed(p, "deep"));

        // One entry of a folder inside the archive: it lands by its own name.
        const fs::path one = root / (std::string("one-") + f.file);
        fs::create_directories(one);
        other->CurDir = one.string();
        other->RefreshDirNow();
        placeCursor(p, "guide.txt");
        answerNext<kv::TFormCopy>(accept);
        key(Qt::Key_F5);
        EXPECT_EQ((std::map<std::string, std::string>{{"guide.txt", "the guide\n"}}), treeOf(one));
        EXPECT_TRUE(listed(other, "guide.txt")) << "the target panel is re-read";

        placeCursor(p, "..");
        key(Qt::Key_Return);
        EXPECT_EQ(p->CurDir, (work / f.file).string());
        EXPECT_EQ(atCursor(p), "docs");

        // The selection, a folder among it, into a folder the copy dialog names.
        const fs::path out = root / (std::string("out-") + f.file);
        const fs::path ref = root / (std::string("ref-") + f.file);
        fs::create_directories(out);
        fs::create_directories(ref);
        other->CurDir = out.string();
        other->RefreshDirNow();
        select(p, {"readme.txt", "docs"});
        answerNext<kv::TFormCopy>(accept);
        key(Qt::Key_F5);
        ASSERT_EQ(sh(fill(f.extract, work / f.file, ref)), 0);
        fs::remove(ref / "other.txt");
        auto got = treeOf(out), want = treeOf(ref);
        EXPECT_EQ(got.size(), want.size());
        for (const auto& [name, bytes] : want) {
            ASSERT_TRUE(got.count(name)) << name;
            EXPECT_TRUE(got[name] == bytes) << name;
        }
        EXPECT_FALSE(fs::exists(out / "other.txt")) << "only the chosen entries";

        placeCursor(p, "..");
        key(Qt::Key_Return);
        EXPECT_FALSE(p->InArchive());
        EXPECT_EQ(p->CurDir, work.string());
        EXPECT_EQ(atCursor(p), f.file);
    }
}

// Files copied into a folder of a ZIP panel go in beneath it, folders whole; F7 makes a folder
// entry and F8 deletes entries with everything beneath them. After each step the archive tests
// good and holds exactly the expected entries, and the panel shows them.
TEST_F(MainWindowTest, AZipPanelTakesFilesMakesFoldersAndDeletesEntries) {
    const fs::path src = root / "src";
    makeSources(src);
    const fs::path zip = work / "edit.zip";
    ASSERT_EQ(sh("cd " + quoted(src) + " && zip -qr " + quoted(zip) + " readme.txt docs"), 0);
    writeFile(root / "add" / "new.txt", "new file\n");
    writeFile(root / "add" / "tree" / "inner.txt", "inner file\n");
    writeFile(root / "add" / "tree" / "more" / "leaf.txt", "leaf\n");
    auto& form = start();
    kv::TFPanel* disk = form.activePanel();
    kv::TFPanel* arc = form.passivePanel();
    placeCursor(arc, "edit.zip");
    arc->EnterItem();
    placeCursor(arc, "docs");
    arc->EnterItem();
    ASSERT_EQ(arc->CurDir, (work / "edit.zip" / "docs").string());
    disk->CurDir = (root / "add").string();
    disk->RefreshDirNow();
    select(disk, {"new.txt", "tree"});

    answerNext<kv::TFormCopy>(accept);
    key(Qt::Key_F5);
    EXPECT_TRUE(zipTestsGood(zip));
    const std::set<std::string> added = {"readme.txt",   "docs/guide.txt",      "docs/deep/data.bin",
                                         "docs/new.txt", "docs/tree/inner.txt", "docs/tree/more/leaf.txt"};
    EXPECT_EQ(fileNames(zipNames(zip)), added);
    EXPECT_EQ(shOut("unzip -p " + quoted(zip) + " docs/tree/more/leaf.txt"), "leaf\n");
    EXPECT_TRUE(listed(arc, "new.txt"));
    EXPECT_TRUE(listed(arc, "tree"));
    EXPECT_EQ(arc->CurDir, (work / "edit.zip" / "docs").string());

    // F7 in the ZIP panel.
    key(Qt::Key_Tab);
    ASSERT_EQ(form.activePanel(), arc);
    answerNext<kv::TFormNewDir>([](kv::TFormNewDir* d) {
        d->Edit1->setEditText(QStringLiteral("made"));
        accept(d);
    });
    key(Qt::Key_F7);
    EXPECT_TRUE(zipTestsGood(zip));
    EXPECT_TRUE(zipNames(zip).count("docs/made/"));
    EXPECT_EQ(fileNames(zipNames(zip)), added);
    EXPECT_EQ(atCursor(arc), "made") << "the cursor on the new folder";

    // A name that climbs out of the folder makes nothing.
    const std::string unchanged = readFile(zip);
    QString refused;
    answerNext<kv::TFormNewDir>([&refused](kv::TFormNewDir* d) {
        d->Edit1->setEditText(QStringLiteral("../out"));
        answerNextMessageBox(QMessageBox::Ok, &refused);
        accept(d);
    });
    key(Qt::Key_F7);
    EXPECT_TRUE(refused.contains(QLatin1String("Cannot create the folder"))) << refused.toStdString();
    EXPECT_EQ(readFile(zip), unchanged);

    // F8 on a selection: a folder with everything under it, and a file.
    arc->FL.setSelected(arc->FL.findByName("made"), false);
    select(arc, {"tree", "new.txt"});
    placeCursor(arc, "guide.txt");
    answerNext<kv::TFormDelete>(accept);
    key(Qt::Key_F8);
    EXPECT_TRUE(zipTestsGood(zip));
    EXPECT_EQ(fileNames(zipNames(zip)),
              (std::set<std::string>{"readme.txt", "docs/guide.txt", "docs/deep/data.bin"}));
    for (const auto& n : zipNames(zip)) EXPECT_EQ(n.rfind("docs/tree", 0), std::string::npos) << n;
    EXPECT_TRUE(zipNames(zip).count("docs/made/"));
    EXPECT_FALSE(listed(arc, "tree"));
    EXPECT_TRUE(listed(arc, "guide.txt"));
    EXPECT_EQ(atCursor(arc), "guide.txt") << "the cursor stays on its entry";

    // F6 changes nothing, and says why.
    const std::string before = readFile(zip);

    // The archive never goes into itself, nor the folder it lies in.
    disk->CurDir = work.string();
    disk->RefreshDirNow();
    key(Qt::Key_Tab);
    ASSERT_EQ(form.activePanel(), disk);
    for (const char* name : {"edit.zip", "."}) {
        SCOPED_TRACE(name);
        QString said;
        if (std::string(name) == ".") {
            disk->CurDir = root.string();
            disk->RefreshDirNow();
            placeCursor(disk, "work");
        } else {
            placeCursor(disk, name);
        }
        answerNextMessageBox(QMessageBox::Ok, &said);
        key(Qt::Key_F5);
        EXPECT_TRUE(said.contains(QLatin1String("holds the archive itself"))) << said.toStdString();
        EXPECT_EQ(readFile(zip), before);
    }
    key(Qt::Key_Tab);
    ASSERT_EQ(form.activePanel(), arc);
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_F6);
    EXPECT_TRUE(text.contains(QStringLiteral("not possible in this archive"))) << text.toStdString();
    EXPECT_EQ(readFile(zip), before);
}

// Archives that can be read but not written refuse F5 into them, F7 and F8; moving refuses
// everywhere; a format that can only be listed says so once on F5. Nothing is changed.
TEST_F(MainWindowTest, ArchivesThatCannotDoACommandSaySoAndStayAsTheyWere) {
    const fs::path src = root / "src";
    makeSources(src);
    ASSERT_EQ(sh("cd " + quoted(src) + " && tar cf " + quoted(work / "pack.tar") + " readme.txt docs"), 0);
    ASSERT_EQ(sh("cd " + quoted(src) + " && uuencode readme.txt readme.txt > " + quoted(work / "readme.uue")),
              0);
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    kv::TFPanel* other = form.passivePanel();
    const std::string tarBefore = readFile(work / "pack.tar");

    placeCursor(p, "pack.tar");
    key(Qt::Key_Return);
    ASSERT_TRUE(p->InArchive());
    placeCursor(p, "readme.txt");
    struct Case {
        int key;
        const char* says;
    };
    for (const Case c :
         {Case{Qt::Key_F8, "not possible in this archive"}, Case{Qt::Key_F7, "not possible in this archive"},
          Case{Qt::Key_F6, "not possible in this archive"}}) {
        SCOPED_TRACE(c.key);
        QString text;
        answerNextMessageBox(QMessageBox::Ok, &text);
        key(c.key);
        EXPECT_TRUE(text.contains(QLatin1String(c.says))) << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String("TAR")) || c.key == Qt::Key_F6) << text.toStdString();
    }
    EXPECT_EQ(readFile(work / "pack.tar"), tarBefore);
    EXPECT_TRUE(listed(p, "readme.txt"));

    // F5 from the other panel into the TAR panel.
    key(Qt::Key_Tab);
    ASSERT_EQ(form.activePanel(), other);
    placeCursor(other, "notes.txt");
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_F5);
    EXPECT_TRUE(text.contains(QLatin1String("not possible in this archive"))) << text.toStdString();
    EXPECT_EQ(readFile(work / "pack.tar"), tarBefore);

    // A UUE file lists as a folder of what it carries; its entries are not extracted here.
    p->CurDir = root.string();  // the TAR panel leaves its archive
    p->RefreshDirNow();
    EXPECT_FALSE(p->InArchive());
    other->CurDir = work.string();
    other->RefreshDirNow();
    placeCursor(other, "readme.uue");
    key(Qt::Key_Return);
    ASSERT_TRUE(other->InArchive());
    placeCursor(other, other->FL.entry(std::min(2, other->FilesCount)).FileName);
    text.clear();
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_F5);
    EXPECT_TRUE(text.contains(QLatin1String("can be listed here, but their entries cannot be extracted")))
        << text.toStdString();
    EXPECT_EQ(expectedModals(), 0) << "one message, no copy dialog after it";
}

// F3 on an entry opens a private copy in the editor; closing the editor removes the copy.
TEST_F(MainWindowTest, F3OnAnArchiveEntryOpensAPrivateCopyThatGoesWithTheEditor) {
    const fs::path src = root / "src";
    makeSources(src);
    ASSERT_EQ(sh("cd " + quoted(src) + " && zip -qr " + quoted(work / "pack.zip") + " readme.txt docs"), 0);
    const fs::path runtime = root / "runtime";
    fs::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = oldRuntime ? oldRuntime : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    placeCursor(p, "pack.zip");
    key(Qt::Key_Return);
    placeCursor(p, "docs");
    key(Qt::Key_Return);
    placeCursor(p, "guide.txt");
    key(Qt::Key_F3);
    kv::TFormEdit* editor = nullptr;
    for (auto* e : form.findChildren<kv::TFormEdit*>()) editor = e;
    ASSERT_NE(editor, nullptr);
    const fs::path copy = editor->filePath();
    EXPECT_EQ(copy.filename(), "guide.txt");
    EXPECT_EQ(copy.string().rfind(runtime.string() + "/", 0), 0u) << copy;
    EXPECT_EQ(readFile(copy), "the guide\n");
    EXPECT_EQ(editor->text(), QStringLiteral("the guide\n"));
    struct stat st {};
    ASSERT_EQ(::stat(copy.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    editor->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_FALSE(fs::exists(copy.parent_path()));
    // What is left of the private folder goes with the window.
    this->form.reset();
    EXPECT_TRUE(fs::is_empty(runtime));
    if (oldRuntime)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

// Names that lead out of the archive never lead a copy out of its target: F5 of everything
// the panel shows writes only beneath the target, and the chosen names are matched against
// cleaned paths, never against the raw stored names.
TEST_F(MainWindowTest, HostileNamesInAnArchiveNeverLeadACopyOutOfItsTarget) {
    const fs::path target = root / "target";
    fs::create_directories(target);
    writeFile(work / "hostile.zip", handZip({{"../escaped.txt", "x"},
                                             {"/abs.txt", "abs"},
                                             {"ok/../../up.txt", "up"},
                                             {"dir/../../../far.txt", "far"},
                                             {"esc\x1b]0;title\x07.txt", "esc"},
                                             {std::string("nul\0/../../n.txt", 16), "nul"},
                                             {std::string("nul\0.txt", 8), "nul"},
                                             {"good.txt", "good"}}));
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    form.passivePanel()->CurDir = target.string();
    form.passivePanel()->RefreshDirNow();
    placeCursor(p, "hostile.zip");
    key(Qt::Key_Return);
    ASSERT_TRUE(p->InArchive());
    std::vector<std::string> all;
    for (int i = 1; i <= p->FL.FilesCount(); ++i)
        if (!p->FL.entry(i).isParent()) all.push_back(p->FL.entry(i).FileName);
    select(p, all);
    answerNext<kv::TFormCopy>(accept);
    key(Qt::Key_F5);
    EXPECT_EQ(readFile(target / "good.txt"), "good");
    EXPECT_EQ(readFile(target / "abs.txt"), "abs") << "an absolute name lands beneath the target";
    EXPECT_FALSE(listed(p, "nul")) << "a name with a NUL byte has no place in the folders";
    for (const fs::path& out :
         {root / "escaped.txt", work / "escaped.txt", root / "up.txt", work / "up.txt", root / "far.txt",
          fs::path("/abs.txt"), fs::path("/far.txt"), root / "n.txt", work / "n.txt"})
        EXPECT_FALSE(fs::exists(out)) << out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        if (rel.rfind("work", 0) == 0 || rel.rfind("target", 0) == 0 || rel.rfind("cfg", 0) == 0 ||
            rel.rfind("data", 0) == 0)
            continue;
        EXPECT_NE(e.path().filename(), "escaped.txt") << rel;
    }

    // The mapping itself: a chosen name never matches a stored name that climbs out.
    struct Case {
        const char* stored;
        const char* base;
        const char* name;
        const char* out;  // nullptr: not chosen
    };
    for (const Case c : {Case{"docs/a/b.txt", "docs", "a", "a/b.txt"}, Case{"docs/a/", "docs", "a", "a/"},
                         Case{"docs/ab.txt", "docs", "a", nullptr}, Case{"../x", "", "..", nullptr},
                         Case{"docs/../x", "docs", "..", nullptr}, Case{"a/../../x", "", "a", nullptr},
                         Case{"/etc/x", "", "etc", "etc/x"}, Case{"C:/w/x", "", "w", "w/x"},
                         Case{"a\\..\\..\\x", "", "a", nullptr}, Case{"docsx/a", "docs", "a", nullptr}}) {
        SCOPED_TRACE(c.stored);
        std::string out;
        const bool chosen = kv::fileops::chosenEntryPath(c.stored, c.base, {c.name}, out);
        EXPECT_EQ(chosen, c.out != nullptr);
        if (c.out) {
            EXPECT_EQ(out, c.out);
        }
    }
}

// A file of the same name in the target is replaced only after the question says so, both
// when entries are copied out of an archive and when files are copied into a ZIP.
TEST_F(MainWindowTest, CopiesToAndFromAnArchiveAskBeforeReplacing) {
    const fs::path src = root / "src";
    makeSources(src);
    const fs::path zip = work / "pack.zip";
    ASSERT_EQ(sh("cd " + quoted(src) + " && zip -qr " + quoted(zip) + " readme.txt docs"), 0);
    const fs::path target = root / "target";
    writeFile(target / "readme.txt", "old\n");
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    kv::TFPanel* other = form.passivePanel();
    other->CurDir = target.string();
    other->RefreshDirNow();
    placeCursor(p, "pack.zip");
    key(Qt::Key_Return);
    ASSERT_TRUE(p->InArchive());
    struct Step {
        bool overwrite;
        const char* after;
    };
    for (const Step s : {Step{false, "old\n"}, Step{true, "read me\n"}}) {
        SCOPED_TRACE(s.overwrite);
        placeCursor(p, "readme.txt");
        answerNext<kv::TFormCopy>([s](kv::TFormCopy* d) {
            answerNext<kv::TFormConflict>(
                [s](kv::TFormConflict* c) { (s.overwrite ? c->OverwriteBtn : c->SkipBtn)->click(); });
            accept(d);
        });
        key(Qt::Key_F5);
        EXPECT_EQ(readFile(target / "readme.txt"), s.after);
    }

    // Into the ZIP: the other panel's readme.txt goes onto the archive's.
    writeFile(target / "readme.txt", "changed on disk\n");
    other->RefreshDirNow();
    key(Qt::Key_Tab);
    ASSERT_EQ(form.activePanel(), other);
    for (const Step s : {Step{false, "read me\n"}, Step{true, "changed on disk\n"}}) {
        SCOPED_TRACE(s.overwrite);
        placeCursor(other, "readme.txt");
        answerNext<kv::TFormCopy>([s](kv::TFormCopy* d) {
            answerNext<kv::TFormConflict>(
                [s](kv::TFormConflict* c) { (s.overwrite ? c->OverwriteBtn : c->SkipBtn)->click(); });
            accept(d);
        });
        key(Qt::Key_F5);
        EXPECT_TRUE(zipTestsGood(zip));
        EXPECT_EQ(shOut("unzip -p " + quoted(zip) + " readme.txt"), s.after);
        EXPECT_EQ(fileNames(zipNames(zip)),
                  (std::set<std::string>{"readme.txt", "docs/guide.txt", "docs/deep/data.bin"}));
    }
}

// F8 on an encrypted entry asks for the password first. A wrong one is a change the writer
// cannot make: the archive stays byte for byte as it was, and the summary says why. The right
// one deletes the entry and keeps the others.
TEST_F(MainWindowTest, DeletingAnEncryptedEntryAsksForItsPassword) {
    const fs::path src = root / "src";
    makeSources(src);
    const fs::path zip = work / "locked.zip";
    ASSERT_EQ(sh("cd " + quoted(src) + " && zip -qr -P s3cret " + quoted(zip) + " readme.txt docs"), 0);
    const std::string before = readFile(zip);
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    placeCursor(p, "locked.zip");
    key(Qt::Key_Return);
    ASSERT_TRUE(p->InArchive());
    for (const char* password : {"wrong", "s3cret"}) {
        SCOPED_TRACE(password);
        const bool right = std::string(password) == "s3cret";
        placeCursor(p, "readme.txt");
        QString text;
        bool asked = false;
        answerNext<kv::TFormDelete>([&](kv::TFormDelete* d) {
            onNextDialog<QInputDialog>([&, password](QInputDialog* ask) {
                asked = true;
                if (!right) answerNextMessageBox(QMessageBox::Ok, &text);
                ask->setTextValue(QString::fromLatin1(password));
                ask->accept();
            });
            accept(d);
        });
        key(Qt::Key_F8);
        EXPECT_TRUE(asked);
        if (!right) {
            EXPECT_EQ(readFile(zip), before);
            EXPECT_TRUE(text.contains(QLatin1String("Invalid password"))) << text.toStdString();
            EXPECT_TRUE(listed(p, "readme.txt"));
        } else {
            EXPECT_TRUE(zipTestsGood(zip, "s3cret"));
            EXPECT_EQ(fileNames(zipNames(zip)), (std::set<std::string>{"docs/guide.txt", "docs/deep/data.bin"}));
            EXPECT_FALSE(listed(p, "readme.txt"));
        }
    }
}

// F3 on a picture inside an archive shows it in the viewer from a private copy, which goes
// when the viewer closes.
TEST_F(MainWindowTest, F3OnAPictureInAnArchiveShowsItFromACopyThatGoesWithTheViewer) {
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(Qt::red);
    fs::create_directories(root / "pics");
    ASSERT_TRUE(img.save(QString::fromStdString((root / "pics" / "red.png").string())));
    ASSERT_EQ(sh("cd " + quoted(root / "pics") + " && zip -q " + quoted(work / "pics.zip") + " red.png"), 0);
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    placeCursor(p, "pics.zip");
    key(Qt::Key_Return);
    placeCursor(p, "red.png");
    std::string shown;
    QSize size;
    answerNext<kv::TViewerForm>([&](kv::TViewerForm* v) {
        shown = v->shownPath().toStdString();
        EXPECT_TRUE(v->waitLoaded());
        size = v->picture().size();
        EXPECT_TRUE(fs::exists(shown));
        v->close();
    });
    key(Qt::Key_F3);
    EXPECT_EQ(size, QSize(40, 30));
    EXPECT_EQ(fs::path(shown).filename(), "red.png");
    EXPECT_NE(shown, p->CurPath);
    EXPECT_FALSE(fs::exists(shown)) << "the copy goes with the viewer";
}

// Encrypted entries are copied out with the password asked once before the job starts.
TEST_F(MainWindowTest, EncryptedEntriesCopyOutWithThePasswordAskedFirst) {
    const fs::path src = root / "src";
    makeSources(src);
    ASSERT_EQ(
        sh("cd " + quoted(src) + " && zip -qr -P s3cret " + quoted(work / "locked.zip") + " readme.txt docs"),
        0);
    const fs::path target = root / "target";
    fs::create_directories(target);
    auto& form = start();
    kv::TFPanel* p = form.activePanel();
    form.passivePanel()->CurDir = target.string();
    form.passivePanel()->RefreshDirNow();
    placeCursor(p, "locked.zip");
    key(Qt::Key_Return);
    select(p, {"readme.txt", "docs"});
    answerNext<kv::TFormCopy>([](kv::TFormCopy* d) {
        answerNext<QInputDialog>([](QInputDialog* ask) {
            EXPECT_EQ(ask->objectName(), QStringLiteral("ArchivePassword"));
            ask->setTextValue(QStringLiteral("s3cret"));
            ask->accept();
        });
        accept(d);
    });
    key(Qt::Key_F5);
    EXPECT_EQ(readFile(target / "readme.txt"), "read me\n");
    EXPECT_EQ(readFile(target / "docs" / "deep" / "data.bin"), readFile(src / "docs" / "deep" / "data.bin"));
}
