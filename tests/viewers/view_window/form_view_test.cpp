// The viewer's window: the keys its status line names, a search on the worker with its
// progress and the match selected, copy, the editor on F4, follow, and Esc.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/temp_dir.h"
#include "viewers/form_view.h"
#include "viewers/view_pane.h"

namespace kv {
namespace {

QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "view_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class FormViewTest : public ::testing::Test {
protected:
    void SetUp() override { qtApp(); }
    TFormView* open(const std::string& name, const std::string& content) {
        QString error;
        TFormView* v = TFormView::Open(nullptr, dir.file(name, content), &error);
        EXPECT_NE(v, nullptr) << error.toStdString();
        if (v) v->resize(800, 400);
        QApplication::processEvents();
        return v;
    }
    void waitForSearch(TFormView* v) {
        for (int i = 0; i < 2000 && v->searching(); ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        QApplication::processEvents();
    }
    kv::test::TempDir dir;
};

TEST_F(FormViewTest, KeysSwitchModeEncodingAndWrapAsTheStatusLineSays) {
    TFormView* v = open("t.txt", "hello world\n");
    ASSERT_TRUE(v);
    for (const char* k : {"F2 Wrap", "F4 Edit", "F5 Text/Hex/Dump", "F7 Search", "F8 Encoding", "Ctrl+G Go to",
                          "Ctrl+F Follow", "Ctrl+C Copy", "Esc Close"})
        EXPECT_TRUE(v->keysText().contains(QLatin1String(k))) << k;
    EXPECT_TRUE(v->statusText().contains(QLatin1String("Text   UTF-8   Wrap"))) << v->statusText().toStdString();
    QTest::keyClick(v->pane(), Qt::Key_F5);
    EXPECT_EQ(v->document().mode(), view::ViewMode::Hex);
    EXPECT_TRUE(v->pane()->rows().front().text.starts_with("00000000: 68 65 6C 6C 6F"));
    QTest::keyClick(v->pane(), Qt::Key_F5);
    EXPECT_EQ(v->document().mode(), view::ViewMode::Dump);
    QTest::keyClick(v->pane(), Qt::Key_F5);
    EXPECT_EQ(v->document().mode(), view::ViewMode::Text);
    QTest::keyClick(v->pane(), Qt::Key_F8);
    EXPECT_EQ(v->document().encoding(), view::Encoding::Utf16Le);
    EXPECT_TRUE(v->statusText().contains(QLatin1String("UTF-16LE")));
    QTest::keyClick(v->pane(), Qt::Key_F2);
    EXPECT_FALSE(v->document().wrap());
    QPointer<TFormView> alive(v);
    QTest::keyClick(v->pane(), Qt::Key_Escape);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull()) << "Esc closes the viewer";
}

TEST_F(FormViewTest, SearchSelectsTheMatchAndCopyTakesIt) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i) + "\n";
    text += "the Needle line\n";
    TFormView* v = open("t.txt", text);
    ASSERT_TRUE(v);
    ASSERT_TRUE(v->startSearch({.text = "needle"}));
    waitForSearch(v);
    const std::uint64_t at = text.find("Needle");
    EXPECT_EQ(v->pane()->selectionFrom(), at);
    EXPECT_EQ(v->pane()->selectionTo(), at + 6);
    bool shown = false;
    for (const view::ViewRow& r : v->pane()->rows()) shown = shown || r.text == "the Needle line";
    EXPECT_TRUE(shown) << "the match is brought into view";
    QTest::keyClick(v->pane(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Needle"));
    // Again from the match: nothing further; back from it: nothing before either.
    v->findAgain(false);
    waitForSearch(v);
    EXPECT_TRUE(v->statusText().contains(QLatin1String("Not found")));
    // A bad hex pattern is said, not searched.
    EXPECT_FALSE(v->startSearch({.text = "4D 5", .hex = true}));
    EXPECT_TRUE(v->statusText().contains(QLatin1String("two digits")));
    v->close();
}

TEST_F(FormViewTest, GoToEditorAndFollow) {
    TFormView* v = open("log", "one\ntwo\nthree\n");
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->goTo(QStringLiteral("2")));
    EXPECT_EQ(v->pane()->rows().front().text, "two");
    EXPECT_FALSE(v->goTo(QStringLiteral("two")));

    std::string edited;
    v->EditFile = [&edited](const std::string& path) {
        edited = path;
        return false;  // the editor refused: the viewer stays
    };
    QTest::keyClick(v->pane(), Qt::Key_F4);
    EXPECT_EQ(edited, v->path());
    EXPECT_TRUE(v->isVisible());

    QTest::keyClick(v->pane(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(v->document().follow());
    { std::ofstream(dir / "log", std::ios::app) << "four\n"; }
    v->followTick();
    EXPECT_EQ(v->pane()->rows().back().text, "four");
    v->close();
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Pictures of the viewer for the documentation: run under a real X server (xvfb-run) with
// KV_SCREENSHOT_DIR set; each picture is the whole screen as `import -window root` takes it.
TEST_F(FormViewTest, Screenshots) {
    const char* shots = std::getenv("KV_SCREENSHOT_DIR");
    if (!shots || !std::getenv("DISPLAY")) GTEST_SKIP() << "set KV_SCREENSHOT_DIR and run under X to keep screenshots";
    auto snap = [&](TFormView* v, const char* name) {
        v->move(0, 0);
        v->raise();
        for (int i = 0; i < 20; ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const std::string cmd = std::string("import -window root '") + shots + "/" + name + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    };
    std::string log;
    for (int i = 0; i < 3000; ++i)
        log += "2026-12-11 14:" + std::to_string(10 + i % 50) + " host sshd[" + std::to_string(900 + i) +
               "]: Accepted key for user\tfrom 10.0.0." + std::to_string(i % 250) +
               (i % 7 == 0 ? " \x1b[31mwarning\x1b[0m Привет" : "") + "\n";
    TFormView* text = open("auth.log", log);
    text->resize(1000, 520);
    ASSERT_TRUE(text->startSearch({.text = "10.0.0.42"}));
    waitForSearch(text);
    snap(text, "kv-viewer-text.png");
    text->close();

    std::string bin = std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3e\0", 20);
    for (int i = 0; i < 2000; ++i) bin += static_cast<char>(i * 37 % 256);
    bin += "GCC: (Debian 12.2.0-14) 12.2.0";
    TFormView* hex = open("tool", bin);
    hex->resize(1000, 520);
    snap(hex, "kv-viewer-hex.png");
    hex->close();

    // A search through 400 MB still running when the picture is taken.
    const std::string big = dir / "big.log";
    {
        std::ofstream out(big, std::ios::binary);
        const std::string block = log.substr(0, 1 << 20);
        for (std::size_t written = 0; written < (400u << 20); written += block.size()) out << block;
    }
    QString error;
    TFormView* running = TFormView::Open(nullptr, big, &error);
    running->resize(1000, 520);
    running->move(0, 0);
    QApplication::processEvents();
    // Any case, starting with a letter the log is full of: the slowest kind of search.
    ASSERT_TRUE(running->startSearch({.text = "exception in thread"}));
    for (int i = 0; i < 5000 && !(running->statusText().contains(QLatin1String("Searching")) &&
                                  !running->statusText().contains(QLatin1String("Searching 0%")));
         ++i) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::string cmd = std::string("import -window root '") + shots + "/kv-viewer-search.png'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    running->cancelSearch();
    running->close();
}

}  // namespace
}  // namespace kv
