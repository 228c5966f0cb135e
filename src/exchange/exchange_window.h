// The exchange window "Обмен с сервером": the log of everything the exchange steps report, the
// progress bar, and the menu of the manual and FTP steps; in the automatic mode it starts the
// whole FTP exchange by itself 200 ms after it is shown and closes when it succeeds. All it
// decides is delegated to the exchange sequence; the window only shows and wires.
#pragma once

#include "exchange/exchange_log.h"
#include "exchange/exchange_sequence.h"

#include <QDialog>

#include <functional>

class QPlainTextEdit;
class QProgressBar;
class QTimer;

namespace vendrix {

class TMenuBar;

class TExchangeWindow : public QDialog {
public:
    /// Menu item numbers, in the order they are added.
    enum TItem { kExchange, kFtpSend, kFtpReceive, kSeparator, kExport, kImport, kClose };

    explicit TExchangeWindow(QWidget* owner);

    /// Reads the settings and arms the start timer, as each time the window is shown.
    void Prepare();
    /// Runs the command of a menu item, as a tap on it does.
    void Command(int item);

    TMenuBar& Menu() const { return *m_menu; }
    QPlainTextEdit& LogBox() const { return *m_logBox; }
    QProgressBar& Progress() const { return *m_progress; }
    const TExchangeSequence& Sequence() const { return m_sequence; }

protected:
    /// Esc is " Закрыть ": ignored while an exchange runs.
    void keyPressEvent(QKeyEvent* event) override;
    /// On a handheld-sized screen the window fills it, as the program's other windows do.
    void changeEvent(QEvent* event) override;

private:
    // The exchange log, shown in the log box as it grows.
    class TWindowLog : public TExchangeLog {
    public:
        explicit TWindowLog(TExchangeWindow& window)
            : m_window(window)
        {
        }
        void Log(const std::string& text) override;
        void ProgressStart(int maximum) override;
        void ProgressPosition(int position) override;

    private:
        TExchangeWindow& m_window;
    };

    void After(const TCommandResult& result);

    TWindowLog m_log;
    TExchangeSequence m_sequence;
    TMenuBar* m_menu = nullptr;
    QPlainTextEdit* m_logBox = nullptr;
    QProgressBar* m_progress = nullptr;
    QTimer* m_startTimer = nullptr;
};

/// Builds the exchange window over `owner` and shows it: modally (freed when it closes) or not
/// (freed when the agent closes it), in the foreground. `onClosed`, when given, runs once the
/// window is gone, so the owner can show what the exchange changed.
void ShowExchangeWindow(QWidget* owner, bool modal, const std::function<void()>& onClosed = {});

} // namespace vendrix
