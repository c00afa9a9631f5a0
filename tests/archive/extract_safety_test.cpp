// The safety cases every extractor must pass, run on each archive format through the one
// extraction frame: names and links that would lead out of the target folder, link chains
// that climb out once earlier links exist, files beside an entry that must stay untouched,
// and damaged entries that must never replace an existing file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "archive/base/extract_target.h"
#include "archive/base/messages.h"
#include "archive/kelmo/kelmo.h"
#include "archive/unarc/un_arc.h"
#include "archive/unarj/un_arj.h"
#include "archive/unlha/un_lha.h"
#include "archive/unrar/un_rar.h"
#include "archive/untar/un_tar.h"
#include "archive/unzip/un_zip.h"
#include "flush_counter.h"
#include "hand_archives.h"
#include "unzip/test_unzip_util.h"

namespace kv::unzip_test {
namespace {

constexpr uint32_t kLink = 0120777;

// A format the suite runs on: how to make an archive of hand-made entries (names, data,
// links as Unix mode 0120777, a CRC that does not match), and its extractor. kLinks: the
// format stores symbolic links; where it cannot, link rows are left out of its archives
// and the cases about links alone are skipped. kFolderRecords: folders are records of
// their own (ARC), so a folder named ".." is refused as well as each file in it.
// kDataCrc: the format keeps a checksum of each entry's data (TAR checks its headers only).
struct ZipFormat {
    static constexpr const char* kExt = ".zip";
    static constexpr bool kLinks = true;
    static constexpr bool kFolderRecords = false;
    static constexpr bool kDataCrc = true;
    static std::vector<uint8_t> make(const std::vector<HandEntry>& entries) { return makeZip(entries); }
    static std::unique_ptr<TUnBase> extractor() { return std::make_unique<TUnZIP>(); }
};

std::vector<HandEntry> withoutLinks(std::vector<HandEntry> entries) {
    std::erase_if(entries, [](const HandEntry& e) { return e.unixMode == kLink; });
    return entries;
}

struct ArjFormat {
    static constexpr const char* kExt = ".arj";
    static constexpr bool kLinks = false;
    static constexpr bool kFolderRecords = false;
    static constexpr bool kDataCrc = true;
    static std::vector<uint8_t> make(const std::vector<HandEntry>& entries) {
        return makeArj(withoutLinks(entries));
    }
    static std::unique_ptr<TUnBase> extractor() { return std::make_unique<TUnARJ>(); }
};

struct LhaFormat {
    static constexpr const char* kExt = ".lzh";
    static constexpr bool kLinks = false;
    static constexpr bool kFolderRecords = false;
    static constexpr bool kDataCrc = true;
    static std::vector<uint8_t> make(const std::vector<HandEntry>& entries) {
        return makeLha(withoutLinks(entries));
    }
    static std::unique_ptr<TUnBase> extractor() { return std::make_unique<TUnLHA>(); }
};

struct ArcFormat {
    static constexpr const char* kExt = ".arc";
    static constexpr bool kLinks = false;
    static constexpr bool kFolderRecords = true;
    static constexpr bool kDataCrc = true;
    static std::vector<uint8_t> make(const std::vector<HandEntry>& entries) {
        return makeArc(withoutLinks(entries));
    }
    static std::unique_ptr<TUnBase> extractor() { return std::make_unique<TUnARC>(); }
};

struct RarFormat {
    static constexpr const char* kExt = ".rar";
    static constexpr bool kLinks = true;
    static constexpr bool kFolderRecords = false;
    static constexpr bool kDataCrc = true;
    static std::vector<uint8_t> make(const std::vector<HandEntry>& entries) { return makeRar(entries); }
    static std::unique_ptr<TUnBase> extractor() { return std::make_unique<TUnRAR>(); }
};

struct TarFormat {
    static constexpr const char* kExt = ".tar";
    static constexpr bool kLinks = true;
    static constexpr bool kFolderRecords = false;
    static constexpr bool kDataCrc = false;
    static std::vector<uint8_t> make(const std::vector<HandEntry>& entries) { return makeTar(entries); }
    static std::unique_ptr<TUnBase> extractor() { return std::make_unique<TUnTAR>(); }
};

template <class Format>
class ExtractSafety : public ::testing::Test {};
using Formats = ::testing::Types<ZipFormat, ArjFormat, LhaFormat, ArcFormat, RarFormat, TarFormat>;
TYPED_TEST_SUITE(ExtractSafety, Formats);

struct Outcome {
    int extracted = 0, failed = 0, lastError = 0;
    std::vector<int> errors;
    std::vector<std::pair<std::string, bool>> ends;
    std::vector<TUnBase::Failure> failures;
};

template <class Format>
Outcome extract(const fs::path& archive, const fs::path& dir, std::function<void(TUnBase&)> tune = {}) {
    std::unique_ptr<TUnBase> x = Format::extractor();
    Outcome o;
    x->OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int id) {
        o.errors.push_back(id);
    };
    x->OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) {
        o.ends.emplace_back(fs::path(fn).filename().string(), pass);
    };
    x->setArchiveFile(archive.string());
    x->setExtractDir(dir.string());
    if (tune) tune(*x);
    x->Activate();
    o.extracted = x->ExtractedCount;
    o.failed = x->FailedCount;
    o.lastError = x->LastError;
    o.failures = x->Failures;
    return o;
}

// Everything below root, and whether each link found there, resolved as the kernel would,
// stays inside it. Answers the first link that leads out, or "".
std::string linkLeadingOut(const fs::path& root) {
    const fs::path real = fs::canonical(root);
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (!it->is_symlink()) continue;
        std::error_code ec;
        fs::path where = fs::weakly_canonical(it->path(), ec);
        auto rel = where.lexically_relative(real);
        if (ec || rel.empty() || *rel.begin() == "..") return it->path().string();
    }
    return "";
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Link chains: each link looks harmless from its stored name, but lands elsewhere once the
// links before it exist. Nothing may be made beside or above the target, and no link inside
// may lead out.
TYPED_TEST(ExtractSafety, LinkChainsNeverLeadOutOfTheTarget) {
    if (!TypeParam::kLinks) GTEST_SKIP() << "the format stores no links";
    struct Case {
        const char* what;
        std::vector<HandEntry> entries;
    };
    std::vector<HandEntry> deep = {{"d", bytes("."), 0, kLink}};
    std::string prefix;
    for (int i = 0; i < 30; ++i) {
        deep.push_back({prefix + "d/up" + std::to_string(i), bytes(".."), 0, kLink});
        prefix += "up" + std::to_string(i) + "/";
    }
    deep.push_back({prefix + "MADE/x.txt", bytes("escaped")});
    const std::vector<Case> cases = {
        {"a link placed through a link to its own folder climbs one level",
         {{"d", bytes("."), 0, kLink}, {"d/up", bytes(".."), 0, kLink}, {"up/MADE/x.txt", bytes("x")}}},
        {"thirty levels of such links", deep},
        {"a link whose target descends into a link and climbs back",
         {{"x/y/s", bytes("../.."), 0, kLink},
          {"x/y/t", bytes("s/../.."), 0, kLink},
          {"x/y/t/MADE/x.txt", bytes("x")}}},
        {"a target with a NUL byte (symlink(2) would see only what is before it)",
         {{"n", std::vector<uint8_t>{'.', '.', 0, 'x'}, 0, kLink}, {"n/MADE/x.txt", bytes("x")}}},
        {"an absolute target", {{"abs", bytes("/"), 0, kLink}, {"abs/tmp/MADE", bytes("x")}}},
        {"a link replaced by a second one of the same name",
         {{"r", bytes("sub"), 0, kLink}, {"r", bytes("../.."), 0, kLink}, {"r/MADE", bytes("x")}}},
    };
    for (const Case& c : cases) {
        for (auto resolve : {ExtractTarget::Resolve::Beneath, ExtractTarget::Resolve::NoLinks}) {
            SCOPED_TRACE(c.what);
            TempDir t;
            fs::create_directories(t.path() / "nest" / "out");
            writeFile(t.path() / "nest" / ("a" + std::string(TypeParam::kExt)), TypeParam::make(c.entries));
            Outcome o =
                extract<TypeParam>(t.path() / "nest" / ("a" + std::string(TypeParam::kExt)),
                                   t.path() / "nest" / "out", [&](TUnBase& z) { z.setPathResolve(resolve); });
            EXPECT_EQ(namesIn(t.path()), std::vector<std::string>{"nest"});
            EXPECT_EQ(namesIn(t.path() / "nest"),
                      (std::vector<std::string>{"a" + std::string(TypeParam::kExt), "out"}));
            EXPECT_EQ(linkLeadingOut(t.path() / "nest" / "out"), "");
            EXPECT_GT(o.failed, 0);  // what was refused is counted, never silently passed by
        }
    }
}

// Links that stay inside are still made, also where they point through another link.
TYPED_TEST(ExtractSafety, LinksThatStayInsideAreMade) {
    if (!TypeParam::kLinks) GTEST_SKIP() << "the format stores no links";
    TempDir t;
    writeFile(t.path() / ("a" + std::string(TypeParam::kExt)),
              TypeParam::make({{"lib64/libz.so", bytes("so")},
                               {"lib", bytes("lib64"), 0, kLink},
                               {"usr/lib", bytes("../lib"), 0, kLink},
                               {"usr/lib/extra.txt", bytes("through a link")},
                               {"dangling", bytes("later/file"), 0, kLink}}));
    Outcome o = extract<TypeParam>(t.path() / ("a" + std::string(TypeParam::kExt)), t.path() / "out");
    EXPECT_EQ(o.failed, 0);
    EXPECT_EQ(fs::read_symlink(t.path() / "out" / "usr" / "lib"), "../lib");
    EXPECT_EQ(readAll(t.path() / "out" / "lib64" / "extra.txt"), bytes("through a link"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(t.path() / "out" / "dangling")));
}

// Temporary names are fresh: a file that happens to carry the name an older version used for
// its temporary link, or any name beside the target, is never touched.
TYPED_TEST(ExtractSafety, ExistingFilesBesideAnEntryAreNeverTouched) {
    TempDir t;
    fs::create_directories(t.path() / "out");
    writeFile(t.path() / "out" / "notes.kvzlink", bytes("the user's own file"));
    writeFile(t.path() / "out" / "notes.txt.kvz", bytes("another one"));
    writeFile(t.path() / ("a" + std::string(TypeParam::kExt)),
              TypeParam::make({{"notes", bytes("notes.txt"), 0, kLink}, {"notes.txt", bytes("text")}}));
    Outcome o = extract<TypeParam>(t.path() / ("a" + std::string(TypeParam::kExt)), t.path() / "out");
    EXPECT_EQ(o.failed, 0);
    EXPECT_EQ(readAll(t.path() / "out" / "notes.kvzlink"), bytes("the user's own file"));
    EXPECT_EQ(readAll(t.path() / "out" / "notes.txt.kvz"), bytes("another one"));
    std::vector<std::string> expected{"notes", "notes.kvzlink", "notes.txt", "notes.txt.kvz"};
    if (!TypeParam::kLinks) expected.erase(expected.begin());
    EXPECT_EQ(namesIn(t.path() / "out"), expected);
}

TYPED_TEST(ExtractSafety, NamesThatLeaveTheFolderAreRefusedAndTheRestExtracts) {
    TempDir t;
    fs::create_directories(t.path() / "outside");
    fs::create_directories(t.path() / "out");
    // A link already in the target folder that points out of it.
    fs::create_directory_symlink(t.path() / "outside", t.path() / "out" / "escape");
    const std::string archive = "a" + std::string(TypeParam::kExt);
    writeFile(t.path() / archive, TypeParam::make({
                                      {"../evil1.txt", bytes("x")},
                                      {"/tmp/kv-evil2.txt", bytes("x")},
                                      {"C:\\evil3.txt", bytes("x")},
                                      {"a\\..\\..\\evil4.txt", bytes("x")},
                                      {"sub/../../evil5.txt", bytes("x")},
                                      {"./", bytes("")},
                                      {"escape/evil6.txt", bytes("x")},
                                      {"link", bytes("../outside"), 0, kLink},
                                      {"inlink", bytes("sub/good2.txt"), 0, kLink},
                                      {"good.txt", bytes("fine")},
                                      {"sub/good2.txt", bytes("fine too")},
                                  }));
    Outcome o = extract<TypeParam>(t.path() / archive, t.path() / "out");
    EXPECT_EQ(namesIn(t.path()), (std::vector<std::string>{archive, "out", "outside"}));
    EXPECT_TRUE(fs::is_empty(t.path() / "outside"));
    EXPECT_FALSE(fs::exists("/tmp/kv-evil2.txt"));
    EXPECT_EQ(readAll(t.path() / "out" / "good.txt"), bytes("fine"));
    EXPECT_EQ(readAll(t.path() / "out" / "sub" / "good2.txt"), bytes("fine too"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(t.path() / "out" / "link")));
    if (TypeParam::kLinks) {
        ASSERT_TRUE(fs::is_symlink(t.path() / "out" / "inlink"));
        EXPECT_EQ(fs::read_symlink(t.path() / "out" / "inlink"), "sub/good2.txt");
    }
    // Six names that leave the folder, and the link that points out where links are stored.
    const auto refused = std::count(o.errors.begin(), o.errors.end(), msg::InvalidFileName);
    if (TypeParam::kFolderRecords)
        EXPECT_GE(refused, 6);
    else
        EXPECT_EQ(refused, TypeParam::kLinks ? 7 : 6);
    EXPECT_EQ(std::count(o.errors.begin(), o.errors.end(), msg::CrcFailed), 0);
    EXPECT_EQ(o.extracted, TypeParam::kLinks ? 3 : 2);
    // The summary names the refused name as the reason for every one, the link included.
    for (const auto& f : o.failures) EXPECT_EQ(f.id, msg::InvalidFileName) << f.name;
}

TYPED_TEST(ExtractSafety, DamagedEntryNeverReplacesAnExistingFile) {
    if (!TypeParam::kDataCrc) GTEST_SKIP() << "the format keeps no checksum of the data";
    for (bool keepDamaged : {false, true}) {
        TempDir t;
        writeFile(t.path() / "out" / "keep.txt", bytes("old content"));
        const fs::path p = t.path() / ("a" + std::string(TypeParam::kExt));
        writeFile(p, TypeParam::make(
                         {{"keep.txt", bytes("new but damaged"), 0, 0, true}, {"next.txt", bytes("next")}}));
        Outcome o = extract<TypeParam>(p, t.path() / "out", [&](TUnBase& x) { x.KeepDamaged = keepDamaged; });
        EXPECT_EQ(readAll(t.path() / "out" / "keep.txt"),
                  bytes(keepDamaged ? "new but damaged" : "old content"));
        EXPECT_EQ(readAll(t.path() / "out" / "next.txt"), bytes("next"));
        ASSERT_EQ(o.ends.size(), 2u);
        EXPECT_EQ(o.ends[0], std::make_pair(std::string("keep.txt"), false));
        EXPECT_EQ(o.ends[1], std::make_pair(std::string("next.txt"), true));
        // No temporary file is left behind.
        EXPECT_EQ(namesIn(t.path() / "out"), (std::vector<std::string>{"keep.txt", "next.txt"}));
        // OnEnd carries the verdict; only without it is the CRC failure reported as 25121.
        EXPECT_EQ(std::count(o.errors.begin(), o.errors.end(), msg::CrcFailed), 0);
        ASSERT_EQ(o.failures.size(), 1u);
        EXPECT_EQ(o.failures[0].id, msg::CrcFailed);
        Outcome silent = extract<TypeParam>(p, t.path() / "silent", [](TUnBase& x) { x.OnEnd = nullptr; });
        EXPECT_EQ(std::count(silent.errors.begin(), silent.errors.end(), msg::CrcFailed), 1);
    }
}

// ARC folders are records of their own (one opens a folder, one closes it); a folder's
// name may hold a "\" that is shown as a separator, but closing it goes back exactly to
// where the archive was before it opened, so the entries after it land where the listing
// says, never in another folder.
TEST(ArcFolderRecords, ClosingAFolderGoesBackToWhereItOpened) {
    const std::vector<HandEntry> entries = {
        {"a\\b/f.txt", bytes("in a\\b")},        {"g.txt", bytes("at the top")},
        {"p/q\\r/s/h.txt", bytes("three deep")}, {"i.txt", bytes("at the top too")},
        {"x\\/j.txt", bytes("in x\\")},          {"k.txt", bytes("at the top again")},
    };
    TempDir t;
    writeFile(t.path() / "a.arc", makeArc(entries));
    TKelmo k;
    std::vector<std::string> listed;
    k.OnRead = [&](TZipCommon& z, int64_t, int) { listed.push_back(z.FileName); };
    k.setArchiveFile((t.path() / "a.arc").string());
    ASSERT_TRUE(k.Activate());
    EXPECT_EQ(listed, (std::vector<std::string>{"a/b/f.txt", "g.txt", "p/q/r/s/h.txt", "i.txt", "x//j.txt",
                                                "k.txt"}));
    Outcome o = extract<ArcFormat>(t.path() / "a.arc", t.path() / "out");
    EXPECT_EQ(o.failed, 0);
    EXPECT_EQ(readAll(t.path() / "out" / "a" / "b" / "f.txt"), bytes("in a\\b"));
    EXPECT_EQ(readAll(t.path() / "out" / "p" / "q" / "r" / "s" / "h.txt"), bytes("three deep"));
    EXPECT_EQ(readAll(t.path() / "out" / "x" / "j.txt"), bytes("in x\\"));
    for (const char* top : {"g.txt", "i.txt", "k.txt"})
        EXPECT_TRUE(fs::is_regular_file(t.path() / "out" / top)) << top;
    EXPECT_EQ(namesIn(t.path() / "out"),
              (std::vector<std::string>{"a", "g.txt", "i.txt", "k.txt", "p", "x"}));
}

// Replacing files costs no flush per entry: the job makes what it replaced of the user's
// durable in one step at its end, so many entries of one name take no longer than as many
// of different names.
// Each replacement still goes through a temporary file and a rename: the last entry wins
// and nothing is left beside it.
TYPED_TEST(ExtractSafety, ReplacingFilesCostsOneFlushForTheWholeJob) {
    constexpr int kEntries = 300;
    struct Case {
        const char* what;
        std::function<std::string(int)> name;  // of entry i
        std::vector<std::string> before;       // files there before the job
    };
    const std::vector<Case> cases = {
        {"entries of one name", [](int) { return std::string("same.txt"); }, {"same.txt"}},
        {"entries of one name in a folder", [](int) { return std::string("sub/same.txt"); }, {}},
        {"entries that each replace a file of the user", [](int i) { return "f" + std::to_string(i); },
         [] {
             std::vector<std::string> v;
             for (int i = 0; i < kEntries; ++i) v.push_back("f" + std::to_string(i));
             return v;
         }()},
    };
    for (const Case& c : cases) {
        for (int threads : {0, -1}) {
            SCOPED_TRACE(std::string(c.what) + (threads ? ", placing threads" : ", no placing thread"));
            TempDir t;
            for (const std::string& b : c.before) writeFile(t.path() / "out" / b, bytes("the user's"));
            std::vector<HandEntry> entries;
            for (int i = 0; i < kEntries; ++i) entries.push_back({c.name(i), bytes("v" + std::to_string(i))});
            const fs::path p = t.path() / ("a" + std::string(TypeParam::kExt));
            writeFile(p, TypeParam::make(entries));
            const uint64_t flushes0 = kvtest::flushCalls();
            Outcome o =
                extract<TypeParam>(p, t.path() / "out", [&](TUnBase& x) { x.PlacerThreads = threads; });
            const uint64_t flushes = kvtest::flushCalls() - flushes0;
            EXPECT_EQ(o.failed, 0);
            EXPECT_EQ(o.extracted, kEntries);
            // One step for the job where the user's files were replaced; none where the job
            // replaced only what it wrote itself (as where it makes new files).
            EXPECT_EQ(flushes, c.before.empty() ? 0u : 1u);
            const fs::path last = t.path() / "out" / c.name(kEntries - 1);
            EXPECT_EQ(readAll(last), bytes("v" + std::to_string(kEntries - 1)));
            size_t files = 0;
            for (auto it = fs::recursive_directory_iterator(t.path() / "out");
                 it != fs::recursive_directory_iterator(); ++it)
                files += it->is_regular_file();
            EXPECT_EQ(files, c.before.empty() ? 1u : c.before.size()) << "no temporary is left";
        }
    }
}

}  // namespace
}  // namespace kv::unzip_test
