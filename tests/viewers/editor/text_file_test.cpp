// The editor's file: binary files refused, the line ending and encoding found and written
// back as they were, and a save that cannot finish leaves the old file whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "viewers/editor/text_file.h"

namespace kv::editor {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(TextFile, FormatFoundAndKeptOnTheWayBack) {
    struct Row {
        const char* what;
        std::string bytes;
        std::string utf8;
        TextFormat format;
    } rows[] = {
        {"LF", "one\ntwo\n", "one\ntwo\n", {LineEnding::Lf, TextEncoding::Utf8, false}},
        {"CR LF", "one\r\ntwo\r\n", "one\ntwo\n", {LineEnding::CrLf, TextEncoding::Utf8, false}},
        {"CR", "one\rtwo", "one\ntwo", {LineEnding::Cr, TextEncoding::Utf8, false}},
        {"no break", "single", "single", {LineEnding::Lf, TextEncoding::Utf8, false}},
        {"empty", "", "", {LineEnding::Lf, TextEncoding::Utf8, false}},
        {"BOM", "\xEF\xBB\xBFtext\r\n", "text\n", {LineEnding::CrLf, TextEncoding::Utf8, true}},
        {"UTF-8",
         "\xD0\x9F\xD1\x80\xD0\xB8\n",
         "\xD0\x9F\xD1\x80\xD0\xB8\n",
         {LineEnding::Lf, TextEncoding::Utf8, false}},
        {"Windows-1251",
         "\xCF\xF0\xE8\xE2\xE5\xF2\r\n\xB9 1\r\n",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n\xE2\x84\x96 1\n",
         {LineEnding::CrLf, TextEncoding::Cp1251, false}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const DecodedText d = decodeText(r.bytes);
        EXPECT_EQ(d.utf8, r.utf8);
        EXPECT_EQ(d.format, r.format);
        EXPECT_EQ(encodeText(d.utf8, d.format).value_or("<none>"), r.bytes);
    }
    // A file mostly in CR LF with one stray LF is saved all in CR LF.
    const DecodedText mixed = decodeText("a\r\nb\r\nc\nd\r\n");
    EXPECT_EQ(mixed.format.lineEnding, LineEnding::CrLf);
    EXPECT_EQ(*encodeText(mixed.utf8, mixed.format), "a\r\nb\r\nc\r\nd\r\n");
    // Windows-1251 has no byte for a Chinese character: no silent loss.
    EXPECT_FALSE(encodeText("\xE4\xB8\xAD", {LineEnding::Lf, TextEncoding::Cp1251, false}).has_value());
    EXPECT_EQ(*encodeText("\xE2\x82\xAC", {LineEnding::Lf, TextEncoding::Cp1251, false}), "\x88");
}

TEST(TextFile, OnlyTextReachesTheEditor) {
    test::TempDir dir;
    spit(dir / "text.txt", "hello\n");
    spit(dir / "late-nul.txt", std::string(100000, 'a') + '\0' + "b");  // past the panel's 64 KiB probe
    std::filesystem::create_directory(dir / "folder");
    ::mkfifo((dir / "pipe").c_str(), 0600);
    struct Row {
        const char* name;
        bool ok, notText;
    } rows[] = {
        {"text.txt", true, false}, {"late-nul.txt", false, true}, {"folder", false, true},
        {"pipe", false, true},     {"missing", false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const ReadResult res = readTextFile(dir / r.name);
        EXPECT_EQ(res.ok, r.ok);
        EXPECT_EQ(res.notText, r.notText);
        if (!r.ok) {
            EXPECT_FALSE(res.error.empty());
        }
    }
    // Sparse, so the test writes nothing: 64 MiB and a byte is over the editor's limit.
    { std::ofstream big(dir / "big.txt", std::ios::binary); }
    std::filesystem::resize_file(dir / "big.txt", kMaxEditorFileBytes + 1);
    EXPECT_TRUE(readTextFile(dir / "big.txt").notText);
}

// What is left in the folder after a save: the target and nothing else (no temporary).
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

void expectFailedSaveKeepsOldFile(const std::string& folder) {
    const std::string path = folder + "/notes.txt";
    const std::string old = "the old text\r\n";
    spit(path, old);
    const SaveResult r = saveTextFile(path, std::string(256 * 1024, 'x'));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("notes.txt"), std::string::npos) << r.error;
    EXPECT_EQ(slurp(path), old);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"notes.txt"});
    // A save that fits still works there.
    EXPECT_TRUE(saveTextFile(path, "new\r\n").ok);
    EXPECT_EQ(slurp(path), "new\r\n");
}

TEST(TextFile, SaveIntoAFullFileSystemKeepsTheOldFile) {
    test::TempDir dir;
    const std::string mnt = dir / "small";
    std::filesystem::create_directory(mnt);
    if (::geteuid() != 0 || ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    expectFailedSaveKeepsOldFile(mnt);
    ::umount2(mnt.c_str(), MNT_DETACH);
}

TEST(TextFile, SaveOverTheFileSizeLimitKeepsTheOldFile) {
    // The same fault without a mount: writes past RLIMIT_FSIZE fail with EFBIG.
    test::TempDir dir;
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    expectFailedSaveKeepsOldFile(dir.path());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &old, nullptr);
}

}  // namespace
}  // namespace kv::editor
