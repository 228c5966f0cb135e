// The program. Starts in a fixed order: storage (database location, schema, reference lists),
// then the main window, then the single-instance test, then the event loop. A database that
// cannot be opened ends the program with exit code 1 before any window exists, unless the agent
// puts back the copy made before the last office answer; a second start
// brings the running copy to the front and ends with exit code 0. A portable copy keeps its data
// beside itself; an installed one keeps it in the user's data folder. The launcher's activation
// token (Wayland's XDG_ACTIVATION_TOKEN) serves once: a second start hands it to the running
// copy; a first start brings up its first window with it (a start-up question, else the main
// window), and then it is gone from the environment.
#include "shell/main_window.h"
#include "shell/startup.h"
#include "toolkit/glyphs.h"
#include "toolkit/handheld_style.h"
#include "toolkit/message_box.h"
#include "toolkit/single_instance.h"
#include "toolkit/translations.h"
#include "toolkit/window_placement.h"

#include "storage/backups.h"

#include "platform/platform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Read before a start-up question can use it up.
    const QString activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendrix"));
    QApplication::setWindowIcon(vendrix::ProgramIcon());
    // Lets the desktop match the window with the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(vendrix::platform::kDesktopId));
    vendrix::ApplyHandheldStyle();
    vendrix::InstallRussianTranslations();
    // The program ends through the main window's close query only, not when a window hides.
    QApplication::setQuitOnLastWindowClosed(false);

    vendrix::TQtUserInterface ui;
    vendrix::InstallUserInterface(&ui);

    // A database an office answer left unusable is not the end: the agent is offered the copy
    // made before that answer.
    if (!vendrix::StartStorageOrGoBack(vendrix::platform::WorkingProgramFolder()))
        return 1;
    // While it is held, the companion refuses to put a copy of the database in place.
    const vendrix::TProgramRunningLock running;

    vendrix::TMainWindow window;

    vendrix::TSingleInstance instance;
    if (instance.RaiseRunning(activationToken))
        return 0;
    instance.Listen(
        [&window](const QString& token) { vendrix::BringProgramToFront(&window, token); });

    // What a start-up question left of the token.
    vendrix::ShowMainWindow(&window, qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
    const int code = app.exec();
    vendrix::InstallUserInterface(nullptr);
    return code;
}
