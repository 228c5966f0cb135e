// Build-time helper: writes the program icon as PNG files into a hicolor theme tree
// (DIR/NxN/apps/<desktop id>.png), so that the menu entry shows the same picture as the
// window, drawn by the same code at each size rather than scaled from one bitmap.
#include "platform/platform.h"
#include "toolkit/glyphs.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vendrix-render-icons DIR\n");
        return 2;
    }
    // Pixmaps need a GUI application, but a build machine has no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QIcon icon = vendrix::ProgramIcon();
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = QStringLiteral("%1/%2.png")
                                 .arg(folder, QString::fromLatin1(vendrix::platform::kDesktopId));
        // Exactly size x size pixels whatever the ratio a screen would ask for.
        QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
        if (!QDir().mkpath(folder) || pixmap.width() != size || !pixmap.save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
