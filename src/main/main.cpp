// kv: the two-panel file manager.
#include <QApplication>
#include <QFont>
#include <QStyle>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "main/main_form.h"
#include "viewers/exe/resource_tree_text.h"
#include "viewers/form_resource.h"

int main(int argc, char** argv) {
    // kv --resources FILE: the executable's resource tree on standard output, for scripts.
    if (argc == 3 && std::strcmp(argv[1], "--resources") == 0)
        return kv::exe::printResourceTreeOfFile(argv[2], std::cout, std::cerr);
    // The old program's look: the Windows style with its grey button face, so the inactive
    // panel's frame (drawn in that colour) stands apart from the active panel's white one.
    // A style the user names with -style or QT_STYLE_OVERRIDE wins (Qt takes -style out
    // of argv, so look before it does).
    const bool styleChosen = qEnvironmentVariableIsSet("QT_STYLE_OVERRIDE") ||
                             std::any_of(argv + 1, argv + argc, [](const char* a) {
                                 return std::strcmp(a, "-style") == 0 || std::strncmp(a, "-style=", 7) == 0;
                             });
    QApplication app(argc, argv);
    if (!styleChosen) {
        if (QStyle* windows = QApplication::setStyle(QStringLiteral("Windows")))
            QApplication::setPalette(windows->standardPalette());
    }
    // The old interface fonts, mapped onto what a Linux desktop has.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Small Fonts"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
    kv::TForm1 form;
    form.show();
    // A first argument naming an existing file opens it in the resource explorer.
    kv::TFormResource::openFromCommandLine(&form, QCoreApplication::arguments());
    return app.exec();
}
