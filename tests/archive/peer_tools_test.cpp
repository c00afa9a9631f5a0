// Archives made at test time by the Debian archivers, listed by us and by the archivers' own
// listers: names, sizes, CRCs, methods, dates and encryption must agree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "archive/base/date_time.h"
#include "fixture_util.h"

namespace fs = std::filesystem;
using namespace kvtest;

namespace {

struct Peer {
    std::string name;
    std::string size, packed, crc, method, date;  // empty: the peer does not show it
    int encrypted = -1;                           // -1: unknown
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string l;
    while (std::getline(ss, l)) out.push_back(l);
    return out;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Compares our listing with the peer's, field by field where the peer shows the field.
void expectSame(const Listing& ours, const std::vector<Peer>& peer, bool caseless = false) {
    ASSERT_TRUE(ours.ok) << "error " << ours.error;
    ASSERT_EQ(ours.entries.size(), peer.size());
    for (size_t i = 0; i < peer.size(); ++i) {
        const Listed& g = ours.entries[i];
        const Peer& w = peer[i];
        SCOPED_TRACE(w.name);
        EXPECT_EQ(caseless ? lower(g.name) : g.name, caseless ? lower(w.name) : w.name);
        if (!w.size.empty()) {
            EXPECT_EQ(std::to_string(g.size), w.size);
        }
        if (!w.packed.empty()) {
            EXPECT_EQ(std::to_string(g.packed), w.packed);
        }
        char crc[16];
        std::snprintf(crc, sizeof crc, w.crc.size() == 4 ? "%04x" : "%08x",
                      w.crc.size() == 4 ? (g.crc & 0xFFFF) : g.crc);
        if (!w.crc.empty()) {
            EXPECT_EQ(crc, w.crc);
        }
        if (!w.method.empty()) {
            EXPECT_EQ(g.methodName, w.method);
        }
        if (!w.date.empty()) {
            EXPECT_EQ(kv::formatDateTime(g.date), w.date);
        }
        if (w.encrypted >= 0) {
            EXPECT_EQ(g.encrypted, w.encrypted == 1);
        }
    }
}

// The input files of every archive, dated 2001-02-03 04:05:06 local time.
class PeerArchives : public ::testing::Test {
protected:
    void SetUp() override {
        write("hello.txt", "hello, world\n\n");
        std::string digits;
        for (int i = 0; i < 3000; ++i) digits += std::to_string(i) + "\n";
        write("digits.txt", digits);
        std::string random(40000, '\0');
        uint32_t x = 2463534242u;
        for (char& c : random) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = char(x);
        }
        write("random.bin", random);
        write("empty.txt", "");
        fs::create_directories(dir.path / "sub");
        write("sub/inner.txt", "inner file\n");
        write("A name with spaces.txt", "spaces\n");
        run("cd " + shellQuote(dir.path.string()) + " && touch -d '2001-02-03 04:05:06' * sub sub/*");
    }
    void write(const std::string& name, const std::string& data) {
        std::ofstream(dir / name, std::ios::binary) << data;
    }
    std::string in(const std::string& cmd) {
        return run("cd " + shellQuote(dir.path.string()) + " && " + cmd + " 2>/dev/null");
    }
    TempDir dir;
};

// unzip -v gives sizes, CRC and method; zipinfo marks encrypted entries in upper case.
std::vector<Peer> unzipListing(const std::string& zip) {
    std::vector<Peer> out;
    std::regex row(
        R"(^\s*(\d+)\s+(\S+)\s+(\d+)\s+\S+\s+(\d{4})-(\d\d)-(\d\d)\s+(\d\d:\d\d)\s+([0-9a-f]{8})\s+(.*)$)");
    for (const std::string& l : lines(run("unzip -v " + shellQuote(zip)))) {
        std::smatch m;
        if (!std::regex_match(l, m, row)) continue;
        Peer p;
        p.size = m[1];
        std::string method = m[2];
        p.method = method == "Stored"              ? "Stored"
                   : method.rfind("Defl:", 0) == 0 ? "Deflate" + method.substr(5)
                                                   : method;
        p.packed = m[3];
        p.date =
            std::string(m[6]) + "." + std::string(m[5]) + "." + std::string(m[4]) + " " + std::string(m[7]);
        p.crc = m[8];
        p.name = m[9];
        if (!p.name.empty() && p.name.back() == '/') continue;  // folders are not counted
        out.push_back(p);
    }
    std::regex info(R"(^\S{10}\s+\S+\s+\S+\s+\d+\s+([tbTB])[xX-]\s+(\d+)\s+.*$)");
    size_t i = 0;
    for (const std::string& l : lines(run("zipinfo -l " + shellQuote(zip)))) {
        std::smatch m;
        if (!std::regex_match(l, m, info) || l.back() == '/') continue;
        if (i < out.size()) {
            out[i].encrypted = std::isupper(static_cast<unsigned char>(std::string(m[1])[0])) ? 1 : 0;
            out[i].packed = m[2];  // zipinfo -l keeps the encryption header in the size
        }
        ++i;
    }
    return out;
}

TEST_F(PeerArchives, ZipAgreesWithUnzip) {
    if (!haveTool("zip") || !haveTool("unzip")) GTEST_SKIP() << "zip/unzip not installed";
    const char* files = "hello.txt digits.txt random.bin empty.txt sub 'A name with spaces.txt'";
    struct {
        const char* name;
        std::string cmd;
    } cases[] = {
        {"stored.zip", std::string("zip -q -r -0 stored.zip ") + files},
        {"fast.zip", std::string("zip -q -r -1 fast.zip ") + files},
        {"best.zip", std::string("zip -q -r -9 best.zip ") + files},
        {"nodirs.zip", std::string("zip -q -r -D nodirs.zip ") + files},
        {"crypt.zip", std::string("zip -q -r -P secret crypt.zip ") + files},
        {"streamed.zip",
         "cat hello.txt digits.txt | zip -q - - > streamed.zip; zip -q -r streamed2.zip hello.txt digits.txt "
         "| cat > /dev/null; cp streamed2.zip streamed.zip"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        in(c.cmd);
        std::string zip = dir / c.name;
        ASSERT_TRUE(fs::exists(zip));
        Listing ours = listArchive(zip);
        EXPECT_EQ(ours.type, kv::atZIP);
        expectSame(ours, unzipListing(zip));
    }
    // A comment is read whole.
    in("printf 'line one\\nline two\\n' | zip -q -z stored.zip");
    EXPECT_EQ(listArchive(dir / "stored.zip").comment, "line one\r\nline two");  // zip writes CR LF
}

TEST_F(PeerArchives, ZipFromAPipeWithDataDescriptors) {
    if (!haveTool("zip") || !haveTool("unzip")) GTEST_SKIP();
    in("cat digits.txt | zip -q - - > piped.zip");
    Listing ours = listArchive(dir / "piped.zip");
    expectSame(ours, unzipListing(dir / "piped.zip"));
    ASSERT_EQ(ours.entries.size(), 1u);
    EXPECT_EQ(ours.entries[0].name, "-");
}

// The fields a ZIP listing sets beyond the table columns, against zipinfo -v: versions,
// deflate option (zipinfo names it for deflated entries only), attributes, file comments
// and the archive comment.
TEST_F(PeerArchives, ZipEntryFieldsAgreeWithZipinfo) {
    if (!haveTool("zip") || !haveTool("zipinfo")) GTEST_SKIP() << "zip/zipinfo not installed";
    in("printf 'first note\\nC:\\\\DOS\\\\x\\n' | zip -q -1 -c f.zip hello.txt digits.txt");
    in("zip -q -9 f.zip random.bin && zip -q -0 f.zip empty.txt && zip -q -3 f.zip sub/inner.txt");
    in("chmod 0640 sub/inner.txt; zip -q -3 f.zip sub/inner.txt");
    in("printf 'see C:\\\\TEMP\\n' | zip -q -z f.zip");

    struct Want {
        int madeBy = -1, needed = -1, deflateOption = -1, text = -1;  // -1: zipinfo does not say
        uint32_t unixMode = 0, dosAttr = 0;
        std::string comment;
    };
    std::vector<Want> want;
    bool inComment = false;
    std::regex num(
        R"(^\s+(version of encoding software|minimum software version required to extract):\s+(\d+)\.(\d+)\s*$)");
    std::regex mode(R"(^\s+Unix file attributes \((\d+) octal\).*$)");
    std::regex dos(R"(^\s+MS-DOS file attributes \(([0-9A-Fa-f]+) hex\).*$)");
    for (const std::string& l : lines(run("zipinfo -v " + shellQuote(dir / "f.zip")))) {
        std::smatch m;
        if (l.rfind("Central directory entry #", 0) == 0) {
            want.emplace_back();
            continue;
        }
        if (want.empty()) continue;
        Want& w = want.back();
        if (l.find("file comment begins") != std::string::npos) {
            inComment = true;
            continue;
        }
        if (l.find("file comment ends") != std::string::npos) {
            inComment = false;
            continue;
        }
        if (inComment) {
            w.comment += (w.comment.empty() ? "" : "\n") + l;
            continue;
        }
        if (std::regex_match(l, m, num)) {
            int v = std::stoi(m[2]) * 10 + std::stoi(m[3]);
            (std::string(m[1])[0] == 'v' ? w.madeBy : w.needed) = v;
        } else if (std::regex_match(l, m, mode)) {
            w.unixMode = uint32_t(std::stoul(m[1], nullptr, 8));
        } else if (std::regex_match(l, m, dos)) {
            w.dosAttr = uint32_t(std::stoul(m[1], nullptr, 16));
        } else if (l.find("compression sub-type (deflation):") != std::string::npos) {
            w.deflateOption = l.find("superfast") != std::string::npos ? 6
                              : l.find("fast") != std::string::npos    ? 4
                              : l.find("maximum") != std::string::npos ? 2
                                                                       : 0;
        } else if (l.find("apparent file type:") != std::string::npos) {
            w.text = l.find("text") != std::string::npos ? 1 : 0;
        }
    }
    ASSERT_EQ(want.size(), 5u);

    struct Got {
        int madeBy, needed, deflateOption, internal;
        uint32_t external;
        std::string comment;
    };
    std::vector<Got> got;
    kv::TKelmo k;
    k.OnRead = [&](kv::TZipCommon& z, int64_t, int) {
        got.push_back({z.VersionMadeBy, z.VersionNeeded, z.DeflateOption, z.InternalAttr, z.ExternalAttr,
                       z.FileComment});
    };
    k.setArchiveFile(dir / "f.zip");
    ASSERT_TRUE(k.Activate());
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].madeBy, want[i].madeBy);
        EXPECT_EQ(got[i].needed, want[i].needed);
        if (want[i].deflateOption >= 0) {
            EXPECT_EQ(got[i].deflateOption, want[i].deflateOption);
        }
        EXPECT_EQ(got[i].internal & 1, want[i].text);
        EXPECT_EQ(got[i].external >> 16, want[i].unixMode);
        EXPECT_EQ(got[i].external & 0xFF, want[i].dosAttr);
        EXPECT_EQ(got[i].comment, want[i].comment);
    }
    // Comments are text, not names: a backslash in them stays a backslash.
    EXPECT_EQ(want[1].comment, "C:\\DOS\\x");
    EXPECT_EQ(k.ArchiveComment, "see C:\\TEMP");
}

// Every named entry reaches OnReadFile before the FileSpec test, also those it leaves out.
TEST_F(PeerArchives, OnReadFileSeesEntriesTheSpecLeavesOut) {
    struct {
        const char* archive;
        const char* cmd;
        const char* tool;
    } cases[] = {
        {"s.zip", "zip -q -r s.zip hello.txt random.bin sub", "zip"},
        {"s.tar", "tar cf s.tar hello.txt random.bin sub/inner.txt", "tar"},
        {"s.arj", "arj a s.arj hello.txt random.bin", "arj"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.archive);
        if (!haveTool(c.tool)) continue;
        in(c.cmd);
        kv::TKelmo k;
        std::vector<std::string> seen, listed;
        k.OnReadFile = [&](kv::TZipCommon&, const std::string& name) { seen.push_back(name); };
        k.OnRead = [&](kv::TZipCommon& z, int64_t, int) { listed.push_back(z.FileName); };
        k.setFileSpec("*.txt");
        k.setArchiveFile(dir / c.archive);
        ASSERT_TRUE(k.Activate());
        EXPECT_NE(std::find(seen.begin(), seen.end(), "random.bin"), seen.end());
        EXPECT_NE(std::find(seen.begin(), seen.end(), "hello.txt"), seen.end());
        EXPECT_EQ(std::find(listed.begin(), listed.end(), "random.bin"), listed.end());
        EXPECT_NE(std::find(listed.begin(), listed.end(), "hello.txt"), listed.end());
    }
}

// ShowBlankDirs: ZIP folders are fired only when it is set and never counted; in a TAR it
// switches FileSpec from the name alone to the whole path.
TEST_F(PeerArchives, ShowBlankDirs) {
    if (!haveTool("zip") || !haveTool("tar")) GTEST_SKIP() << "zip/tar not installed";
    in("zip -q -r d.zip hello.txt sub && tar cf d.tar hello.txt sub");
    Listing hidden = listArchive(dir / "d.zip", false), shown = listArchive(dir / "d.zip", true);
    ASSERT_TRUE(hidden.ok && shown.ok);
    auto names = [](const Listing& l) {
        std::vector<std::string> n;
        for (const Listed& e : l.entries) n.push_back(e.name + (e.dir ? " (dir)" : ""));
        return n;
    };
    EXPECT_EQ(names(hidden), (std::vector<std::string>{"hello.txt", "sub/inner.txt"}));
    EXPECT_EQ(names(shown), (std::vector<std::string>{"hello.txt", "sub/ (dir)", "sub/inner.txt"}));
    EXPECT_EQ(hidden.totals, 2);
    EXPECT_EQ(shown.totals, 2);

    for (bool show : {false, true}) {
        kv::TKelmo k;
        std::vector<std::string> listed;
        k.ShowBlankDirs = show;
        k.OnRead = [&](kv::TZipCommon& z, int64_t, int) { listed.push_back(z.FileName); };
        k.setFileSpec("inner.txt");
        k.setArchiveFile(dir / "d.tar");
        ASSERT_TRUE(k.Activate());
        EXPECT_EQ(listed, show ? std::vector<std::string>{} : std::vector<std::string>{"sub/inner.txt"})
            << show;
    }
}

// arj v: "NNN) name" then a line with version, host, sizes, ratio, date and the method.
std::vector<Peer> arjListing(const std::string& arj, bool volumes = false) {
    std::vector<Peer> out;
    std::regex nameRow(R"(^\d{3}\) (.*)$)");
    std::regex dataRow(R"(^\s*\d+\s+\S+\s+(\d+)\s+(\d+)\s+\S+\s+(\d\d)-(\d\d)-(\d\d) (\d\d:\d\d):\d\d\s.*$)");
    std::string cmd = std::string("arj v ") + (volumes ? "-v " : "") + shellQuote(arj) + " -y 2>/dev/null";
    std::vector<std::string> ls = lines(run(cmd));
    for (size_t i = 0; i + 1 < ls.size(); ++i) {
        std::smatch n, d;
        if (!std::regex_match(ls[i], n, nameRow) || !std::regex_match(ls[i + 1], d, dataRow)) continue;
        Peer p;
        p.name = n[1];
        p.size = d[1];
        p.packed = d[2];
        int yy = std::stoi(d[3]);
        p.date = std::string(d[5]) + "." + std::string(d[4]) + "." +
                 std::to_string(yy < 80 ? 2000 + yy : 1900 + yy) + " " + std::string(d[6]);
        // The last five columns are the B, P, M, G and S flags; M is the method digit.
        std::string tail = ls[i + 1].substr(ls[i + 1].size() - 5);
        static const char* kMethods[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
        if (tail[2] >= '0' && tail[2] <= '4') p.method = kMethods[tail[2] - '0'];
        p.encrypted = tail[3] == '1' ? 1 : 0;
        out.push_back(p);
    }
    return out;
}

TEST_F(PeerArchives, ArjAgreesWithArj) {
    if (!haveTool("arj")) GTEST_SKIP() << "arj not installed";
    const char* files = "hello.txt digits.txt random.bin empty.txt sub/inner.txt 'A name with spaces.txt'";
    struct {
        const char* name;
        std::string opts;
    } cases[] = {
        {"m0.arj", "-2d -m0"}, {"m1.arj", "-2d -m1"}, {"m2.arj", "-2d -m2"},
        {"m4.arj", "-2d -m4"}, {"unix.arj", "-m1"},   {"garbled.arj", "-2d -gsecret"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        in("arj a " + c.opts + " -y " + c.name + " " + files + " >/dev/null");
        std::string arj = dir / c.name;
        ASSERT_TRUE(fs::exists(arj));
        Listing ours = listArchive(arj);
        EXPECT_EQ(ours.type, kv::atARJ);
        expectSame(ours, arjListing(arj));
    }
}

TEST_F(PeerArchives, ArjVolumesAreFollowed) {
    if (!haveTool("arj")) GTEST_SKIP();
    in("arj a -2d -m0 -v15K -y vol.arj hello.txt random.bin digits.txt >/dev/null");
    ASSERT_TRUE(fs::exists(dir / "vol.a01"));
    Listing ours = listArchive(dir / "vol.arj");
    std::vector<Peer> peer = arjListing(dir / "vol.arj", true);
    // arj v -v shows a file once per volume it touches; we show it once, with summed sizes.
    std::vector<Peer> merged;
    for (const Peer& p : peer) {
        if (!merged.empty() && merged.back().name == p.name) {
            merged.back().packed = std::to_string(std::stoull(merged.back().packed) + std::stoull(p.packed));
            merged.back().size = std::to_string(std::stoull(merged.back().size) + std::stoull(p.size));
        } else {
            merged.push_back(p);
        }
    }
    expectSame(ours, merged);
    // Each entry names the volume it ends in: the first one here, the last one for the last.
    std::string lastVolume = "vol.arj";
    for (int n = 1; n < 100; ++n) {
        char ext[8];
        std::snprintf(ext, sizeof ext, "vol.a%02d", n);
        if (fs::exists(dir / ext)) lastVolume = ext;
    }
    ASSERT_NE(lastVolume, "vol.arj");
    ASSERT_FALSE(ours.entries.empty());
    EXPECT_EQ(ours.entries.front().volume, "vol.arj");
    EXPECT_EQ(ours.entries.back().volume, lastVolume);
    // Without the second volume the listing stops and says which file is missing.
    fs::remove(dir / "vol.a01");
    Listing cut = listArchive(dir / "vol.arj");
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.error, kv::msg::FileNotFound);
}

// arc v: name, length, stowage, ratio, packed, date, time, CRC-16.
TEST_F(PeerArchives, ArcAgreesWithArc) {
    if (!haveTool("arc")) GTEST_SKIP() << "arc not installed";
    in("cp hello.txt HELLO.TXT && cp digits.txt DIGITS.TXT && cp random.bin RANDOM.BIN && cp empty.txt "
       "EMPTY.TXT && "
       "touch -d '2001-02-03 04:05:06' *.TXT *.BIN && arc a x.arc HELLO.TXT DIGITS.TXT RANDOM.BIN EMPTY.TXT "
       ">/dev/null");
    std::regex row(
        R"(^(\S+)\s+(\d+)\s+(\S+)\s+\S+\s+(\d+)\s+(\d+) (\w{3}) (\d\d)\s+(\d+):(\d\d)([ap])\s+([0-9a-f]{4})$)");
    std::vector<Peer> peer;
    for (const std::string& l : lines(run("arc v " + shellQuote(dir / "x.arc")))) {
        std::smatch m;
        if (!std::regex_match(l, m, row)) continue;
        static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
        int hour = std::stoi(m[8]) % 12 + (std::string(m[10]) == "p" ? 12 : 0);
        char date[40];
        std::snprintf(date, sizeof date, "%02d.%02zu.20%s %02d:%s", std::stoi(m[5]),
                      kMonths.find(std::string(m[6])) / 3 + 1, std::string(m[7]).c_str(), hour,
                      std::string(m[9]).c_str());
        std::string stowage = m[3];
        peer.push_back({m[1], m[2], m[4], m[11], stowage == "--" ? "Stored" : stowage, date});
    }
    ASSERT_EQ(peer.size(), 4u);
    expectSame(listArchive(dir / "x.arc"), peer);
}

// cabextract -l: size, date and name; a cabinet stores no CRC.
std::vector<Peer> cabListing(const std::string& cab) {
    std::vector<Peer> out;
    std::regex row(R"(^\s*(\d+) \| (\d\d\.\d\d\.\d{4} \d\d:\d\d):\d\d \| (.*)$)");
    for (const std::string& l : lines(run("cabextract -l " + shellQuote(cab)))) {
        std::smatch m;
        if (std::regex_match(l, m, row)) out.push_back({m[3], m[1], "", "", "", m[2]});
    }
    return out;
}

TEST_F(PeerArchives, CabAgreesWithCabextract) {
    if (!haveTool("gcab") || !haveTool("cabextract")) GTEST_SKIP() << "gcab/cabextract not installed";
    in("gcab -c plain.cab hello.txt digits.txt sub/inner.txt empty.txt && gcab -c -z zipped.cab hello.txt "
       "digits.txt random.bin");
    for (const char* name : {"plain.cab", "zipped.cab"}) {
        SCOPED_TRACE(name);
        Listing ours = listArchive(dir / name);
        EXPECT_EQ(ours.type, kv::atCAB);
        expectSame(ours, cabListing(dir / name));
    }
    EXPECT_EQ(listArchive(dir / "zipped.cab").entries[0].methodName, "MsZIP");
}

TEST_F(PeerArchives, TarAgreesWithTar) {
    // tar tv: files and hard links are entries; folders are not.
    // "label" starts with a volume header, which is no entry; "noext" is found by its sum.
    for (const char* format : {"ustar", "gnu", "v7", "label", "noext"}) {
        SCOPED_TRACE(format);
        std::string fmt = std::string(format) == "label"   ? "gnu --label=VOLUME"
                          : std::string(format) == "noext" ? "ustar"
                                                           : format;
        std::string name = std::string(format) == "noext" ? "noext" : std::string(format) + ".tar";
        in("tar --format=" + fmt + " -cf " + name +
           " hello.txt sub digits.txt empty.txt && ln -f hello.txt link.txt && tar --format=" + fmt +
           " -rf " + name + " hello.txt link.txt");
        std::regex row(
            R"(^([-hd]\S+) \S+\s+(\d+) (\d{4})-(\d\d)-(\d\d) (\d\d:\d\d):\d\d (.*?)( link to .*)?$)");
        std::vector<Peer> peer;
        for (const std::string& l : lines(run("tar tv --full-time -f " + shellQuote(dir / name)))) {
            std::smatch m;
            if (!std::regex_match(l, m, row) || std::string(m[1])[0] == 'd') continue;
            std::string date = std::string(m[5]) + "." + std::string(m[4]) + "." + std::string(m[3]) + " " +
                               std::string(m[6]);
            peer.push_back({m[7], m[2], m[2], "", "Stored", date});
        }
        ASSERT_GE(peer.size(), 5u);
        Listing ours = listArchive(dir / name);
        EXPECT_EQ(ours.type, kv::atTAR);
        expectSame(ours, peer);
    }
}

TEST_F(PeerArchives, GzipAndUue) {
    in("gzip -k -N digits.txt && cp digits.txt.gz renamed.gz && gzip -k -n -c hello.txt > noname.tar.gz && "
       "uuencode hello.txt 'stored name.txt' > x.uue");
    std::regex row(R"(^(\S+)\s+([0-9a-f]{8})\s+\w{3}\s+\d+\s+\d\d:\d\d\s+(\d+)\s+(\d+)\s+\S+\s+(.*)$)");
    std::smatch m;
    std::string out = lines(run("gzip -lv " + shellQuote(dir / "digits.txt.gz"))).at(1);
    ASSERT_TRUE(std::regex_match(out, m, row)) << out;
    Listing ours = listArchive(dir / "renamed.gz");
    ASSERT_TRUE(ours.ok);
    ASSERT_EQ(ours.entries.size(), 1u);
    EXPECT_EQ(ours.entries[0].name, "digits.txt");  // the stored name, not the file's
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", ours.entries[0].crc);
    EXPECT_EQ(crc, std::string(m[2]));
    EXPECT_EQ(std::to_string(ours.entries[0].size), std::string(m[4]));
    EXPECT_EQ(kv::formatDateTime(ours.entries[0].date), "03.02.2001 04:05");
    // Without a stored name: the file's name up to its first dot.
    Listing noName = listArchive(dir / "noname.tar.gz");
    ASSERT_EQ(noName.entries.size(), 1u);
    EXPECT_EQ(noName.entries[0].name, "noname");
    Listing uue = listArchive(dir / "x.uue");
    ASSERT_EQ(uue.entries.size(), 1u);
    EXPECT_EQ(uue.entries[0].name, "stored name.txt");
}

// lhasa cannot write archives: the shared LHA fixtures are checked against it instead.
TEST(PeerLha, FixturesAgreeWithLhasa) {
    if (!haveTool("lhasa")) GTEST_SKIP() << "lhasa not installed";
    std::regex row(
        R"(^\S+\s+(?:\d+/\d+\s+)?(\d+)\s+(\d+)\s+\S+%?\s+(-\w\w.-)\s+([0-9a-f]{4})\s+\w{3}\s+\d+\s+[\d:]+\s+(.*)$)");
    int checked = 0;
    for (auto& d : fs::recursive_directory_iterator(KV_TEST_DATA "/archives/lha")) {
        if (!d.is_regular_file()) continue;
        std::string path = d.path().string();
        SCOPED_TRACE(path);
        std::vector<Peer> peer;
        for (const std::string& l : lines(run("lhasa v " + shellQuote(path) + " 2>/dev/null"))) {
            std::smatch m;
            if (!std::regex_match(l, m, row)) continue;
            std::string method = m[3];
            if (method == "-lhd-") continue;  // folder entries end in "/" and are not listed
            std::string name = m[5];
            std::string methodName = method.substr(1, 2) != "lh" ? "Unknown"
                                     : method[3] == '0'          ? "Stored"
                                     : method[3] >= '1' && method[3] <= '6'
                                         ? std::string("Frozen-") + method[3]
                                         : "Unknown";
            peer.push_back({name, m[2], m[1], m[4], methodName, ""});
        }
        if (peer.empty()) continue;
        expectSame(listArchive(path), peer, true);
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

}  // namespace
