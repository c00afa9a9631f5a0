// The INI parser and writer on arbitrary text: no crash, and a write changes only its own key.
// Input: first line "section\tkey\tvalue", the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/private_profile.h"

using kv::platform::PrivateProfileFile;

namespace {

std::string_view nextField(std::string_view& s) {
    const auto tab = s.find('\t');
    std::string_view f = s.substr(0, tab);
    s = tab == std::string_view::npos ? std::string_view() : s.substr(tab + 1);
    return f;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lo = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lo(a[i]) != lo(b[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto lf = input.find('\n');
    std::string_view head = input.substr(0, lf);
    const std::string_view text = lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1);
    const std::string_view section = nextField(head), key = nextField(head), value = head;

    PrivateProfileFile ini = PrivateProfileFile::FromText(text);
    // Probe every name the file itself uses, before and after the write.
    struct Probe {
        std::string section, key, before;
        bool existed = false;
    };
    std::vector<Probe> probes;
    std::string current;
    for (std::size_t pos = 0; pos <= text.size() && probes.size() < 64;) {
        const auto end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (!line.empty() && line.front() == '[')
            current = std::string(line.substr(1, line.find(']') - 1));
        else if (const auto eq = line.find('='); eq != std::string_view::npos)
            probes.push_back({current, std::string(line.substr(0, eq)), {}});
        pos = end + 1;
    }
    for (auto& p : probes) {
        p.existed = ini.KeyExists(p.section, p.key);
        p.before = ini.ReadString(p.section, p.key, "");
    }
    (void)ini.ReadInteger(section, key, 0);

    if (ini.WriteString(section, key, value)) {
        if (!ini.KeyExists(section, key)) std::abort();  // a written key must be found
        const std::string got = ini.ReadString(section, key, "");
        const PrivateProfileFile again = PrivateProfileFile::FromText(ini.Text());
        if (!again.KeyExists(section, key) || again.ReadString(section, key, "") != got) std::abort();
        for (const auto& p : probes) {
            if (sameName(p.key, key)) continue;  // the written key, or its twin in another case
            if (ini.KeyExists(p.section, p.key) != p.existed) std::abort();
            if (ini.ReadString(p.section, p.key, "") != p.before) std::abort();
        }
    }
    return 0;
}
