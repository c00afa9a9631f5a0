// Reading and writing kv.ini. The keys, their order, defaults and ranges are the schema's
// (settings_schema.cpp); here are the rules that tie several keys together.
#include <system_error>

#include "main/settings/settings.h"
#include "main/settings/settings_engine.h"

namespace kv {

using platform::PrivateProfileFile;

void Load_INI(const PrivateProfileFile& ini, KvConfig& cfg, TFPanelSettings& left, TFPanelSettings& right) {
    LoadRows(ini, {cfg, left, right});

    // Two information panels cannot both show the other's details: the left one goes back to
    // files. Any style the panels do not have (above 3, and also 0 or below) resets both.
    auto known = [](int style) { return style >= 1 && style <= 3; };
    if (left.Style == 2 && right.Style == 2)
        left.Style = 1;
    else if (!known(left.Style) || !known(right.Style))
        left.Style = right.Style = 1;
    for (TFPanelSettings* p : {&left, &right})
        if (p->Style == 3) p->Columns = 1;  // the full view has one column
}

std::string Load_INI(const std::filesystem::path& iniPath, KvConfig& cfg, TFPanelSettings& left,
                     TFPanelSettings& right) {
    const PrivateProfileFile ini(iniPath);
    Load_INI(ini, cfg, left, right);
    return ini.readError();
}

void Save_INI(PrivateProfileFile& ini, KvConfig& cfg, const TFPanelSettings& left,
              const TFPanelSettings& right) {
    if (cfg.Main.Language.empty()) cfg.Main.Language = std::string(kEnglish);
    // The rows reach the panels through writable references; saving only reads them.
    SaveRows(ini, {cfg, const_cast<TFPanelSettings&>(left), const_cast<TFPanelSettings&>(right)});
}

SaveResult Save_INI(const std::filesystem::path& iniPath, KvConfig& cfg, const TFPanelSettings& left,
                    const TFPanelSettings& right) {
    auto failed = [&](std::string detail) {
        return SaveResult{false, "Unable to write to " + iniPath.string(), std::move(detail)};
    };
    if (iniPath.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(iniPath.parent_path(), ec);
        if (ec) return failed("cannot create the folder: " + ec.message());
    }
    PrivateProfileFile ini(iniPath);
    Save_INI(ini, cfg, left, right);
    if (const auto r = ini.Commit(); !r) return failed(r.error);
    return {};
}

}  // namespace kv
