// The program: storage start-up, then the main window and the event loop.
#include "shell/startup.h"
#include "storage/sql_query.h"
#include "toolkit/message_box.h"

#include "platform/platform.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vendrix");

    vendrix::TQtUserInterface ui;
    vendrix::InstallUserInterface(&ui);

    if (!vendrix::StartStorage(vendrix::platform::RunningProgramFolder())) {
        ui.Message(vendrix::kOpenDatabaseFailed, vendrix::TIcon::Error);
        return 1;
    }

    // Stands in for the main window until the journal window lands.
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(vendrix::kAppCaption));
    window.resize(240, 320);
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(QString::fromUtf8("Журнал документов\n\nБаза данных:\n")
            + QString::fromStdString(vendrix::DbPath().string()),
        &window);
    label->setWordWrap(true);
    layout->addWidget(label);
    window.show();
    return app.exec();
}
