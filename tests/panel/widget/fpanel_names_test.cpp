// Names with control characters in them (a file on disk may be called "\x1b]0;x\x07"):
// the panel shows visible stand-ins, never the raw bytes; and no name looks like "..".
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>

#include <fstream>

#include "../model/temp_dir.h"
#include "panel/fpanel.h"
#include "qt_app.h"

namespace kv {
namespace {

bool hasRawControl(const QString& s) {
    for (QChar c : s)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) return true;
    return false;
}

TEST(PanelNames, ControlCharactersInNamesAreShownAsVisibleStandIns) {
    test::qtApp();
    test::TempDir dir;
    const std::string folder = dir.dir("dir\x1b[2J");
    const std::string escName = "t\x1b]0;pwned\x07.txt";
    const std::string lineName = "a\nb\x7f";
    std::ofstream(folder + "/" + escName) << "x";
    std::ofstream(folder + "/" + lineName) << "x";
    TFPanel panel;
    panel.Side = "Left";
    panel.SetDefaults();
    panel.Active = 1;
    panel.SortMethod = srName;
    panel.resize(320, 400);
    panel.CurDir = folder;
    panel.ReadDir();
    panel.show();
    struct Want {
        std::string name;
        QString shown;
    } wants[] = {{escName, QString::fromUtf8("t\u241B]0;pwned\u2407.txt")},
                 {lineName, QString::fromUtf8("a\u240Ab\u2421")}};
    QFont normal = panel.CanvasFont();
    normal.setBold(false);
    const QFontMetrics fm(normal);
    for (const Want& w : wants) {
        panel.PosList = 0;
        panel.Bar_Pos = panel.FL.findByName(w.name) - 1;
        panel.DrawCursor();
        ASSERT_EQ(panel.CurFile, w.name) << "the model keeps the real name";
        const TFPanel::StatusStrip st = panel.StatusTexts(fm);
        EXPECT_FALSE(hasRawControl(st.name)) << st.name.toStdString();
        EXPECT_EQ(st.name, QStringLiteral("<") + w.shown + QStringLiteral(">"));
    }
    panel.repaint();  // the cells and the header paint the names the same way
}


// Folders whose names read as ".." in text: the real parent entry must still look different,
// in the brief and the full view, and a direction override must not hide the real extension.
TEST(PanelNames, NoNameLooksLikeTheParentEntryOrHidesItsExtension) {
    test::qtApp();
    test::TempDir dir;
    const std::string folder = dir.dir("spoofs");
    const std::string spoofs[] = {"..\u200B", ".. ", "\u2025", "..\u2060", "\u200E.."};
    for (const std::string& s : spoofs) dir.dir("spoofs/" + s);
    const std::string rlo = "invoice\u202Egpj.exe";
    std::ofstream(folder + "/" + rlo) << "x";
    for (int style : {1, 3}) {
        TFPanel panel;
        panel.Side = "Left";
        panel.SetDefaults();
        panel.Active = 1;
        panel.SortMethod = srName;
        panel.Style = style;
        panel.Columns = 1;
        panel.resize(320, 400);
        panel.CurDir = folder;
        panel.ReadDir();
        panel.show();
        panel.PosList = 0;
        panel.Bar_Pos = panel.FL.findByName(rlo) - 1;  // the bar away from the rows compared
        panel.DrawCursor();
        const QImage img = panel.grab().toImage();
        // The shape of what is drawn in the name part of the row of entry `index` (1-based),
        // whatever its colour: ink pixels as 1, cut to their bounding box.
        const QRgb fon = img.pixel(panel.X1 - 4, panel.Y1 - 4);
        const auto shapeOf = [&](int index) {
            const int row = index - 1 - panel.PosList;
            const int right = style == 3 ? panel.NameRight - 2 : panel.X0 + panel.CellWidth - 3;
            const QRect area(panel.X0 + 3, panel.Y0 + 4 + row * panel.LineHeight, right - panel.X0 - 3,
                             panel.LineHeight - 1);
            QRect ink;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    if (img.pixel(x, y) != fon) ink |= QRect(x, y, 1, 1);
            QImage shape(ink.size(), QImage::Format_Mono);
            for (int y = 0; y < ink.height(); ++y)
                for (int x = 0; x < ink.width(); ++x)
                    shape.setPixel(x, y, img.pixel(ink.left() + x, ink.top() + y) != fon ? 1 : 0);
            return shape;
        };
        ASSERT_EQ(panel.FL.entry(1).FileName, "..");
        const QImage parent = shapeOf(1);
        ASSERT_FALSE(parent.isNull());
        for (const std::string& s : spoofs) {
            const int at = panel.FL.findByName(s);
            ASSERT_GT(at, 1) << s;
            EXPECT_NE(shapeOf(at), parent) << "style " << style << ": a folder named \"" << s << "\" looks like \"..\"";
        }
        QFont normal = panel.CanvasFont();
        normal.setBold(false);
        const QString status = panel.StatusTexts(QFontMetrics(normal)).name;
        EXPECT_EQ(status, QString::fromUtf8("<invoice<U+202E>gpj.exe>"));
    }
}

}  // namespace
}  // namespace kv
