// The temporaries a killed job left: only those that nobody writes any more, and that have
// not changed for a while, are removed; a live writer's temporary and other files stay.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine_fixture.h"
#include "fileops/engine/leftovers.h"
#include "fileops/engine/transfer_job.h"

using namespace kvtest;
using kv::test::TempDir;

TEST(Leftovers, OnlyOldUnheldTemporariesGoWhenAJobStartsInTheirFolder) {
    TempDir t;
    t.dir("dst");
    const std::string stale = t.file("dst/.report.pdf.0123456789ab.tmp", "half");
    const std::string staleLink = t / "dst/.ln.abcdefabcdef.tmp";
    ::symlink("somewhere", staleLink.c_str());
    const std::string held = t.file("dst/.held.bin.111111111111.tmp", "still written");
    const std::string ordinary = t.file("dst/.notes.tmp", "mine");
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    // Times set back do not make a file look old: its status-change time is now.
    const std::string fresh = t.file("dst/.fresh.txt.00000000beef.tmp", "being made");
    setTimes(fresh, 1000000000);
    // A writer that still runs holds its temporary locked, however long it takes.
    const int writer = ::open(held.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);

    t.file("src.txt", "new");
    ScriptedDecider d;
    TransferRequest r;
    r.sources = {t / "src.txt"};
    r.target = t / "dst";
    r.leftoverAge = std::chrono::seconds(1);
    TransferJob job(r);
    Progress p;
    EXPECT_EQ(job.run(d, p).outcome, Outcome::Done);
    ::close(writer);

    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::is_symlink(staleLink));
    for (const auto& kept : {fresh, held, ordinary}) EXPECT_TRUE(fs::exists(kept)) << kept;
    EXPECT_EQ(t.read("dst/src.txt"), "new");
}
