// The screen the small dialogs lay themselves out on. On a handheld-sized screen that is the
// screen's free area; on a desktop the program's windows keep the handheld's size, so a
// dialog measures itself against its owner's window, as it would against the handheld's
// screen, instead of spreading over a monitor it was never drawn for.
#pragma once

#include <QRect>

class QWidget;

namespace vendrix {

/// The area, in screen coordinates, that a dialog of `owner` treats as the screen: the free
/// area of a handheld-sized screen (under Wayland the room the compositor gave the maximised
/// outermost window), otherwise the outermost window the owner belongs to.
QRect HandheldScreen(const QWidget* owner);

/// The height of a bottom menu bar, as the handheld's menu bar height.
int MenuBarHeight();

} // namespace vendrix
