// Texts and metrics of the panel: sizes, dates, name colours, the layout of hand-edited values.
#include <gtest/gtest.h>

#include "panel/model/panel_format.h"
#include "panel/model/panel_model.h"

namespace kv {
namespace {

TEST(Format, SizesAsThePanelShowsThem) {
    struct Case {
        std::int64_t n;
        const char* thousands;
        const char* folder;
    };
    for (const Case& c :
         {Case{0, "0", "0 Kb"}, Case{1000, "1,000", "0 Kb"}, Case{1536, "1,536", "1 Kb"},
          Case{12345, "12,345", "12 Kb"}, Case{999999, "999,999", "976 Kb"},
          Case{5242880, "5,242,880", "5,0 Mb"}, Case{300LL * 1048576, "314,572,800", "300 Mb"},
          Case{5LL << 40, "5,497,558,138,880", "5,242,880 Mb"}}) {
        EXPECT_EQ(formatThousands(c.n), c.thousands) << c.n;
        EXPECT_EQ(FormatSize(c.n), c.folder) << c.n;
    }
    EXPECT_EQ(formatThousands(0, ",", true), "") << "the status strip shows nothing for 0 bytes";
    EXPECT_EQ(formatThousands(1234567, "."), "1.234.567");
}

TEST(Format, DatesWithFourDigitYears) {
    platform::LocalTime t;
    t.Year = 1996;
    t.Month = 9;
    t.Day = 7;
    t.Hour = 5;
    t.Minute = 3;
    EXPECT_EQ(formatDate(t), "07.09.1996");
    EXPECT_EQ(formatTime(t), "05:03");
}

TEST(Format, NameColoursByExtension) {
    struct Case {
        const char* name;
        std::uint32_t colour;
    };
    for (const Case& c :
         {Case{"RUN.EXE", 0x00FF00}, Case{"main.cpp", 0x00FF00}, Case{"a.h", 0x00FF00},
          Case{"notes.TXT", 0x0000FF}, Case{"x.tar.zip", 0x0000FF}, Case{"song.mp3", 0xFFFFB5},
          Case{"photo.jpeg", 0}, Case{"Makefile", 0}, Case{"archive.c.bak", 0x0000FF}}) {
        EXPECT_EQ(extensionColor(c.name), c.colour) << c.name;
    }
}

TEST(Layout, HandEditedValuesNeverBreakIt) {
    struct Case {
        int w, h, columns, fontSize, style;
    };
    for (const Case& c : {Case{640, 453, 3, 8, 1}, Case{640, 453, 0, 8, 1}, Case{640, 453, -4, 0, 1},
                          Case{20, 30, 3, 8, 1}, Case{300, 60, 3, 72, 3}, Case{0, 0, 9, 8, 1}}) {
        TFPanelModel m;
        m.Columns = c.columns;
        m.Font_Size = c.fontSize;
        m.Style = c.style;
        m.computeLayout(c.w, c.h);
        EXPECT_GE(m.Rows, 1);
        EXPECT_GE(m.ColWidth, 1);
        EXPECT_GE(m.LineHeight, 2);
        EXPECT_GE(m.pageSize(), 1);
    }
    TFPanelModel m;
    m.computeLayout(640, 453);  // 25 header, 38 status, 11 indicator, 16 px lines
    EXPECT_EQ(m.ListHeight, 453 - 38 - 25 - 11);
    EXPECT_EQ(m.Rows, (379 - 4) / 16);
    EXPECT_EQ(m.ColWidth, 637 / 3);
    EXPECT_EQ(m.NameRight, 637 / 3 + 24);
}

}  // namespace
}  // namespace kv
