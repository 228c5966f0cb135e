// vendrix-cli: the exchange of the program without its windows, for office staff and
// automation. It starts storage exactly as the program does, then exports, imports, packs or
// extracts, or trades with the office's FTP server as the exchange window does, so that a
// device without a screen can be synchronised from a scheduler; messages go to standard error,
// log entries to standard output.
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/exchange_sequence.h"
#include "exchange/export_file.h"
#include "exchange/ftp_transfer.h"
#include "exchange/import_script.h"
#include "platform/platform.h"
#include "shell/startup.h"
#include "storage/options.h"
#include "storage/ui_seam.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace vendrix;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* kHelp
    = "Использование: vendrix-cli [--home DIR] [--yes] <команда>\n"
      "\n"
      "Команды:\n"
      "  export [FOLDER]              выгрузить документы (PDATo1C.xml или .zip) в папку\n"
      "  import [FOLDER]              загрузить ToPDA.sqd (или ToPDA.zip) из папки\n"
      "  pack SOURCE ARCHIVE          упаковать файл в архив ZIP\n"
      "  extract ARCHIVE FOLDER NAME  распаковать из архива записи с именем NAME\n"
      "  send                         выгрузить документы и отправить их на FTP-сервер\n"
      "  receive                      получить ответ офиса с FTP-сервера и загрузить его\n"
      "  exchange                     полный обмен по FTP, как «FTP - отправить»\n"
      "  help                         эта справка\n"
      "\n"
      "--home DIR  папка программы: база DIR/data/base.sdb, папка обмена DIR/exchange\n"
      "            (по умолчанию папка самой vendrix-cli)\n"
      "--yes       отвечать «Да» на вопросы (иначе «Нет»)\n"
      "Без FOLDER export и import работают с папкой обмена.\n"
      "send, receive и exchange берут настройки FTP из базы; exchange спрашивает,\n"
      "загружать ли данные с сервера (--yes: да), и никогда не повторяет обмен сам.\n";

// Log entries, stamped as in the exchange window, one per line on standard output; the log is
// kept as well, since the result of the automatic exchange quotes its last line.
class TConsoleSink : public TExchangeLog {
public:
    void Log(const std::string& text) override
    {
        const std::size_t from = Text().empty() ? 0 : Text().size() + 2; // past the CR LF
        TExchangeLog::Log(text);
        std::cout << Text().substr(from) << "\n" << std::flush;
    }
};

// The console's answers, except that a failed exchange is never retried: a scheduler starts
// the next run itself, and a retry answered by --yes would loop for ever on a dead line.
class TCompanionUserInterface : public TConsoleUserInterface {
public:
    using TConsoleUserInterface::TConsoleUserInterface;
    TAnswer Ask(const std::string& text, TIcon icon, TButtons buttons) override
    {
        if (buttons != TButtons::RetryCancel)
            return TConsoleUserInterface::Ask(text, icon, buttons);
        Message(text, icon);
        return TAnswer::Cancel;
    }
};

// send, receive and exchange: the exchange window's settings and steps.
bool FtpCommand(const std::string& command, TConsoleSink& sink, TUserInterface& ui)
{
    TExchangeSequence sequence(sink);
    sequence.Show();
    if (!sequence.Settings().useFtp) {
        ui.Message("Обмен по FTP выключен в настройках (UseFTP).", TIcon::Warning);
        return false;
    }
    if (command == "send")
        return Upload(sink, sequence.Settings());
    // An answer that arrived but could not be imported fails the command: the office's
    // scripts that call it must not take a half-loaded answer for a loaded one.
    const TCommandResult result
        = command == "receive" ? sequence.DownloadOnly() : sequence.FullExchange();
    return result.success && !result.importFailed;
}

bool IsFtpCommand(const std::string& command)
{
    return command == "send" || command == "receive" || command == "exchange";
}

int Usage(const std::string& problem)
{
    std::cerr << problem << "\n\n" << kHelp;
    return kUsage;
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::filesystem::path home;
    bool yes = false;
    while (!args.empty() && args.front().rfind("--", 0) == 0) {
        if (args.front() == "--home" && args.size() >= 2) {
            home = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args.front() == "--yes") {
            yes = true;
            args.erase(args.begin());
        } else if (args.front() == "--help") {
            args = {"help"};
        } else {
            return Usage("Неизвестный параметр: " + args.front());
        }
    }
    if (args.empty())
        return Usage("Не указана команда.");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "help") {
        std::cout << kHelp;
        return kOk;
    }

    const auto wants = [&](std::size_t least, std::size_t most) {
        return args.size() >= least && args.size() <= most;
    };
    if ((command == "export" || command == "import") && !wants(0, 1))
        return Usage("Команда " + command + " принимает не больше одной папки.");
    if (command == "pack" && !wants(2, 2))
        return Usage("Команде pack нужны SOURCE и ARCHIVE.");
    if (command == "extract" && !wants(3, 3))
        return Usage("Команде extract нужны ARCHIVE, FOLDER и NAME.");
    if (IsFtpCommand(command) && !wants(0, 0))
        return Usage("Команда " + command + " не принимает параметров.");
    if (command != "export" && command != "import" && command != "pack" && command != "extract"
        && !IsFtpCommand(command))
        return Usage("Неизвестная команда: " + command);

    TCompanionUserInterface ui(yes);
    InstallUserInterface(&ui);

    if (command == "pack")
        return Pack(args[0], args[1]) ? kOk : kFailed;
    if (command == "extract") {
        const int n = Extract(args[0], args[1], args[2]);
        std::cout << n << "\n";
        return n >= 1 ? kOk : kFailed;
    }

    if (home.empty())
        home = platform::RunningProgramFolder();
    std::error_code ec;
    if (!std::filesystem::is_directory(home, ec)) {
        ui.Message("Папка программы не найдена: " + home.string(), TIcon::Error);
        return kFailed;
    }
    if (!StartStorage(home)) {
        ui.Message(kOpenDatabaseFailed, TIcon::Error);
        return kFailed;
    }
    TConsoleSink sink;
    if (IsFtpCommand(command))
        return FtpCommand(command, sink, ui) ? kOk : kFailed;
    const std::string folder = args.empty() ? (home / "exchange").string() : args[0];
    const bool useZip = GetOption(nullptr, "UseZip") == "1";
    const bool ok
        = command == "export" ? Export(sink, folder, useZip) : Import(sink, folder, useZip);
    return ok ? kOk : kFailed;
}
