#include "kvarc/kvarc_add.h"

#include <cstdio>
#include <string>

#include "archive/base/messages.h"
#include "archive/zip/zip_writer.h"
#include "platform/display_text.h"

namespace kvarc {
namespace {

std::string shown(std::string_view text) { return kv::platform::escapeControls(text); }

struct Reporter {
    int errors = 0;  // reported failures, "nothing to do" apart
    bool nothingToDo = false;
    void attach(kv::TZip& zip) {
        zip.OnError = [this](kv::TZipCommon&, const std::string& fn, const std::string& extra,
                             const std::string&, int id) {
            if (id == kv::msg::NothingToDo) {
                nothingToDo = true;
                return;
            }
            ++errors;
            const std::string_view text = kv::messageText(id);
            std::fprintf(stderr, "kvarc: %s: %.*s (%d)%s%s\n", shown(fn).c_str(), int(text.size()),
                         text.data(), id, extra.empty() ? "" : ": ", shown(extra).c_str());
        };
    }
};

}  // namespace

int addCommand(const Args& args) {
    kv::TZip zip;
    std::string archive;
    std::vector<std::string> files;
    bool move = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-r")
            zip.RecurseDirs = true;
        else if (a == "-m")
            move = true;
        else if (a == "-p" && i + 1 < args.size())
            zip.Password = args[++i];
        else if (a == "-0")
            zip.setCompressMethod(kv::TCompressMethod::cmStore);
        else if (a.size() == 2 && a[0] == '-' && a[1] >= '1' && a[1] <= '9')
            zip.setLevel(a[1] - '0');
        else if (a.size() > 1 && a[0] == '-')
            return 2;
        else if (archive.empty())
            archive = a;
        else
            files.push_back(a);
    }
    if (archive.empty() || files.empty()) return 2;
    Reporter rep;
    rep.attach(zip);
    // The command line adds what it is given, dot files too.
    zip.FileAttribute.setFtHidden(true);
    zip.Switch = move ? kv::TSwitch::swMove : kv::TSwitch::swAdd;
    zip.FileSpecList = files;
    zip.setArchiveFile(archive);
    const bool written = zip.Activate();
    if (written) return rep.errors ? 1 : 0;
    if (rep.nothingToDo && rep.errors == 0) {
        std::fprintf(stderr, "kvarc: %s: up to date\n", shown(zip.ArchiveFile()).c_str());
        return 0;
    }
    if (rep.nothingToDo) std::fprintf(stderr, "kvarc: %s: not written\n", shown(zip.ArchiveFile()).c_str());
    return 2;
}

int deleteCommand(const Args& args) {
    kv::TZip zip;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-p" && i + 1 < args.size())
            zip.Password = args[++i];
        else
            rest.push_back(args[i]);
    }
    if (rest.size() < 2) return 2;
    Reporter rep;
    rep.attach(zip);
    // Encrypted entries are dropped only with their password; a wrong or missing one is said
    // as such, and the archive stays as it was.
    zip.OnGetPassword = [](kv::TZipCommon&, const std::string&, std::string&, bool& again) { again = false; };
    zip.Switch = kv::TSwitch::swDelete;
    zip.FileSpecList.assign(rest.begin() + 1, rest.end());
    zip.setArchiveFile(rest[0]);
    if (zip.Activate()) return 0;
    if (rep.nothingToDo && rep.errors == 0) {
        std::fprintf(stderr, "kvarc: %s: no entry matched\n", shown(rest[0]).c_str());
        return 1;
    }
    return 2;
}

}  // namespace kvarc
