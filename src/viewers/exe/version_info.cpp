#include "viewers/exe/version_info.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kv::exe {

namespace {

constexpr int kMaxDepth = 8;
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;

// One block: its key, its value and the blocks inside it.
struct Block {
    std::string key;
    std::uint16_t type = 0;  // 1 text, 0 binary
    Bytes value;
    std::string text;
    std::vector<Block> children;
};

// Reads the block at `at` inside `area`; nothing when its header or length does not fit.
std::optional<Block> readBlock(Bytes area, std::uint64_t at, int depth) {
    const auto length = readU16(area, at);
    const auto valueLength = readU16(area, at + 2);
    const auto type = readU16(area, at + 4);
    if (!length || !valueLength || !type || *length < 6 || !rangeInside(at, *length, area.size()))
        return std::nullopt;
    const Bytes self = area.subspan(static_cast<std::size_t>(at), *length);
    Block b;
    b.type = *type;
    Cursor c(self, 6);
    b.key = c.zeroTerminatedUtf16();
    c.alignTo4();
    if (b.type == 1) {
        // Text values: read up to the terminator; the stored length is in characters for
        // some linkers and in bytes for others, so it is not trusted.
        if (*valueLength > 0) b.text = c.zeroTerminatedUtf16();
    } else {
        b.value = sliceOf(self, c.pos(), *valueLength);
        c.skip(*valueLength);
    }
    c.alignTo4();
    if (depth < kMaxDepth) {
        while (c.left() >= 6) {
            auto child = readBlock(self, c.pos(), depth + 1);
            if (!child) break;
            const std::uint16_t childLength = *readU16(self, c.pos());
            b.children.push_back(std::move(*child));
            c.skip(childLength);  // at least 6, so each round moves on
            c.alignTo4();
        }
    }
    return b;
}

std::string hexWords(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X.%04X", v >> 16, v & 0xFFFF);
    return buf;
}

std::string translationKey(std::uint32_t t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X%04X", t & 0xFFFF, t >> 16);
    return buf;
}

std::string flagsText(std::uint32_t flags) {
    static const char* kNames[] = {"Debug",         "Pre-release",   "Patched",
                                   "Private build", "Info inferred", "Special build"};
    std::string out;
    for (int i = 0; i < 6; ++i)
        if (flags & (1u << i)) out += std::string(kNames[i]) + " ";
    return out.empty() ? "<none>" : out;
}

std::string osText(std::uint32_t os) {
    static const char* kHigh[] = {"Unknown", "DOS", "OS/2 16", "OS/2 32", "NT"};
    static const char* kLow[] = {"Unknown", "Win16", "PM 16", "PM 32", "Win32"};
    const std::uint32_t high = (os & 0xF0000) >> 16, low = os & 0xF;
    return std::string(high < 5 ? kHigh[high] : "") + " with " + (low < 5 ? kLow[low] : "");
}

std::string typeText(std::uint32_t type, std::uint32_t subtype) {
    static const char* kTypes[] = {
        "Unknown", "Application",        "Dynamic-link library", "Device driver:", "Font-", "Virtual device",
        "",        "Static-link library"};
    static const char* kDrivers[] = {"Unknown", "printer", "keyboard",    "language", "display", "mouse",
                                     "network", "system",  "installable", "sound",    "comm"};
    static const char* kFonts[] = {"", "raster", "vector", "true type"};
    if (type >= 8) return "";
    std::string out = kTypes[type];
    if (type == 3) out += std::string(" ") + (subtype <= 10 ? kDrivers[subtype] : "");
    if (type == 4) out += std::string(" ") + (subtype >= 1 && subtype <= 3 ? kFonts[subtype] : "");
    return out;
}

}  // namespace

std::optional<VersionInfo> parseVersionInfo(Bytes data) {
    auto root = readBlock(data, 0, 0);
    if (!root) return std::nullopt;
    VersionInfo v;
    if (root->value.size() >= 52 && readU32(root->value, 0) == kFixedSignature) {
        Cursor c(root->value, 4);
        FixedFileInfo f;
        f.structVersion = c.u32();
        f.fileVersionMs = c.u32();
        f.fileVersionLs = c.u32();
        f.productVersionMs = c.u32();
        f.productVersionLs = c.u32();
        f.flagsMask = c.u32();
        f.flags = c.u32();
        f.os = c.u32();
        f.type = c.u32();
        f.subtype = c.u32();
        f.dateMs = c.u32();
        f.dateLs = c.u32();
        v.fixed = f;
    }
    for (const Block& info : root->children) {
        if (info.key == "StringFileInfo") {
            for (const Block& table : info.children) {
                StringTable t{table.key, {}};
                for (const Block& s : table.children) t.strings.emplace_back(s.key, s.text);
                v.tables.push_back(std::move(t));
            }
        } else if (info.key == "VarFileInfo") {
            for (const Block& var : info.children) {
                if (var.key != "Translation") continue;
                for (std::size_t i = 0; i + 4 <= var.value.size(); i += 4)
                    v.translations.push_back(*readU32(var.value, i));
            }
        }
    }
    return v;
}

VersionRows versionRows(const VersionInfo& v) {
    VersionRows r;
    r.names = {"CompanyName",       "FileDescription", "FileVersion",  "InternalName",
               "LegalCopyright",    "OriginalFilenam", "ProductName",  "ProductVersion",
               "-----------------", "Struct version",  "File version", "Product version",
               "File flags",        "OS flags",        "File type",    "File date/time"};
    static const char* kQueried[8] = {"CompanyName",    "FileDescription",  "FileVersion", "InternalName",
                                      "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"};
    // Tables are named in hex digits of either case ("040904b0" is common).
    auto sameKey = [](const std::string& a, const std::string& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::toupper((unsigned char)x) == std::toupper((unsigned char)y);
               });
    };
    const StringTable* table = nullptr;
    std::string key;
    if (!v.translations.empty()) {
        key = translationKey(v.translations.front());
        for (const auto& t : v.tables)
            if (!table && sameKey(t.key, key)) table = &t;
    }
    if (!table && !v.tables.empty()) {
        table = &v.tables.front();
        key = table->key;
    }
    if (table) {
        r.langCharset = "Lang-charset: " + key;
        for (int i = 0; i < 8; ++i)
            for (const auto& [name, value] : table->strings)
                if (name == kQueried[i]) r.values[i] = value;
    }
    if (v.fixed) {
        const FixedFileInfo& f = *v.fixed;
        r.values[9] = hexWords(f.structVersion);
        r.values[10] = hexWords(f.fileVersionMs) + "." + hexWords(f.fileVersionLs);
        r.values[11] = hexWords(f.productVersionMs) + "." + hexWords(f.productVersionLs);
        r.values[12] = flagsText(f.flags & f.flagsMask);
        r.values[13] = osText(f.os);
        r.values[14] = typeText(f.type, f.subtype);
        r.values[15] = "not done yet.";
    }
    return r;
}

std::vector<std::string> versionLines(const VersionInfo& v) {
    const VersionRows r = versionRows(v);
    std::vector<std::string> lines;
    if (!r.langCharset.empty()) lines.push_back(r.langCharset);
    for (std::size_t i = 0; i < r.names.size(); ++i) {
        if (i == 8) continue;
        if (i == 5)
            lines.push_back("OriginalFilename: " + r.values[i]);
        else
            lines.push_back(r.names[i] + ": " + r.values[i]);
    }
    return lines;
}

}  // namespace kv::exe
