// kvarc l: the directory of an archive as a table or as tab-separated lines.
#include <charconv>
#include <cstdio>
#include <string>

#include <sys/stat.h>

#include "archive/base/messages.h"
#include "archive/kelmo/kelmo.h"
#include "kvarc/commands.h"
#include "platform/display_text.h"

namespace kvarc {
namespace {

void appendNumber(std::string& out, uint64_t v) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, end);
}

// Names, comments and messages come from the archive: printed raw they could drive the
// terminal or, with a TAB or LF, forge a row of the --tsv output.
std::string shown(std::string_view text) { return kv::platform::escapeControls(text); }

// A comment keeps its lines (CR LF or LF): each is escaped on its own and the following ones
// are indented under the first.
std::string shownComment(std::string_view comment) {
    std::string out = "Comment: ";
    for (bool first = true;; first = false) {
        const size_t lf = comment.find('\n');
        std::string_view line = comment.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!first) out += "         ";
        out += shown(line);
        out += '\n';
        if (lf == std::string_view::npos) break;
        comment.remove_prefix(lf + 1);
        if (comment.empty()) break;
    }
    return out;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

}  // namespace

int listCommand(const Args& args) {
    bool tsv = false, cp866 = false;
    std::string archive;
    for (const std::string& a : args) {
        if (a == "--tsv")
            tsv = true;
        else if (a == "--cp866")
            cp866 = true;
        else if (archive.empty())
            archive = a;
        else {
            std::fputs("kvarc l: one archive at a time\n", stderr);
            return 2;
        }
    }
    if (archive.empty()) {
        std::fputs("usage: kvarc l [--tsv] [--cp866] ARCHIVE\n", stderr);
        return 2;
    }
    struct stat st {};
    if (::stat(archive.c_str(), &st) != 0) {
        std::fprintf(stderr, "kvarc: %s: %s\n", shown(archive).c_str(),
                     std::string(kv::messageText(kv::msg::FileNotFound)).c_str());
        return 2;
    }
    kv::TKelmo k;
    // Names of DOS archives are CP437 unless the user's language says Cyrillic.
    if (cp866) k.NameCodePage = kv::TNameCodePage::cp866;
    std::string firstError;
    k.OnError = [&](kv::TZipCommon&, const std::string& fn, const std::string& extra, const std::string&,
                    int code) {
        if (!firstError.empty()) return;
        firstError = fn + ": " + std::string(kv::messageText(code));
        if (!extra.empty()) firstError += " (" + extra + ")";
    };
    // Output is gathered in one buffer: a listing of 100 000 entries is one write.
    std::string out;
    out.reserve(1 << 16);
    char line[64];
    // Entries of one archive mostly share a few dates: the last one is kept formatted.
    kv::TDateTime lastDate{0, 0, 0, 0, 0, 0};
    std::string lastDateText;
    k.OnRead = [&](kv::TZipCommon& s, int64_t, int) {
        static constexpr char kHex[] = "0123456789abcdef";
        for (int i = 0; i < 8; ++i) line[i] = kHex[(s.FileCRC >> (28 - 4 * i)) & 0xF];
        line[8] = 0;
        if (!(s.FileDate == lastDate)) {
            lastDate = s.FileDate;
            lastDateText = kv::formatDateTime(s.FileDate);
        }
        if (tsv) {
            out += shown(s.FileName);
            out += '\t';
            appendNumber(out, s.UnpackedSize);
            out += '\t';
            appendNumber(out, s.PackedSize);
            out += '\t';
            out.append(line, 8);
            out += '\t';
            out += shown(s.MethodName);
            out += '\t';
            out += lastDateText;
            out += s.Encrypted ? "\t1\n" : "\t0\n";
        } else {
            char row[160];
            std::snprintf(row, sizeof row, "%12llu %12llu %3d%% %-9s %s %s%s  ",
                          static_cast<unsigned long long>(s.UnpackedSize),
                          static_cast<unsigned long long>(s.PackedSize), s.Ratio, shown(s.MethodName).c_str(),
                          lastDateText.c_str(), line, s.Encrypted ? "*" : " ");
            out += row;
            out += shown(s.FileName);
            out += '\n';
        }
        if (out.size() > (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    };
    k.setArchiveFile(archive);
    std::string header =
        tsv ? "type\t" + trimmed(kv::arcTypeName(k.ArcType())) + "\n"
            : "Archive: " + shown(archive) + "  (" + trimmed(kv::arcTypeName(k.ArcType())) + ")\n" +
                  "    Unpacked       Packed Ratio Method   Date       Time  CRC        Name\n";
    std::fwrite(header.data(), 1, header.size(), stdout);
    bool ok = k.Activate();
    if (!tsv) {
        char row[160];
        std::snprintf(row, sizeof row, "%12llu %12llu %3d%%  %d file(s)\n",
                      static_cast<unsigned long long>(k.TotalUnpacked),
                      static_cast<unsigned long long>(k.TotalPacked), k.OverallRatio, k.Count);
        out += row;
        if (!k.ArchiveComment.empty()) out += shownComment(k.ArchiveComment);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    if (!ok) {
        if (firstError.empty()) firstError = archive + ": " + std::string(kv::messageText(k.LastError));
        std::fprintf(stderr, "kvarc: %s\n", shown(firstError).c_str());
        return 2;
    }
    return 0;
}

}  // namespace kvarc
