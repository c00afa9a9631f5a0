// The archive commands from the keyboard: quick extraction with Shift+Enter, the extract
// dialog (target, password, existing files) and Add to archive with the panel's selection,
// each checked by what ends up on the disk and in the panels.
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <set>

#include "archive/base/extractor_factory.h"
#include "archive/zip/zip_writer.h"
#include "fileops/archive/archive_forms.h"
#include "fileops/archive/archive_jobs.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

bool listed(const kv::TFPanel* p, const std::string& name) { return p->FL.findByName(name) > 0; }

// A ZIP of the files beneath `base` (names relative to it), written by our own writer.
void makeZip(const fs::path& zipPath, const fs::path& base, const std::vector<std::string>& names,
             const std::string& password = {}) {
    kv::TZip zip;
    zip.setDefaultDir(base.string());
    zip.StoredDirNames = kv::TStoredDirNames::sdRelative;
    zip.RecurseDirs = true;
    zip.Password = password;
    zip.FileSpecList = names;
    zip.setArchiveFile(zipPath.string());
    ASSERT_TRUE(zip.Activate());
}

// Everything an archive holds, extracted into `dir` with the password given.
int extractAll(const fs::path& archive, const fs::path& dir, const std::string& password) {
    kv::TZipCommon typed;
    typed.setArchiveFile(archive.string());
    auto x = kv::makeExtractor(typed.ArcType());
    if (!x) return -1;
    x->setArchiveFile(archive.string());
    x->setExtractDir(dir.string());
    if (!password.empty()) x->Passwords.push_back(password);
    x->Activate();
    return x->ExtractedCount;
}

// A source tree outside the panels' folder, for archives the tests unpack.
struct Sources {
    explicit Sources(const fs::path& root) : dir(root / "src") {
        writeFile(dir / "readme.txt", "read me\n");
        writeFile(dir / "sub" / "deep.bin", std::string(70000, 'q') + "tail");
    }
    fs::path dir;
};

}  // namespace

// Shift+Enter unpacks into the panel's own folder, whatever the archive is called: the type
// comes from its bytes, so a ZIP named ".dat" and an ARJ are extracted alike.
TEST_F(MainWindowTest, ShiftEnterExtractsTheArchiveUnderTheCursorIntoThePanelsFolder) {
    Sources src(root);
    makeZip(work / "pack.zip", src.dir, {"readme.txt", "sub"});
    fs::copy_file(work / "pack.zip", work / "disguised.dat");
    auto& f = start();
    kv::TFPanel* p = f.activePanel();
    ASSERT_EQ(fs::path(p->CurDir), work);

    placeCursor(p, "pack.zip");
    key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(readFile(work / "readme.txt"), "read me\n");
    EXPECT_EQ(readFile(work / "sub" / "deep.bin"), readFile(src.dir / "sub" / "deep.bin"));
    EXPECT_TRUE(listed(p, "readme.txt"));
    EXPECT_TRUE(listed(p, "sub"));
    EXPECT_TRUE(listed(f.passivePanel(), "readme.txt")) << "both panels are re-read";

    fs::create_directories(work / "other");
    fs::rename(work / "disguised.dat", work / "other" / "disguised.dat");
    p->CurDir = (work / "other").string();
    p->ReadDir();
    placeCursor(p, "disguised.dat");
    key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(readFile(work / "other" / "readme.txt"), "read me\n");
    EXPECT_TRUE(listed(p, "sub"));

    const char* data = KV_TEST_DATA;
    fs::create_directories(work / "arj");
    fs::copy_file(fs::path(data) / "archives" / "arj" / "m1.arj", work / "arj" / "m1.arj");
    p->CurDir = (work / "arj").string();
    p->ReadDir();
    placeCursor(p, "m1.arj");
    key(Qt::Key_Return, Qt::ShiftModifier);
    std::set<std::string> made;  // what the archive put beside itself
    for (const auto& e : fs::directory_iterator(work / "arj"))
        if (e.path().filename() != "m1.arj") made.insert(e.path().filename().string());
    EXPECT_FALSE(made.empty()) << "the ARJ archive was extracted";
    for (const auto& n : made) EXPECT_TRUE(listed(p, n)) << n;
}

// Something that is no archive ends in one summary box, and nothing is written.
TEST_F(MainWindowTest, ShiftEnterOnAFileThatIsNoArchiveSaysSoOnce) {
    auto& f = start();
    placeCursor(f.activePanel(), "notes.txt");
    const auto before = std::distance(fs::directory_iterator(work), fs::directory_iterator());
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(text.contains(QStringLiteral("not an archive"))) << text.toStdString();
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), before);
}

// The dialog proposes the other panel's folder; the password typed there opens an encrypted
// ZIP; a wrong one extracts nothing and says which entry failed.
TEST_F(MainWindowTest, ExtractDialogUsesTheOtherPanelsFolderAndThePassword) {
    Sources src(root);
    makeZip(work / "locked.zip", src.dir, {"readme.txt", "sub"}, "s3cret");
    auto& f = start();
    kv::TFPanel* passive = f.passivePanel();
    passive->CurDir = (work / "beta").string();
    passive->ReadDir();
    placeCursor(f.activePanel(), "locked.zip");

    struct Case {
        const char* password;
        bool opens;
    };
    for (const Case c : {Case{"wrong", false}, Case{"s3cret", true}}) {
        SCOPED_TRACE(c.password);
        QString proposed;
        onNextDialog<kv::TFormExtract>([&](kv::TFormExtract* d) {
            proposed = d->Edit1->currentText();
            d->Edit2->setText(QString::fromLatin1(c.password));
            d->Button1->click();
        });
        QString summary;
        if (!c.opens) answerNextMessageBox(QMessageBox::Ok, &summary);
        key(Qt::Key_F2, Qt::ShiftModifier);
        EXPECT_EQ(proposed.toStdString(), (work / "beta").string());
        if (c.opens) {
            EXPECT_EQ(readFile(work / "beta" / "readme.txt"), "read me\n");
            EXPECT_EQ(readFile(work / "beta" / "sub" / "deep.bin"), readFile(src.dir / "sub" / "deep.bin"));
            EXPECT_TRUE(listed(passive, "readme.txt"));
        } else {
            EXPECT_TRUE(summary.contains(QStringLiteral("readme.txt"))) << summary.toStdString();
            EXPECT_FALSE(fs::exists(work / "beta" / "readme.txt"));
        }
    }
}

// An encrypted archive met without a password asks for one before anything runs; giving
// up extracts nothing and says nothing more; the password given is kept for next time.
TEST_F(MainWindowTest, QuickExtractionAsksForThePasswordOfAnEncryptedArchive) {
    Sources src(root);
    makeZip(work / "quick.zip", src.dir, {"readme.txt"}, "asked-for");
    auto& f = start();
    placeCursor(f.activePanel(), "quick.zip");
    for (const bool give : {false, true}) {
        SCOPED_TRACE(give);
        onNextDialog<QInputDialog>([give](QInputDialog* d) {
            if (!give) return d->reject();
            d->setTextValue(QStringLiteral("asked-for"));
            d->accept();
        });
        key(Qt::Key_Return, Qt::ShiftModifier);
        EXPECT_EQ(fs::exists(work / "readme.txt"), give);
    }
    EXPECT_EQ(readFile(work / "readme.txt"), "read me\n");
    // The password given is kept: the next quick extraction asks nothing.
    fs::remove(work / "readme.txt");
    key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(readFile(work / "readme.txt"), "read me\n");
}

// Existing files: kept with "Skip existing", replaced with "Overwrite all".
TEST_F(MainWindowTest, ExtractDialogOverwriteChoice) {
    Sources src(root);
    makeZip(work / "pack.zip", src.dir, {"readme.txt"});
    auto& f = start();
    f.passivePanel()->CurDir = (work / "beta").string();
    f.passivePanel()->ReadDir();
    placeCursor(f.activePanel(), "pack.zip");
    for (const auto& [choice, expected] :
         std::vector<std::pair<int, std::string>>{{2, "mine\n"}, {1, "read me\n"}}) {
        writeFile(work / "beta" / "readme.txt", "mine\n");
        onNextDialog<kv::TFormExtract>([choice = choice](kv::TFormExtract* d) {
            d->Overwrite->setCurrentIndex(choice);
            d->Button1->click();
        });
        key(Qt::Key_F2, Qt::ShiftModifier);
        EXPECT_EQ(readFile(work / "beta" / "readme.txt"), expected) << choice;
    }
}

// Add to archive packs the selection (not the entry under the cursor) with the password;
// extracted back, it gives the same files. Two different passwords keep the dialog open.
TEST_F(MainWindowTest, AddToArchivePacksTheSelectionWithThePassword) {
    auto& f = start();
    kv::TFPanel* p = f.activePanel();
    for (const char* name : {"notes.txt", "alpha"}) {
        placeCursor(p, name);
        p->ToggleSelect();
    }
    placeCursor(p, "data.bin");
    QString proposed, mismatch;
    onNextDialog<kv::TFormAdding>([&](kv::TFormAdding* d) {
        proposed = d->ComboBox1->currentText();
        d->ComboBox1->setEditText(QString::fromStdString((work / "out.zip").string()));
        d->Edit1->setText(QStringLiteral("pw1"));
        d->Edit2->setText(QStringLiteral("pw2"));
        answerNextMessageBox(QMessageBox::Ok, &mismatch);
        d->Button1->click();
        EXPECT_TRUE(d->isVisible());
        d->Edit2->setText(QStringLiteral("pw1"));
        d->Button1->click();
    });
    key(Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(proposed.toStdString(), (work / "data.bin.zip").string());
    EXPECT_EQ(mismatch, QStringLiteral("Passwords do not match"));
    ASSERT_TRUE(fs::exists(work / "out.zip"));
    EXPECT_TRUE(listed(p, "out.zip"));

    const fs::path back = root / "back";
    EXPECT_EQ(extractAll(work / "out.zip", back, ""), 0) << "the entries are encrypted";
    EXPECT_EQ(extractAll(work / "out.zip", back, "pw1"), 2);
    EXPECT_EQ(readFile(back / "notes.txt"), "notes\n");
    EXPECT_EQ(readFile(back / "alpha" / "inner.txt"), "inner\n");
    EXPECT_FALSE(fs::exists(back / "data.bin")) << "the entry under the cursor is not part of a selection";
    EXPECT_TRUE(fs::exists(work / "notes.txt"));
}

// "Delete files after archiving" removes exactly what went into the archive.
TEST_F(MainWindowTest, AddToArchiveCanDeleteTheFilesItArchived) {
    auto& f = start();
    kv::TFPanel* p = f.activePanel();
    placeCursor(p, "notes.txt");
    onNextDialog<kv::TFormAdding>([](kv::TFormAdding* d) {
        d->CheckBox1->setChecked(true);
        d->Button1->click();
    });
    key(Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_TRUE(fs::exists(work / "notes.txt.zip"));
    EXPECT_FALSE(fs::exists(work / "notes.txt"));
    EXPECT_FALSE(listed(p, "notes.txt"));
    EXPECT_TRUE(fs::exists(work / "data.bin"));
    const fs::path back = root / "back";
    EXPECT_EQ(extractAll(work / "notes.txt.zip", back, ""), 1);
    EXPECT_EQ(readFile(back / "notes.txt"), "notes\n");
}

// A file size limit for this process while it lives: a writer that reads its own output fails
// with EFBIG instead of filling the disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved_;
        lower.rlim_cur = std::min(bytes, saved_.rlim_max);
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t oldHandler_ = SIG_DFL;
};

// The archive made inside the folder being packed, with the files deleted after: it never
// takes itself or its temporary in, and it is never deleted.
TEST_F(MainWindowTest, AddToArchiveInsideTheFolderPackedNeverTakesOrDeletesItself) {
    const FileSizeLimit limit(64 << 20);
    auto& f = start();
    kv::TFPanel* p = f.activePanel();
    placeCursor(p, "alpha");
    onNextDialog<kv::TFormAdding>([&](kv::TFormAdding* d) {
        d->ComboBox1->setEditText(QString::fromStdString((work / "alpha" / "self.zip").string()));
        d->CheckBox1->setChecked(true);
        d->Button1->click();
    });
    key(Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_TRUE(fs::exists(work / "alpha" / "self.zip"));
    EXPECT_FALSE(fs::exists(work / "alpha" / "inner.txt")) << "what went in is deleted";
    const fs::path back = root / "back";
    EXPECT_EQ(extractAll(work / "alpha" / "self.zip", back, ""), 1);
    EXPECT_EQ(readFile(back / "alpha" / "inner.txt"), "inner\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(work / "alpha"), fs::directory_iterator()), 1)
        << "no temporary is left";
}

namespace {
struct NoQuestions : kv::fileops::Decider {
    kv::fileops::Decision conflict(const kv::fileops::Conflict&) override {
        return kv::fileops::Decision::Cancel;
    }
    kv::fileops::Decision error(const kv::fileops::OpError&) override {
        return kv::fileops::Decision::Cancel;
    }
};
}  // namespace

// Cancel from the progress window stops the archive component itself: nothing half-written
// is left under the target's names, and the job reports a cancel, not a failure.
TEST(ArchiveJobs, CancelStopsExtractionAndAdding) {
    kv::test::TempDir tmp{"kv_arcjobs"};
    const fs::path root = tmp.path();
    writeFile(root / "src" / "big.bin", std::string(3 << 20, 'z'));
    makeZip(root / "big.zip", root / "src", {"big.bin"});

    NoQuestions none;
    kv::fileops::Progress cancelled;
    cancelled.cancel();
    kv::fileops::ExtractJob x;
    x.archive = (root / "big.zip").string();
    x.targetDir = (root / "out").string();
    const auto r = x.run(none, cancelled);
    EXPECT_EQ(r.outcome, kv::fileops::Outcome::Cancelled);
    EXPECT_FALSE(fs::exists(root / "out" / "big.bin"));
    kv::fileops::Progress running;
    EXPECT_EQ(x.run(none, running).outcome, kv::fileops::Outcome::Done) << "the same job, not cancelled";
    EXPECT_EQ(fs::file_size(root / "out" / "big.bin"), std::uintmax_t(3) << 20);
    EXPECT_EQ(running.snapshot().filesDone, 1u);
    EXPECT_EQ(running.snapshot().bytesDone, running.snapshot().bytesTotal);

    kv::fileops::AddToZipJob add;
    add.archive = (root / "new.zip").string();
    add.baseDir = (root / "src").string();
    add.sources = {(root / "src" / "big.bin").string()};
    add.deleteAfter = true;
    kv::fileops::Progress cancelled2;
    cancelled2.cancel();
    const auto r2 = add.run(none, cancelled2);
    EXPECT_EQ(r2.outcome, kv::fileops::Outcome::Cancelled);
    EXPECT_FALSE(fs::exists(root / "new.zip"));
    EXPECT_TRUE(fs::exists(root / "src" / "big.bin"));
}

// The user presses Cancel while the overwrite question for a big, highly compressed entry
// is still on screen and answers Overwrite: the entry stops within its first MiB, the file
// it would have replaced keeps its content, and nothing after it is unpacked.
TEST(ArchiveJobs, CancelDuringABigEntryKeepsTheFileItWouldReplace) {
    kv::test::TempDir tmp{"kv_arcjobs"};
    const fs::path root = tmp.path();
    writeFile(root / "src" / "a.txt", "first\n");
    writeFile(root / "src" / "m.bin", std::string(48 << 20, '\0'));
    writeFile(root / "src" / "z.txt", "last\n");
    makeZip(root / "big.zip", root / "src", {"a.txt", "m.bin", "z.txt"});
    writeFile(root / "out" / "m.bin", "the user's own file\n");

    kv::fileops::Progress progress;
    struct OverwriteThenCancel : kv::fileops::Decider {
        kv::fileops::Progress* progress = nullptr;
        kv::fileops::Decision conflict(const kv::fileops::Conflict&) override {
            progress->cancel();
            return kv::fileops::Decision::Overwrite;
        }
        kv::fileops::Decision error(const kv::fileops::OpError&) override {
            return kv::fileops::Decision::Cancel;
        }
    } decider;
    decider.progress = &progress;
    kv::fileops::ExtractJob x;
    x.archive = (root / "big.zip").string();
    x.targetDir = (root / "out").string();
    EXPECT_EQ(x.run(decider, progress).outcome, kv::fileops::Outcome::Cancelled);
    EXPECT_EQ(readFile(root / "out" / "a.txt"), "first\n");
    EXPECT_EQ(readFile(root / "out" / "m.bin"), "the user's own file\n");
    EXPECT_FALSE(fs::exists(root / "out" / "z.txt"));
    std::set<std::string> left;
    for (auto& e : fs::directory_iterator(root / "out")) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"a.txt", "m.bin"})) << "no temporary file is left";
}

// A volume of a set that is not beside the others is asked for during the job, through the
// same error question as a copy's: Retry once it is in place goes on with it; Skip leaves the
// file that runs into it unwritten and says so; Cancel ends the job as cancelled.
TEST(ArchiveJobs, AMissingVolumeIsAskedForWhileTheJobRuns) {
    using kv::fileops::Decision;
    struct Case {
        Decision answer;
        kv::fileops::Outcome outcome;
        std::set<std::string> files;
    };
    const Case cases[] = {
        {Decision::Retry, kv::fileops::Outcome::Done, {"hello.txt", "random.bin", "lorem.txt"}},
        {Decision::Skip, kv::fileops::Outcome::Failed, {"hello.txt"}},
        {Decision::Cancel, kv::fileops::Outcome::Cancelled, {"hello.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.answer));
        kv::test::TempDir tmp{"kv_arcvol"};
        const fs::path root = tmp.path();
        const fs::path data = fs::path(KV_TEST_DATA) / "archives" / "arj";
        fs::create_directories(root / "set");
        fs::create_directories(root / "away");
        for (const char* n : {"volumes.arj", "volumes.a01"}) fs::copy_file(data / n, root / "set" / n);
        fs::copy_file(data / "volumes.a02", root / "away" / "volumes.a02");

        struct PutItBack : kv::fileops::Decider {
            fs::path root;
            Decision answer = Decision::Retry;
            std::vector<std::string> asked;
            Decision conflict(const kv::fileops::Conflict&) override { return Decision::Cancel; }
            Decision error(const kv::fileops::OpError& e) override {
                asked.push_back(e.path);
                if (answer == Decision::Retry)
                    fs::rename(root / "away" / "volumes.a02", root / "set" / "volumes.a02");
                return answer;
            }
        } decider;
        decider.root = root;
        decider.answer = c.answer;
        kv::fileops::Progress progress;
        kv::fileops::ExtractJob x;
        x.archive = (root / "set" / "volumes.arj").string();
        x.targetDir = (root / "out").string();
        const auto r = x.run(decider, progress);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(decider.asked, std::vector<std::string>{(root / "set" / "volumes.a02").string()});
        std::set<std::string> got;
        for (auto& e : fs::directory_iterator(root / "out")) got.insert(e.path().filename().string());
        EXPECT_EQ(got, c.files) << "nothing half-written is left";
        if (c.answer == Decision::Retry) {
            EXPECT_EQ(fs::file_size(root / "out" / "random.bin"), 102400u);
            EXPECT_EQ(fs::file_size(root / "out" / "lorem.txt"), 12049u);
        }
        if (c.answer == Decision::Skip) {
            ASSERT_FALSE(r.failures.empty());
            EXPECT_NE(r.failures.front().path.find("volumes.a02"), std::string::npos);
        }
    }
}

TEST_F(MainWindowTest, ArchiveDialogScreenshots) {
    const char* shots = std::getenv("KV_SCREENSHOT_DIR");
    if (!shots) GTEST_SKIP() << "set KV_SCREENSHOT_DIR to keep screenshots";
    const QString dir = QString::fromLocal8Bit(shots);
    Sources src(root);
    makeZip(work / "locked.zip", src.dir, {"readme.txt", "sub"}, "s3cret");
    auto& f = start();
    placeCursor(f.activePanel(), "locked.zip");
    onNextDialog<kv::TFormExtract>([&](kv::TFormExtract* d) {
        d->grab().save(dir + QStringLiteral("/extract_dialog.png"));
        d->reject();
    });
    key(Qt::Key_F2, Qt::ShiftModifier);
    onNextDialog<QInputDialog>([&](QInputDialog* d) {
        d->grab().save(dir + QStringLiteral("/password_question.png"));
        d->reject();
    });
    key(Qt::Key_Return, Qt::ShiftModifier);
    placeCursor(f.activePanel(), "notes.txt");
    onNextDialog<kv::TFormAdding>([&](kv::TFormAdding* d) {
        d->grab().save(dir + QStringLiteral("/add_dialog.png"));
        d->reject();
    });
    key(Qt::Key_F1, Qt::ShiftModifier);
}
