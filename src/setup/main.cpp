// kv_setup: installs Korvalen from the data.res beside it.
#include <QApplication>
#include <QStyle>

#include <cstdio>
#include <cstring>

#include "setup/setup_form.h"

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kv_setup %s\n", KV_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Korvalen Setup"));
    if (QStyle* windows = QApplication::setStyle(QStringLiteral("Windows")))
        QApplication::setPalette(windows->standardPalette());
    kv::setup::TForm1 form;
    form.show();
    return app.exec();
}
