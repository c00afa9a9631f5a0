// The readers of the single resource kinds on hand-made bytes: bitmap pixel offsets for
// every header kind, and menus, string tables, dialogs, version blocks and stored forms
// that are cut short, nested too deeply or lie about their counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "exe/pictures.h"
#include "viewers/exe/binary_form.h"
#include "viewers/exe/dialog_template.h"
#include "viewers/exe/picture_files.h"
#include "viewers/exe/readable_forms.h"
#include "viewers/exe/version_info.h"

namespace kv::exe {
namespace {

using test::ByteWriter;
using Lines = std::vector<std::string>;

TEST(BitmapFile, PixelOffsetCoversHeaderMasksAndPaletteOfEveryHeaderKind) {
    struct Row {
        test::BitmapSpec spec;
        std::uint32_t offset;
    };
    const Row rows[] = {
        {{40, 8, 0, 0}, 14 + 40 + 1024},  // the old formula's own case
        {{40, 4, 0, 5}, 14 + 40 + 20},    // colours used
        {{40, 24, 0, 0}, 14 + 40},        // no palette
        {{40, 16, 3, 0}, 14 + 40 + 12},   // BI_BITFIELDS masks after the header
        {{108, 32, 3, 0}, 14 + 108},      // masks inside the longer headers
        {{124, 32, 3, 0}, 14 + 124},
        {{12, 1, 0, 0, 8, 2}, 14 + 12 + 6},  // the core header's 3-byte palette entries
    };
    for (const Row& r : rows) {
        const auto file = test::bitmapFile(r.spec);
        const Bytes dib(file.data() + 14, file.size() - 14);
        EXPECT_EQ(bitmapPixelOffset(dib), r.offset) << r.spec.headerSize << "/" << r.spec.bits;
        EXPECT_EQ(bitmapFile(dib), file);  // file size raw + 14, and the same bytes
    }
    // A colour count that points past the data stops at the end of the file.
    const auto lying =
        ByteWriter().u32(40).u32(1).u32(1).u16(1).u16(8).u32(0).u32(0).u32(0).u32(0).u32(0xFFFFFFFF).u32(0).b;
    EXPECT_EQ(bitmapPixelOffset(lying), 14 + lying.size());
    EXPECT_EQ(bitmapPixelOffset({}), 14u);
}

std::vector<std::uint8_t> menu(const std::vector<std::pair<std::uint16_t, std::u16string>>& items) {
    ByteWriter w;
    w.u16(0).u16(0);
    for (const auto& [flags, text] : items) {
        w.u16(flags);
        if (!(flags & 0x10)) w.u16(7);
        w.utf16z(text);
    }
    return w.b;
}

TEST(MenuText, LastPopupsCloseEveryLevelTheyEnd) {
    // A last pop-up inside a last pop-up: both levels end with the same item.
    EXPECT_EQ(menuLines(menu({{0x90, u"&File"}, {0x90, u"&Sub"}, {0x80, u"Deep"}})),
              (Lines{"POPUP \"&File\"", "  POPUP \"&Sub\"", "    MENUITEM \"Deep\",  7", "  ENDPOPUP",
                     "ENDPOPUP"}));
}

TEST(MenuText, DamagedMenusStopWithANote) {
    auto cut = menu({{0x00, u"Open"}});
    cut.resize(cut.size() - 3);  // inside the text's terminator
    EXPECT_EQ(menuLines(cut), (Lines{"(the menu data ends inside an item)"}));

    std::vector<std::pair<std::uint16_t, std::u16string>> deep(100, {0x10, u"p"});
    const Lines lines = menuLines(menu(deep));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(64, ' ') + "(menus nested too deeply)"), 1);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.find("POPUP") != l.npos; }),
        32 + 31);  // the pop-ups read, and the ends of all but the one cut off
}

TEST(MenuText, ExtendedMenus) {
    ByteWriter w;
    w.u16(1).u16(4).u32(0);  // MENUEX header, help id
    w.u32(0).u32(0).u32(0).u16(0x01).utf16z(u"&Edit").pad4().u32(0);
    w.u32(0).u32(0).u32(301).u16(0).utf16z(u"Copy").pad4();
    w.u32(0x800).u32(0).u32(0).u16(0).utf16z(u"").pad4();
    w.u32(0).u32(0).u32(302).u16(0x80).utf16z(u"Paste").pad4();
    w.u32(0).u32(0).u32(303).u16(0x80).utf16z(u"Help");
    EXPECT_EQ(menuLines(w.b), (Lines{"POPUP \"&Edit\"", "  MENUITEM \"Copy\",  301", "  MENUITEM SEPARATOR",
                                     "  MENUITEM \"Paste\",  302", "ENDPOPUP", "MENUITEM \"Help\",  303"}));
}

TEST(StringTableText, ABlockCutInsideAStringKeepsTheStringsBefore) {
    ByteWriter w;
    w.u16(2).u16('h').u16('i').u16(0).u16(50).u16('x');
    EXPECT_EQ(stringTableLines(3, w.b), (Lines{"32,  \"hi\""}));
}

TEST(DialogText, ACountThatOverstatesTheControlsIsSaid) {
    ByteWriter w;
    w.u32(0x80000000).u32(0).u16(5).u16(0).u16(0).u16(50).u16(20).u16(0).u16(0).utf16z(u"Lie");
    w.pad4()
        .u32(0x50000000)
        .u32(0)
        .u16(1)
        .u16(2)
        .u16(3)
        .u16(4)
        .u16(9)
        .u16(0xFFFF)
        .u16(0x82)
        .utf16z(u"t")
        .u16(0);
    const auto d = parseDialog(w.b);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->controls.size(), 1u);
    EXPECT_EQ(d->controls[0].className(), "STATIC");
    EXPECT_EQ(dialogLines(*d).back(), "(the template declares 5 controls; the data holds 1)");
    EXPECT_FALSE(parseDialog(ByteWriter().u32(0).u32(0).b));
}

TEST(VersionText, BlocksThatClaimMoreThanTheirParentAreLeftOut) {
    ByteWriter w;
    w.u16(0).u16(0).u16(0).utf16z(u"VS_VERSION_INFO").pad4();
    w.u16(0xFFF0).u16(0).u16(1).utf16z(u"StringFileInfo").pad4();
    w.b[0] = std::uint8_t(w.b.size());
    const auto v = parseVersionInfo(w.b);
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->tables.empty());
    EXPECT_FALSE(v->fixed);
    const VersionRows rows = versionRows(*v);
    EXPECT_EQ(rows.values[10], "");
    EXPECT_EQ(rows.names[5], "OriginalFilenam");
    EXPECT_FALSE(parseVersionInfo(ByteWriter().u16(200).u16(0).u16(0).b));
}

std::vector<std::uint8_t> form(const std::function<void(ByteWriter&)>& properties) {
    ByteWriter w;
    w.text("TPF0").u8(3).text("TF1").u8(2).text("F1");
    properties(w);
    return w.u8(0).u8(0).b;
}

TEST(BinaryFormText, ValueKinds) {
    const auto f = form([](ByteWriter& w) {
        w.u8(4).text("Data").u8(10).u32(3).u8(0xDE).u8(0xAD).u8(0x01);
        w.u8(5).text("Title").u8(18).u32(2).u16(0x416).u16('\'');
        w.u8(4).text("Cols").u8(14).u8(1).u8(5).text("Width").u8(2).u8(64).u8(0).u8(0);
        w.u8(3).text("Big").u8(19).u32(0).u32(1);
        w.u8(4).text("Half").u8(5).u32(0).u32(0x80000000).u16(0x3FFE);  // 0.5 as extended
        w.u8(3).text("Esc").u8(6).u8(3).text("a").u8(9).text("b");
    });
    EXPECT_EQ(binaryFormToText(f).lines,
              (Lines{"object F1: TF1", "  Data = {", "    DEAD01}", "  Title = '\xD0\x96'''", "  Cols = <",
                     "    item", "      Width = 64", "    end>", "  Big = 4294967296", "  Half = 0.5",
                     "  Esc = 'a'#9'b'", "end"}));
}

TEST(BinaryFormText, DamagedFormsStopWithTheReason) {
    auto cut = form([](ByteWriter& w) { w.u8(4).text("Name").u8(12).u32(1000).text("short"); });
    EXPECT_EQ(binaryFormToText(cut).error, "the form data ends early");
    EXPECT_EQ(binaryFormToText(cut).lines, (Lines{"object F1: TF1"}));

    const auto unknown = form([](ByteWriter& w) { w.u8(1).text("X").u8(99); });
    EXPECT_EQ(binaryFormToText(unknown).error, "unknown value type 99 in the form data");

    ByteWriter nested;
    nested.text("TPF0");
    for (int i = 0; i < 200; ++i) nested.u8(1).text("T").u8(0).u8(0);  // objects inside objects
    EXPECT_EQ(binaryFormToText(nested.b).error, "objects nested too deeply");

    ByteWriter lists;
    lists.text("TPF0").u8(1).text("T").u8(0).u8(1).text("L");
    for (int i = 0; i < 200; ++i) lists.u8(1);  // lists inside lists
    EXPECT_EQ(binaryFormToText(lists.b).error, "values nested too deeply");
}

}  // namespace
}  // namespace kv::exe
