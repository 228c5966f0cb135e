// The program's start as the agent sees it, for the large mode of the benchmarks: storage (schema
// check, reference lists), the main window built and shown, its first paint, then its journal
// loaded and painted. Started by vendrix_bench as `vendrix_bench_window <fd> <program folder>
// <orders expected>`; writes two figures into fd: the seconds until the journal was painted and
// the seconds until the first paint.
//
// The window fills its journal a fixed second after it was built, so the window appears at
// once. That second is a wait, not work: the journal's timer is started anew with no delay as
// soon as the first paint is done, and the time between the two is left out.
#include "shell/main_window.h"
#include "shell/startup.h"
#include "toolkit/handheld_style.h"
#include "toolkit/message_box.h"
#include "toolkit/translations.h"
#include "toolkit/window_placement.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Notes each paint of a widget of the main window, once the paint has been delivered.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(std::function<void()> painted)
        : m_painted(std::move(painted))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_pending) {
            m_pending = true;
            QTimer::singleShot(0, this, [this] {
                m_pending = false;
                m_painted();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_painted;
    bool m_pending = false;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4)
        return 2;
    const int fd = std::atoi(argv[1]);
    const std::string folder = argv[2];
    const std::size_t expected = std::strtoul(argv[3], nullptr, 10);

    QApplication app(argc, argv);
    vendrix::ApplyHandheldStyle();
    vendrix::InstallRussianTranslations();
    vendrix::TQtUserInterface ui;
    vendrix::InstallUserInterface(&ui);

    QElapsedTimer clock;
    clock.start();
    if (!vendrix::StartStorage(folder))
        return 1;
    vendrix::TMainWindow window;
    double firstPaint = -1;
    qint64 kickedAt = 0;
    double total = -1;
    TPaintWatch watch([&] {
        if (firstPaint < 0) {
            firstPaint = double(clock.nsecsElapsed()) / 1e9;
            for (QTimer* timer : window.findChildren<QTimer*>()) {
                if (timer->isActive() && timer->interval() == 1000)
                    timer->start(0); // the journal's timer: no more waiting
            }
            kickedAt = clock.nsecsElapsed();
        } else if (window.Journal().rows.size() == expected && total < 0) {
            total = firstPaint + double(clock.nsecsElapsed() - kickedAt) / 1e9;
            QCoreApplication::exit(0); // not quit(): the main window may refuse to close
        }
    });
    app.installEventFilter(&watch);
    vendrix::FitToScreen(&window);
    window.show();
    QTimer::singleShot(120000, &app, [] { QCoreApplication::exit(1); }); // never hang
    app.exec();
    app.removeEventFilter(&watch);
    vendrix::InstallUserInterface(nullptr);
    if (total < 0)
        return 1;
    const std::string text = std::to_string(total) + " " + std::to_string(firstPaint) + "\n";
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
}
