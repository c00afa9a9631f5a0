// TUnZIP on hand-made archives: names that lead out of the folder, damaged and lying
// entries, passwords, and the events that decide what is written.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "archive/base/date_time.h"
#include "archive/base/messages.h"
#include "archive/unzip/un_zip.h"
#include "test_unzip_util.h"

namespace kv::unzip_test {
namespace {

struct Job {
    TUnZIP zip;
    std::vector<int> errors;
    std::vector<std::pair<std::string, bool>> ends;

    Job(const fs::path& archive, const fs::path& dir) {
        zip.OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&,
                             int id) { errors.push_back(id); };
        zip.OnEnd = [this](TZipCommon&, const std::string& fn, bool pass) {
            ends.emplace_back(fs::path(fn).filename().string(), pass);
        };
        zip.setArchiveFile(archive.string());
        zip.setExtractDir(dir.string());
    }
    bool hasError(int id) const { return std::count(errors.begin(), errors.end(), id) > 0; }
};

fs::path writeZip(const TempDir& t, const std::vector<HandEntry>& entries, const char* name = "a.zip") {
    fs::path p = t.path() / name;
    writeFile(p, makeZip(entries));
    return p;
}

// Only these names may exist beside the archive after a job.
std::vector<std::string> topLevel(const fs::path& root) {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(root)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(UnzipSafety, SizesThatLieStopAtTheDeclaredSize) {
    TempDir t;
    std::vector<uint8_t> zeros(64u << 20);
    auto p = writeZip(t, {{"bomb.bin", zeros, 8, 0, false, 1000},
                          {"long.txt", std::vector<uint8_t>(100, 'a'), 0, 0, false, 10},
                          {"short.txt", std::vector<uint8_t>(10, 'a'), 0, 0, false, 100},
                          {"ok.txt", bytes("ok")}});
    Job job(p, t.path() / "out");
    job.zip.Activate();
    EXPECT_EQ(topLevel(t.path() / "out"), (std::vector<std::string>{"ok.txt"}));
    EXPECT_TRUE(job.hasError(msg::SizeDifferent));
    EXPECT_TRUE(job.hasError(msg::BadBlock));  // the short entry runs out of data
    ASSERT_EQ(job.zip.Failures.size(), 3u);
    EXPECT_EQ(job.zip.Failures[0].name, "bomb.bin");
    EXPECT_EQ(job.zip.Failures[0].id, msg::SizeDifferent);
    EXPECT_EQ(job.zip.Failures[1].id, msg::SizeDifferent);
    EXPECT_EQ(job.zip.Failures[2].id, msg::BadBlock);
}

TEST(UnzipSafety, OverlappingEntriesAndUnknownMethodsWriteNothing) {
    TempDir t;
    auto zip = makeZip({{"first.txt", bytes("shared data")},
                        {"second.txt", bytes("other data!")},
                        {"bzip.txt", bytes("BZh..."), 12}});
    // Point the second central entry at the first entry's local header.
    size_t second = 0;
    for (size_t i = 0, seen = 0; i + 4 <= zip.size(); ++i)
        if (zip[i] == 'P' && zip[i + 1] == 'K' && zip[i + 2] == 1 && zip[i + 3] == 2 && ++seen == 2)
            second = i;
    ASSERT_NE(second, 0u);
    std::fill(zip.begin() + long(second + 42), zip.begin() + long(second + 46), 0);
    writeFile(t.path() / "a.zip", zip);
    Job job(t.path() / "a.zip", t.path() / "out");
    job.zip.Activate();
    EXPECT_EQ(topLevel(t.path() / "out"), (std::vector<std::string>{"first.txt"}));
    EXPECT_TRUE(job.hasError(msg::InconsistentLocalHeader));
    EXPECT_TRUE(job.hasError(msg::UnsupportedMethod));

    // A local header without its signature: 25148 for that entry, the next one still extracts.
    auto broken = makeZip({{"first.txt", bytes("one")}, {"second.txt", bytes("two")}});
    broken[0] = 'X';
    writeFile(t.path() / "b.zip", broken);
    Job next(t.path() / "b.zip", t.path() / "out2");
    next.zip.Activate();
    EXPECT_TRUE(next.hasError(msg::InconsistentLocalHeader));
    EXPECT_EQ(topLevel(t.path() / "out2"), (std::vector<std::string>{"second.txt"}));
}

TEST(UnzipSafety, PasswordsAreTriedInOrderAndAWrongOneWritesNothing) {
    TempDir t;
    auto p = writeZip(t, {{"secret.txt", bytes("classified"), 8, 0, false, -1, "right"},
                          {"plain.txt", bytes("plain")},
                          {"secret2.txt", bytes("more"), 0, 0, false, -1, "right"}});
    {
        // The second string of Passwords fits: no question asked.
        Job job(p, t.path() / "a");
        job.zip.Passwords = {"wrong", "right"};
        int asked = 0;
        job.zip.OnGetPassword = [&](TZipCommon&, const std::string&, std::string&, bool&) { ++asked; };
        job.zip.Activate();
        EXPECT_EQ(asked, 0);
        EXPECT_EQ(readAll(t.path() / "a" / "secret.txt"), bytes("classified"));
        EXPECT_EQ(readAll(t.path() / "a" / "secret2.txt"), bytes("more"));
    }
    {
        // No fitting password and nobody to ask: the entry is skipped, the walk goes on.
        Job job(p, t.path() / "b");
        job.zip.Passwords = {"wrong"};
        job.zip.Activate();
        EXPECT_EQ(topLevel(t.path() / "b"), (std::vector<std::string>{"plain.txt"}));
        EXPECT_EQ(job.ends.front(), std::make_pair(std::string("secret.txt"), false));
        // The summary says the given password was wrong, not merely that one is needed.
        ASSERT_FALSE(job.zip.Failures.empty());
        EXPECT_EQ(job.zip.Failures.front().id, msg::InvalidPassword);
    }
    {
        // Nobody answers (TryAgain false at once): asked once, 26522, and the job ends there.
        Job job(p, t.path() / "e");
        int asked = 0;
        job.zip.OnGetPassword = [&](TZipCommon&, const std::string&, std::string&, bool& again) {
            ++asked;
            again = false;
        };
        job.zip.Activate();
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(job.hasError(msg::PasswordFailed));
        EXPECT_FALSE(job.hasError(msg::InvalidPassword));
        EXPECT_EQ(job.ends, (std::vector<std::pair<std::string, bool>>{{"secret.txt", false}}));
        EXPECT_FALSE(fs::exists(t.path() / "e" / "plain.txt"));
    }
    {
        // Asked three times with wrong answers: each is reported, then the job ends.
        Job job(p, t.path() / "c");
        int asked = 0;
        job.zip.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& pw, bool& again) {
            ++asked;
            pw = "nope";
            again = true;
        };
        job.zip.Activate();
        EXPECT_EQ(asked, 3);
        EXPECT_EQ(std::count(job.errors.begin(), job.errors.end(), msg::InvalidPassword), 3);
        EXPECT_TRUE(job.hasError(msg::PasswordFailed));
        EXPECT_FALSE(fs::exists(t.path() / "c" / "plain.txt"));
    }
    {
        // A password learned from the question is kept first in Passwords for later entries.
        Job job(p, t.path() / "d");
        int asked = 0;
        job.zip.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& pw, bool&) {
            ++asked;
            pw = "right";
        };
        job.zip.Activate();
        EXPECT_EQ(asked, 1);
        ASSERT_FALSE(job.zip.Passwords.empty());
        EXPECT_EQ(job.zip.Passwords.front(), "right");
        EXPECT_EQ(readAll(t.path() / "d" / "secret2.txt"), bytes("more"));
    }
}

TEST(UnzipSafety, EventsDecideWhatIsWritten) {
    TempDir t;
    auto p = writeZip(t, {{"a.txt", bytes("A")},
                          {"dir/b.TXT", bytes("B")},
                          {"c.bin", bytes("C")},
                          {"exists.txt", bytes("new")}});
    writeFile(t.path() / "out" / "exists.txt", bytes("mine"));
    Job job(p, t.path() / "out");
    job.zip.setFileSpec("*.txt");
    std::vector<std::pair<std::string, int>> begun;
    job.zip.OnFileExists = [](TZipCommon&, const std::string&, const TDateTime&, bool& accept) {
        accept = false;
    };
    job.zip.OnBegin = [&](TZipCommon&, const std::string& fn, int recNum, bool&) {
        begun.emplace_back(fs::path(fn).filename().string(), recNum);
    };
    job.zip.Activate();
    EXPECT_EQ(begun, (std::vector<std::pair<std::string, int>>{{"a.txt", 1}, {"b.TXT", 2}}));
    EXPECT_EQ(readAll(t.path() / "out" / "exists.txt"), bytes("mine"));
    EXPECT_EQ(readAll(t.path() / "out" / "dir" / "b.TXT"), bytes("B"));
    EXPECT_FALSE(fs::exists(t.path() / "out" / "c.bin"));

    // A plain name (no wildcard) stops the walk after its entry.
    Job one(p, t.path() / "one");
    one.zip.setFileSpec("a.txt");
    one.zip.Activate();
    EXPECT_EQ(topLevel(t.path() / "one"), (std::vector<std::string>{"a.txt"}));
}

// Runs body(job, dir) once in each way of placing files: on the job's thread, on threads of
// their own, and only the large ones on a thread (the small ones on the job's, in turn with
// them); each time with a job on the archive p, extracting into a folder of its own.
template <class Body>
void inEachPlacingMode(const TempDir& t, const fs::path& p, Body body) {
    const struct {
        std::string name;
        int threads;
        uint64_t from;
    } modes[] = {{"here", 0, 0}, {"threads", 2, 0}, {"large-on-a-thread", 1, 1u << 20}};
    for (const auto& m : modes) {
        SCOPED_TRACE(m.name);
        const fs::path dir = t.path() / ("out-" + m.name);
        Job job(p, dir);
        job.zip.PlacerThreads = m.threads;
        job.zip.PlacerThreadsFrom = m.from;
        body(job, dir);
    }
}

// A file that appears under an entry's name after the entry found the name free (here made
// by the OnBegin handler, as another program could) is never replaced unasked: that entry
// fails, the file stays, the other entries are written.
TEST(UnzipSafety, AFileThatAppearsMeanwhileIsNotReplaced) {
    TempDir t;
    auto p = writeZip(t, {{"a.txt", bytes("alpha"), 8}, {"late.txt", bytes("from the archive"), 8},
                          {"c.txt", bytes("gamma"), 0}});
    inEachPlacingMode(t, p, [&](Job& job, const fs::path& dir) {
        job.zip.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
            if (fs::path(fn).filename() == "late.txt") writeFile(dir / "late.txt", bytes("someone else's"));
        };
        job.zip.Activate();
        EXPECT_EQ(readAll(dir / "late.txt"), bytes("someone else's"));
        EXPECT_EQ(readAll(dir / "a.txt"), bytes("alpha"));
        EXPECT_EQ(readAll(dir / "c.txt"), bytes("gamma"));
        EXPECT_EQ(job.zip.ExtractedCount, 2);
        ASSERT_EQ(job.zip.Failures.size(), 1u);
        EXPECT_EQ(job.zip.Failures[0].name, "late.txt");
        EXPECT_EQ(topLevel(dir), (std::vector<std::string>{"a.txt", "c.txt", "late.txt"}));  // no temporary left
    });
}

// A file that cannot be created (its folder went away after the entry began) fails with
// the same message whether files are placed on the job's thread or on their own, small or
// big (a big one is created while it is still being decoded, and its failure stops the
// decoding).
TEST(UnzipSafety, AFileThatCannotBeCreatedSaysSoTheSameWayEverywhere) {
    TempDir t;
    std::vector<uint8_t> big(24u << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7 / 5);
    // The small one right after a big one that is good: its failure is known while that
    // one may still be on its way.
    auto p = writeZip(t, {{"lost/big.bin", big, 8}, {"big-kept.bin", big, 8}, {"gone/small.txt", bytes("small"), 8},
                          {"kept.txt", bytes("kept"), 8}, {"last.txt", bytes("last"), 0}});
    inEachPlacingMode(t, p, [&](Job& job, const fs::path& dir) {
        job.zip.OnBegin = [&](TZipCommon&, const std::string& fn, int, bool&) {
            const fs::path f(fn);
            if (f.filename() == "small.txt" || f.filename() == "big.bin") fs::remove(f.parent_path());
        };
        job.zip.Activate();
        EXPECT_EQ(job.zip.ExtractedCount, 3);
        ASSERT_EQ(job.zip.Failures.size(), 2u);
        EXPECT_EQ(job.zip.Failures[0].name, "lost/big.bin");
        EXPECT_EQ(job.zip.Failures[0].id, msg::OpenError);
        EXPECT_EQ(job.zip.Failures[1].name, "gone/small.txt");
        EXPECT_EQ(job.zip.Failures[1].id, msg::OpenError);
        EXPECT_EQ(topLevel(dir), (std::vector<std::string>{"big-kept.bin", "kept.txt", "last.txt"}));
        EXPECT_EQ(readAll(dir / "big-kept.bin"), big);
    });
}

TEST(UnzipSafety, ModesAndDatesAreRestored) {
    TempDir t;
    auto p = writeZip(t, {{"tool.sh", bytes("#!/bin/sh\n"), 0, 0100750}, {"doc.txt", bytes("doc"), 8}});
    Job job(p, t.path() / "out");
    job.zip.Activate();
    struct stat st;
    ASSERT_EQ(::stat((t.path() / "out" / "tool.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    int64_t expected = dateTimeToUnixTime(dosDateTimeToDateTime(0x5A2B6400));
    EXPECT_EQ(int64_t(st.st_mtime), expected);

    // Modes are set exactly, whatever the umask takes from them, on the job's thread and on
    // placing threads alike; DOS entries get the umask's default.
    auto modes = writeZip(t,
                          {{"private", bytes("p"), 8, 0100600},
                           {"shared", bytes("s"), 8, 0100666},
                           {"exec", bytes("e"), 0, 0100777},
                           {"group", bytes("g"), 8, 0100750},
                           {"dos.txt", bytes("d"), 8}},
                          "modes.zip");
    for (const mode_t mask : {mode_t(022), mode_t(077)})
        for (const int placers : {0, 2}) {
            SCOPED_TRACE(std::to_string(mask) + " " + std::to_string(placers));
            const fs::path dir = t.path() / ("modes" + std::to_string(mask) + "-" + std::to_string(placers));
            Job m(modes, dir);
            m.zip.PlacerThreads = placers;
            const mode_t saved = ::umask(mask);
            m.zip.Activate();
            ::umask(saved);
            const std::pair<const char*, mode_t> want[] = {
                {"private", 0600}, {"shared", 0666}, {"exec", 0777}, {"group", 0750}, {"dos.txt", 0666 & ~mask}};
            for (const auto& [name, mode] : want) {
                ASSERT_EQ(::stat((dir / name).c_str(), &st), 0) << name;
                EXPECT_EQ(st.st_mode & 07777, mode) << name;
            }
        }

    Job now(p, t.path() / "now");
    now.zip.setSetDateTo(TSetDate::sdSysDate);
    now.zip.Activate();
    ASSERT_EQ(::stat((t.path() / "now" / "doc.txt").c_str(), &st), 0);
    EXPECT_LT(std::abs(int64_t(st.st_mtime) - int64_t(std::time(nullptr))), 120);
}

TEST(UnzipSafety, ProgressCountsCompressedBytesInSteps) {
    TempDir t;
    std::vector<uint8_t> big(1 << 20);  // four reads of the input
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 2654435761u >> 13);
    auto p = writeZip(t, {{"big.bin", big}, {"small.txt", bytes("x"), 8}});
    for (TProgressNotify step : {TProgressNotify::Ten, TProgressNotify::TwentyFive}) {
        Job job(p, t.path() / "out");
        job.zip.ProgressNotify = step;
        job.zip.setFileSpec("big.bin");
        std::vector<int> seen;
        job.zip.OnProgress = [&](TZipCommon&, const std::string&, int percent) { seen.push_back(percent); };
        job.zip.Activate();
        const int stepPercent = (int(step) + 1) * 5;
        ASSERT_GE(seen.size(), 3u);  // reported while the entry runs, not only at its end
        EXPECT_EQ(seen.back(), 100);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        // Never more reports than steps (plus the final 100), and each lands in a new step.
        EXPECT_LE(seen.size(), size_t(100 / stepPercent + 1));
        for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i] / stepPercent, seen[i - 1] / stepPercent);
    }
}

// The extractor finds the end record wherever the lister does (behind a comment of up to
// 64 KiB), and a damaged directory offset does not shift every local header away.
TEST(UnzipSafety, EndRecordAndDirectoryFoundLikeTheLister) {
    TempDir t;
    for (size_t len : {size_t(40000), size_t(65535)}) {
        auto z = makeZip({{"a.txt", bytes("alpha")}, {"b.txt", bytes("beta"), 8}});
        z[z.size() - 2] = uint8_t(len);
        z[z.size() - 1] = uint8_t(len >> 8);
        z.resize(z.size() + len, 'c');
        writeFile(t.path() / "c.zip", z);
        Job job(t.path() / "c.zip", t.path() / ("out" + std::to_string(len)));
        job.zip.Activate();
        EXPECT_EQ(job.zip.LastError, 0) << len;
        EXPECT_EQ(readAll(t.path() / ("out" + std::to_string(len)) / "b.txt"), bytes("beta")) << len;
    }
    auto z = makeZip({{"a.txt", bytes("alpha")}, {"b.txt", bytes("beta"), 8}});
    z[z.size() - 22 + 16] ^= 0x40;  // the directory offset in the end record
    writeFile(t.path() / "d.zip", z);
    Job job(t.path() / "d.zip", t.path() / "d");
    job.zip.Activate();
    EXPECT_EQ(job.zip.FailedCount, 0);
    EXPECT_EQ(readAll(t.path() / "d" / "a.txt"), bytes("alpha"));
    EXPECT_EQ(readAll(t.path() / "d" / "b.txt"), bytes("beta"));
}

TEST(UnzipSafety, StartErrorsEndTheJob) {
    TempDir t;
    // An empty archive (only the end record) is no error: the job runs and writes nothing.
    std::vector<uint8_t> empty(22, 0);
    empty[0] = 0x50, empty[1] = 0x4B, empty[2] = 0x05, empty[3] = 0x06;
    writeFile(t.path() / "empty.zip", empty);
    Job nothing(t.path() / "empty.zip", t.path() / "e");
    bool activated = false;
    nothing.zip.OnActivate = [&](TZipCommon&) { activated = true; };
    nothing.zip.Activate();
    EXPECT_TRUE(activated);
    EXPECT_EQ(nothing.zip.LastError, 0);
    EXPECT_TRUE(nothing.errors.empty());
    EXPECT_EQ(nothing.zip.ExtractedCount + nothing.zip.FailedCount, 0);

    writeFile(t.path() / "text.zip", bytes("just some text, no archive at all"));
    Job job(t.path() / "text.zip", t.path() / "out");
    job.zip.Activate();
    EXPECT_EQ(job.zip.LastError, msg::BadFileHeader);
    Job none(t.path() / "missing.zip", t.path() / "out");
    none.zip.Activate();
    EXPECT_NE(none.zip.LastError, 0);
    EXPECT_EQ(none.zip.ExtractedCount, 0);
}

}  // namespace
}  // namespace kv::unzip_test
