// kv: the two-panel file manager.
#include <QApplication>
#include <QFont>
#include <QStyle>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "main/main_form.h"
#include "main/start_argument.h"
#include "viewers/exe/resource_tree_text.h"
#include "viewers/form_resource.h"

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kv (Korvalen) %s\n", KV_VERSION);
        return 0;
    }
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
    // The first argument: a folder, an archive, or a file for the resource explorer.
    const QStringList args = QCoreApplication::arguments();
    const kv::StartArgument start = kv::ClassifyStartArgument(args.size() >= 2 ? args.at(1) : QString());
    kv::TForm1::Options options;
    options.startFolder = start.startFolder;
    kv::TForm1 form(options);
    form.show();
    if (!start.archive.empty()) kv::OpenArchiveInPanel(form, start.archive);
    if (start.resourceExplorer) kv::TFormResource::openFromCommandLine(&form, args);
    return app.exec();
}
