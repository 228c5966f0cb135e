// Message boxes, the wait cursor over the override cursor, the folder picker.
#include "toolkit/message_box.h"

#include "toolkit/folder_picker.h"
#include "toolkit/message_dialog.h"

#include <QApplication>
#include <QPointer>

#include <utility>

namespace vendrix {

namespace {

QPointer<QWidget> g_mainWindow;

QWidget* Owner()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return g_mainWindow.data();
}

// Owned by the active window when there is one, always on top, as the handheld's boxes are.
QDialogButtonBox::StandardButton Show(const std::string& text, TIcon icon,
    QDialogButtonBox::StandardButtons buttons, QDialogButtonBox::StandardButton escape,
    QDialogButtonBox::StandardButton preferred = QDialogButtonBox::NoButton)
{
    // The texts break lines with CR LF; a lone CR would show as a stray glyph. Office messages
    // are shown as written, never read as markup.
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    TMessageDialog box(Owner(), shown, icon, buttons, escape, preferred);
    // The wait cursor must not hide the box's buttons from the agent.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.raise();
    box.activateWindow();
    const QDialogButtonBox::StandardButton result = box.Run();
    if (busy)
        QApplication::restoreOverrideCursor();
    return result;
}

} // namespace

void TQtUserInterface::SetMainWindow(QWidget* window)
{
    g_mainWindow = window;
}

void TQtUserInterface::Message(const std::string& text, TIcon icon)
{
    Show(text, icon, QDialogButtonBox::Ok, QDialogButtonBox::Ok);
}

TAnswer TQtUserInterface::Ask(const std::string& text, TIcon icon, TButtons buttons)
{
    using B = QDialogButtonBox;
    // Closing the box answers as its escape button: No for Yes/No, else Cancel.
    B::StandardButtons qtButtons = B::Ok;
    B::StandardButton escape = B::Cancel;
    B::StandardButton preferred = B::NoButton; // the first button
    switch (buttons) {
    case TButtons::Ok:
        qtButtons = B::Ok;
        break;
    case TButtons::YesNo:
        qtButtons = B::Yes | B::No;
        escape = B::No;
        break;
    case TButtons::YesNoDefaultNo:
        // Enter, the key pressed without reading, must not destroy anything.
        qtButtons = B::Yes | B::No;
        escape = B::No;
        preferred = B::No;
        break;
    case TButtons::YesNoCancel:
        qtButtons = B::Yes | B::No | B::Cancel;
        break;
    case TButtons::OkCancel:
        qtButtons = B::Ok | B::Cancel;
        break;
    case TButtons::RetryCancel:
        qtButtons = B::Retry | B::Cancel;
        break;
    }
    switch (Show(text, icon, qtButtons, escape, preferred)) {
    case B::Yes:
        return TAnswer::Yes;
    case B::No:
        return TAnswer::No;
    case B::Ok:
        return TAnswer::Ok;
    case B::Retry:
        return TAnswer::Retry;
    default:
        return TAnswer::Cancel;
    }
}

void TQtUserInterface::SetBusyCursor(bool on)
{
    if (on) {
        if (!QApplication::overrideCursor())
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
}

void TQtUserInterface::ProcessEvents()
{
    QApplication::processEvents();
}

std::string TQtUserInterface::PickFolder(const std::string& start)
{
    // The only folder the agent ever picks is the one the exchange files travel through.
    const QString folder = PickFolderDialog(Owner(), QString::fromStdString(start));
    return folder.toStdString();
}

} // namespace vendrix
