// What the quick view makes of each kind of entry, without a window.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "exe/pe_builder.h"
#include "support/temp_dir.h"
#include "viewers/quick_view/quick_view_content.h"

namespace {

namespace fs = std::filesystem;
using kv::quickview::Content;
using kv::quickview::ContentKind;
using kv::quickview::describeEntry;

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool anyLineHas(const Content& c, const std::string& part) {
    return std::any_of(c.lines.begin(), c.lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

struct KindCase {
    const char* what;
    std::function<std::string(const kv::test::TempDir&)> make;  // answers the path to describe
    ContentKind kind;
    std::string heading;  // a part of the heading
    std::string line;     // a part of some line ("" for none)
};

const KindCase kKinds[] = {
    {"UTF-8 text: tabs expanded, controls made visible",
     [](const kv::test::TempDir& d) {
         return d.file("utf8.txt", "\xd0\xbf\xd1\x80\xd0\xb8\tx\x1b\nsecond\n");
     },
     ContentKind::Text, "UTF-8", "\xd0\xbf\xd1\x80\xd0\xb8     x\xe2\x90\x9b"},
    {"Windows-1251 text",
     [](const kv::test::TempDir& d) { return d.file("cp1251.txt", "\xcf\xf0\xe8\xe2\xe5\xf2\r\n"); },
     ContentKind::Text, "Windows-1251", "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"},
    {"a PNG, known by its bytes whatever its name",
     [](const kv::test::TempDir& d) {
         QImage image(40, 30, QImage::Format_RGB32);
         image.fill(Qt::red);
         const std::string path = d / "picture.dat";
         image.save(QString::fromStdString(path), "PNG");
         return path;
     },
     ContentKind::Picture, "Picture", ""},
    {"a ZIP: names with sizes and the count",
     [](const kv::test::TempDir& d) {
         d.file("a.txt", "hello");
         fs::create_directories(d / "sub");
         d.file("sub/b.txt", std::string(1500, 'b'));
         const std::string zip = d / "pack.zip";
         const std::string cmd = "cd '" + d.path() + "' && zip -qr pack.zip a.txt sub";
         EXPECT_EQ(std::system(cmd.c_str()), 0);
         return zip;
     },
     ContentKind::Archive, "ZIP archive, 2 entries", "sub/b.txt\t1,500"},
    {"text under an archive's name is shown as text",
     [](const kv::test::TempDir& d) { return d.file("notes.zip", "not really a zip\n"); }, ContentKind::Text,
     "UTF-8", "not really a zip"},
    {"a Windows executable: its resource tree",
     [](const kv::test::TempDir& d) {
         const auto pe = kv::test::buildPe(kv::test::oneResource().b);
         const std::string path = d / "tool.exe";
         writeBytes(path, std::string(pe.begin(), pe.end()));
         return path;
     },
     ContentKind::Executable, "resources", "RCData"},
    {"\"MZ\" without a PE header is only binary",
     [](const kv::test::TempDir& d) {
         const std::string path = d / "fake.exe";
         writeBytes(path, std::string("MZ\0\0\0\0", 6) + std::string(100, '\1'));
         return path;
     },
     ContentKind::Hex, "Binary", ""},
    {"a folder: files, folders and bytes below it",
     [](const kv::test::TempDir& d) {
         fs::create_directories(d / "tree/inner/deeper");
         d.file("tree/one", "12345");
         d.file("tree/inner/two", std::string(2000, 'z'));
         fs::create_symlink("/", d / "tree/inner/root-link");  // its own 1 byte, never followed
         return d / "tree";
     },
     ContentKind::Folder, "Folder", "Bytes: 2,006"},
    {"a fifo is named, not opened",
     [](const kv::test::TempDir& d) {
         const std::string path = d / "pipe";
         EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
         return path;
     },
     ContentKind::Special, "fifo", ""},
    {"a link to a fifo is not opened either",
     [](const kv::test::TempDir& d) {
         const std::string path = d / "pipe2";
         EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
         fs::create_symlink(path, d / "pipe-link");
         return d / "pipe-link";
     },
     ContentKind::Special, "fifo", ""},
    {"a dangling link",
     [](const kv::test::TempDir& d) {
         fs::create_symlink(d / "nowhere", d / "dangling");
         return d / "dangling";
     },
     ContentKind::Error, "missing", ""},
};

TEST(QuickViewContent, EachKindOfEntry) {
    for (const KindCase& k : kKinds) {
        SCOPED_TRACE(k.what);
        kv::test::TempDir dir("kv_qv");
        const Content c = describeEntry(k.make(dir));
        EXPECT_EQ(c.kind, k.kind);
        EXPECT_NE(c.heading.find(k.heading), std::string::npos) << c.heading;
        if (!k.line.empty()) {
            EXPECT_TRUE(anyLineHas(c, k.line)) << (c.lines.empty() ? "" : c.lines.front());
        }
    }
}

TEST(QuickViewContent, FolderCountsFilesAndFoldersApart) {
    kv::test::TempDir d("kv_qv");
    fs::create_directories(d / "tree/a/b");
    d.file("tree/x", "1");
    d.file("tree/a/y", "22");
    d.file("tree/a/b/z", "333");
    kv::quickview::Progress progress;
    const Content c = describeEntry(d / "tree", {}, &progress);
    EXPECT_EQ(c.files, 3);
    EXPECT_EQ(c.folders, 2);
    EXPECT_EQ(c.totalBytes, 6);
    EXPECT_FALSE(c.cancelled);
    EXPECT_EQ(progress.files.load(), 3);  // the running totals reach the caller

    kv::quickview::Progress stopped;
    stopped.cancel = true;
    EXPECT_TRUE(describeEntry(d / "tree", {}, &stopped).cancelled);
}

// A 10 MB file: only the prefix is read, and a prefix that ends inside a UTF-8 character
// (with no line break to cut at) is still taken for UTF-8, not for Windows-1251. The NUL
// far beyond the prefix does not make it binary.
TEST(QuickViewContent, BigFileReadsOnlyThePrefix) {
    kv::test::TempDir d("kv_qv");
    std::string bytes = "a";
    while (bytes.size() < 70000) bytes += "\xd0\x96";  // "Ж": byte 65536 falls inside one
    bytes.resize(10 * 1024 * 1024, 'x');
    bytes[5 * 1024 * 1024] = '\0';
    const std::string path = d / "big.log";
    writeBytes(path, bytes);
    const Content c = describeEntry(path);
    EXPECT_EQ(c.kind, ContentKind::Text);
    EXPECT_EQ(c.heading, "Text, UTF-8");
    // The prefix, and the row it ends in (the first row here: a line longer than a row can
    // hold ends at its first whole character past 64 KiB).
    EXPECT_EQ(c.bytesRead, 64u * 1024 + 1);
    EXPECT_EQ(c.fileSize, bytes.size());
    EXPECT_TRUE(c.truncated);
    ASSERT_FALSE(c.lines.empty());
    EXPECT_LE(c.lines.front().size(), kv::quickview::Limits{}.maxLineBytes);
    EXPECT_TRUE(c.lines.front().starts_with("a\xd0\x96\xd0\x96"));
    // The cut line ends on a whole character.
    EXPECT_EQ(c.lines.front().back(), '\x96');
}

TEST(QuickViewContent, BinaryFileGivesItsFirstBytes) {
    kv::test::TempDir d("kv_qv");
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    const std::string path = d / "blob.bin";
    writeBytes(path, bytes);
    const Content c = describeEntry(path);
    EXPECT_EQ(c.kind, ContentKind::Hex);
    ASSERT_EQ(c.bytes.size(), 64u * 1024);
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), bytes.begin(),
                           [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
}

TEST(QuickViewContent, ArchiveKeepsTheFirstNamesAndCountsAll) {
    kv::test::TempDir d("kv_qv");
    fs::create_directories(d / "many");
    for (int i = 0; i < 30; ++i) d.file("many/f" + std::to_string(100 + i), "x");
    ASSERT_EQ(std::system(("cd '" + d.path() + "/many' && zip -q ../many.zip f1*").c_str()), 0);
    kv::quickview::Limits limits;
    limits.archiveNames = 10;
    const Content c = describeEntry(d / "many.zip", limits);
    EXPECT_EQ(c.kind, ContentKind::Archive);
    EXPECT_EQ(c.files, 30);
    EXPECT_EQ(c.totalBytes, 30);
    EXPECT_EQ(c.lines.size(), 10u);
    EXPECT_TRUE(c.truncated);
}

TEST(QuickViewContent, GroupDigits) {
    const std::pair<std::int64_t, const char*> cases[] = {{0, "0"},
                                                          {999, "999"},
                                                          {1000, "1,000"},
                                                          {1234567, "1,234,567"},
                                                          {-12345, "-12,345"},
                                                          {INT64_MIN, "-9,223,372,036,854,775,808"}};
    for (const auto& [n, text] : cases) EXPECT_EQ(kv::quickview::groupDigits(n), text) << n;
}

}  // namespace
