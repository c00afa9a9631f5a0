#include "viewers/exe/dialog_template.h"

#include <cstdio>

#include "viewers/exe/readable_forms.h"

namespace kv::exe {

std::string NameOrNumber::display() const {
    switch (kind) {
        case kNumber: return "#" + std::to_string(number);
        case kText: return quoted(text);
        default: return "";
    }
}

std::string DialogControl::className() const {
    static const char* kPredefined[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (windowClass.kind == NameOrNumber::kNumber) {
        if (windowClass.number >= 0x80 && windowClass.number <= 0x85)
            return kPredefined[windowClass.number - 0x80];
        return "#" + std::to_string(windowClass.number);
    }
    return windowClass.text;
}

namespace {

NameOrNumber readNameOrNumber(Cursor& c) {
    NameOrNumber n;
    const std::uint16_t lead = c.u16();
    if (c.failed() || lead == 0) return n;
    if (lead == 0xFFFF) {
        n.kind = NameOrNumber::kNumber;
        n.number = c.u16();
        return n;
    }
    n.kind = NameOrNumber::kText;
    std::vector<std::uint16_t> units{lead};
    while (true) {
        const std::uint16_t u = c.u16();
        if (c.failed() || u == 0) break;
        units.push_back(u);
    }
    n.text = utf16ToUtf8(units);
    return n;
}

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

}  // namespace

std::optional<DialogTemplate> parseDialog(Bytes data) {
    Cursor c(data);
    DialogTemplate d;
    d.extended = readU16(data, 0) == 1 && readU16(data, 2) == 0xFFFF;
    if (d.extended) {
        c.skip(4);
        d.helpId = c.u32();
        d.exStyle = c.u32();
        d.style = c.u32();
    } else {
        d.style = c.u32();
        d.exStyle = c.u32();
    }
    d.declaredControls = c.u16();
    d.x = c.i16();
    d.y = c.i16();
    d.cx = c.i16();
    d.cy = c.i16();
    d.menu = readNameOrNumber(c);
    d.windowClass = readNameOrNumber(c);
    d.caption = c.zeroTerminatedUtf16();
    constexpr std::uint32_t kDsSetFont = 0x40;
    if (d.style & kDsSetFont) {
        d.hasFont = true;
        d.pointSize = c.u16();
        if (d.extended) {
            d.weight = c.u16();
            d.italic = c.u8() != 0;
            d.charset = c.u8();
        }
        d.face = c.zeroTerminatedUtf16();
    }
    if (c.failed()) return std::nullopt;

    for (std::uint16_t i = 0; i < d.declaredControls; ++i) {
        c.alignTo4();
        DialogControl k;
        if (d.extended) {
            k.helpId = c.u32();
            k.exStyle = c.u32();
            k.style = c.u32();
        } else {
            k.style = c.u32();
            k.exStyle = c.u32();
        }
        k.x = c.i16();
        k.y = c.i16();
        k.cx = c.i16();
        k.cy = c.i16();
        k.id = d.extended ? c.i32() : c.i16();
        k.windowClass = readNameOrNumber(c);
        k.title = readNameOrNumber(c);
        const std::uint16_t extra = c.u16();
        c.skip(extra);  // creation data for the control
        if (c.failed()) break;
        d.controls.push_back(std::move(k));
    }
    return d;
}

std::vector<std::string> dialogLines(const DialogTemplate& d) {
    std::vector<std::string> lines;
    lines.push_back(std::string(d.extended ? "DIALOGEX " : "DIALOG ") + std::to_string(d.x) + ", " +
                    std::to_string(d.y) + ", " + std::to_string(d.cx) + ", " + std::to_string(d.cy));
    lines.push_back("STYLE " + hex32(d.style));
    if (d.exStyle) lines.push_back("EXSTYLE " + hex32(d.exStyle));
    if (!d.caption.empty()) lines.push_back("CAPTION " + quoted(d.caption));
    if (d.menu.kind != NameOrNumber::kNone) lines.push_back("MENU " + d.menu.display());
    if (d.windowClass.kind != NameOrNumber::kNone) lines.push_back("CLASS " + d.windowClass.display());
    if (d.hasFont) {
        std::string font = "FONT " + std::to_string(d.pointSize) + ", " + quoted(d.face);
        if (d.extended)
            font += ", " + std::to_string(d.weight) + ", " + std::to_string(d.italic ? 1 : 0) + ", " +
                    std::to_string(d.charset);
        lines.push_back(font);
    }
    lines.push_back("BEGIN");
    for (const DialogControl& k : d.controls) {
        const std::string title = k.title.kind == NameOrNumber::kNone ? "\"\"" : k.title.display();
        lines.push_back("  CONTROL " + title + ", " + std::to_string(k.id) + ", " + quoted(k.className()) +
                        ", " + hex32(k.style) + ", " + std::to_string(k.x) + ", " + std::to_string(k.y) +
                        ", " + std::to_string(k.cx) + ", " + std::to_string(k.cy));
    }
    lines.push_back("END");
    if (d.controls.size() < d.declaredControls)
        lines.push_back("(the template declares " + std::to_string(d.declaredControls) +
                        " controls; the data holds " + std::to_string(d.controls.size()) + ")");
    return lines;
}

}  // namespace kv::exe
