#pragma once
// One QApplication for the whole test program (GoogleTest owns main).
#include <QApplication>

namespace kv::test {

inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "panel_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

}  // namespace kv::test
