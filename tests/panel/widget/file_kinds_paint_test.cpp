// Links, broken links and fifos as the panel draws them, and names too long for their
// column: shortened with "…", whole in the tooltip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>

#include "../model/temp_dir.h"
#include "panel/fpanel.h"
#include "qt_app.h"

namespace kv {
namespace {

class KindsPanel : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        dir.file("aa-plain.txt", "12345");
        ASSERT_EQ(::symlink("aa-plain.txt", (dir / "bb-link").c_str()), 0);
        ASSERT_EQ(::symlink("gone/away", (dir / "cc-broken").c_str()), 0);
        ASSERT_EQ(::mkfifo((dir / "dd-pipe").c_str(), 0600), 0);
        dir.file(longName, "x");
        panel.Side = "Left";
        panel.SetDefaults();
        panel.Active = 1;
        panel.SortMethod = srName;
        panel.Style = 3;
        panel.Columns = 1;
        panel.resize(300, 300);
        panel.CurDir = dir.path();
        panel.ReadDir();
        panel.show();
        panel.DrawList();
    }

    void cursorOn(const std::string& name) {
        panel.PosList = 0;
        panel.Bar_Pos = panel.FL.findByName(name) - 1;
        panel.DrawCursor();
        ASSERT_EQ(panel.CurFile, name);
    }
    // The name part of the row that shows `name` (full view, one column).
    QRect nameArea(const std::string& name) const {
        const int row = panel.FL.findByName(name) - 1 - panel.PosList;
        return QRect(panel.X0 + 4, panel.Y0 + 4 + row * panel.LineHeight, panel.NameRight - panel.X0 - 8,
                     panel.LineHeight - 2);
    }
    QFontMetrics metrics() const { return QFontMetrics(panel.CanvasFont()); }

    struct AppFirst {
        AppFirst() { test::qtApp(); }
    } app_;  // the widget below needs the application
    test::TempDir dir;
    const std::string longName = "ee-" + std::string(80, 'n') + ".txt";
    TFPanel panel;
};

int pixelsOf(const QImage& img, const QRect& r, QRgb colour) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
    return n;
}

TEST_F(KindsPanel, LinksAreMarkedAndBrokenLinksGrey) {
    const QFontMetrics fm = metrics();
    EXPECT_EQ(TFPanel::CellName(panel.FL.entry(panel.FL.findByName("bb-link")), fm, 500),
              QString::fromUtf8("bb-link \u2192"));
    EXPECT_EQ(TFPanel::CellName(panel.FL.entry(panel.FL.findByName("dd-pipe")), fm, 500),
              QStringLiteral("dd-pipe|"));
    EXPECT_EQ(TFPanel::CellName(panel.FL.entry(panel.FL.findByName("aa-plain.txt")), fm, 500),
              QStringLiteral("aa-plain.txt"));
    EXPECT_EQ(panel.SizeText(panel.FL.entry(panel.FL.findByName("cc-broken")), panel.CanvasFont(), 200),
              QStringLiteral("<Broken>"));
    EXPECT_EQ(panel.SizeText(panel.FL.entry(panel.FL.findByName("dd-pipe")), panel.CanvasFont(), 200),
              QStringLiteral("<Pipe>"));

    cursorOn("aa-plain.txt");  // the bar away from the rows looked at
    const QImage img = panel.grab().toImage();
    const QRgb grey = qRgb(0x80, 0x80, 0x80);
    EXPECT_GT(pixelsOf(img, nameArea("cc-broken"), grey), 0) << "a broken link is drawn in grey";
    EXPECT_EQ(pixelsOf(img, nameArea("bb-link"), grey), 0) << "a working link keeps its colour";
}

TEST_F(KindsPanel, TheStatusStripShowsALinksTargetAndWhatASpecialFileIs) {
    QFont normal = panel.CanvasFont();
    normal.setBold(false);
    const QFontMetrics fm(normal);
    panel.resize(600, 300);
    cursorOn("bb-link");
    EXPECT_EQ(panel.StatusTexts(fm).name, QString::fromUtf8("<bb-link \u2192 aa-plain.txt>"));
    cursorOn("cc-broken");
    EXPECT_EQ(panel.StatusTexts(fm).name, QString::fromUtf8("<cc-broken \u2192 gone/away>"));
    EXPECT_EQ(panel.StatusTexts(fm).size, QStringLiteral("broken link"));
    cursorOn("dd-pipe");
    EXPECT_EQ(panel.StatusTexts(fm).size, QStringLiteral("named pipe"));
}

TEST_F(KindsPanel, ALongNameEndsInAnEllipsisAndTheTooltipHasItWhole) {
    const QFontMetrics fm = metrics();
    const TDirEntry& e = panel.FL.entry(panel.FL.findByName(longName));
    bool shortened = false;
    const QString shown = TFPanel::CellName(e, fm, 120, &shortened);
    EXPECT_TRUE(shortened);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(fm.horizontalAdvance(shown), 120);
    // A shortened link keeps its mark.
    TDirEntry link = e;
    link.IsLink = true;
    EXPECT_TRUE(TFPanel::CellName(link, fm, 120).endsWith(QString::fromUtf8("\u2026 \u2192")));

    panel.grab();  // the paint notes which cells it shortened
    EXPECT_EQ(panel.NameToolTip(nameArea(longName).center()), QString::fromStdString(longName));
    EXPECT_EQ(panel.NameToolTip(nameArea("aa-plain.txt").center()), QString())
        << "a name shown whole has no tip";
    // After scrolling the same cell shows another entry: the old record must not answer.
    panel.PosList = 1;
    EXPECT_NE(panel.NameToolTip(nameArea(longName).center()), QString::fromStdString(longName));
}

}  // namespace
}  // namespace kv
