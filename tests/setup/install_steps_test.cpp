// The installation steps without the wizard: a fresh install, a second one over it, a folder
// that cannot be made, damaged archives, and archive names that point outside the target.
#include "setup/install_steps.h"

#include <sys/stat.h>

#include "platform/private_profile.h"
#include "setup_home.h"

namespace kvsetup {
namespace {

using kv::setup::Install;
using kv::setup::InstallPaths;
using kv::setup::InstallReport;

// desktop-file-validate's verdict on a file; nullopt when the tool is not installed.
std::optional<bool> desktopFileValid(const std::string& file) {
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) return std::nullopt;
    return std::system(("desktop-file-validate '" + file + "'").c_str()) == 0;
}

bool hasLine(const std::string& text, const std::string& line) {
    return ("\n" + text + "\n").find("\n" + line + "\n") != std::string::npos;
}

class InstallSteps : public SetupHome {
protected:
    InstallReport install(const std::string& target) { return Install(InstallPaths{source, target, {}, {}}); }
    // Nothing of an installation is anywhere: no record, no menu entries.
    void expectNoRecordAndNoEntries() {
        EXPECT_FALSE(fs::exists(kvIni()));
        EXPECT_FALSE(fs::exists(menuFolder() + "/Korvalen.desktop"));
        EXPECT_FALSE(fs::exists(menuFolder() + "/Readme.desktop"));
    }
};

TEST_F(InstallSteps, FreshInstallUnpacksRecordsTheFolderAndWritesTheMenuEntries) {
    makeDataRes(programFiles());
    // The default folder's parents do not exist yet on a fresh account.
    ASSERT_FALSE(fs::exists(home + "/.local"));
    const InstallReport r = install("~/.local/share/korvalen/");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.target, defaultTarget());
    EXPECT_EQ(r.step, "Installation is complited!");
    EXPECT_EQ(r.extracted, 5);
    for (const auto& [name, content] : programFiles())
        EXPECT_EQ(read(defaultTarget() + "/" + name), content) << name;
    struct stat st {};
    ASSERT_EQ(::stat((defaultTarget() + "/kv").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR) << "the program must stay executable";

    EXPECT_EQ(kv::platform::GetPrivateProfileString("MainForm", "Path", "", kvIni()), defaultTarget());

    const std::string program = read(menuFolder() + "/Korvalen.desktop");
    const std::string readme = read(menuFolder() + "/Readme.desktop");
    EXPECT_TRUE(hasLine(program, "Exec=\"" + defaultTarget() + "/kv\"")) << program;
    EXPECT_TRUE(hasLine(program, "Path=" + defaultTarget())) << program;
    EXPECT_TRUE(hasLine(readme, "Exec=xdg-open \"" + defaultTarget() + "/readme.txt\"")) << readme;
    EXPECT_TRUE(hasLine(readme, "Path=" + defaultTarget())) << readme;
    for (const char* f : {"/Korvalen.desktop", "/Readme.desktop"})
        if (auto valid = desktopFileValid(menuFolder() + f)) {
            EXPECT_TRUE(*valid) << f;
        }
}

TEST_F(InstallSteps, SecondInstallOverwritesTheFilesAndRewritesTheEntries) {
    makeDataRes(programFiles("first\n"));
    ASSERT_TRUE(install(defaultTarget()).ok);
    std::ofstream(menuFolder() + "/Korvalen.desktop") << "[Desktop Entry]\nName=stale\n";
    // The user keeps other settings in kv.ini: they stay.
    ASSERT_TRUE(kv::platform::WritePrivateProfileString("Colors", "Back", "7", kvIni()));

    makeDataRes(programFiles("second\n"));
    InstallReport again = install(defaultTarget());
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(read(defaultTarget() + "/readme.txt"), "second\n");
    EXPECT_TRUE(hasLine(read(menuFolder() + "/Korvalen.desktop"), "Exec=\"" + defaultTarget() + "/kv\""));
    EXPECT_EQ(kv::platform::GetPrivateProfileString("Colors", "Back", "", kvIni()), "7");

    // Into another folder: the record and both entries follow it.
    const std::string other = home + "/apps/kv dir";
    again = install(other);
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(kv::platform::GetPrivateProfileString("MainForm", "Path", "", kvIni()), other);
    EXPECT_TRUE(hasLine(read(menuFolder() + "/Korvalen.desktop"), "Exec=\"" + other + "/kv\""));
    EXPECT_TRUE(
        hasLine(read(menuFolder() + "/Readme.desktop"), "Exec=xdg-open \"" + other + "/readme.txt\""));
    if (auto valid = desktopFileValid(menuFolder() + "/Korvalen.desktop")) {
        EXPECT_TRUE(*valid);
    }
}

TEST_F(InstallSteps, FolderThatCannotBeMadeSaysSoAndInstallsNothing) {
    makeDataRes(programFiles());
    const std::string blocker = tmp.file("home/blocker", "a file");
    struct Case {
        std::string target, why;
    };
    const Case cases[] = {
        {blocker, "the target is a file"},
        {blocker + "/korvalen", "a file stands where a parent folder should be"},
        {"", "no folder typed"},
    };
    for (const Case& c : cases) {
        const InstallReport r = install(c.target);
        EXPECT_FALSE(r.ok) << c.why;
        EXPECT_FALSE(r.error.empty()) << c.why;
        if (!c.target.empty()) {
            EXPECT_NE(r.error.find(c.target), std::string::npos) << r.error;
        }
        expectNoRecordAndNoEntries();
    }
    EXPECT_EQ(read(blocker), "a file");
}

TEST_F(InstallSteps, DamagedOrMissingArchiveStopsBeforeTheRecordAndTheEntries) {
    const std::string payload(4000, 'P');
    auto files = programFiles();
    files["payload.bin"] = payload;
    struct Case {
        std::string why;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"no data.res", [&] { fs::remove(dataRes()); }},
        {"not a ZIP", [&] { std::ofstream(dataRes()) << "this is no archive at all\n"; }},
        {"an entry's bytes changed (CRC)",
         [&] {
             makeDataRes(files, true);
             std::string bytes = read(dataRes());
             const std::size_t at = bytes.find(payload);
             ASSERT_NE(at, std::string::npos);
             bytes[at + 100] = 'Q';
             std::ofstream(dataRes(), std::ios::binary) << bytes;
         }},
        {"cut short",
         [&] {
             makeDataRes(files, true);
             std::string bytes = read(dataRes());
             bytes.resize(bytes.size() / 2);
             std::ofstream(dataRes(), std::ios::binary) << bytes;
         }},
    };
    for (const Case& c : cases) {
        c.make();
        const InstallReport r = install(defaultTarget());
        EXPECT_FALSE(r.ok) << c.why;
        EXPECT_NE(r.error.find("data.res"), std::string::npos) << c.why << ": " << r.error;
        expectNoRecordAndNoEntries();
        // A damaged entry never lands under its name.
        EXPECT_FALSE(fs::exists(defaultTarget() + "/payload.bin") &&
                     read(defaultTarget() + "/payload.bin") != payload)
            << c.why;
    }
}

TEST_F(InstallSteps, NamesLeadingOutOfTheTargetWriteNothingOutside) {
    auto files = programFiles();
    files["zz_evil.txt"] = "escaped";
    files["zz/zz_deep.txt"] = "escaped too";
    makeDataRes(files, true);
    // Same length, so the archive stays consistent: "zz_" becomes "../" in every stored name.
    std::string bytes = read(dataRes());
    for (std::size_t at; (at = bytes.find("zz_")) != std::string::npos;) bytes.replace(at, 3, "../");
    for (std::size_t at; (at = bytes.find("zz/")) != std::string::npos;) bytes.replace(at, 3, "../");
    std::ofstream(dataRes(), std::ios::binary) << bytes;

    const std::string target = home + "/inst/korvalen";
    const InstallReport r = install(target);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("evil.txt"), std::string::npos) << r.error;
    for (const std::string& outside :
         {home + "/inst/evil.txt", home + "/inst/deep.txt", home + "/evil.txt", home + "/inst/../deep.txt"})
        EXPECT_FALSE(fs::exists(outside)) << outside;
    expectNoRecordAndNoEntries();
}

TEST(DesktopExec, QuotesWhatTheShellOrTheDesktopWouldReadSpecially) {
    struct Case {
        std::string arg, exec;
    };
    const Case cases[] = {
        {"/opt/kv/kv", "\"/opt/kv/kv\""},
        {"/home/a b/kv", "\"/home/a b/kv\""},
        {"/x/$HOME`id`\"q\"/kv", "\"/x/\\\\$HOME\\\\`id\\\\`\\\\\"q\\\\\"/kv\""},
        {"/x/back\\slash", "\"/x/back\\\\\\\\slash\""},
        {"/x/100%/kv", "\"/x/100%%/kv\""},
    };
    for (const Case& c : cases) EXPECT_EQ(kv::setup::DesktopExecArgument(c.arg), c.exec) << c.arg;
}

TEST_F(SetupHome, TypedFolderIsTakenFromHomeAndTidied) {
    ::setenv("HOME", "/home/me", 1);
    EXPECT_EQ(kv::setup::ExpandTarget("~"), "/home/me");
    EXPECT_EQ(kv::setup::ExpandTarget("  ~/apps/kv/ "), "/home/me/apps/kv");
    EXPECT_EQ(kv::setup::ExpandTarget("apps/./x/../kv"), "/home/me/apps/kv");
    EXPECT_EQ(kv::setup::ExpandTarget("/opt//korvalen/"), "/opt/korvalen");
    EXPECT_EQ(kv::setup::ExpandTarget("   "), "");
}

}  // namespace
}  // namespace kvsetup
