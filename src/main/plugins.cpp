#include "main/plugins.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace kv {

std::unique_ptr<TTestPlugIn> TTestPlugIn::load(const std::string& path, void* host, std::string* why) {
    auto fail = [&](const std::string& reason) -> std::unique_ptr<TTestPlugIn> {
        if (why) *why = reason;
        return nullptr;
    };
    auto module = platform::LoadedModule::open(path);
    if (!module.isLoaded()) return fail(module.error());
    auto init = reinterpret_cast<InitFn>(module.symbol("Init"));
    auto getName = reinterpret_cast<GetNameFn>(module.symbol("GetName"));
    auto insertText = reinterpret_cast<InsertTextFn>(module.symbol("InsertText"));
    if (!init || !getName || !insertText)
        return fail(path + ": lacks one of the entry points Init, GetName, InsertText");
    init(host);
    const char* name = getName();
    auto p = std::unique_ptr<TTestPlugIn>(new TTestPlugIn);
    p->Name = name ? name : "";
    p->Path = path;
    p->InsertText = insertText;
    p->module_ = std::move(module);
    return p;
}

namespace {

bool hasSoExtension(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 3);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".so";
}

void collect(const fs::path& folder, std::vector<std::string>& out, std::set<fs::path>& seen) {
    std::error_code ec;
    fs::path real = fs::canonical(folder, ec);
    if (ec || !seen.insert(real).second) return;
    std::vector<fs::path> files, folders;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code typeEc;
        if (it->is_directory(typeEc))
            folders.push_back(it->path());
        else if (hasSoExtension(name) && it->is_regular_file(typeEc))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const auto& f : files) out.push_back(f.string());
    for (const auto& d : folders) collect(d, out, seen);
}

}  // namespace

std::vector<std::string> collectPluginFiles(const std::string& folder) {
    std::vector<std::string> out;
    std::set<fs::path> seen;
    collect(folder, out, seen);
    return out;
}

std::vector<std::string> defaultPluginFolders(const std::string& programFolder) {
    std::vector<std::string> folders{(fs::path(programFolder) / "Plugins").string()};
    std::string dataHome;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/')
        dataHome = x;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dataHome = std::string(home) + "/.local/share";
    if (!dataHome.empty()) folders.push_back(dataHome + "/korvalen/Plugins");
    return folders;
}

}  // namespace kv
