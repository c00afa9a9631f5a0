// Volume requests: a set whose later volumes are elsewhere is completed through OnNextVolume.
#include <gtest/gtest.h>

#include <filesystem>

#include "fixture_util.h"

namespace fs = std::filesystem;
using namespace kvtest;

namespace {

const std::string kRoot = KV_TEST_DATA "/archives/";

struct Asked {
    std::string dir, name, volume;
};

// Lists path; the handler answers each request with answerDir (or cancels when empty).
Listing listWithHandler(const std::string& path, const std::string& answerDir, std::vector<Asked>& asked) {
    kv::TKelmo k;
    Listing out;
    k.OnRead = [&](kv::TZipCommon& s, int64_t, int) {
        Listed e;
        e.name = s.FileName;
        e.size = s.UnpackedSize;
        e.packed = s.PackedSize;
        out.entries.push_back(e);
    };
    k.OnNextVolume = [&](kv::TZipCommon&, std::string& dir, std::string& fn, const std::string& id,
                         bool& cancel) {
        asked.push_back({dir, fn, id});
        if (answerDir.empty() || asked.size() > 10)
            cancel = true;
        else
            dir = answerDir;
    };
    k.setArchiveFile(path);
    out.ok = k.Activate();
    out.error = k.LastError;
    return out;
}

TEST(VolumeRequests, LaterVolumesFromAnotherFolder) {
    struct {
        const char* first;
        std::vector<const char*> later;
    } sets[] = {
        {"arj/volumes.arj", {"arj/volumes.a01", "arj/volumes.a02"}},
        {"cab/libarchive/test_read_format_cab_multi.p1.cab",
         {"cab/libarchive/test_read_format_cab_multi.p2.cab"}},
        {"rar/rarfile/rar3-vols1.rar", {"rar/rarfile/rar3-vols2.rar", "rar/rarfile/rar3-vols3.rar"}},
    };
    for (auto& set : sets) {
        SCOPED_TRACE(set.first);
        TempDir dir;
        fs::create_directories(dir.path / "disk2");
        std::string first = dir / fs::path(set.first).filename().string();
        fs::copy_file(kRoot + set.first, first);
        for (const char* v : set.later) fs::copy_file(kRoot + v, dir.path / "disk2" / fs::path(v).filename());
        Listing whole = listArchive(kRoot + set.first);
        ASSERT_TRUE(whole.ok);

        std::vector<Asked> asked;
        Listing l = listWithHandler(first, (dir.path / "disk2").string(), asked);
        EXPECT_TRUE(l.ok) << l.error;
        ASSERT_EQ(l.entries.size(), whole.entries.size());
        for (size_t i = 0; i < l.entries.size(); ++i) {
            EXPECT_EQ(l.entries[i].name, whole.entries[i].name);
            EXPECT_EQ(l.entries[i].packed, whole.entries[i].packed);
        }
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked[0].name, fs::path(set.later[0]).filename().string());

        // Cancelling the request stops the listing: incomplete, but no error was reported.
        asked.clear();
        Listing cancelled = listWithHandler(first, "", asked);
        EXPECT_FALSE(cancelled.ok);
        EXPECT_EQ(cancelled.error, kv::msg::UserAborted);
        EXPECT_LE(cancelled.entries.size(), whole.entries.size());
    }
}

// A later volume that is an earlier file of the set under another name (here a link) would
// start the set over and over: each file of a set is read once.
TEST(VolumeRequests, AVolumeThatIsAnEarlierFileEndsTheSet) {
    struct {
        const char* first;
        const char* second;
    } sets[] = {
        {"arj/volumes.arj", "volumes.a01"},
        {"rar/rarfile/rar3-vols1.rar", "rar3-vols2.rar"},
    };
    for (auto& set : sets) {
        SCOPED_TRACE(set.first);
        TempDir dir;
        std::string first = dir / fs::path(set.first).filename().string();
        fs::copy_file(kRoot + set.first, first);
        fs::create_symlink(fs::path(first).filename(), dir.path / set.second);
        Listing l = listArchive(first);
        EXPECT_FALSE(l.ok);
        EXPECT_EQ(l.error, kv::msg::InvalidFileName);
        EXPECT_LE(l.entries.size(), 2u);
    }
}

}  // namespace
