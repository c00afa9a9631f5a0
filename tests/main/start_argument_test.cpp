// kv's start argument, as the desktop passes it for the folders and archives kv is registered
// for: a folder starts the panels there, an archive opens in the active panel.
#include "main/start_argument.h"

#include "archive/zip/zip_writer.h"
#include "main_window_fixture.h"
#include "panel/fpanel.h"

namespace kvtest {
namespace {

class StartArgumentTest : public MainWindowTest {};

TEST_F(StartArgumentTest, FolderArchiveAndOtherFilesAreToldApart) {
    kv::TZip zip;
    zip.setDefaultDir(work.string());
    zip.FileSpecList = {"notes.txt"};
    zip.setArchiveFile((work / "pack.zip").string());
    ASSERT_TRUE(zip.Activate());
    // An archive under a name that says nothing: its bytes decide.
    fs::copy_file(work / "pack.zip", work / "pack.dat");
    writeFile(work / "tool.exe", "MZ not really");

    struct Case {
        fs::path arg;
        std::string startFolder, archive;
        bool explorer;
    };
    const Case cases[] = {
        {work / "alpha", (work / "alpha").string(), "", false},
        {work / "pack.zip", work.string(), (work / "pack.zip").string(), false},
        {work / "pack.dat", work.string(), (work / "pack.dat").string(), false},
        {work / "notes.txt", "", "", true},
        {work / "tool.exe", "", "", true},
        {work / "missing.zip", "", "", false},
    };
    for (const Case& c : cases) {
        const kv::StartArgument a = kv::ClassifyStartArgument(QString::fromStdString(c.arg.string()));
        EXPECT_EQ(a.startFolder, c.startFolder) << c.arg;
        EXPECT_EQ(a.archive.string(), c.archive) << c.arg;
        EXPECT_EQ(a.resourceExplorer, c.explorer) << c.arg;
    }
}

TEST_F(StartArgumentTest, ArchiveOpensInTheActivePanel) {
    kv::TZip zip;
    zip.setDefaultDir(work.string());
    zip.FileSpecList = {"notes.txt"};
    zip.setArchiveFile((work / "pack.zip").string());
    ASSERT_TRUE(zip.Activate());
    kv::TForm1& f = start();
    kv::TFPanel* p = f.activePanel();
    p->RefreshDirNow();
    ASSERT_TRUE(kv::OpenArchiveInPanel(f, work / "pack.zip"));
    EXPECT_TRUE(p->InArchive());
    EXPECT_EQ(fs::path(p->CurDir), work / "pack.zip");
    EXPECT_GT(p->FL.findByName("notes.txt"), 0);
    // An archive in another folder than the panel's is not opened.
    EXPECT_FALSE(kv::OpenArchiveInPanel(f, root / "elsewhere.zip"));
}

}  // namespace
}  // namespace kvtest
