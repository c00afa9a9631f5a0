#pragma once
// One QApplication for the whole test program (GoogleTest owns main).
#include <QApplication>

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

}  // namespace kv::test
