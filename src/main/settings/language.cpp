#include "main/settings/language.h"

#include "platform/file_contents.h"
#include "platform/text_codec.h"

namespace kv {

std::string TLanguage::Open(const std::filesystem::path& rusIni) {
    path_ = rusIni;
    texts_ = platform::PrivateProfileFile{};
    platform::OwnFileRead file = platform::readOwnFile(rusIni.string(), platform::kLanguageFileLimit);
    if (!file.read()) return file.error;
    // Old installations carry the file in Windows-1251; ours is UTF-8.
    texts_ = platform::PrivateProfileFile::FromText(platform::DecodeUtf8OrCp1251(file.bytes));
    return {};
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
