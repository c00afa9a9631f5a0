// Names with control characters in them (a file on disk may be called "\x1b]0;x\x07"):
// the panel shows visible stand-ins, never the raw bytes.
#include <gtest/gtest.h>

#include <QFontMetrics>

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

}  // namespace
}  // namespace kv
