// TAR extraction of hand-made headers no archiver would write: long names from the ustar
// prefix, GNU long-name records and pax headers (and each of them lying), sizes near 2^64,
// checksums that lie, links out of the target. Every case must end in a named failure of
// that entry or a stop of the walk, never in a file outside the target folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "archive/base/messages.h"
#include "archive/base/util.h"
#include "archive/kelmo/kelmo.h"
#include "archive/untar/un_tar.h"
#include "fixture_util.h"
#include "hand_archives.h"
#include "unzip/test_unzip_util.h"

namespace kv::unzip_test {
namespace {

using Bytes = std::vector<uint8_t>;
using Tree = std::map<std::string, std::string>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A file; a name longer than the name field goes in a GNU long-name record before it.
Bytes file(const std::string& name, const std::string& content, std::vector<TarField> raw = {}) {
    Bytes out;
    if (name.size() > 100) appendTarRecord(out, tarHeader("././@LongLink", 'L', name.size()), bytes(name));
    appendTarRecord(out, tarHeader(name, '0', content.size(), raw), bytes(content));
    return out;
}

// A record whose data is `data` but whose size field says `declared`.
Bytes record(char type, const std::string& data, uint64_t declared,
             const std::string& name = "././@LongLink") {
    Bytes out;
    appendTarRecord(out, tarHeader(name, type, declared), bytes(data));
    return out;
}
Bytes record(char type, const std::string& data) { return record(type, data, data.size()); }

// One pax record, its length counted as the format does.
std::string paxRecord(const std::string& key, const std::string& value) {
    const std::string body = " " + key + "=" + value + "\n";
    size_t len = body.size() + 1;
    while (std::to_string(len).size() + body.size() != len) ++len;
    return std::to_string(len) + body;
}

Bytes end() { return Bytes(1024, 0); }

// A base-256 number in a 12-byte field.
std::vector<uint8_t> base256(uint64_t v) {
    std::vector<uint8_t> f(12, 0);
    f[0] = 0x80;
    for (int i = 11; i >= 4; --i, v >>= 8) f[size_t(i)] = uint8_t(v);
    return f;
}

Tree treeOf(const fs::path& root) {
    Tree tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().lexically_relative(root).string();
        if (it->is_symlink()) {
            tree[rel] = "-> " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            tree[rel] = "/";
        } else {
            std::ifstream in(it->path(), std::ios::binary);
            tree[rel] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

struct Result {
    Tree out;                   // what the target folder holds
    Tree box;                   // what the folder around it holds besides the target and the archive
    std::vector<int> failures;  // message ids of the failed entries, in order
    bool incomplete = false;
    int lastError = 0;
};

Result extractTar(const Bytes& archive) {
    TempDir t;
    writeFile(t.path() / "a.tar", archive);
    fs::create_directories(t.path() / "out");
    TUnTAR x;
    x.setArchiveFile((t.path() / "a.tar").string());
    x.setExtractDir((t.path() / "out").string());
    x.Activate();
    Result r;
    r.out = treeOf(t.path() / "out");
    r.box = treeOf(t.path());
    std::erase_if(r.box, [](const auto& kv) { return kv.first == "a.tar" || kv.first.rfind("out", 0) == 0; });
    for (const auto& f : x.Failures) r.failures.push_back(f.id);
    r.incomplete = x.DirectoryIncomplete;
    r.lastError = x.LastError;
    return r;
}

const std::string kLong = std::string(60, 'd') + "/" + std::string(70, 'n') + ".txt";  // 135 bytes

TEST(TarExtract, LongNamesFromEveryExtensionAreUsedWhole) {
    struct Case {
        const char* what;
        Bytes archive;
        Tree expected;
    };
    const Tree wanted{{kLong.substr(0, 60), "/"}, {kLong, "long"}, {"after.txt", "after"}};
    const std::vector<Case> cases = {
        {"a GNU long-name record",
         cat({record('L', kLong + '\0'), file(kLong.substr(0, 100), "long"), file("after.txt", "after"),
              end()}),
         wanted},
        {"a GNU long name without its NUL",
         cat({record('L', kLong), file("x", "long"), file("after.txt", "after"), end()}), wanted},
        {"a pax path",
         cat({record('x', paxRecord("mtime", "1.5") + paxRecord("path", kLong)), file("x", "long"),
              file("after.txt", "after"), end()}),
         wanted},
        {"a pax path outranks a GNU long name",
         cat({record('L', "other/name.txt"), record('x', paxRecord("path", kLong)), file("x", "long"),
              file("after.txt", "after"), end()}),
         wanted},
        {"a ustar prefix",
         cat({file(kLong.substr(61), "long", {{345, bytes(kLong.substr(0, 60))}}), file("after.txt", "after"),
              end()}),
         wanted},
        {"a pax size for data the size field cannot hold",
         cat({record('x', paxRecord("size", "4")), file("sized.bin", "data", {{124, bytes("00000000000")}}),
              file("after.txt", "after"), end()}),
         {{"sized.bin", "data"}, {"after.txt", "after"}}},
        {"an old folder record: a file whose name ends in \"/\"",
         cat({file("olddir/", ""), file("olddir/in.txt", "in"), end()}),
         {{"olddir", "/"}, {"olddir/in.txt", "in"}}},
        {"the extension records apply to the next entry only",
         cat({record('L', "first.txt"), file("x", "1"), file("second.txt", "2"), end()}),
         {{"first.txt", "1"}, {"second.txt", "2"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = extractTar(c.archive);
        EXPECT_EQ(r.out, c.expected);
        EXPECT_TRUE(r.failures.empty());
        EXPECT_FALSE(r.incomplete);
    }
}

// Names from any source that would leave the target, or cannot be stored, fail for their
// own entry; the next entry still extracts.
TEST(TarExtract, HostileNamesFailTheirEntryOnly) {
    struct Case {
        const char* what;
        Bytes records;  // the hostile entry
        int id;
    };
    const std::string tooLong(kMaxNameBytes + 10, 'a');
    Bytes folder;
    appendTarRecord(folder, tarHeader("dir/", '5', 0), {});
    const std::vector<Case> cases = {
        {"\"..\" in the name field", file("../evil.txt", "x"), msg::InvalidFileName},
        {"an absolute name", file("/tmp/kv-tar-evil.txt", "x"), msg::InvalidFileName},
        {"\"..\" in a pax path over a harmless name",
         cat({record('x', paxRecord("path", "../evil.txt")), file("harmless", "x")}), msg::InvalidFileName},
        {"an absolute pax path",
         cat({record('x', paxRecord("path", "/tmp/kv-tar-evil.txt")), file("harmless", "x")}),
         msg::InvalidFileName},
        {"a pax path with a NUL inside",
         cat({record('x', paxRecord("path", std::string("ok\0/../../evil", 14))), file("harmless", "x")}),
         msg::InvalidFileName},
        {"a pax path longer than any name",
         cat({record('x', paxRecord("path", tooLong)), file("harmless", "x")}), msg::InvalidFileName},
        {"\"..\" in a GNU long name", cat({record('L', "sub/../../evil.txt"), file("harmless", "x")}),
         msg::InvalidFileName},
        {"a GNU long name longer than any name", cat({record('L', tooLong), file("harmless", "x")}),
         msg::InvalidFileName},
        {"\"..\" in a ustar prefix", file("evil.txt", "x", {{345, bytes("..")}}), msg::InvalidFileName},
        {"a pax record longer than its header", cat({record('x', "99 path=evil\n"), file("harmless", "x")}),
         msg::BadFileHeader},
        {"a pax record longer than its header, before a folder", cat({record('x', "99 path=evil\n"), folder}),
         msg::BadFileHeader},
        {"a pax record without its newline", cat({record('x', "12 path=evil"), file("harmless", "x")}),
         msg::BadFileHeader},
        {"a pax record whose length is all digits",
         cat({record('x', std::string(40, '9')), file("harmless", "x")}), msg::BadFileHeader},
        {"a pax size that is no number", cat({record('x', paxRecord("size", "12x")), file("harmless", "x")}),
         msg::BadFileHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = extractTar(cat({c.records, file("after.txt", "after"), end()}));
        EXPECT_EQ(r.out, (Tree{{"after.txt", "after"}}));
        EXPECT_TRUE(r.box.empty());
        EXPECT_EQ(r.failures, std::vector<int>{c.id});
        EXPECT_FALSE(r.incomplete);
    }
    EXPECT_FALSE(fs::exists("/tmp/kv-tar-evil.txt"));
}

// A link record (no data), its size field laid over with sizeField when given.
Bytes link(char type, const std::string& name, const std::string& target, Bytes sizeField = {}) {
    std::vector<TarField> raw = {{157, bytes(target)}};
    if (!sizeField.empty()) raw.push_back({124, sizeField});
    Bytes out;
    appendTarRecord(out, tarHeader(name, type, 0, raw), {});
    return out;
}

// Sizes no archive can hold and checksums that lie stop the walk with a message; what came
// before them is extracted, nothing after them is tried, and nothing is allocated by them.
// The listing stops there too, and never shows a size the archive cannot hold.
TEST(TarExtract, ImpossibleHeadersStopTheWalk) {
    struct Case {
        const char* what;
        Bytes records;
        int id;
    };
    Bytes hugeName;
    appendTarRecord(hugeName, tarHeader("././@LongLink", 'L', 0, {{124, base256(1ull << 40)}}),
                    bytes("a.txt"));
    Bytes badSum;
    appendTarRecord(badSum, tarHeader("next.txt", '0', 4, {}, true), bytes("next"));
    const std::vector<Case> cases = {
        {"a base-256 size near 2^64", file("big", "", {{124, base256(~0ull - 100)}}), msg::BadFileHeader},
        {"a base-256 size of -1", file("big", "", {{124, Bytes(12, 0xFF)}}), msg::BadFileHeader},
        {"a base-256 size below zero",
         file("big", "x", {{124, Bytes{0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}}), msg::BadFileHeader},
        {"a base-256 size past 2^63", file("big", "", {{124, base256(1ull << 63)}}), msg::BadFileHeader},
        {"a hard link whose size is larger than the archive",
         link('1', "h", "first.txt", base256(1ull << 40)), msg::BadFileHeader},
        {"a symbolic link whose size is below zero", link('2', "s", "t", Bytes(12, 0xFF)),
         msg::BadFileHeader},
        {"a base-256 size just past the file", file("big", "", {{124, base256(1 << 20)}}), msg::ReadError},
        {"an octal size past the file", record('0', "abc", 077777777777, "big"), msg::ReadError},
        {"a GNU long name that says it is 2^40 bytes long", cat({hugeName, file("x", "x")}), msg::ReadError},
        {"a pax header that says it is 2^64 bytes long",
         cat({record('x', paxRecord("path", "p.txt"), ~0ull, "PaxHeaders/x"), file("x", "x")}),
         msg::ReadError},
        {"a pax size near 2^64",
         cat({record('x', paxRecord("size", "18446744073709551000")), file("x", "x")}), msg::BadFileHeader},
        {"a pax size past 2^64",
         cat({record('x', paxRecord("size", "99999999999999999999")), file("x", "x")}),
         0},  // the record is refused: the entry fails, the walk goes on
        {"a header checksum that lies", badSum, msg::HeaderCrcError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r =
            extractTar(cat({file("first.txt", "first"), c.records, file("after.txt", "after"), end()}));
        EXPECT_TRUE(r.box.empty());
        if (c.id == 0) {
            EXPECT_EQ(r.out, (Tree{{"first.txt", "first"}, {"after.txt", "after"}}));
            EXPECT_EQ(r.failures, std::vector<int>{msg::BadFileHeader});
            continue;
        }
        EXPECT_EQ(r.out, (Tree{{"first.txt", "first"}}));
        EXPECT_TRUE(r.incomplete);
        EXPECT_EQ(r.lastError, c.id);

        TempDir t;
        writeFile(t.path() / "a.tar",
                  cat({file("first.txt", "first"), c.records, file("after.txt", "after"), end()}));
        TKelmo k;
        std::vector<std::pair<std::string, uint64_t>> listed;
        k.OnRead = [&](TZipCommon& z, int64_t, int) { listed.emplace_back(z.FileName, z.UnpackedSize); };
        k.setArchiveFile((t.path() / "a.tar").string());
        EXPECT_FALSE(k.Activate());
        EXPECT_EQ(k.LastError, c.id);
        EXPECT_EQ(listed, (std::vector<std::pair<std::string, uint64_t>>{{"first.txt", 5}}));
    }
}

// A pax header may hold millions of five-byte records; reading each with its own call to
// the file took minutes for an archive of some hundred MiB.
// The read calls this process has made so far (-1 where the kernel does not say).
long readCalls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long value = 0;
    while (io >> key >> value)
        if (key == "syscr:") return value;
    return -1;
}

TEST(TarExtract, AHugeHeaderOfTinyPaxRecordsIsReadWithFewCalls) {
    std::string records;
    for (int i = 0; i < (16 << 20) / 5; ++i) records += "5 k=\n";
    const Bytes archive =
        cat({record('x', records + paxRecord("path", "named.txt")), file("x", "data"), end()});
    // Read calls, not time (a sanitizer build is slow): 16 MiB in 64 KiB blocks is a few
    // hundred, where two calls per record were millions.
    const long reads0 = readCalls();
    Result r = extractTar(archive);
    const long reads = readCalls() - reads0;
    if (reads0 >= 0) {
        EXPECT_LT(reads, 20000) << reads;
    }
    EXPECT_EQ(r.out, (Tree{{"named.txt", "data"}}));
}

// A NUL ends the name field: what follows it is padding, whatever it says. Terminal escapes
// are bytes of a name like any other (shown harmlessly by whoever prints them).
TEST(TarExtract, NamesAreTakenAsTheFieldStoresThem) {
    const std::string esc = "\x1b]0;title\x07name.txt";
    Result r = extractTar(cat({file(std::string("good\0../../evil", 15), "g"), file(esc, "e"), end()}));
    EXPECT_EQ(r.out, (Tree{{"good", "g"}, {esc, "e"}}));
    EXPECT_TRUE(r.failures.empty());
}

// A link to "/" or ".." is refused; a file "through" it then lands in a plain folder
// inside the target.
TEST(TarExtract, FilesThroughARefusedLinkStayInside) {
    Result r = extractTar(cat({link('2', "lnk", "/"), file("lnk/tmp/kv-tar-made.txt", "x"),
                               link('2', "up", ".."), file("up/made.txt", "y"), end()}));
    EXPECT_EQ(r.out, (Tree{{"lnk", "/"},
                           {"lnk/tmp", "/"},
                           {"lnk/tmp/kv-tar-made.txt", "x"},
                           {"up", "/"},
                           {"up/made.txt", "y"}}));
    EXPECT_EQ(r.failures, (std::vector<int>{msg::InvalidFileName, msg::InvalidFileName}));
    EXPECT_TRUE(r.box.empty());
    EXPECT_FALSE(fs::exists("/tmp/kv-tar-made.txt"));
}

// Symbolic links come from the link field, a GNU long link name or a pax linkpath (which
// outranks the GNU one); each is made as stored when it stays inside.
TEST(TarExtract, SymbolicLinksTakeTheirTargetFromEveryLinkRecord) {
    const std::string longTarget = std::string(120, 'c') + "/file";
    const std::string longName = "named/" + std::string(110, 'n');
    struct Case {
        const char* what;
        Bytes records;
        Tree made;
    };
    const std::vector<Case> cases = {
        {"the link field", link('2', "s", "a/b.txt"), {{"s", "-> a/b.txt"}}},
        {"a NUL ends the link field",
         link('2', "s", std::string("a/b.txt\0/../../x", 16)),
         {{"s", "-> a/b.txt"}}},
        {"a GNU long link name",
         cat({record('K', longTarget + '\0'), link('2', "s", "cut")}),
         {{"s", "-> " + longTarget}}},
        {"a pax linkpath",
         cat({record('x', paxRecord("linkpath", longTarget)), link('2', "s", "cut")}),
         {{"s", "-> " + longTarget}}},
        {"a pax linkpath outranks a GNU long link name",
         cat({record('K', "other"), record('x', paxRecord("linkpath", longTarget)), link('2', "s", "cut")}),
         {{"s", "-> " + longTarget}}},
        {"a long name and a long link name together",
         cat({record('L', longName), record('K', "../" + longTarget), link('2', "x", "cut")}),
         {{"named", "/"}, {longName, "-> ../" + longTarget}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = extractTar(cat({file(longTarget, "f"), c.records, end()}));
        EXPECT_TRUE(r.failures.empty());
        Tree want{{longTarget.substr(0, 120), "/"}, {longTarget, "f"}};
        want.insert(c.made.begin(), c.made.end());
        EXPECT_EQ(r.out, want);
    }
}

// The lister and the extractor walk the same records: every entry the listing shows is a
// file or link extraction writes under that name, and the other way round; folders and
// special files are not listed.
TEST(TarExtract, TheListingShowsWhatExtractionWrites) {
    struct Case {
        const char* what;
        Bytes records;
        std::vector<std::pair<std::string, uint64_t>> listed;  // name and size, in order
    };
    const std::string longName = std::string(60, 'd') + "/" + std::string(150, 'n') + ".txt";
    const std::vector<Case> cases = {
        {"a ustar prefix", file(kLong.substr(61), "long", {{345, bytes(kLong.substr(0, 60))}}), {{kLong, 4}}},
        {"a GNU long name", cat({record('L', longName + '\0'), file("cut", "long")}), {{longName, 4}}},
        {"a pax path", cat({record('x', paxRecord("path", longName)), file("cut", "long")}), {{longName, 4}}},
        {"a pax path over a GNU long name",
         cat({record('L', "gnu.txt"), record('x', paxRecord("path", longName)), file("cut", "long")}),
         {{longName, 4}}},
        {"a folder by its \"/\" and by its type",
         cat({file("old/", ""), link('5', "new/", ""), file("old/f", "f")}),
         {{"old/f", 1}}},
        {"a pax size over a size field of 0",
         cat({record('x', paxRecord("size", "600")),
              file("big.bin", std::string(600, 'b'), {{124, bytes("00000000000")}})}),
         {{"big.bin", 600}}},
        {"a contiguous file", record('7', "seven", 5, "seven.txt"), {{"seven.txt", 5}}},
        {"links with long names",
         cat({file(longName, "long"), record('L', longName + ".lnk"), record('K', longName),
              link('2', "s", "cut"),
              record('x', paxRecord("path", longName + ".hard") + paxRecord("linkpath", longName)),
              link('1', "h", "cut")}),
         {{longName, 4}, {longName + ".lnk", 0}, {longName + ".hard", 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes archive = cat({c.records, file("after.txt", "after"), end()});
        TempDir t;
        writeFile(t.path() / "a.tar", archive);
        TKelmo k;
        std::vector<std::pair<std::string, uint64_t>> listed;
        k.OnRead = [&](TZipCommon& z, int64_t, int) { listed.emplace_back(z.FileName, z.UnpackedSize); };
        int errors = 0;
        k.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int) {
            ++errors;
        };
        k.setArchiveFile((t.path() / "a.tar").string());
        ASSERT_TRUE(k.Activate());
        EXPECT_EQ(errors, 0);
        std::vector<std::pair<std::string, uint64_t>> want = c.listed;
        want.emplace_back("after.txt", 5);
        EXPECT_EQ(listed, want);

        Result r = extractTar(archive);
        EXPECT_TRUE(r.failures.empty());
        std::vector<std::string> written, shown;
        for (const auto& [name, what] : r.out)
            if (what != "/") written.push_back(name);
        for (const auto& [name, size] : listed) shown.push_back(name);
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(shown, written);
    }
}

// A hard link is written as a copy of the earlier entry it names, read again from the
// archive; whatever it names that this archive did not store before it, or that could lead
// out of the target, fails the link alone.
TEST(TarExtract, HardLinksStandForTheEarlierEntryTheyName) {
    const Bytes base = cat({file("data/a.txt", "alpha"), link('2', "data/s", "a.txt")});
    struct Case {
        const char* what;
        Bytes records;
        Tree made;  // besides the base entries
        std::vector<int> failures;
    };
    const std::string longName = std::string(130, 'l') + ".txt";
    const std::vector<Case> cases = {
        {"a link to an earlier file", link('1', "h.txt", "data/a.txt"), {{"h.txt", "alpha"}}, {}},
        {"a link to a link to a file",
         cat({link('1', "h1", "data/a.txt"), link('1', "h2", "h1")}),
         {{"h1", "alpha"}, {"h2", "alpha"}},
         {}},
        {"a link to an earlier symbolic link", link('1', "data/h", "data/s"), {{"data/h", "-> a.txt"}}, {}},
        {"a GNU long link name",
         cat({file(longName, "long"), record('K', longName), link('1', "h", "cut")}),
         {{longName, "long"}, {"h", "long"}},
         {}},
        {"a pax linkpath",
         cat({file(longName, "long"), record('x', paxRecord("linkpath", longName)), link('1', "h", "cut")}),
         {{longName, "long"}, {"h", "long"}},
         {}},
        {"the later of two entries of one name",
         cat({file("twice", "first"), file("twice", "second"), link('1', "h", "twice")}),
         {{"twice", "second"}, {"h", "second"}},
         {}},
        {"a folder", cat({link('5', "d/", ""), link('1', "h", "d")}), {{"d", "/"}}, {msg::FileNotFound}},
        {"a name the archive does not hold", link('1', "h", "missing.txt"), {}, {msg::FileNotFound}},
        {"a name that comes only later",
         cat({link('1', "h", "later"), file("later", "l")}),
         {{"later", "l"}},
         {msg::FileNotFound}},
        {"itself", link('1', "self", "self"), {}, {msg::FileNotFound}},
        {"\"..\"",
         cat({file("../x", "x"), link('1', "h", "../x")}),
         {},
         {msg::InvalidFileName, msg::InvalidFileName}},
        {"an absolute name", link('1', "h", "/etc/passwd"), {}, {msg::InvalidFileName}},
        {"a NUL ends the link field",
         link('1', "h", std::string("data/a.txt\0/../../x", 19)),
         {{"h", "alpha"}},
         {}},
        {"a pax linkpath with a NUL inside",
         cat({record('x', paxRecord("linkpath", std::string("data/a.txt\0x", 12))),
              link('1', "h", "data/a.txt")}),
         {},
         {msg::InvalidFileName}},
        {"a link name longer than any name",
         cat({record('K', std::string(kMaxNameBytes + 10, 'k')), link('1', "h", "data/a.txt")}),
         {},
         {msg::InvalidFileName}},
        {"a damaged link record",
         cat({record('x', "99 linkpath=x\n"), link('1', "h", "data/a.txt")}),
         {},
         {msg::BadFileHeader}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = extractTar(cat({base, c.records, file("after.txt", "after"), end()}));
        Tree want{{"data", "/"}, {"data/a.txt", "alpha"}, {"data/s", "-> a.txt"}, {"after.txt", "after"}};
        for (const auto& [k, v] : c.made) want[k] = v;
        EXPECT_EQ(r.out, want);
        EXPECT_EQ(r.failures, c.failures);
        EXPECT_TRUE(r.box.empty());
        EXPECT_FALSE(r.incomplete);
    }
}

// A hard link to a symbolic link that points out is no way around the link check.
TEST(TarExtract, AHardLinkToARefusedSymbolicLinkIsRefusedToo) {
    Result r =
        extractTar(cat({link('2', "out", "../.."), link('1', "again", "out"), file("again/x", "x"), end()}));
    EXPECT_EQ(r.failures.size(), 2u);
    EXPECT_EQ(r.out, (Tree{{"again", "/"}, {"again/x", "x"}}));
    EXPECT_TRUE(r.box.empty());
}

// A hard link to a file this job wrote is a second name of that file, as tar makes it; with
// nothing written for the name it links to (only the link selected), it is a copy. No
// temporary name is left behind, also where the link replaces a file that was there.
TEST(TarExtract, HardLinksAreSecondNamesOfTheFilesThisJobWrote) {
    const Bytes archive =
        cat({file("data/a.txt", "alpha"), link('1', "h", "data/a.txt"), link('1', "h2", "h"),
             file("twice", "first"), link('1', "t", "twice"), file("twice", "second"), end()});
    TempDir t;
    writeFile(t.path() / "a.tar", archive);
    const fs::path out = t.path() / "out";
    fs::create_directories(out);
    writeFile(out / "h", Bytes{'o', 'l', 'd'});  // replaced by the link
    auto extract = [&](std::function<bool(std::string&)> select) {
        TUnTAR x;
        x.setArchiveFile((t.path() / "a.tar").string());
        x.setExtractDir(out.string());
        x.SelectEntry = std::move(select);
        x.Activate();
        return x.FailedCount;
    };
    auto inode = [](const fs::path& p) {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        return std::pair<ino_t, nlink_t>(st.st_ino, st.st_nlink);
    };
    ASSERT_EQ(extract({}), 0);
    EXPECT_EQ(treeOf(out), (Tree{{"data", "/"},
                                 {"data/a.txt", "alpha"},
                                 {"h", "alpha"},
                                 {"h2", "alpha"},
                                 {"twice", "second"},
                                 {"t", "first"}}));
    EXPECT_EQ(inode(out / "h").first, inode(out / "data/a.txt").first);
    EXPECT_EQ(inode(out / "h2").first, inode(out / "data/a.txt").first);
    EXPECT_EQ(inode(out / "data/a.txt").second, 3u);
    EXPECT_EQ(inode(out / "t").second, 1u) << "its file was replaced by the later entry of that name";

    fs::remove_all(out);
    fs::create_directories(out);
    ASSERT_EQ(extract([](std::string& n) { return n == "h2"; }), 0);
    EXPECT_EQ(treeOf(out), (Tree{{"h2", "alpha"}}));
    EXPECT_EQ(inode(out / "h2").second, 1u);
}

// Every entry that is not extracted is named: devices, fifos and types this reader does not
// know fail with their names (kvarc then ends with 1); a volume label is named as left out;
// a contiguous file is a file, and a GNU folder record a folder.
TEST(TarExtract, EntriesThatAreNoFilesAreNamed) {
    struct Case {
        const char* what;
        char type;
        std::string data;
        const char* made;  // what becomes of it: "" nothing, "/" a folder, else a file's bytes
        int failure;       // its failure's message id (0: none)
        bool skipped;      // named among the entries left out on purpose
        int kvarcStatus;
    };
    const std::vector<Case> cases = {
        {"a character device", '3', "", "", msg::UnknownFileType, false, 1},
        {"a block device", '4', "", "", msg::UnknownFileType, false, 1},
        {"a fifo", '6', "", "", msg::UnknownFileType, false, 1},
        {"a GNU sparse file", 'S', "sparse", "", msg::UnknownFileType, false, 1},
        {"an unknown type", 'Z', "zz", "", msg::UnknownFileType, false, 1},
        {"a contiguous file", '7', "seven", "seven", 0, false, 0},
        {"a volume label", 'V', "", "", 0, true, 0},
        {"a GNU folder record", 'D', "", "/", 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes entry;
        appendTarRecord(entry, tarHeader("node", c.type, c.data.size()), bytes(c.data));
        TempDir t;
        writeFile(t.path() / "a.tar",
                  cat({file("first.txt", "first"), entry, file("after.txt", "after"), end()}));
        TUnTAR x;
        x.setArchiveFile((t.path() / "a.tar").string());
        x.setExtractDir((t.path() / "out").string());
        x.Activate();
        Tree want{{"first.txt", "first"}, {"after.txt", "after"}};
        if (*c.made) want["node"] = c.made;
        EXPECT_EQ(treeOf(t.path() / "out"), want);
        ASSERT_EQ(x.Failures.size(), c.failure ? 1u : 0u);
        if (c.failure) {
            EXPECT_EQ(x.Failures[0].name, "node");
            EXPECT_EQ(x.Failures[0].id, c.failure);
        }
        ASSERT_EQ(x.Skipped.size(), c.skipped ? 1u : 0u);
        if (c.skipped) {
            EXPECT_EQ(x.Skipped[0].name, "node");
        }
        EXPECT_FALSE(x.DirectoryIncomplete);
        // Testing the archive reads the files' data; such entries have none to check.
        TUnTAR tester;
        tester.setArchiveFile((t.path() / "a.tar").string());
        tester.Test();
        EXPECT_EQ(tester.FailedCount, 0);
#ifdef KVARC
        int status = -1;
        const std::string said =
            kvtest::run(std::string(KVARC) + " x " + kvtest::shellQuote((t.path() / "a.tar").string()) + " " +
                            kvtest::shellQuote((t.path() / "cli").string()) + " 2>&1",
                        &status);
        EXPECT_EQ(status, c.kvarcStatus) << said;
        // Each is named in the summary, whatever becomes of it.
        const char* named = c.failure ? "failed: node: " : c.skipped ? "skipped: node: " : nullptr;
        if (named) {
            EXPECT_NE(said.find(named), std::string::npos) << said;
        }
#endif
    }
}

// Whatever links point where, a job writes no more bytes than the listing of its archive
// declares (a link declares none of its own): a link whose file was not written is made
// from the data once, and every later link to that data becomes a second name of that copy.
TEST(TarExtract, LinksNeverWriteMoreThanTheListingDeclares) {
    const std::string one(64 << 10, '1'), two(64 << 10, '2');
    constexpr int kLinks = 100;
    // n hard links named prefix0.., each to `to`, or (chain) each to the one before it.
    auto links = [](const std::string& prefix, const std::string& to, int n, bool chain = false) {
        Bytes out;
        for (int i = 0; i < n; ++i) {
            const Bytes l =
                link('1', prefix + std::to_string(i), chain && i ? prefix + std::to_string(i - 1) : to);
            out.insert(out.end(), l.begin(), l.end());
        }
        return out;
    };
    Bytes fifo;
    appendTarRecord(fifo, tarHeader("pipe", '6', 0), {});
    struct Case {
        const char* what;
        Bytes records;
        std::map<std::string, std::string> links;  // link name prefix and what each holds
        size_t failures;
    };
    const std::vector<Case> cases = {
        {"links to an entry that could not be placed",
         cat({file("blocked/a", one), links("h", "blocked/a", kLinks)}),
         {{"h", one}},
         1},
        {"a chain of links to links",
         cat({file("blocked/a", one), links("h", "blocked/a", kLinks, true)}),
         {{"h", one}},
         1},
        {"links to an entry the user chose to keep the old file of",
         cat({file("kept", one), links("h", "kept", kLinks)}),
         {{"h", one}},
         0},
        {"links to an entry stored again later",
         cat({file("blocked/a", one), links("h", "blocked/a", kLinks), file("blocked/a", two),
              links("g", "blocked/a", kLinks)}),
         {{"h", one}, {"g", two}},
         2},
        {"links to a folder", cat({link('5', "d/", ""), links("h", "d", kLinks)}), {}, kLinks},
        {"links to a fifo", cat({fifo, links("h", "pipe", kLinks)}), {}, kLinks + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        const Bytes archive = cat({c.records, end()});
        writeFile(t.path() / "a.tar", archive);
        const fs::path out = t.path() / "out";
        writeFile(out / "blocked", bytes("a file where the archive wants a folder"));
        writeFile(out / "kept", bytes("the user's"));
        TKelmo k;
        uint64_t declared = 0;
        k.OnRead = [&](TZipCommon& z, int64_t, int) { declared += z.UnpackedSize; };
        k.setArchiveFile((t.path() / "a.tar").string());
        k.Activate();
        TUnTAR x;
        x.setArchiveFile((t.path() / "a.tar").string());
        x.setExtractDir(out.string());
        x.OnFileExists = [](TZipCommon&, const std::string&, const TDateTime&, bool& accept) {
            accept = false;
        };
        x.Activate();
        EXPECT_EQ(x.Failures.size(), c.failures);
        // Bytes of the files the job made, each file once however many names it has.
        std::map<std::pair<dev_t, ino_t>, uint64_t> made;
        for (auto it = fs::recursive_directory_iterator(out); it != fs::recursive_directory_iterator();
             ++it) {
            const std::string rel = it->path().lexically_relative(out).string();
            if (!it->is_regular_file() || rel == "blocked" || rel == "kept") continue;
            struct stat st {};
            ::stat(it->path().c_str(), &st);
            made[{st.st_dev, st.st_ino}] = uint64_t(st.st_size);
        }
        uint64_t written = 0;
        for (const auto& [file, size] : made) written += size;
        EXPECT_LE(written, declared);
        for (const auto& [prefix, content] : c.links)
            for (int i = 0; i < kLinks; ++i) {
                const fs::path l = out / (prefix + std::to_string(i));
                ASSERT_TRUE(fs::is_regular_file(l)) << l;
                EXPECT_EQ(readAll(l), bytes(content)) << l;
            }
        EXPECT_EQ(readAll(out / "kept"), bytes("the user's"));
    }
}

}  // namespace
}  // namespace kv::unzip_test
