#include "viewers/exe/readable_forms.h"

#include <cstdio>

#include "viewers/exe/binary_form.h"
#include "viewers/exe/dialog_template.h"
#include "viewers/exe/resource_types.h"
#include "viewers/exe/version_info.h"

namespace kv::exe {

std::string quoted(std::string_view utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02X", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

std::vector<std::string> stringTableLines(std::uint32_t block, Bytes data) {
    std::vector<std::string> lines;
    Cursor c(data);
    const std::int64_t first = (std::int64_t(block) - 1) * 16;
    for (int i = 0; i < 16; ++i) {
        const std::uint16_t count = c.u16();
        if (c.failed()) break;
        const auto text = utf16At(data, c.pos(), count);
        if (!text) break;  // the block ends inside this string
        c.skip(std::uint64_t(count) * 2);
        if (count != 0) lines.push_back(std::to_string(first + i) + ",  " + quoted(*text));
    }
    return lines;
}

namespace {

constexpr int kMaxMenuDepth = 32;

std::string indentOf(int level) { return std::string(std::size_t(level) * 2, ' '); }

// One level of a MENU template; returns when an item marked last (0x80) has been read.
void standardMenuLevel(Cursor& c, int level, std::vector<std::string>& lines) {
    while (!c.atEnd()) {
        const std::uint16_t flags = c.u16();
        const bool popup = flags & 0x10;
        const std::uint16_t id = popup ? 0 : c.u16();
        const std::string text = c.zeroTerminatedUtf16();
        if (c.failed()) {
            lines.push_back(indentOf(level) + "(the menu data ends inside an item)");
            return;
        }
        if (popup) {
            lines.push_back(indentOf(level) + "POPUP " + quoted(text));
            if (level + 1 >= kMaxMenuDepth) {
                lines.push_back(indentOf(level + 1) + "(menus nested too deeply)");
                c.fail();
                return;
            }
            standardMenuLevel(c, level + 1, lines);
            lines.push_back(indentOf(level) + "ENDPOPUP");
        } else if (text.empty()) {
            lines.push_back(indentOf(level) + "MENUITEM SEPARATOR");
        } else {
            lines.push_back(indentOf(level) + "MENUITEM " + quoted(text) + ",  " + std::to_string(id));
        }
        if (flags & 0x80) return;
    }
}

void extendedMenuLevel(Cursor& c, int level, std::vector<std::string>& lines) {
    while (!c.atEnd()) {
        const std::uint32_t type = c.u32();
        c.u32();  // state
        const std::uint32_t id = c.u32();
        const std::uint16_t info = c.u16();
        const std::string text = c.zeroTerminatedUtf16();
        c.alignTo4();
        const bool popup = info & 0x01;
        if (popup) c.u32();  // help id
        if (c.failed()) {
            lines.push_back(indentOf(level) + "(the menu data ends inside an item)");
            return;
        }
        if (popup) {
            lines.push_back(indentOf(level) + "POPUP " + quoted(text));
            if (level + 1 >= kMaxMenuDepth) {
                lines.push_back(indentOf(level + 1) + "(menus nested too deeply)");
                c.fail();
                return;
            }
            extendedMenuLevel(c, level + 1, lines);
            lines.push_back(indentOf(level) + "ENDPOPUP");
        } else if ((type & 0x800) || text.empty()) {
            lines.push_back(indentOf(level) + "MENUITEM SEPARATOR");
        } else {
            lines.push_back(indentOf(level) + "MENUITEM " + quoted(text) + ",  " + std::to_string(id));
        }
        if (info & 0x80) return;
    }
}

}  // namespace

std::vector<std::string> menuLines(Bytes data) {
    std::vector<std::string> lines;
    Cursor c(data);
    const std::uint16_t version = c.u16();
    const std::uint16_t offset = c.u16();
    if (c.failed()) return lines;
    if (version == 1) {
        // MENUEX: the items start `offset` bytes after the offset field.
        c.skip(offset);
        extendedMenuLevel(c, 0, lines);
    } else {
        standardMenuLevel(c, 0, lines);
    }
    return lines;
}

namespace {

std::string virtualKeyName(std::uint16_t key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string("\"") + char(key) + "\"";
    if (key >= 0x70 && key <= 0x87) return "VK_F" + std::to_string(key - 0x6F);
    struct Named {
        std::uint16_t key;
        const char* name;
    };
    static const Named kNames[] = {{0x08, "VK_BACK"},   {0x09, "VK_TAB"},    {0x0D, "VK_RETURN"},
                                   {0x1B, "VK_ESCAPE"}, {0x20, "VK_SPACE"},  {0x21, "VK_PRIOR"},
                                   {0x22, "VK_NEXT"},   {0x23, "VK_END"},    {0x24, "VK_HOME"},
                                   {0x25, "VK_LEFT"},   {0x26, "VK_UP"},     {0x27, "VK_RIGHT"},
                                   {0x28, "VK_DOWN"},   {0x2D, "VK_INSERT"}, {0x2E, "VK_DELETE"}};
    for (const auto& n : kNames)
        if (n.key == key) return n.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X", key);
    return buf;
}

std::string asciiKeyName(std::uint16_t key) {
    char buf[16];
    if (key >= 1 && key <= 26)
        std::snprintf(buf, sizeof buf, "\"^%c\"", char('A' + key - 1));
    else if (key >= 0x20 && key < 0x7F && key != '"')
        std::snprintf(buf, sizeof buf, "\"%c\"", char(key));
    else
        std::snprintf(buf, sizeof buf, "0x%02X", key);
    return buf;
}

}  // namespace

std::vector<std::string> acceleratorLines(Bytes data) {
    std::vector<std::string> lines;
    Cursor c(data);
    while (c.left() >= 8) {
        const std::uint16_t flags = c.u16(), key = c.u16(), command = c.u16();
        c.u16();
        const bool virt = flags & 0x01;
        std::string line = (virt ? virtualKeyName(key) : asciiKeyName(key)) + ", " + std::to_string(command);
        line += virt ? ", VIRTKEY" : ", ASCII";
        if (flags & 0x02) line += ", NOINVERT";
        if (flags & 0x04) line += ", SHIFT";
        if (flags & 0x08) line += ", CONTROL";
        if (flags & 0x10) line += ", ALT";
        lines.push_back(line);
        if (flags & 0x80) break;
    }
    return lines;
}

std::optional<std::vector<std::string>> readableText(std::uint32_t type, Bytes data) {
    switch (type) {
        case kCursorImage:
        case kBitmap:
        case kIconImage:
        case kCursorGroup:
        case kIconGroup: return std::nullopt;
        case kMenu: return menuLines(data);
        case kStringTable: return stringTableLines(1, data);
        case kDialog: {
            if (auto d = parseDialog(data)) return dialogLines(*d);
            return std::vector<std::string>{"(the dialog template is cut short)"};
        }
        case kAccelerators: return acceleratorLines(data);
        case kVersion: {
            if (auto v = parseVersionInfo(data)) return versionLines(*v);
            return std::vector<std::string>{"(the version information is cut short)"};
        }
        default:
            if (isBinaryForm(data)) {
                FormText form = binaryFormToText(data);
                if (!form.error.empty()) form.lines.push_back("(" + form.error + ")");
                return form.lines;
            }
            return std::nullopt;
    }
}

}  // namespace kv::exe
