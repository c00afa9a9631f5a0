// The game windows: buttons, keys, the game-over notice, painting, the Life menu and
// mouse editing, and that a closed window frees itself.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "tools/games/life_form.h"
#include "tools/games/tetro_form.h"
#include "tools/tool_window.h"

namespace {

using kv::games::TetrisGame;

QApplication* app() {
    static QApplication* instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tools_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        // The look the program itself starts with.
        if (QStyle* windows = QApplication::setStyle(QStringLiteral("Windows")))
            QApplication::setPalette(windows->standardPalette());
        return a;
    }();
    return instance;
}

// Answers the next modal message box with OK and keeps its text.
void answerNextBox(QString* text) {
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [text, attempt] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, *attempt);
            return;
        }
        *text = box->text();
        box->button(QMessageBox::Ok)->click();
    };
    QTimer::singleShot(0, *attempt);
}

// A window's look, saved beside the docs when KV_SCREENSHOT_DIR names a folder.
void keepScreenshot(const QImage& image, const char* name) {
    const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
    if (!dir.isEmpty()) image.save(QDir(dir).filePath(QString::fromUtf8(name)));
}

QColor pixel(const QImage& image, QPoint at) { return image.pixelColor(at); }

// Every key's text is its own name, so a test sees which key each control asks for.
QString keyNames(const char* key, const char*) { return QString::fromUtf8(key); }

class GameWindows : public ::testing::Test {
protected:
    void SetUp() override { app(); }
};

TEST_F(GameWindows, TetrisButtonsStartPauseAndExit) {
    auto* w = new kv::TTetro1();
    QPointer<kv::TTetro1> alive(w);
    kv::showToolWindow(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("The tetris"));
    EXPECT_EQ(w->size(), QSize(250, 338));
    EXPECT_FALSE(w->Button2->isEnabled());
    EXPECT_EQ(w->Timer1().interval(), 550);

    w->Button1->click();
    EXPECT_TRUE(w->Timer1().isActive());
    EXPECT_FALSE(w->Button1->isEnabled());
    EXPECT_TRUE(w->Button2->isEnabled());
    w->Button2->click();
    EXPECT_FALSE(w->Timer1().isActive());
    w->Button2->click();
    EXPECT_TRUE(w->Timer1().isActive());

    w->Button4->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

TEST_F(GameWindows, TetrisKeysMoveThePieceAndEscapeCloses) {
    auto* w = new kv::TTetro1();
    QPointer<kv::TTetro1> alive(w);
    kv::showToolWindow(w, nullptr);
    // Before a piece is in play the keys do nothing.
    QTest::keyClick(w, Qt::Key_Space);
    EXPECT_EQ(w->game().score(), 0);

    w->game().setNext(5, 3);  // I
    w->Timer1Timer();
    ASSERT_EQ(w->game().current().colOffset, 5);
    QTest::keyClick(w, Qt::Key_Right);
    EXPECT_EQ(w->game().current().colOffset, 6);
    QTest::keyClick(w, Qt::Key_Left);
    QTest::keyClick(w, Qt::Key_Left);
    EXPECT_EQ(w->game().current().colOffset, 4);
    QTest::keyClick(w, Qt::Key_Up);
    EXPECT_EQ(w->game().current().rotation, 2);
    QTest::keyClick(w, Qt::Key_Down);
    EXPECT_EQ(w->game().score(), 5);
    EXPECT_EQ(w->ScoreValue->text(), QStringLiteral("5"));
    EXPECT_EQ(w->game().cell(23, 5), 3);

    QTest::keyClick(w, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

TEST_F(GameWindows, TetrisGameOverTellsAndGoesBackToIdle) {
    kv::TTetro1 w;
    w.show();
    w.Button1->click();
    w.Timer1().stop();  // the test gives the ticks
    w.game().setNext(6, 2);
    w.Timer1Timer();
    w.game().drop();
    w.Timer1Timer();
    ASSERT_EQ(w.game().score(), 25);
    w.Timer1().start();
    w.game().setCell(1, 6, 4);
    w.game().setNext(6, 2);
    QString told;
    answerNextBox(&told);
    w.Timer1Timer();
    EXPECT_EQ(told, QStringLiteral("Ops! Game over!"));
    EXPECT_FALSE(w.Timer1().isActive());
    EXPECT_TRUE(w.Button1->isEnabled());
    EXPECT_FALSE(w.Button2->isEnabled());
    EXPECT_EQ(w.ScoreValue->text(), QStringLiteral("0"));
    EXPECT_EQ(w.LevelValue->text(), QStringLiteral("1"));
}

TEST_F(GameWindows, TetrisTextsComeFromItsLanguageSection) {
    kv::TTetro1 w(keyNames);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Game"));
    EXPECT_EQ(w.Button1->text(), QStringLiteral("Start"));
    EXPECT_EQ(w.Button4->text(), QStringLiteral("Exit"));
    w.show();
    w.game().setCell(1, 6, 4);
    w.game().setNext(6, 2);
    QString told;
    answerNextBox(&told);
    w.Timer1Timer();
    EXPECT_EQ(told, QStringLiteral("GameOver"));
}

// Mid-game: settled rows, a falling piece, the preview; the pixels show the colours and
// each block's border (white top and right, grey left and bottom).
TEST_F(GameWindows, TetrisPaintsTheBoardAndThePreview) {
    kv::TTetro1 w;
    auto& g = w.game();
    const int colours[] = {2, 3, 4, 5, 6, 7, 1};
    for (int row = 19; row <= 23; ++row)
        for (int col = 1; col <= 12; ++col)
            if ((col + row) % 5 != 0) g.setCell(row, col, colours[(col + 2 * row) % 7]);
    w.show();
    w.Button1->click();
    w.Timer1().stop();  // the test gives the ticks
    g.setNext(6, 4);    // an O dropped at the right wall lands: 25 points
    w.Timer1Timer();
    for (int i = 0; i < 5; ++i) g.moveRight();
    g.drop();
    w.Timer1Timer();
    g.setNext(0, 5);  // then a T, magenta, in play and falling
    for (int i = 0; i < 8; ++i) w.Timer1Timer();
    g.setNext(5, 6);  // the preview: I, cyan
    const QImage image = w.grab().toImage();
    keepScreenshot(image, "kv-tetris.png");

    const auto cellAt = [](int row, int col) { return QRect(14 * col - 9, 14 * row - 8, 14, 14); };
    EXPECT_EQ(pixel(image, cellAt(1, 1).center()), QColor(0, 0, 128));
    const QRect settled = cellAt(23, 1);
    EXPECT_EQ(pixel(image, settled.center()), kv::TTetro1::cellColour(g.cell(23, 1), w.palette()));
    EXPECT_EQ(pixel(image, settled.topLeft() + QPoint(5, 0)), QColor(255, 255, 255));
    EXPECT_EQ(pixel(image, settled.topRight() + QPoint(0, 5)), QColor(255, 255, 255));
    EXPECT_EQ(pixel(image, settled.topLeft() + QPoint(0, 5)), QColor(128, 128, 128));
    EXPECT_EQ(pixel(image, settled.bottomLeft() + QPoint(5, 0)), QColor(128, 128, 128));
    // The falling T: its top block in column 7.
    const int top = g.current().rowOffset + 1;
    EXPECT_EQ(pixel(image, cellAt(top, 7).center()), QColor(255, 0, 255));
    EXPECT_EQ(pixel(image, cellAt(top, 6).center()), QColor(0, 0, 128));
    // The preview: the I's four squares in row 1, button face in row 2.
    EXPECT_EQ(w.ScoreValue->text(), QStringLiteral("25"));
    const QPoint preview = w.Preview->mapTo(&w, QPoint(0, 0));
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(pixel(image, preview + QPoint(9 * c + 4, 4)), QColor(0, 255, 255)) << c;
    EXPECT_EQ(pixel(image, preview + QPoint(4, 13)), w.palette().color(QPalette::Button));
}

TEST_F(GameWindows, LifeMenuRunsStopsStepsAndClears) {
    kv::TFormLife w;
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Life game"));
    EXPECT_EQ(w.View->size(), QSize(363, 318));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // not resizable
    EXPECT_FALSE(w.Stop1->isEnabled());
    EXPECT_EQ(w.Timer1().interval(), 200);
    EXPECT_FALSE(w.Timer1().isActive());

    w.Run1->trigger();
    EXPECT_TRUE(w.Timer1().isActive());
    EXPECT_FALSE(w.Run1->isEnabled());
    EXPECT_TRUE(w.Stop1->isEnabled());
    // One step first stops the running game.
    w.OneStep1->trigger();
    EXPECT_FALSE(w.Timer1().isActive());
    EXPECT_TRUE(w.Run1->isEnabled());
    EXPECT_EQ(kv::TFormLife::steps(), 1);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Step - 1"));
    w.OneStep1->trigger();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Step - 2"));
    w.ResetSteps1->trigger();
    EXPECT_EQ(kv::TFormLife::steps(), 0);
    EXPECT_EQ(w.windowTitle(), QString());

    w.Generate1->trigger();
    EXPECT_GT(w.grid().population(), 300);
    w.Run1->trigger();
    w.Clear1->trigger();
    EXPECT_FALSE(w.Timer1().isActive());
    EXPECT_TRUE(w.Run1->isEnabled());
    EXPECT_EQ(w.grid().population(), 0);
}

TEST_F(GameWindows, LifeStepCounterIsSharedAndANewWindowStartsItAgain) {
    kv::TFormLife first;
    first.OneStep1->trigger();
    first.OneStep1->trigger();
    kv::TFormLife second;
    EXPECT_EQ(kv::TFormLife::steps(), 0);
    first.OneStep1->trigger();
    second.OneStep1->trigger();
    EXPECT_EQ(second.windowTitle(), QStringLiteral("Step - 2"));
}

TEST_F(GameWindows, LifeTextsComeFromItsLanguageSection) {
    kv::TFormLife w(keyNames);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Game"));
    EXPECT_EQ(w.OneStep1->text(), QStringLiteral("OneStep"));
    EXPECT_EQ(w.ResetSteps1->text(), QStringLiteral("resetsteps"));
    w.OneStep1->trigger();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Step - 1"));
}

TEST_F(GameWindows, LifeClickTogglesACellOnlyWhenPressAndReleaseMeet) {
    kv::TFormLife w;
    w.show();
    const QPoint cell = kv::LifeView::cellRect(3, 4).center();
    QTest::mouseClick(w.View, Qt::LeftButton, {}, cell);
    EXPECT_TRUE(w.grid().alive(3, 4));
    QTest::mouseClick(w.View, Qt::LeftButton, {}, cell);
    EXPECT_FALSE(w.grid().alive(3, 4));
    // Pressed on one cell, released on the next: nothing changes.
    QTest::mousePress(w.View, Qt::LeftButton, {}, cell);
    QTest::mouseRelease(w.View, Qt::LeftButton, {}, kv::LifeView::cellRect(4, 4).center());
    EXPECT_EQ(w.grid().population(), 0);
    // Beyond the shown cells nothing is toggled.
    QTest::mouseClick(w.View, Qt::LeftButton, {}, QPoint(362, 317));
    EXPECT_EQ(w.grid().population(), 0);
}

TEST_F(GameWindows, LifePaintsLiveCellsGrey) {
    kv::TFormLife w;
    // A glider and a blinker, a few generations on.
    for (auto [c, r] : {std::pair{2, 1}, {3, 2}, {1, 3}, {2, 3}, {3, 3}, {20, 10}, {21, 10}, {22, 10}})
        w.grid().set(c, r, true);
    std::mt19937 rng(3);
    kv::games::LifeGrid noise;
    noise.generate(rng);
    for (int c = 24; c < 40; ++c)
        for (int r = 14; r < 35; ++r) w.grid().set(c, r, noise.alive(c, r));
    w.show();
    for (int i = 0; i < 6; ++i) w.OneStep1->trigger();
    const QImage image = w.grab().toImage();
    keepScreenshot(image, "kv-life.png");

    const QPoint origin = w.View->mapTo(&w, QPoint(0, 0));
    for (int c = 0; c < kv::LifeView::kShownCols; c += 3)
        for (int r = 0; r < kv::LifeView::kShownRows; r += 3) {
            const QColor want =
                w.grid().alive(c, r) ? QColor(128, 128, 128) : w.palette().color(QPalette::Button);
            ASSERT_EQ(pixel(image, origin + kv::LifeView::cellRect(c, r).center()), want) << c << "," << r;
        }
}

TEST_F(GameWindows, AToolWindowGoesWithItsOwner) {
    auto owner = std::make_unique<QObject>();
    auto* w = new kv::TFormLife();
    QPointer<kv::TFormLife> alive(w);
    kv::showToolWindow(w, owner.get());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->isWindow());
    EXPECT_FALSE(w->testAttribute(Qt::WA_QuitOnClose));
    owner.reset();
    EXPECT_TRUE(alive.isNull());

    // Closed first, it is gone before its owner, which later ends without harm.
    owner = std::make_unique<QObject>();
    auto* t = new kv::TTetro1();
    QPointer<kv::TTetro1> tetris(t);
    kv::showToolWindow(t, owner.get());
    t->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(tetris.isNull());
    owner.reset();
}

}  // namespace
