#pragma once
// A TForm1 run in a temporary home: its own working folder with a few files, its own
// kv.ini and plug-in folders, so a test never touches the user's files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "main/main_form.h"

namespace kvtest {

namespace fs = std::filesystem;

inline QApplication* app() {
    static QApplication* instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "main_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return instance;
}

inline void writeFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Answers the next modal message box with `button` once it appears.
inline void answerNextMessageBox(QMessageBox::StandardButton button, QString* textSeen = nullptr) {
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [button, textSeen, attempt] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, *attempt);
            return;
        }
        if (textSeen) *textSeen = box->text();
        box->button(button)->click();
    };
    QTimer::singleShot(0, *attempt);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        std::string tmpl = (fs::temp_directory_path() / "kv_gui_XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
        work = root / "work";
        fs::create_directories(work / "alpha");
        fs::create_directories(work / "beta");
        writeFile(work / "notes.txt", "notes\n");
        writeFile(work / "data.bin", std::string(1536, 'x'));
        writeFile(work / "alpha" / "inner.txt", "inner\n");
        iniPath = root / "cfg" / "kv.ini";
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    }

    void TearDown() override {
        form.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Creates the window; plug-ins come from `pluginFolders` (none by default).
    kv::TForm1& start(std::vector<std::string> pluginFolders = {}) {
        kv::TForm1::Options o;
        o.programFolder = root.string();
        o.pluginFolders = pluginFolders.empty() ? std::vector<std::string>{(root / "no-plugins").string()}
                                                : pluginFolders;
        o.iniPath = iniPath;
        o.startFolder = work.string();
        form = std::make_unique<kv::TForm1>(o);
        form->show();
        QApplication::setActiveWindow(form.get());
        return *form;
    }

    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(form->ComLine, static_cast<Qt::Key>(k), mods);
    }
    void type(const QString& text) { QTest::keyClicks(form->ComLine, text); }

    fs::path root, work, iniPath;
    std::unique_ptr<kv::TForm1> form;
};

}  // namespace kvtest
