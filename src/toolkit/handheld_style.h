// The handheld's look on a desktop: the windows keep the handheld's pixel positions and sizes,
// so the text must be about as wide as the handheld's own small font. A condensed sans face
// with full Cyrillic at 12 pixels fits the captions where a desktop's default face would clip.
#pragma once

namespace vendrix {

/// Sets the application font for the handheld layout and keeps every window on its screen;
/// call once after the QApplication exists.
void ApplyHandheldStyle();

} // namespace vendrix
