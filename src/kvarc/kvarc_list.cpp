// kvarc l: the directory of an archive as a table or as tab-separated lines.
#include <cstdio>
#include <string>

#include "archive/base/messages.h"
#include "archive/kelmo/kelmo.h"
#include "kvarc/commands.h"

namespace kvarc {
namespace {

std::string trimmed(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

int listCommand(const Args& args) {
  bool tsv = false, cp866 = false;
  std::string archive;
  for (const std::string& a : args) {
    if (a == "--tsv") tsv = true;
    else if (a == "--cp866") cp866 = true;
    else if (archive.empty()) archive = a;
    else {
      std::fputs("kvarc l: one archive at a time\n", stderr);
      return 2;
    }
  }
  if (archive.empty()) {
    std::fputs("usage: kvarc l [--tsv] [--cp866] ARCHIVE\n", stderr);
    return 2;
  }
  kv::TKelmo k;
  // Names of DOS archives are CP437 unless the user's language says Cyrillic.
  if (cp866) k.NameCodePage = kv::TNameCodePage::cp866;
  std::string firstError;
  k.OnError = [&](kv::TZipCommon&, const std::string& fn, const std::string& extra,
                  const std::string&, int code) {
    if (!firstError.empty()) return;
    firstError = fn + ": " + std::string(kv::messageText(code));
    if (!extra.empty()) firstError += " (" + extra + ")";
  };
  // Output is gathered in one buffer: a listing of 100 000 entries is one write.
  std::string out;
  out.reserve(1 << 16);
  char line[64];
  k.OnRead = [&](kv::TZipCommon& s, int64_t, int) {
    std::snprintf(line, sizeof line, "%08x", s.FileCRC);
    if (tsv) {
      out += s.FileName;
      out += '\t';
      out += std::to_string(s.UnpackedSize);
      out += '\t';
      out += std::to_string(s.PackedSize);
      out += '\t';
      out += line;
      out += '\t';
      out += s.MethodName;
      out += '\t';
      out += kv::formatDateTime(s.FileDate);
      out += s.Encrypted ? "\t1\n" : "\t0\n";
    } else {
      char row[160];
      std::snprintf(row, sizeof row, "%12llu %12llu %3d%% %-9s %s %s%s  ",
                    static_cast<unsigned long long>(s.UnpackedSize),
                    static_cast<unsigned long long>(s.PackedSize), s.Ratio, s.MethodName.c_str(),
                    kv::formatDateTime(s.FileDate).c_str(), line, s.Encrypted ? "*" : " ");
      out += row;
      out += s.FileName;
      out += '\n';
    }
    if (out.size() > (1 << 20)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  };
  k.setArchiveFile(archive);
  std::string header = tsv ? "type\t" + trimmed(kv::arcTypeName(k.ArcType())) + "\n"
                           : "Archive: " + archive + "  (" + trimmed(kv::arcTypeName(k.ArcType())) + ")\n" +
                                 "    Unpacked       Packed Ratio Method   Date       Time  CRC        Name\n";
  std::fwrite(header.data(), 1, header.size(), stdout);
  bool ok = k.Activate();
  if (!tsv) {
    char row[160];
    std::snprintf(row, sizeof row, "%12llu %12llu %3d%%  %d file(s)\n",
                  static_cast<unsigned long long>(k.TotalUnpacked),
                  static_cast<unsigned long long>(k.TotalPacked), k.OverallRatio, k.Count);
    out += row;
    if (!k.ArchiveComment.empty()) out += "Comment: " + k.ArchiveComment + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  if (!ok) {
    if (firstError.empty()) firstError = archive + ": " + std::string(kv::messageText(k.LastError));
    std::fprintf(stderr, "kvarc: %s\n", firstError.c_str());
    return 2;
  }
  return 0;
}

}  // namespace kvarc
