// Writes the application icon as PNG files for the desktop's icon theme:
//   orvanta-make-icon FOLDER SIZE...   (FOLDER/SIZE/orvanta.png for each size)

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "AppIcon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    QGuiApplication application(argc, argv);
    for (int i = 2; i < argc; ++i) {
        const int size = QString(argv[i]).toInt();
        const QString folder = QString(argv[1]) + "/" + QString::number(size);
        if (size <= 0 || !QDir().mkpath(folder) || !AppIconPixmap(size).save(folder + "/orvanta.png")) {
            std::fprintf(stderr, "%s: cannot write the %s-pixel icon\n", argv[0], argv[i]);
            return 1;
        }
    }
    return 0;
}
