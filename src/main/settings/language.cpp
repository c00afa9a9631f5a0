#include "main/settings/language.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/text_codec.h"

namespace kv {

void TLanguage::Open(const std::filesystem::path& rusIni) {
    path_ = rusIni;
    texts_ = platform::PrivateProfileFile{};
    std::error_code ec;
    if (!std::filesystem::is_regular_file(rusIni, ec)) return;
    std::ifstream in(rusIni, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    // Old installations carry the file in Windows-1251; ours is UTF-8.
    texts_ = platform::PrivateProfileFile::FromText(platform::DecodeUtf8OrCp1251(bytes.str()));
}

std::string TLanguage::Read(std::string_view section, std::string_view key, std::string_view def) const {
    return texts_.ReadString(section, key, def);
}

std::string TLanguage::Text(std::string_view language, std::string_view section, std::string_view key,
                            std::string_view english, std::string_view missing) const {
    if (IsEnglish(language)) return std::string(english);
    return Read(section, key, missing);
}

TLanguage& kvLanguage() {
    static TLanguage language;
    return language;
}

}  // namespace kv
