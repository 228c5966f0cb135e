// The application font for the handheld layout.
#include "toolkit/handheld_style.h"

#include "toolkit/window_placement.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace vendrix {

void ApplyHandheldStyle()
{
    QFont font = QApplication::font();
    // DejaVu comes with the program's dependencies; elsewhere the desktop's face stays.
    if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans Condensed")))
        font.setFamily(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(12);
    QApplication::setFont(font);
    KeepWindowsOnScreen();
}

} // namespace vendrix
