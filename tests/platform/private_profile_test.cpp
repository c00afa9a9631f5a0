#include "platform/private_profile.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace kv::platform;

namespace {

// A fresh folder per test, removed afterwards.
class ProfileDir : public ::testing::Test {
protected:
    kv::test::TempDir tmp{"kv_profile"};
    static void put(const fs::path& p, std::string_view text) { std::ofstream(p, std::ios::binary) << text; }
    static std::string get(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        return out;
    }
    fs::path dir = tmp.path();
};

constexpr std::string_view kSample =
    "; written by hand\n"
    "[Global]\n"
    "  Name = Value  \n"
    "Quoted=\"  spaced  \"\n"
    "Single='x'\n"
    "Hex=0x1F\n"
    "HexUpper=0XfF\n"
    "Neg=-12\n"
    "Plus=+7\n"
    "Big=2147483648\n"
    "Small=-2147483648\n"
    "SysColor=0x8000000F\n"
    "Signed=-2147483633\n"
    "TooLongHex=0x100000000\n"
    "Junk=12abc\n"
    "Empty=\n"
    "JustHex=0x\n"
    "Spaces =  42 \n"
    ";Commented=1\n"
    "[other]\n"
    "Name=second\n"
    "[GLOBAL]\n"
    "Late=found\n";

TEST(PrivateProfileRead, StringsFollowTheOldLookupRules) {
    const auto ini = PrivateProfileFile::FromText(kSample);
    struct Case {
        std::string_view section, key, def, want;
    } cases[] = {
        {"global", "NAME", "d", "Value"},         // case-insensitive, trimmed
        {" Global ", "Name", "d", "Value"},       // names are trimmed too
        {"Global", "Quoted", "d", "  spaced  "},  // quotes keep the blanks inside
        {"Global", "Single", "d", "x"},
        {"Global", "Empty", "d", ""},  // present but empty is not missing
        {"Global", "Missing", "dflt", "dflt"},
        {"Nowhere", "Name", "dflt", "dflt"},
        {"other", "name", "d", "second"},   // same key, other section
        {"Global", "Late", "d", "found"},   // a section may appear twice
        {"Global", "Commented", "d", "d"},  // a comment is no key
        {"Global", ";Commented", "d", "d"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.section, c.key, c.def), c.want) << c.section << "/" << c.key;
}

TEST(PrivateProfileRead, IntegersAreDecimalOrHexElseTheDefault) {
    const auto ini = PrivateProfileFile::FromText(kSample);
    struct Case {
        std::string_view key;
        int want;
    } cases[] = {
        {"Hex", 31},
        {"HexUpper", 255},
        {"Neg", -12},
        {"Plus", 7},
        {"Spaces", 42},
        {"Small", -2147483647 - 1},
        {"SysColor", -2147483633},  // system colours keep their top bit
        {"Signed", -2147483633},
        {"Big", 99},
        {"TooLongHex", 99},
        {"Junk", 99},
        {"Empty", 99},
        {"JustHex", 99},
        {"Name", 99},
        {"Missing", 99},
    };
    for (const auto& c : cases) EXPECT_EQ(ini.ReadInteger("Global", c.key, 99), c.want) << c.key;
    EXPECT_TRUE(ini.ReadBool("Global", "Hex", false));
    EXPECT_FALSE(ini.ReadBool("Global", "Junk", false));
    EXPECT_TRUE(ini.ReadBool("Global", "Junk", true));
}

TEST(PrivateProfileRead, ValuesAreCutAt1023CharactersNeverInsideOne) {
    std::string ascii(2000, 'a');
    std::string cyrillic;
    for (int i = 0; i < 1500; ++i) cyrillic += "\xD0\xB6";  // U+0436, two bytes each
    const auto ini = PrivateProfileFile::FromText("[S]\nA=" + ascii + "\nC=" + cyrillic + "\n");
    EXPECT_EQ(ini.ReadString("S", "A", ""), std::string(1023, 'a'));
    EXPECT_EQ(ini.ReadString("S", "C", ""), cyrillic.substr(0, 2 * 1023));
    EXPECT_EQ(ini.ReadString("S", "Missing", ascii).size(), 1023u);
}

TEST(PrivateProfileWrite, ChangesOnlyTheKeyAndKeepsEverythingElse) {
    auto ini = PrivateProfileFile::FromText(
        "; keep me\n"
        "[A]\n"
        "x=1 ; not a comment, part of the value\n"
        "y=2\n"
        "\n"
        "; about B\n"
        "[B]\n"
        "z=3\n");
    ini.WriteString("a", "X", "10");   // existing key, other case
    ini.WriteString("A", "new", "n");  // new key: after the section's last line
    ini.WriteString("C", "k", "v");    // new section at the end
    EXPECT_EQ(ini.Text(),
              "; keep me\n"
              "[A]\n"
              "X=10\n"
              "y=2\n"
              "new=n\n"
              "\n"
              "; about B\n"
              "[B]\n"
              "z=3\n"
              "\n"
              "[C]\n"
              "k=v\n");
    EXPECT_TRUE(ini.dirty());
}

TEST(PrivateProfileWrite, KeepsCrLfAndCannotInjectLines) {
    auto ini = PrivateProfileFile::FromText("[A]\r\nx=1\r\n");
    ini.WriteString("A", "x", "evil\n[B]\r\ny=2");
    EXPECT_EQ(ini.Text(), "[A]\r\nx=evil [B]  y=2\r\n");
    EXPECT_FALSE(ini.KeyExists("B", "y"));

    // Names that would read back as something else are refused.
    const std::pair<std::string_view, std::string_view> refused[] = {
        {"A", "[B]"},    {"A", ";x"},  {"A", "a=b"}, {"A", ""},
        {"A", "k\nz=1"}, {"B]x", "k"}, {"", "k"},    {"A\n[C", "k"}};
    for (const auto& [section, key] : refused) EXPECT_FALSE(ini.WriteString(section, key, "v")) << key;
    EXPECT_EQ(ini.Text(), "[A]\r\nx=evil [B]  y=2\r\n");
}

TEST_F(ProfileDir, OneCallWritesAreReadBackAndMissingFilesReadDefaults) {
    const fs::path f = dir / "kv.ini";
    EXPECT_EQ(GetPrivateProfileString("Global", "Language", "ENGLISH", f), "ENGLISH");
    EXPECT_EQ(GetPrivateProfileInt("Global", "Main_Splitter", 7, f), 7);
    EXPECT_FALSE(fs::exists(f));  // reading creates nothing

    ASSERT_TRUE(WritePrivateProfileString("Global", "Language", "RUSSIAN", f));
    ASSERT_TRUE(WritePrivateProfileString("Global", "Main_Splitter", "0x0A", f));
    EXPECT_EQ(GetPrivateProfileString("global", "language", "", f), "RUSSIAN");
    EXPECT_EQ(GetPrivateProfileInt("Global", "Main_Splitter", 7, f), 10);
    EXPECT_EQ(get(f), "[Global]\nLanguage=RUSSIAN\nMain_Splitter=0x0A\n");
    EXPECT_EQ(names(), std::vector<std::string>{"kv.ini"});  // no temporary file left
}

TEST_F(ProfileDir, ReplaceKeepsTheModeAndWritesThroughALink) {
    const fs::path real = dir / "real.ini";
    const fs::path link = dir / "kv.ini";
    put(real, "[A]\nx=1\n");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink("real.ini", link);

    ASSERT_TRUE(WritePrivateProfileString("A", "x", "2", link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(get(real), "[A]\nx=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Every way a write can fail leaves the old file byte-equal and no temporary file behind.
TEST_F(ProfileDir, AFailedWriteLeavesTheOldFileAsItWas) {
    const std::string old = "; mine\n[A]\nx=1\n";
    const std::string big(64 * 1024, 'b');

    struct Case {
        const char* name;
        fs::path file;
        std::function<bool()> breakIt;  // false: this machine cannot show the failure
        std::function<void()> mend;
    };
    const fs::path readOnly = dir / "ro";
    fs::create_directory(readOnly);
    const fs::path limited = dir / "limited";
    fs::create_directory(limited);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);

    Case cases[] = {
        {"read-only folder", readOnly / "kv.ini",
         [&] {
             ::chmod(readOnly.c_str(), 0555);
             // root writes anyway: probe before trusting the case
             const fs::path probe = readOnly / "probe";
             std::ofstream p(probe);
             if (p) {
                 p.close();
                 fs::remove(probe);
                 return false;
             }
             return true;
         },
         [&] { ::chmod(readOnly.c_str(), 0755); }},
        {"disk full mid-write", limited / "kv.ini",
         [&] {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = saved;
             small.rlim_cur = 4096;
             return ::setrlimit(RLIMIT_FSIZE, &small) == 0;
         },
         [&] {
             ::setrlimit(RLIMIT_FSIZE, &saved);
             std::signal(SIGXFSZ, SIG_DFL);
         }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        put(c.file, old);
        PrivateProfileFile ini(c.file);
        ini.WriteString("A", "big", big);
        if (!c.breakIt()) {
            c.mend();
            continue;
        }
        const ProfileWriteResult r = ini.Commit();
        c.mend();
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(get(c.file), old);
        size_t files = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(c.file.parent_path())) ++files;
        EXPECT_EQ(files, 1u) << "a temporary file was left behind";
    }

    // No folder at all: an error, and nothing appears.
    const auto r = WritePrivateProfileString("A", "x", "1", dir / "missing" / "kv.ini");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(PrivateProfileWrite, AProfileWithoutAFileCannotBeCommitted) {
    auto ini = PrivateProfileFile::FromText("[A]\n");
    ini.WriteString("A", "x", "1");
    EXPECT_FALSE(ini.Commit().ok);
}

}  // namespace
