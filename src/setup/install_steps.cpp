#include "setup/install_steps.h"

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "archive/base/extractor_factory.h"
#include "archive/base/messages.h"
#include "archive/base/util.h"
#include "platform/display_text.h"
#include "platform/launcher.h"
#include "platform/private_profile.h"
#include "platform/xdg_dirs.h"

namespace kv::setup {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kShownProblems = 12;  // lines of an extraction summary, the rest counted

std::string homeFolder() {
    // configHome() is HOME/.config unless XDG_CONFIG_HOME is set; HOME itself decides here.
    if (const char* h = std::getenv("HOME"); h && *h == '/') return h;
    return fs::path(platform::configHome()).parent_path().string();
}

// Value escapes of a desktop file's string keys.
std::string desktopValue(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == ' ' && i == 0)
            out += "\\s";
        else
            out += c;
    }
    return out;
}

std::string programEntry(const std::string& target) {
    const std::string icon =
        fs::exists(fs::path(target) / "korvalen.png") ? target + "/korvalen.png" : "korvalen";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Korvalen\n"
           "GenericName=File Manager\n"
           "Comment=Two-panel file manager\n"
           "Exec=" +
           DesktopExecArgument(target + "/kv") +
           "\n"
           "Path=" +
           desktopValue(target) +
           "\n"
           "Icon=" +
           desktopValue(icon) +
           "\n"
           "Terminal=false\n"
           "Categories=System;FileTools;FileManager;\n";
}

std::string readmeEntry(const std::string& target) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Korvalen Readme\n"
           "Comment=What Korvalen is and how to use it\n"
           "Exec=xdg-open " +
           DesktopExecArgument(target + "/readme.txt") +
           "\n"
           "Path=" +
           desktopValue(target) +
           "\n"
           "Icon=text-x-generic\n"
           "Terminal=false\n"
           "Categories=System;FileTools;FileManager;\n";
}

// Makes the folder (with the parents it lacks); "" when it is there and writable.
std::string makeFolder(const std::string& folder) {
    std::error_code ec;
    const fs::file_status st = fs::status(folder, ec);
    if (fs::exists(st) && !fs::is_directory(st))
        return "Cannot create folder " + folder + ": a file of that name is in the way";
    if (!fs::exists(st) && !fs::create_directories(folder, ec) && ec)
        return "Cannot create folder " + folder + ": " + ec.message();
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "Cannot write to folder " + folder + ": " +
               std::error_code(errno, std::generic_category()).message();
    return {};
}

std::string problemLine(const std::string& name, int id, const std::string& extra) {
    std::string line = platform::escapeControls(name);
    if (!line.empty()) line += ": ";
    line += kv::messageText(id);
    if (!extra.empty()) line += " (" + platform::escapeControls(extra) + ")";
    return line;
}

// Unpacks data.res into the target; "" on success, else the summary the error box shows.
std::string extract(const std::string& archive, const std::string& target, int& extracted) {
    auto unzip = kv::makeExtractor(kv::atZIP);
    // The installer's own settings of the component: all entries, stored folders, original dates.
    unzip->setFileSpec("*.*");
    unzip->setZipCmntBufSize(2000);
    unzip->CpuType = kv::TCpuType::cptAuto;
    unzip->UseStoredDirs = true;
    unzip->setSetDateTo(kv::TSetDate::sdOrigDate);
    std::vector<std::string> problems;
    bool started = false;
    unzip->OnError = [&problems](kv::TZipCommon&, const std::string& fn, const std::string& extra,
                                 const std::string&,
                                 int id) { problems.push_back(problemLine(fn, id, extra)); };
    unzip->OnActivate = [&started](kv::TZipCommon&) { started = true; };
    unzip->setArchiveFile(archive);
    const std::string head = "The program files could not be unpacked from " + archive + ".";
    if (unzip->ArcType() == kv::atFileOpenErr)
        return head + "\n" +
               (kv::fileExists(archive) ? std::string("It cannot be opened.")
                                        : std::string(kv::messageText(kv::msg::FileNotFound)));
    if (unzip->ArcType() != kv::atZIP) return head + "\nIt is not a ZIP archive.";
    unzip->setExtractDir(target);
    unzip->Activate();
    extracted = unzip->ExtractedCount;
    // Failed entries are named by the error events; the tallies name them when no event did.
    if (problems.empty())
        for (const auto& f : unzip->Failures) problems.push_back(problemLine(f.name, f.id, {}));
    const bool failed = !started || unzip->FailedCount > 0 || unzip->DirectoryIncomplete ||
                        !unzip->DirectoryComplete || unzip->Cancel() || unzip->LastError != 0;
    if (!failed) return {};
    std::string text = head;
    for (std::size_t i = 0; i < problems.size() && i < kShownProblems; ++i) text += "\n" + problems[i];
    if (problems.size() > kShownProblems)
        text += "\n... and " + std::to_string(problems.size() - kShownProblems) + " more";
    if (problems.empty()) text += "\nThe archive is damaged.";
    return text;
}

}  // namespace

std::string DefaultTargetFolder() { return platform::dataHome() + "/korvalen"; }
std::string KvIniFile() { return platform::configHome() + "/korvalen/kv.ini"; }
std::string ShortcutFolder() { return platform::dataHome() + "/applications/Korvalen"; }

std::string InstallerFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return fs::current_path(ec).string();
    return exe.parent_path().string();
}

std::string ExpandTarget(const std::string& typed) {
    std::string text = typed;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    std::size_t lead = 0;
    while (lead < text.size() && (text[lead] == ' ' || text[lead] == '\t')) ++lead;
    text.erase(0, lead);
    if (text.empty()) return {};
    fs::path p;
    if (text == "~" || text.rfind("~/", 0) == 0)
        p = fs::path(homeFolder()) / text.substr(text.size() > 1 ? 2 : 1);
    else if (text[0] == '/')
        p = text;
    else
        p = fs::path(homeFolder()) / text;
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string DesktopExecArgument(const std::string& arg) {
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';  // a literal percent is "%%" in Exec
        quoted += c;
    }
    quoted += '"';
    // The Exec value is a string key too: its backslashes are escaped once more.
    std::string out;
    for (char c : quoted) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

InstallReport Install(const InstallPaths& paths) {
    InstallReport r;
    r.target = ExpandTarget(paths.target);
    if (r.target.empty() || r.target == "/") {
        r.error = "Please type the folder to install Korvalen into.";
        return r;
    }
    r.step = "Creating a folder";
    if (std::string why = makeFolder(r.target); !why.empty()) {
        r.error = why;
        return r;
    }

    r.step = "Copying files";
    const std::string archive = (fs::path(paths.source) / "data.res").string();
    if (std::string why = extract(archive, r.target, r.extracted); !why.empty()) {
        r.error = why;
        return r;
    }

    r.step = "Writing kv.ini";
    const std::string ini = paths.kvIni.empty() ? KvIniFile() : paths.kvIni;
    {
        std::error_code ec;
        fs::create_directories(fs::path(ini).parent_path(), ec);
        platform::PrivateProfileFile profile(ini);
        profile.WriteString("MainForm", "Path", r.target);
        if (platform::ProfileWriteResult w = profile.Commit(); !w) {
            r.error = "Unable to write to " + ini + (w.error.empty() ? std::string() : ": " + w.error);
            return r;
        }
    }

    r.step = "Creating the menu entries";
    const std::string menu = paths.shortcuts.empty() ? ShortcutFolder() : paths.shortcuts;
    std::string warning;
    std::error_code ec;
    fs::create_directories(menu, ec);
    const std::pair<const char*, std::string> entries[] = {{"Korvalen.desktop", programEntry(r.target)},
                                                           {"Readme.desktop", readmeEntry(r.target)}};
    for (const auto& [name, text] : entries) {
        const std::string file = menu + "/" + name;
        if (platform::ProfileWriteResult w = platform::ReplaceFileAtomically(file, text); !w)
            warning +=
                (warning.empty() ? "" : "\n") + std::string("Unable to write to ") + file + ": " + w.error;
    }
    r.warning = warning;
    r.step = "Installation is complited!";
    r.ok = true;
    return r;
}

bool StartInstalled(const std::string& target, std::string& why) {
    platform::LaunchResult res = platform::runDetached({target + "/kv"}, target);
    if (!res.ok) why = res.message;
    return res.ok;
}

}  // namespace kv::setup
