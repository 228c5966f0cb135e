// What the exchange window does, without the window: the settings it reads each time it is
// shown, its commands with the busy flag that keeps a second one out while one runs, the full
// FTP exchange (send the orders, then on the agent's word fetch the office's
// answer) and, in the automatic mode, the closing result box with its Retry. The window owns
// the widgets and the start timer and does what the commands answer.
#pragma once

#include "exchange/ftp_transfer.h"

namespace vendrix {

class TExchangeLog;

/// How long after the window is shown (or after a Retry) the automatic exchange starts.
constexpr int kStartDelayMs = 200;

/// What the window does once a command has run.
enum class TAfterCommand {
    Stay, // nothing more
    StartAgain, // arm the start timer: the exchange runs again kStartDelayMs later
    Close, // close the window (modal result 2)
};

/// The outcome of one command.
struct TCommandResult {
    bool ran = false; // false when the busy flag kept the command out
    bool success = false; // the success flag of the step that ran
    TAfterCommand next = TAfterCommand::Stay;
    // The office's answer was fetched but its import stopped short; the window reports the
    // step as a success all the same (the import has shown why), the companion does not.
    bool importFailed = false;
};

class TExchangeSequence {
public:
    /// `log` is the window's log; every step writes into it and the result box quotes it.
    explicit TExchangeSequence(TExchangeLog& log)
        : m_log(log)
    {
    }
    TExchangeSequence(const TExchangeSequence&) = delete;
    TExchangeSequence& operator=(const TExchangeSequence&) = delete;

    /// Reads the settings, as each time the window is shown; warns "Не указан FTP-сервер." when
    /// FTP is on without a server. Arms the start timer exactly in the automatic mode.
    void Show();

    const TExchangeSettings& Settings() const { return m_settings; }
    /// "FTP - отправить" and "FTP - получить" are enabled exactly when this holds.
    bool FtpEnabled() const { return m_settings.FtpEnabled(); }
    bool Automatic() const { return m_settings.automatic; }
    /// Set while a command runs; every command does nothing meanwhile.
    bool Busy() const { return m_busy; }
    /// True when the window should run its start timer (after Show or a Retry).
    bool StartTimerArmed() const { return m_timerArmed; }

    /// The start timer fired: disarms it and, in the automatic mode, runs the full exchange.
    TCommandResult StartTimerFired();
    /// "FTP - отправить": the upload, then after "Загрузить данные с сервера?" the download;
    /// in the automatic mode the result box follows. Ignored while busy.
    TCommandResult FullExchange();
    /// "FTP - получить": the download alone, without question or result box.
    TCommandResult DownloadOnly();
    /// "Выгрузить": the export into a folder the agent picks.
    TCommandResult ExportToFolder();
    /// "Загрузить": the import from a folder the agent picks.
    TCommandResult ImportFromFolder();
    /// " Закрыть ": closes unless busy.
    TCommandResult CloseCommand();

private:
    TCommandResult ReportResult(bool success);

    TExchangeLog& m_log;
    TExchangeSettings m_settings;
    bool m_busy = false;
    bool m_timerArmed = false;
};

} // namespace vendrix
