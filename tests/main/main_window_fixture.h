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
#include <QSet>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "main/main_form.h"
#include "panel/fpanel.h"
#include "support/temp_dir.h"

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

// How many modal dialogs a test has said it will answer; any other modal dialog is closed
// by the fixture's watchdog and fails the test (instead of hanging it until the timeout).
inline int& expectedModals() {
    static int n = 0;
    return n;
}

// Dialogs a test is driving itself; one that opens on top of them is still unexpected.
inline QSet<QWidget*>& heldDialogs() {
    static QSet<QWidget*> held;
    return held;
}

// Runs `then` on the next modal dialog of type D once it is shown.
template <class D>
void onNextDialog(std::function<void(D*)> then) {
    ++expectedModals();
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [then, attempt] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!d) {
            QTimer::singleShot(10, *attempt);
            return;
        }
        --expectedModals();
        // The dialog stays expected while `then` drives it, even when a step runs the
        // event loop for a while (a QTRY wait, applying settings on a busy machine).
        heldDialogs().insert(d);
        then(d);
        heldDialogs().remove(d);
    };
    QTimer::singleShot(0, *attempt);
}

// Answers the next modal message box with `button` once it appears.
inline void answerNextMessageBox(QMessageBox::StandardButton button, QString* textSeen = nullptr) {
    onNextDialog<QMessageBox>([button, textSeen](QMessageBox* box) {
        if (textSeen) *textSeen = box->text();
        box->button(button)->click();
    });
}

// Answers the next dialog of type D (found by its class, forms without a meta-object too).
template <class D>
void answerNext(std::function<void(D*)> then) {
    onNextDialog<QDialog>([then](QDialog* d) {
        auto* form = dynamic_cast<D*>(d);
        ASSERT_NE(form, nullptr) << d->windowTitle().toStdString();
        then(form);
    });
}

// Presses the OK button ("Button1") of one of the program's forms.
inline void accept(QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("Button1"))->click(); }

// Closes a modal dialog nobody expected and reports it as a failure of the running test.
class ModalWatchdog {
public:
    ModalWatchdog() {
        timer_.setInterval(100);
        QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
        timer_.start();
    }

private:
    void check() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || expectedModals() > 0 || heldDialogs().contains(modal)) {
            seen_ = nullptr;
            return;
        }
        // Seen twice in a row: a dialog a helper is about to answer has had its chance.
        if (modal != seen_) {
            seen_ = modal;
            return;
        }
        seen_ = nullptr;
        QString what = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) what += QStringLiteral(": ") + box->text();
        ADD_FAILURE() << "an unexpected modal dialog was shown and closed: " << what.toStdString();
        if (auto* d = qobject_cast<QDialog*>(modal))
            d->reject();
        else
            modal->close();
    }

    QTimer timer_;
    QWidget* seen_ = nullptr;
};

// The panel's cursor on the entry `name` (a small folder: the list starts at its top).
inline void placeCursor(kv::TFPanel* p, const std::string& name) {
    const int i = p->FL.findByName(name);
    ASSERT_GT(i, 0) << name << " is not in the panel";
    p->HideCursor();
    p->PosList = 0;
    p->Bar_Pos = i - 1;
    p->LocateCursor();
    p->DrawCursor();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        work = root / "work";
        fs::create_directories(work / "alpha");
        fs::create_directories(work / "beta");
        writeFile(work / "notes.txt", "notes\n");
        writeFile(work / "data.bin", std::string(1536, 'x'));
        writeFile(work / "alpha" / "inner.txt", "inner\n");
        iniPath = root / "cfg" / "kv.ini";
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        expectedModals() = 0;
        watchdog = std::make_unique<ModalWatchdog>();
    }

    void TearDown() override {
        form.reset();
        watchdog.reset();
    }

    // Creates the window; plug-ins come from `pluginFolders` (none by default).
    kv::TForm1& start(std::vector<std::string> pluginFolders = {}) {
        kv::TForm1::Options o;
        o.programFolder = root.string();
        o.pluginFolders =
            pluginFolders.empty() ? std::vector<std::string>{(root / "no-plugins").string()} : pluginFolders;
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

    kv::test::TempDir tmp{"kv_gui"};  // removed after TearDown has closed the window
    fs::path root = tmp.path(), work, iniPath;
    std::unique_ptr<kv::TForm1> form;
    std::unique_ptr<ModalWatchdog> watchdog;
};

}  // namespace kvtest
