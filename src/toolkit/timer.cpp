// One-shot timers over QTimer.
#include "toolkit/timer.h"

#include <QTimer>

namespace vendrix {

QTimer* StartOneShot(QObject* owner, int milliseconds, std::function<void()> onTimeout)
{
    auto* timer = new QTimer(owner);
    timer->setSingleShot(true);
    timer->setInterval(milliseconds);
    QObject::connect(timer, &QTimer::timeout, owner, std::move(onTimeout));
    timer->start();
    return timer;
}

} // namespace vendrix
