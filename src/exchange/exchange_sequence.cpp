// The exchange window's commands and its automatic FTP exchange. Every command that moves or
// reads exchange files holds the busy flag while it runs, not only the full exchange: each of
// them lets window events through (repainting, message boxes), and a second command started
// from inside the first would run a transfer or an import inside another.
#include "exchange/exchange_sequence.h"

#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "storage/ui_seam.h"

namespace vendrix {

namespace {

// Holds the busy flag for the length of the exchange, however it ends.
class TBusyFlag {
public:
    explicit TBusyFlag(bool& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~TBusyFlag() { m_flag = false; }
    TBusyFlag(const TBusyFlag&) = delete;
    TBusyFlag& operator=(const TBusyFlag&) = delete;

private:
    bool& m_flag;
};

TCommandResult Ran(bool success)
{
    return {true, success, TAfterCommand::Stay};
}

} // namespace

void TExchangeSequence::Show()
{
    m_settings = ReadExchangeSettings();
    if (m_settings.useFtp && m_settings.ftp.server.empty())
        UI().Message("Не указан FTP-сервер.", TIcon::Warning);
    m_timerArmed = m_settings.automatic;
}

TCommandResult TExchangeSequence::StartTimerFired()
{
    m_timerArmed = false;
    if (!m_settings.automatic)
        return {};
    return FullExchange();
}

TCommandResult TExchangeSequence::FullExchange()
{
    if (m_busy)
        return {};
    bool success = false;
    bool fetched = false;
    bool imported = false;
    {
        TBusyFlag busy(m_busy);
        success = Upload(m_log, m_settings);
        if (success
            && UI().Ask("Загрузить данные с сервера?", TIcon::Question, TButtons::YesNo)
                == TAnswer::Yes)
            fetched = success = Download(m_log, m_settings, &imported);
    }
    TCommandResult result = m_settings.automatic ? ReportResult(success) : Ran(success);
    result.importFailed = fetched && !imported;
    return result;
}

TCommandResult TExchangeSequence::ReportResult(bool success)
{
    const std::string last = m_log.LastMessage();
    if (success) {
        UI().Message("Успешно!\r\n" + last, TIcon::Information);
        return {true, true, TAfterCommand::Close};
    }
    const TAnswer answer = UI().Ask("Произошла ошибка!\r\nПоследнее сообщение: \r\n" + last,
        TIcon::Question, TButtons::RetryCancel);
    if (answer == TAnswer::Retry) {
        m_timerArmed = true;
        return {true, false, TAfterCommand::StartAgain};
    }
    return {true, false, TAfterCommand::Close};
}

TCommandResult TExchangeSequence::DownloadOnly()
{
    if (m_busy)
        return {};
    TBusyFlag busy(m_busy);
    bool imported = false;
    TCommandResult result = Ran(Download(m_log, m_settings, &imported));
    result.importFailed = result.success && !imported;
    return result;
}

TCommandResult TExchangeSequence::ExportToFolder()
{
    if (m_busy)
        return {};
    TBusyFlag busy(m_busy);
    m_log.ProgressPosition(0);
    return Ran(Export(m_log, std::string(), m_settings.useZip));
}

TCommandResult TExchangeSequence::ImportFromFolder()
{
    if (m_busy)
        return {};
    TBusyFlag busy(m_busy);
    m_log.ProgressPosition(0);
    return Ran(Import(m_log, std::string(), m_settings.useZip));
}

TCommandResult TExchangeSequence::CloseCommand()
{
    if (m_busy)
        return {};
    return {true, true, TAfterCommand::Close};
}

} // namespace vendrix
