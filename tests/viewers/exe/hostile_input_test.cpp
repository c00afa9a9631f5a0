// Damaged and hostile executables: every offset, count and size the file declares is
// checked against it. Each case ends with a status, an error or a noted problem, and
// whatever could be read, never a crash, a hang or a read outside the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <sstream>

#include "exe/pe_builder.h"
#include "support/temp_dir.h"
#include "viewers/exe/exe_image.h"
#include "viewers/exe/resource_tree_text.h"

namespace kv::exe {
namespace {

using test::buildPe;
using test::kDir;
using test::oneResource;
using test::PeLayout;
using test::SectionWriter;

// The whole tree as names, walked as the explorer walks it; data items add their size.
std::string tree(TExeImage& image) {
    std::string out;
    std::function<void(TResourceList&, int)> walk = [&](TResourceList& list, int level) {
        for (const auto& item : list.items()) {
            out += std::string(level * 2, ' ') + item->name();
            if (item->isList()) {
                out += "\n";
                walk(*item->subList(), level + 1);
            } else {
                out += " (" + std::to_string(item->rawData().size()) + ")\n";
            }
        }
    };
    if (TResourceList* root = image.resources()) walk(*root, 0);
    return out;
}

std::string problems(const TExeImage& image) {
    std::string out;
    for (const auto& p : image.problems()) out += p + "\n";
    return out;
}

struct HostileCase {
    const char* what;
    std::function<std::vector<std::uint8_t>()> file;
    int status;
    const char* tree;     // expected tree
    const char* problem;  // a part of the noted problems; "" for none
};

const HostileCase kCases[] = {
    {"the sound file the others damage", [] { return buildPe(oneResource().b); }, 0, "RCData\n  1 (4)\n", ""},
    {"a type entry that leads back to the root",
     [] {
         auto s = oneResource();
         s.at(0x18 + 16).entry(1, kDir | 0x00);
         return buildPe(s.b);
     },
     0, "RCData\n  1 (0)\n", "the resource directory at 0x0 contains itself"},
    {"a name entry that leads to its own directory",
     [] {
         auto s = oneResource();
         s.at(0x18 + 16).entry(1, kDir | 0x18);
         return buildPe(s.b);
     },
     0, "RCData\n  1 (0)\n", "contains itself"},
    {"two directories that lead to each other below the names",
     [] {
         auto s = oneResource();
         s.at(0x30 + 16).entry(0x409, kDir | 0x60);
         s.at(0x60).directory(0, 1).entry(1, kDir | 0x30);
         return buildPe(s.b);
     },
     0, "RCData\n  1\n    1033\n      1 (0)\n", "contains itself"},
    {"directories nested past the language level",
     [] {
         auto s = oneResource();
         s.at(0x30 + 16).entry(0x409, kDir | 0x60);
         s.at(0x60).directory(0, 1).entry(2, kDir | 0x78);
         s.at(0x78).directory(0, 1).entry(3, kDir | 0x90);
         s.at(0x90).directory(0, 1).entry(4, 0x48);
         return buildPe(s.b);
     },
     0, "RCData\n  1\n    1033\n      2 (0)\n", "nested deeper than"},
    {"a directory whose count overstates its entries",
     [] {
         // The lying directory ends the section, so no other bytes pass for its entries.
         auto s = oneResource();
         s.at(16).entry(10, kDir | 0x60);
         s.at(0x60).directory(30000, 30000).entry(1, kDir | 0x30);
         return buildPe(s.b);
     },
     0, "RCData\n  1 (4)\n", "the resource directory at 0x60 claims 60000 entries, only 1 fit"},
    {"a data size past the end of the file",
     [] {
         auto s = oneResource();
         s.at(0x48).dataEntry(0x1058, 0xFFFFFFF0);
         return buildPe(s.b);
     },
     0, "RCData\n  1 (0)\n", "lies outside the file"},
    {"a data address below the section",
     [] {
         auto s = oneResource();
         s.at(0x48).dataEntry(0x10, 4);
         return buildPe(s.b);
     },
     0, "RCData\n  1 (0)\n", "lies outside the file"},
    {"a data address that wraps past 4 GiB",
     [] {
         auto s = oneResource();
         s.at(0x48).dataEntry(0xFFFFFFFF, 0xFFFFFFFF);
         return buildPe(s.b);
     },
     0, "RCData\n  1 (0)\n", "lies outside the file"},
    {"a data entry outside the section",
     [] {
         auto s = oneResource();
         s.at(0x30 + 16).entry(0x409, 0x7FFFFFF0);
         return buildPe(s.b);
     },
     0, "RCData\n  1 (0)\n", "data entry at 0x7ffffff0 lies outside"},
    {"a sub-directory outside the section",
     [] {
         auto s = oneResource();
         s.at(16).entry(10, kDir | 0x7FFFFF00);
         return buildPe(s.b);
     },
     0, "RCData (0)\n", "lies outside the resource section"},
    {"a resource section that starts past the end of the file",
     [] { return buildPe(oneResource().b, PeLayout{.rawPointer = 0x7FFFFFFF}); }, 0, "",
     "the resource section (at 0x7fffffff) lies outside the file"},
    {"a resource section longer than the file",
     [] { return buildPe(oneResource().b, PeLayout{.rawSize = 0x7FFFFFFF}); }, 0, "RCData\n  1 (4)\n",
     "the resource section claims 0x7fffffff bytes"},
    {"a section count the file cannot hold",
     [] { return buildPe(oneResource().b, PeLayout{.sectionCount = 65535}); }, 0, "RCData\n  1 (4)\n",
     "the section table claims 65535 sections"},
    {"a name whose text lies outside the section",
     [] {
         auto s = oneResource();
         s.at(0x18).directory(1, 0).entry(0x80000000 | 0x7FFFFFF0, kDir | 0x30);
         return buildPe(s.b);
     },
     0, "RCData\n  ?0x7ffffff0 (4)\n", ""},
    {"a section name in capitals", [] { return buildPe(oneResource().b, PeLayout{.sectionName = ".RSRC"}); },
     0, "RCData\n  1 (4)\n", ""},
    {"no resource section", [] { return buildPe(oneResource().b, PeLayout{.sectionName = ".data"}); }, 3, "",
     ""},
    {"a PE32+ file", [] { return buildPe(oneResource().b, PeLayout{.pe32Plus = true}); }, 0,
     "RCData\n  1 (4)\n", ""},
    {"a 16-bit program",
     [] { return buildPe(oneResource().b, PeLayout{.signature = std::string("NE\0\0", 4)}); }, 2, "", ""},
    {"NT headers past the end of the file",
     [] { return buildPe(oneResource().b, PeLayout{.storedNtOffset = 0x7FFFFFF0}); }, 2, "", ""},
    {"a file that ends inside the NT headers",
     [] {
         auto f = buildPe(oneResource().b);
         f.resize(0x40 + 10);
         return f;
     },
     2, "", ""},
    {"an icon group that claims more images than it holds",
     [] {
         SectionWriter s;
         s.at(0).directory(0, 2).entry(3, kDir | 0x20).entry(14, kDir | 0x50);
         s.at(0x20).directory(0, 1).entry(1, kDir | 0x38);
         s.at(0x38).directory(0, 1).entry(0, 0x80);
         s.at(0x50).directory(0, 1).entry(1, kDir | 0x68);
         s.at(0x68).directory(0, 1).entry(0, 0x90);
         s.at(0x80).dataEntry(0x10B0, 8);
         s.at(0x90).dataEntry(0x10C0, 20);
         s.at(0xB0).put({1, 2, 3, 4, 5, 6, 7, 8});
         s.at(0xC0).put(test::ByteWriter()
                            .u16(0)
                            .u16(1)
                            .u16(5000)
                            .u8(32)
                            .u8(32)
                            .u8(16)
                            .u8(0)
                            .u16(1)
                            .u16(4)
                            .u32(8)
                            .u16(1)
                            .b);
         return buildPe(s.b);
     },
     0, "Icon\n  1\n    32 X 32 16 Colors (8)\n", "claims 5000 images, only 1 are there"},
};

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, EndsWithAStatusOrANoteAndShowsWhatCanBeRead) {
    const HostileCase& c = GetParam();
    TExeImage image("hostile.exe", c.file());
    const std::string shown = tree(image);
    EXPECT_EQ(image.status(), c.status) << c.what;
    EXPECT_EQ(shown, c.tree) << c.what;
    const std::string noted = problems(image);
    if (*c.problem) {
        EXPECT_NE(noted.find(c.problem), std::string::npos) << c.what << ": " << noted;
    } else {
        EXPECT_EQ(noted, "") << c.what;
    }
    // Every item saves without reading outside the file.
    std::function<void(TResourceList&)> save = [&](TResourceList& list) {
        for (const auto& item : list.items()) {
            if (item->isList())
                save(*item->subList());
            else
                EXPECT_GE(item->fileContents().size(), item->rawData().size());
        }
    };
    if (TResourceList* root = image.resources()) save(*root);
}

INSTANTIATE_TEST_SUITE_P(Cases, Hostile, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.what; *p; ++p) name += std::isalnum((unsigned char)*p) ? *p : '_';
    return name;
});

TEST(HostileFile, SharedDirectoriesCannotMultiplyPastTheItemLimit) {
    // 2000 types, each leading to the same directory of 2000 names: four million items if
    // nothing stopped it.
    SectionWriter s;
    s.at(0).directory(0, 2000);
    for (unsigned i = 0; i < 2000; ++i) s.entry(100 + i, kDir | 0x10000);
    s.at(0x10000).directory(0, 2000);
    for (unsigned i = 0; i < 2000; ++i) s.entry(i, kDir | 0x20000);
    s.at(0x20000).directory(0, 1).entry(0, 0x20018);
    s.at(0x20018).dataEntry(0x1000, 4);
    TExeImage image("wide.exe", buildPe(s.b));
    std::size_t items = 0;
    for (const auto& type : image.resources()->items()) items += 1 + type->subList()->count();
    EXPECT_EQ(items, TExeImage::kMaxItems);
    EXPECT_NE(problems(image).find("the rest are left out"), std::string::npos);
}

TEST(HostileFile, OpeningFailuresAreErrorsWithTheirMessages) {
    const test::TempDir dir;
    const auto expectError = [](const std::string& path, const std::string& message) {
        try {
            TExeImage image(path);
            ADD_FAILURE() << path << " opened";
        } catch (const EExeError& e) {
            EXPECT_EQ(e.what(), message);
        }
    };
    expectError(dir / "missing.exe", "Couldn't open: " + dir / "missing.exe");
    expectError(dir.path(), "Couldn't open: " + dir.path());
    const std::string fifo = dir / "fifo.exe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expectError(fifo, "Couldn't open: " + fifo);  // refused at once, never waits for a writer
    expectError(dir.file("empty.exe", ""), "unrecognized file format");
    expectError(dir.file("text.exe", "ZM not a program"), "unrecognized file format");
}

TEST(HostileFile, TreePrinterAnswersWithTheStatus) {
    const test::TempDir dir;
    struct Row {
        std::vector<std::uint8_t> file;
        int code;
        const char* err;
    };
    auto damaged = oneResource();
    damaged.at(0x48).dataEntry(0x1058, 0xFFFFFFF0);
    const Row rows[] = {
        {buildPe(oneResource().b), 0, ""},
        {buildPe(damaged.b), 1, "lies outside the file"},
        {buildPe(oneResource().b, PeLayout{.signature = std::string("NE\0\0", 4)}), 2, "Not a PE file."},
        {buildPe(oneResource().b, PeLayout{.sectionName = ".text"}), 3, "No resources."},
        {{'x'}, 1, "unrecognized file format"},
    };
    for (const Row& r : rows) {
        const std::string path = dir / "f.exe";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(r.file.data()), r.file.size());
        std::ostringstream out, err;
        EXPECT_EQ(printResourceTreeOfFile(path, out, err), r.code) << r.err;
        EXPECT_NE(err.str().find(r.err), std::string::npos) << err.str();
        if (r.code == 0) {
            EXPECT_EQ(out.str(), "RCData\n  1  [Offset: 1058  Size: 4]\n");
        }
    }
}

}  // namespace
}  // namespace kv::exe
