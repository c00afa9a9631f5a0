// The temporaries a killed job left: only those that nobody writes any more, and that have
// not changed for a while, are removed; a live writer's temporary and other files stay.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <ctime>

#include "engine_fixture.h"
#include "fileops/engine/leftovers.h"
#include "fileops/engine/transfer_job.h"

using namespace kvtest;
using kv::test::TempDir;

TEST(Leftovers, OnlyOldUnheldTemporariesGoWhenAJobStartsInTheirFolder) {
    TempDir t;
    t.dir("dst");
    const std::time_t old = std::time(nullptr) - 2 * kLeftoverAge.count();
    const std::string stale = t.file("dst/.report.pdf.0123456789ab.tmp", "half");
    const std::string staleLink = t / "dst/.ln.abcdefabcdef.tmp";
    ::symlink("somewhere", staleLink.c_str());
    const std::string fresh = t.file("dst/.fresh.txt.00000000beef.tmp", "being made");
    const std::string held = t.file("dst/.held.bin.111111111111.tmp", "still written");
    const std::string ordinary = t.file("dst/.notes.tmp", "mine");
    for (const auto& p : {stale, staleLink, held, ordinary}) setTimes(p, old);
    // A writer that still runs holds its temporary locked, however long it takes.
    const int writer = ::open(held.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);

    t.file("src.txt", "new");
    ScriptedDecider d;
    TransferRequest r;
    r.sources = {t / "src.txt"};
    r.target = t / "dst";
    TransferJob job(r);
    Progress p;
    EXPECT_EQ(job.run(d, p).outcome, Outcome::Done);
    ::close(writer);

    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::is_symlink(staleLink));
    for (const auto& kept : {fresh, held, ordinary}) EXPECT_TRUE(fs::exists(kept)) << kept;
    EXPECT_EQ(t.read("dst/src.txt"), "new");
}
