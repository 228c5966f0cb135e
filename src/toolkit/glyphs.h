// The program's pictures: the journal's document-state strip FMAIN_IL_STATES, the folder and
// search glyphs BITBTN1_BITMAP and BITBTN4_BITMAP, the group tree's images FSPRMULTISEL_IL1 and
// the program icon. They are drawn in code at the screen's pixel ratio rather than loaded from
// files, so that they stay sharp on an ordinary screen and on a doubled one alike.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

#include <vector>

namespace vendrix {

/// The bitmap resource `name` at pixel ratio `ratio` (0: the primary screen's): logical sizes
/// FMAIN_IL_STATES 80 x 12, BITBTN1_BITMAP and BITBTN4_BITMAP 16 x 16, FSPRMULTISEL_IL1 32 x 16.
/// A null pixmap for an unknown name.
QPixmap ResourceBitmap(const QString& name, qreal ratio = 0);

/// The bitmap resource `name` cut into images of `width` x `height` logical pixels, left to
/// right (FMAIN_IL_STATES gives its five 16 x 12 state images).
std::vector<QPixmap> ImageList(const QString& name, int width, int height, qreal ratio = 0);

/// The program's icon, at the sizes a window title, a task bar and a tray ask for.
QIcon ProgramIcon();

} // namespace vendrix
