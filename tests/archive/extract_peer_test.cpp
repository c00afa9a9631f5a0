// The ARJ, LHA, ARC, RAR and TAR extractors against what independent tools write: the shared
// fixtures extract to the SHA-256 sums their listings give, and archives the Debian
// archivers make at test time extract byte for byte as those archivers extract them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#include "archive/base/extractor_factory.h"
#include "archive/kelmo/kelmo.h"
#include "fixture_util.h"

namespace {

namespace fs = std::filesystem;
using kvtest::haveTool;
using kvtest::run;

const fs::path kRoot = KV_TEST_DATA "/archives";

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

struct Job {
    int extracted = 0, failed = 0, lastError = 0;
    std::vector<kv::TUnBase::Failure> failures;
};

Job extractTo(const fs::path& archive, const fs::path& dir) {
    kv::TZipCommon typed;
    typed.setArchiveFile(archive.string());
    std::unique_ptr<kv::TUnBase> x = kv::makeExtractor(typed.ArcType());
    Job j;
    if (!x) {
        j.lastError = -1;
        return j;
    }
    x->setArchiveFile(archive.string());
    x->setExtractDir(dir.string());
    x->Activate();
    j.extracted = x->ExtractedCount;
    j.failed = x->FailedCount;
    j.lastError = x->LastError;
    j.failures = x->Failures;
    return j;
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(uint8_t(c)));
    return s;
}

// Relative path -> size and hash of every regular file below root (a short failure
// message, unlike the contents). With foldCase the names are lower-cased: DOS archivers
// store upper-case names that some extractors lower-case.
std::map<std::string, std::string> tree(const fs::path& root, bool foldCase = false) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::string data(std::istreambuf_iterator<char>(in), {});
        std::string name = fs::relative(e.path(), root).string();
        if (foldCase) name = lower(name);
        out[name] = std::to_string(data.size()) + ":" + std::to_string(std::hash<std::string>{}(data));
    }
    return out;
}

std::string sha256(const fs::path& p) {
    std::string out = run("sha256sum " + quoted(p) + " 2>/dev/null");
    return out.substr(0, out.find(' '));
}

// Files of every kind of content: text, runs, noise, empty, and a folder.
void writeInputs(const fs::path& dir, size_t scale) {
    fs::create_directories(dir / "sub");
    std::mt19937 rng(7);
    std::string text, runs, noise;
    const char* words[] = {"archive ", "window ", "header ", "volume ", "decoder ", "\r\n"};
    while (text.size() < 40000 * scale) text += words[rng() % 6];
    for (size_t i = 0; runs.size() < 30000 * scale; ++i) runs.append(1 + rng() % 300, char('a' + i % 3));
    for (size_t i = 0; i < 20000 * scale; ++i) noise += char(rng());
    auto write = [](const fs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; };
    write(dir / "TEXT.TXT", text);
    write(dir / "RUNS.TXT", runs);
    write(dir / "NOISE.BIN", noise);
    write(dir / "EMPTY.TXT", "");
    write(dir / "sub" / "INNER.TXT", text.substr(0, 1000));
}

// Fixtures the extractors cannot (yet) extract in full, and why.
const std::map<std::string, std::string> kKnownShort = {
    {"lha/lhasa/unlha32_lh2.lzh", "-lh2- is not decoded"},
    {"lha/lhasa/unlha32_lh3.lzh", "-lh3- is not decoded"},
    {"rar/rarfile/rar15-comment.rar", "RAR 1.5 compression: neither library decodes it"},
    {"rar/sharpcompress/Rar15.rar", "RAR 1.5 compression: neither library decodes it"},
    {"rar/sharpcompress/Rar2.multi.rar",
     "RAR 2.0 compression in a volume set: libarchive reads the set but not the method"},
    {"rar/rarfile/rar5-hpsw.rar", "encrypted headers"},
    {"rar/rarfile/rar3-comment-hpsw.rar", "encrypted headers"},
    {"rar/rarfile/rar3-comment-psw.rar", "encrypted entries: neither library decrypts RAR"},
    {"arj/garbled.arj", "garbled entries end the job"},
    {"arj/sharpcompress/Arj.encrypted.arj", "garbled entries end the job"},
};

TEST(ExtractFixtures, EveryFileExtractsToItsListedSum) {
    int checked = 0;
    for (auto& ex : fs::recursive_directory_iterator(kRoot / "expected")) {
        if (!ex.is_regular_file()) continue;
        std::ifstream in(ex.path());
        std::string line, fixture, format;
        std::vector<std::pair<std::string, std::string>> files;  // name, sha256
        while (std::getline(in, line)) {
            if (line.rfind("# fixture: ", 0) == 0)
                fixture = line.substr(11);
            else if (line.rfind("# format: ", 0) == 0)
                format = line.substr(10);
            else if (!line.empty() && line[0] != '#') {
                std::vector<std::string> f;
                std::stringstream ss(line);
                for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
                if (f.size() >= 9 && f[1] == "file" && f[8] != "-") files.emplace_back(f[0], f[8]);
            }
        }
        if (format != "ARJ" && format != "LHA" && format != "ARC" && format != "PAK" && format != "RAR")
            continue;
        if (kKnownShort.count(fixture) || files.empty()) continue;
        SCOPED_TRACE(fixture);
        kvtest::TempDir t;
        Job j = extractTo(kRoot / fixture, t.path);
        EXPECT_EQ(j.failed, 0);
        for (const auto& f : j.failures) ADD_FAILURE() << f.name << ": " << f.id;
        // The listings give DOS names as their tools show them, sometimes lower-cased.
        std::map<std::string, fs::path> found;
        for (auto& e : fs::recursive_directory_iterator(t.path))
            if (e.is_regular_file()) found[lower(fs::relative(e.path(), t.path).string())] = e.path();
        for (const auto& [name, sum] : files) {
            auto it = found.find(lower(name));
            if (it == found.end())
                ADD_FAILURE() << name << " was not extracted";
            else
                EXPECT_EQ(sha256(it->second), sum) << name;
        }
        ++checked;
    }
    EXPECT_GT(checked, 30);
}

TEST(ExtractPeers, ArjMethodsAndVolumesMatchArj) {
    if (!haveTool("arj")) GTEST_SKIP() << "arj not installed";
    kvtest::TempDir t;
    writeInputs(t.path / "in", 3);
    for (std::string opts : {"-m0", "-m1", "-m2", "-m3", "-m4", "-m1 -v60k"}) {
        SCOPED_TRACE(opts);
        const fs::path arc = t.path / ("a" + std::to_string(opts.size()) + opts.substr(2, 1) + ".arj");
        int st = 0;
        run("cd " + quoted(t.path / "in") + " && arj a -r -y " + opts + " " + quoted(arc) +
                " '*' >/dev/null 2>&1",
            &st);
        ASSERT_EQ(st, 0);
        const fs::path ours = t.path / ("ours" + opts), theirs = t.path / ("theirs" + opts);
        fs::create_directories(theirs);
        run("cd " + quoted(theirs) + " && arj x -y " + (opts.find("-v") != std::string::npos ? "-v " : "") +
            quoted(arc) + " >/dev/null 2>&1");
        Job j = extractTo(arc, ours);
        EXPECT_EQ(j.failed, 0);
        EXPECT_EQ(tree(ours), tree(theirs));
        EXPECT_EQ(tree(ours).size(), 5u);
    }
}

TEST(ExtractPeers, ArcMethodsMatchArcAndNomarch) {
    if (!haveTool("arc") || !haveTool("nomarch")) GTEST_SKIP() << "arc or nomarch not installed";
    kvtest::TempDir t;
    writeInputs(t.path / "in", 1);
    for (std::string cmd : {"a", "aq"}) {
        SCOPED_TRACE(cmd);
        const fs::path arc = t.path / ("A" + cmd + ".ARC");
        int st = 0;
        run("cd " + quoted(t.path / "in") + " && arc " + cmd + " " + quoted(arc) +
                " TEXT.TXT RUNS.TXT NOISE.BIN EMPTY.TXT >/dev/null 2>&1",
            &st);
        ASSERT_EQ(st, 0);
        const fs::path ours = t.path / ("ours" + cmd), theirs = t.path / ("theirs" + cmd);
        fs::create_directories(theirs);
        run("cd " + quoted(theirs) + " && nomarch " + quoted(arc) + " >/dev/null 2>&1");
        Job j = extractTo(arc, ours);
        EXPECT_EQ(j.failed, 0);
        EXPECT_EQ(tree(ours, true), tree(theirs, true));
        EXPECT_EQ(tree(ours).size(), 4u);
    }
}

TEST(ExtractPeers, LhaArchivesMatchLhasa) {
    if (!haveTool("jlha") || !haveTool("lhasa")) GTEST_SKIP() << "jlha or lhasa not installed";
    kvtest::TempDir t;
    writeInputs(t.path / "in", 3);
    const fs::path arc = t.path / "a.lzh";
    int st = 0;
    run("cd " + quoted(t.path / "in") + " && jlha a " + quoted(arc) +
            " TEXT.TXT RUNS.TXT NOISE.BIN sub >/dev/null 2>&1",
        &st);
    ASSERT_EQ(st, 0);
    const fs::path ours = t.path / "ours", theirs = t.path / "theirs";
    fs::create_directories(theirs);
    run("cd " + quoted(theirs) + " && lhasa x " + quoted(arc) + " >/dev/null 2>&1");
    Job j = extractTo(arc, ours);
    EXPECT_EQ(j.failed, 0);
    EXPECT_EQ(tree(ours, true), tree(theirs, true));
    EXPECT_EQ(tree(ours).size(), 4u);
}

// Everything below root as "name" -> its content, "-> target" for a link or "/" for a folder.
std::map<std::string, std::string> withLinks(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(e.path(), root).string();
        if (e.is_symlink()) {
            out[name] = "-> " + fs::read_symlink(e.path()).string();
        } else if (e.is_directory()) {
            out[name] = "/";
        } else {
            std::ifstream in(e.path(), std::ios::binary);
            out[name] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return out;
}

// Long names in every form tar writes them (GNU long-name records, pax paths, the ustar
// prefix), symbolic links with long targets and hard links: we list the names tar lists
// and extract the tree tar extracts.
TEST(ExtractPeers, TarLongNamesAndLinksMatchTar) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    kvtest::TempDir t;
    const std::string deep = std::string(90, 'a') + "/" + std::string(90, 'b') + "/" + std::string(90, 'c');
    const fs::path in = t.path / "in";
    fs::create_directories(in / deep);
    fs::create_directories(in / "short");
    std::ofstream(in / deep / (std::string(80, 'f') + ".txt")) << "deep file\n";
    std::ofstream(in / "short" / "plain.txt") << "plain\n";
    fs::create_symlink(deep + "/" + std::string(80, 'f') + ".txt", in / "to-deep");
    fs::create_symlink("../short/plain.txt", in / deep / "up-link");
    fs::create_hard_link(in / deep / (std::string(80, 'f') + ".txt"), in / "short" / "hard.txt");
    fs::create_hard_link(in / "short" / "plain.txt", in / deep / "hard-plain");
    fs::create_hard_link(in / "short" / "plain.txt", in / "short" / "plain-hard");
    // ustar holds a name of at most 155 + 100 bytes and a link target of 100.
    const std::string ustarName = std::string(90, 'a') + "/" + std::string(90, 'b') + "/u.txt";
    std::ofstream(in / ustarName) << "split name\n";
    struct Case {
        const char* format;
        std::string members;
    };
    const std::vector<Case> cases = {
        {"gnu", "short to-deep " + std::string(90, 'a')},
        {"posix", "short to-deep " + std::string(90, 'a')},
        {"ustar", "short/plain.txt short/plain-hard " + ustarName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const fs::path arc = t.path / (std::string(c.format) + ".tar");
        int st = 0;
        run("cd " + quoted(in) + " && tar --format=" + c.format + " -cf " + quoted(arc) + " " + c.members +
                " 2>/dev/null",
            &st);
        ASSERT_EQ(st, 0);
        std::vector<std::string> theirNames;
        std::stringstream names(run("tar -tf " + quoted(arc)));
        for (std::string l; std::getline(names, l);)
            if (!l.ends_with("/")) theirNames.push_back(l);
        kv::TKelmo k;
        std::vector<std::string> ourNames;
        k.OnRead = [&](kv::TZipCommon& z, int64_t, int) { ourNames.push_back(z.FileName); };
        k.setArchiveFile(arc.string());
        ASSERT_TRUE(k.Activate());
        EXPECT_EQ(k.LastError, 0);
        EXPECT_EQ(ourNames, theirNames);

        const fs::path ours = t.path / ("ours-" + std::string(c.format)),
                       theirs = t.path / ("theirs-" + std::string(c.format));
        fs::create_directories(theirs);
        run("cd " + quoted(theirs) + " && tar -xf " + quoted(arc) + " 2>/dev/null");
        Job j = extractTo(arc, ours);
        EXPECT_EQ(j.failed, 0);
        for (const auto& f : j.failures) ADD_FAILURE() << f.name << ": " << f.id;
        EXPECT_EQ(withLinks(ours), withLinks(theirs));
        EXPECT_GE(withLinks(ours).size(), 5u);
    }
}

}  // namespace
