// kv.ini, kv.mnu and kv_rus.ini that are no plain files: each reader returns at once with a
// message and reads nothing, the window starts with its defaults and says why, and saving
// never replaces what was not read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMessageBox>

#include <atomic>
#include <chrono>
#include <thread>

#include "main/settings/language.h"
#include "main/settings/settings.h"
#include "main/user_menu/menu_file.h"
#include "main_window_fixture.h"
#include "platform/file_contents.h"
#include "support/fifo_guard.h"

namespace kvtest {
namespace {

using kv::test::FifoGuard;

// What one of kv's readers made of a file: whether it took anything, and its message.
struct Outcome {
    bool tookText = false;
    std::string message;
};

struct Reader {
    const char* file;
    std::size_t limit;
    std::string goodText;  // a whole file of this kind
    Outcome (*read)(const fs::path&);
};

const Reader kReaders[] = {
    {"kv.ini", kv::platform::kSettingsFileLimit, "[Global]\nLanguage=RUSSIAN\n",
     [](const fs::path& p) {
         kv::KvConfig cfg;
         kv::TFPanelSettings left, right;
         const std::string why = kv::Load_INI(p, cfg, left, right);
         return Outcome{cfg.Main.Language == "RUSSIAN", why};
     }},
    {"kv.mnu", kv::platform::kMenuFileLimit, "1\r\n \r\nTop\r\ntop\r\n \r\n",
     [](const fs::path& p) {
         const kv::MenuFileRead r = kv::ReadMenuFile(p);
         return Outcome{!r.entries.empty(), r.error};
     }},
    {"kv_rus.ini", kv::platform::kLanguageFileLimit, "[Copy]\nCaption=Kopia\n",
     [](const fs::path& p) {
         kv::TLanguage lang;
         const std::string why = lang.Open(p);
         return Outcome{lang.Read("Copy", "Caption", "") == "Kopia", why};
     }},
};

TEST(SettingsFiles, EveryReaderRefusesWhatIsNoPlainFileOfBoundedSize) {
    struct Kind {
        const char* what;
        void (*make)(const fs::path& file, const Reader& reader);
        const char* why;  // "" when the file is read
    } kinds[] = {
        {"a plain file", [](const fs::path& f, const Reader& r) { writeFile(f, r.goodText); }, ""},
        {"a fifo", [](const fs::path& f, const Reader&) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
         "not a regular file"},
        {"a link to /dev/zero", [](const fs::path& f, const Reader&) { fs::create_symlink("/dev/zero", f); },
         "not a regular file"},
        {"a folder", [](const fs::path& f, const Reader&) { fs::create_directory(f); }, "not a regular file"},
        {"a file past its limit",
         [](const fs::path& f, const Reader& r) { writeFile(f, r.goodText + std::string(r.limit, '\n')); },
         "larger than"},
        {"ten million line breaks",
         [](const fs::path& f, const Reader&) { writeFile(f, std::string(10'000'000, '\n')); },
         "larger than"},
    };
    for (const Reader& reader : kReaders) {
        for (const Kind& k : kinds) {
            SCOPED_TRACE(std::string(reader.file) + ", " + k.what);
            kv::test::TempDir tmp{"kv_settings_files"};
            const fs::path file = fs::path(tmp.path()) / reader.file;
            k.make(file, reader);
            FifoGuard guard(file);
            const auto t0 = std::chrono::steady_clock::now();
            const Outcome o = reader.read(file);
            EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
            EXPECT_EQ(o.tookText, *k.why == '\0');
            EXPECT_NE(o.message.find(k.why), std::string::npos) << o.message;
            if (*k.why) {
                EXPECT_NE(o.message.find(file.string()), std::string::npos) << o.message;
            }
        }
    }
}

// The user menu is written through a link to the user's own file, and never over a fifo or
// through a link that leads to nothing or into /proc.
TEST(SettingsFiles, TheMenuIsWrittenThroughALinkOnlyToAFileOfTheUsers) {
    const std::vector<kv::MenuEntry> entries = {{"Top", "top"}};
    kv::test::TempDir tmp{"kv_settings_files"};
    const fs::path dir = tmp.path();
    writeFile(dir / "dots.mnu", "0\r\n \r\n");
    fs::create_symlink("dots.mnu", dir / "kv.mnu");
    ASSERT_TRUE(kv::WriteMenuFile(dir / "kv.mnu", entries));
    EXPECT_TRUE(fs::is_symlink(dir / "kv.mnu"));
    EXPECT_EQ(kv::ReadMenuFile(dir / "dots.mnu").entries, entries);

    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_symlink("pipe", dir / "to_pipe.mnu");
    fs::create_symlink("/proc/self/fd/0", dir / "to_stdin.mnu");
    fs::create_symlink("nothing.mnu", dir / "dangling.mnu");
    for (const char* name : {"pipe", "to_pipe.mnu", "to_stdin.mnu", "dangling.mnu"}) {
        SCOPED_TRACE(name);
        const kv::MenuFileWrite w = kv::WriteMenuFile(dir / name, entries);
        EXPECT_FALSE(w.ok);
        EXPECT_NE(w.message.find("Unable to write to " + (dir / name).string()), std::string::npos)
            << w.message;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_TRUE(fs::is_symlink(dir / "to_stdin.mnu"));
    EXPECT_FALSE(fs::exists(dir / "nothing.mnu"));
}

// A kv.ini that is a fifo: the window comes up at once with its defaults and says why; on
// closing, the fifo is not replaced and the message says why again.
TEST_F(MainWindowTest, AKvIniThatIsAFifoNeitherHoldsTheStartNorIsReplaced) {
    fs::create_directories(iniPath.parent_path());
    ASSERT_EQ(::mkfifo(iniPath.c_str(), 0600), 0);
    FifoGuard guard(iniPath);
    QString said;
    answerNextMessageBox(QMessageBox::Ok, &said);
    const auto t0 = std::chrono::steady_clock::now();
    auto& f = start();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    QTRY_VERIFY_WITH_TIMEOUT(!said.isEmpty(), 5000);
    EXPECT_TRUE(said.contains(QStringLiteral("not a regular file"))) << said.toStdString();
    EXPECT_EQ(f.cfg().Main.Language, "ENGLISH");

    QString onClose;
    answerNextMessageBox(QMessageBox::Close, &onClose);
    key(Qt::Key_F10);
    EXPECT_TRUE(onClose.startsWith(QStringLiteral("Unable to write to"))) << onClose.toStdString();
    EXPECT_TRUE(onClose.contains(QStringLiteral("not a regular file"))) << onClose.toStdString();
    EXPECT_TRUE(fs::is_fifo(iniPath));
}

}  // namespace
}  // namespace kvtest
