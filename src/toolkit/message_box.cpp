// Message boxes over QMessageBox, the wait cursor over the override cursor, the folder picker.
#include "toolkit/message_box.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

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
    // The texts break lines with CR LF; a lone CR would show as a stray glyph. Office messages
    // are shown as written, never read as markup.
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(ToQt(icon), QString::fromUtf8(kAppCaption), shown, buttons, Owner());
    box.setTextFormat(Qt::PlainText);
    // Qt's own button texts are English unless a translation is installed.
    const std::pair<QMessageBox::StandardButton, const char*> kRussian[]
        = {{QMessageBox::Ok, "OK"}, {QMessageBox::Yes, "&Да"}, {QMessageBox::No, "&Нет"},
            {QMessageBox::Cancel, "Отмена"}, {QMessageBox::Retry, "&Повтор"}};
    for (const auto& [button, caption] : kRussian)
        if (QAbstractButton* b = box.button(button))
            b->setText(QString::fromUtf8(caption));
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

void TQtUserInterface::SetMainWindow(QWidget* window)
{
    g_mainWindow = window;
}

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
    // The only folder the agent ever picks is the one the exchange files travel through.
    const QString folder = QFileDialog::getExistingDirectory(
        Owner(), QString::fromUtf8("Выберите папку"), QString::fromStdString(start));
    return folder.toStdString();
}

} // namespace vendrix
