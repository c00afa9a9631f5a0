#pragma once
// One QApplication for the whole test program (GoogleTest owns main).
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

namespace kv::test {

inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "panel_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit, Qt Test's input devices would otherwise be torn down
    // after the application that owns them.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs the event loop until pred() holds or ms pass; says whether it held.
template <class P>
bool spinUntil(P pred, int ms = 2000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) {
        qtApp().processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return pred();
}

}  // namespace kv::test
