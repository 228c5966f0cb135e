// The «Итоги» window as the agent opens it, for the large mode of the benchmarks: over a journal
// whose every order the period holds, the totals worked out, the window built and shown, until
// its chart has been painted. Started by vendrix_bench as `vendrix_bench_totals <fd> <program
// folder> <orders expected>`; writes the seconds into fd. Storage is started before the clock
// runs: the program is up when the agent chooses «Итоги».
#include "shell/totals_window.h"
#include "shell/startup.h"
#include "toolkit/handheld_style.h"
#include "toolkit/message_box.h"
#include "toolkit/translations.h"
#include "toolkit/window_placement.h"

#include <QApplication>
#include <QElapsedTimer>

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

int main(int argc, char* argv[])
{
    if (argc != 4)
        return 2;
    const int fd = std::atoi(argv[1]);
    const std::string folder = argv[2];
    const int expected = std::atoi(argv[3]);

    QApplication app(argc, argv);
    vendrix::ApplyHandheldStyle();
    vendrix::InstallRussianTranslations();
    vendrix::TQtUserInterface ui;
    vendrix::InstallUserInterface(&ui);
    if (!vendrix::StartStorage(folder))
        return 1;

    QElapsedTimer clock;
    clock.start();
    // What RunTotalsWindow does, shown without a modal loop so that the clock can stop.
    std::optional<vendrix::TTotals> totals = vendrix::JournalTotals(0, 0);
    if (!totals || totals->whole.orders != expected)
        return 1;
    vendrix::TTotalsWindow window(nullptr, std::move(*totals), 0, 0);
    vendrix::FitToScreen(&window);
    window.show();
    while (window.Chart().PaintCount() == 0 && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    vendrix::InstallUserInterface(nullptr);
    if (window.Chart().PaintCount() == 0)
        return 1;
    const std::string text = std::to_string(seconds) + "\n";
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
}
