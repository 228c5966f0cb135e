// One-shot timers: the main window fills its journal a second after it appears and asks the
// first-run question half a second after it appears, each timer stopping itself when it fires.
#pragma once

#include <functional>

class QObject;
class QTimer;

namespace vendrix {

/// Starts a timer owned by `owner` that runs `onTimeout` once after `milliseconds`; the timer
/// stays (stopped) with its owner so that a window can tell whether it has fired.
QTimer* StartOneShot(QObject* owner, int milliseconds, std::function<void()> onTimeout);

} // namespace vendrix
