// kv_icon_render SIZE FILE.png: writes the program's icon at SIZE x SIZE pixels, for the
// icon theme folders of the package and for the installer's bundle.
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include "main/app_icon.h"

int main(int argc, char** argv) {
    const int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < 8 || size > 1024) {
        std::fputs("usage: kv_icon_render SIZE FILE.png\n", stderr);
        return 2;
    }
    if (!kv::korvalenIconImage(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "kv_icon_render: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
