// Every ZIP fixture with a listed content extracts to the listed SHA-256 sums: deflated
// (all option flags), stored, streamed, encrypted, self-extractors with and without
// adjusted offsets, and the shrunk/reduced/imploded sets.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "../codec/test_codec_util.h"
#include "archive/unzip/un_zip.h"
#include "test_unzip_util.h"

namespace kv::unzip_test {
namespace {

struct Listing {
    std::string status, password;
    std::map<std::string, std::string> sha;  // file name -> sha256
};

Listing readListing(const fs::path& p) {
    Listing l;
    std::ifstream f(p);
    std::string line;
    while (std::getline(f, line)) {
        if (line.rfind("# status: ", 0) == 0)
            l.status = line.substr(10);
        else if (line.rfind("# password: ", 0) == 0)
            l.password = line.substr(12);
        else if (!line.empty() && line[0] != '#') {
            std::vector<std::string> cols;
            std::stringstream ss(line);
            for (std::string c; std::getline(ss, c, '\t');) cols.push_back(c);
            if (cols.size() >= 9 && cols[1] == "file" && cols[8] != "-") l.sha[cols[0]] = cols[8];
        }
    }
    return l;
}

TEST(UnzipFixtures, ExtractToTheirListedContent) {
    const fs::path data = fs::path(KV_TEST_DATA) / "archives";
    if (!fs::exists(data / "expected" / "zip")) GTEST_SKIP() << "no ZIP fixtures";
    // Methods we do not decode (deflate64, bzip2, AES) are reported, not extracted.
    const std::set<std::string> foreignMethods = {"deflate64.zip", "bzip2.zip", "aes256.zip"};
    int checked = 0;
    for (auto& e : fs::recursive_directory_iterator(data / "expected" / "zip")) {
        if (!e.is_regular_file()) continue;
        fs::path rel = fs::relative(e.path(), data / "expected");
        fs::path archive = data / rel.parent_path() / rel.stem();  // drop ".txt"
        if (!fs::exists(archive) || foreignMethods.count(archive.filename().string())) continue;
        Listing l = readListing(e.path());
        if (l.status != "ok" || l.sha.empty()) continue;
        TempDir t;
        TUnZIP zip;
        zip.setArchiveFile(archive.string());
        zip.setExtractDir(t.path().string());
        if (!l.password.empty()) zip.Passwords = {l.password};
        zip.Activate();
        EXPECT_EQ(zip.FailedCount, 0) << rel;
        for (auto& [name, sha] : l.sha) {
            fs::path out = t.path() / name;
            ASSERT_TRUE(fs::exists(out)) << rel << ": " << name;
            EXPECT_EQ(codec::test::sha256Hex(readAll(out)), sha) << rel << ": " << name;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace kv::unzip_test
