// Message boxes over QMessageBox.
#include "toolkit/message_box.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace vendrix {

namespace {

QMessageBox::Icon ToQt(TIcon icon)
{
    switch (icon) {
    case TIcon::Information:
        return QMessageBox::Information;
    case TIcon::Warning:
        return QMessageBox::Warning;
    case TIcon::Error:
        return QMessageBox::Critical;
    case TIcon::Question:
        return QMessageBox::Question;
    case TIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Owned by the active window when there is one, always on top, as the handheld's boxes are.
int Show(const std::string& text, TIcon icon, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(ToQt(icon), QString::fromUtf8(kAppCaption), QString::fromStdString(text),
        buttons, QApplication::activeWindow());
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The wait cursor must not hide the box's buttons from the agent.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.raise();
    box.activateWindow();
    const int result = box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    return result;
}

} // namespace

void TQtUserInterface::Message(const std::string& text, TIcon icon)
{
    Show(text, icon, QMessageBox::Ok);
}

TAnswer TQtUserInterface::Ask(const std::string& text, TIcon icon, TButtons buttons)
{
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    switch (buttons) {
    case TButtons::Ok:
        qtButtons = QMessageBox::Ok;
        break;
    case TButtons::YesNo:
        qtButtons = QMessageBox::Yes | QMessageBox::No;
        break;
    case TButtons::YesNoCancel:
        qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case TButtons::OkCancel:
        qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case TButtons::RetryCancel:
        qtButtons = QMessageBox::Retry | QMessageBox::Cancel;
        break;
    }
    switch (Show(text, icon, qtButtons)) {
    case QMessageBox::Yes:
        return TAnswer::Yes;
    case QMessageBox::No:
        return TAnswer::No;
    case QMessageBox::Ok:
        return TAnswer::Ok;
    case QMessageBox::Retry:
        return TAnswer::Retry;
    default:
        // Closing the box answers as its escape button: No for Yes/No, else Cancel.
        return buttons == TButtons::YesNo ? TAnswer::No : TAnswer::Cancel;
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
    const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
        QString::fromUtf8(kAppCaption), QString::fromStdString(start));
    return folder.toStdString();
}

} // namespace vendrix
