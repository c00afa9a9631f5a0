// What F3, Shift+F3 and Enter do with files that are no picture, music or small text: the
// viewer opens (in hex for a binary), and a file no program handles gets a question that
// names its type and offers the viewer.
#include <fcntl.h>
#include <unistd.h>

#include <optional>

#include "main/main_form.h"
#include "main_window_fixture.h"
#include "panel/fpanel.h"
#include "viewers/editor/form_edit.h"
#include "viewers/form_view.h"
#include "viewers/view_pane.h"

namespace kvtest {
namespace {

template <class W>
QList<W*> visible() {
    QList<W*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* x = qobject_cast<W*>(w); x && x->isVisible()) out << x;
    return out;
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

void closeAll() {
    for (auto* v : visible<kv::TFormView>()) v->close();
    for (auto* e : visible<kv::TFormEdit>()) e->close();
    QApplication::processEvents();
}

TEST_F(MainWindowTest, F3OnABinaryOpensTheViewerInHex) {
    writeFile(work / "tool.bin", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10));
    auto& f = start();
    placeCursor(f.LeftPanel, "tool.bin");
    key(Qt::Key_F3);
    QApplication::processEvents();
    const auto viewers = visible<kv::TFormView>();
    ASSERT_EQ(viewers.size(), 1);
    EXPECT_EQ(viewers[0]->document().mode(), kv::view::ViewMode::Hex);
    EXPECT_TRUE(visible<kv::TFormEdit>().isEmpty());
    closeAll();
}

// 100 MB: the text is at the start, the rest a hole; the editor would load it all.
TEST_F(MainWindowTest, F3OnAHundredMegabyteTextOpensTheViewer) {
    std::string text;
    for (int i = 0; i < 10000; ++i) text += "log line " + std::to_string(i) + "\n";
    writeFile(work / "big.log", text);
    ASSERT_EQ(::truncate((work / "big.log").c_str(), 100LL << 20), 0);
    auto& f = start();
    placeCursor(f.LeftPanel, "big.log");
    key(Qt::Key_F3);
    QApplication::processEvents();
    const auto viewers = visible<kv::TFormView>();
    ASSERT_EQ(viewers.size(), 1);
    EXPECT_EQ(viewers[0]->document().mode(), kv::view::ViewMode::Text);
    EXPECT_TRUE(visible<kv::TFormEdit>().isEmpty());
    closeAll();
}

// Shift+F3 views even a small text that F3 gives to the editor; F4 in the viewer then
// hands it to the editor.
TEST_F(MainWindowTest, ShiftF3AlwaysOpensTheViewer) {
    writeFile(work / "memo.txt", "short text\n");
    auto& f = start();
    placeCursor(f.LeftPanel, "memo.txt");
    key(Qt::Key_F3, Qt::ShiftModifier);
    QApplication::processEvents();
    auto viewers = visible<kv::TFormView>();
    ASSERT_EQ(viewers.size(), 1);
    EXPECT_EQ(viewers[0]->pane()->rows().front().text, "short text");
    EXPECT_TRUE(f.ComLine->text().isEmpty()) << "the key must not reach the command line";
    QTest::keyClick(viewers[0]->pane(), Qt::Key_F4);
    QApplication::processEvents();
    EXPECT_EQ(visible<kv::TFormEdit>().size(), 1);
    EXPECT_TRUE(visible<kv::TFormView>().isEmpty()) << "the viewer gives way to the editor";
    closeAll();
}

// Enter on a file of a type no desktop program is registered for: the question names the
// file and its type, and Yes opens the viewer.
TEST_F(MainWindowTest, EnterOnAnUnknownTypeOffersTheViewer) {
    const fs::path empty = root / "no-programs";
    fs::create_directories(empty);
    // The MIME database stays; the program lists (applications/) are gone.
    fs::create_directory_symlink("/usr/share/mime", empty / "mime");
    const ScopedEnv data("XDG_DATA_DIRS", empty.string()), config("XDG_CONFIG_DIRS", empty.string()),
        configHome("XDG_CONFIG_HOME", empty.string());
    writeFile(work / "blob.qqz", std::string("\x01\x02\x03\0\xff\xfe", 6));
    auto& f = start();
    placeCursor(f.LeftPanel, "blob.qqz");
    QString question;
    answerNextMessageBox(QMessageBox::Yes, &question);
    key(Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(question.contains(QLatin1String("No program"))) << question.toStdString();
    EXPECT_TRUE(question.contains(QLatin1String("blob.qqz")));
    EXPECT_TRUE(question.contains(QLatin1String("application/octet-stream"))) << question.toStdString();
    EXPECT_EQ(visible<kv::TFormView>().size(), 1);
    closeAll();
}

}  // namespace
}  // namespace kvtest
