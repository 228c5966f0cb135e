// The exchange window over the exchange sequence.
#include "exchange/exchange_window.h"

#include "toolkit/qt_text.h"

#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/window_placement.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace vendrix {

void TExchangeWindow::TWindowLog::Log(const std::string& text)
{
    TExchangeLog::Log(text);
    QString shown = QString::fromStdString(Text());
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_window.m_logBox->setPlainText(shown);
    m_window.m_logBox->verticalScrollBar()->setValue(
        m_window.m_logBox->verticalScrollBar()->maximum());
}

void TExchangeWindow::TWindowLog::ProgressStart(int maximum)
{
    m_window.m_progress->setVisible(true);
    m_window.m_progress->setRange(0, std::max(maximum, 0));
    m_window.m_progress->setValue(0);
}

void TExchangeWindow::TWindowLog::ProgressPosition(int position)
{
    m_window.m_progress->setValue(position);
}

TExchangeWindow::TExchangeWindow(QWidget* owner)
    : QDialog(owner)
    , m_log(*this)
    , m_sequence(m_log)
{
    setWindowTitle(Q("Обмен с сервером"));
    resize(240, 320);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_logBox = new QPlainTextEdit(this);
    m_logBox->setReadOnly(true);
    m_logBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    layout->addWidget(m_logBox, 1);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(10);
    m_progress->setValue(0);
    layout->addWidget(m_progress);

    m_menu = new TMenuBar(this);
    m_menu->AddItem(Q(" Обмен... "));
    m_menu->AddItem(Q("FTP - отправить"), kExchange);
    m_menu->AddItem(Q("FTP - получить"), kExchange);
    m_menu->AddItem(Q("-"), kExchange);
    m_menu->AddItem(Q("Выгрузить"), kExchange);
    m_menu->AddItem(Q("Загрузить"), kExchange);
    m_menu->AddItem(Q(" Закрыть "));
    m_menu->onCommand = [this](int item) { Command(item); };
    layout->addWidget(m_menu);
    // The window opens on its log, the first control from the top; Tab leads to the menu.
    OpenOnFocus(m_logBox);

    m_startTimer = new QTimer(this);
    m_startTimer->setSingleShot(true);
    m_startTimer->setInterval(kStartDelayMs);
    connect(m_startTimer, &QTimer::timeout, this, [this] { After(m_sequence.StartTimerFired()); });
}

void TExchangeWindow::Prepare()
{
    m_sequence.Show();
    m_menu->SetItemEnabled(kFtpSend, m_sequence.FtpEnabled());
    m_menu->SetItemEnabled(kFtpReceive, m_sequence.FtpEnabled());
    if (m_sequence.StartTimerArmed())
        m_startTimer->start();
}

void TExchangeWindow::Command(int item)
{
    switch (item) {
    case kFtpSend:
        After(m_sequence.FullExchange());
        break;
    case kFtpReceive:
        After(m_sequence.DownloadOnly());
        break;
    case kExport:
        m_progress->setValue(0);
        After(m_sequence.ExportToFolder());
        break;
    case kImport:
        m_progress->setValue(0);
        After(m_sequence.ImportFromFolder());
        break;
    case kClose:
        After(m_sequence.CloseCommand());
        break;
    default:
        break;
    }
}

void TExchangeWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Command(kClose);
        return;
    }
    QDialog::keyPressEvent(event);
}

void TExchangeWindow::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

void TExchangeWindow::After(const TCommandResult& result)
{
    if (result.next == TAfterCommand::StartAgain)
        m_startTimer->start();
    else if (result.next == TAfterCommand::Close)
        CloseDialog(this, false);
}

void ShowExchangeWindow(QWidget* owner, bool modal, const std::function<void()>& onClosed)
{
    if (modal) {
        {
            TExchangeWindow window(owner);
            // Prepared once it is up: its warnings belong over the window, not the journal.
            QMetaObject::invokeMethod(
                &window, [&window] { window.Prepare(); }, Qt::QueuedConnection);
            RunModal(window);
        }
        if (onClosed)
            onClosed();
        return;
    }
    auto* window = new TExchangeWindow(owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (onClosed) {
        // On its closing, not its destruction: an owner being destroyed takes the window along.
        QObject::connect(window, &QDialog::finished, owner ? static_cast<QObject*>(owner) : window,
            [onClosed] { onClosed(); });
    }
    BringToFront(window);
    window->Prepare();
}

} // namespace vendrix
