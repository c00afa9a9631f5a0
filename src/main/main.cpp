// kv: the two-panel file manager.
#include <QApplication>
#include <QFont>

#include "main/main_form.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The old interface fonts, mapped onto what a Linux desktop has.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Small Fonts"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
    kv::TForm1 form;
    form.show();
    return app.exec();
}
