// vendrix-cli: the exchange of the program without its windows, for office staff and
// automation. It starts storage exactly as the program does, then exports, imports, packs or
// extracts, or trades with the office's FTP server as the exchange window does, so that a
// device without a screen can be synchronised from a scheduler, or prints what the journal's
// orders came to («Итоги») for the office's scripts; messages go to standard error, log entries
// and figures to standard output, and on a terminal a progress line on standard error too.
#include "documents/reference_lists.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/exchange_sequence.h"
#include "exchange/export_file.h"
#include "exchange/ftp_transfer.h"
#include "exchange/import_script.h"
#include "platform/platform.h"
#include "shell/startup.h"
#include "shell/totals.h"
#include "storage/backups.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vendrix;
namespace fs = std::filesystem;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// The call's form, above the commands the table lists.
constexpr const char* kHelpHead = "Использование: vendrix-cli [--home DIR] [--yes] <команда>\n"
                                  "               vendrix-cli --help | --version\n"
                                  "\n"
                                  "Команды:\n";
// The options, the defaults and the exit codes, below the commands.
constexpr const char* kHelpTail
    = "\n"
      "--home DIR     папка программы: база DIR/data/base.sdb, папка обмена DIR/exchange\n"
      "               (по умолчанию папка самой vendrix-cli, а если в неё нельзя писать,\n"
      "               как у установленной программы, — $XDG_DATA_HOME/vendrix,\n"
      "               обычно ~/.local/share/vendrix)\n"
      "--yes          отвечать «Да» на вопросы (иначе «Нет»)\n"
      "-h, --help     эта справка\n"
      "--version      версия программы\n"
      "Без FOLDER export и import работают с папкой обмена.\n"
      "send, receive и exchange берут настройки FTP из базы; exchange спрашивает,\n"
      "загружать ли данные с сервера (--yes: да), и никогда не повторяет обмен сам.\n"
      "В терминале ход работы показывается строкой в стандартном потоке ошибок.\n"
      "\n"
      "Коды завершения:\n"
      "  0  команда выполнена\n"
      "  1  команда не удалась (база, файл, архив, связь или настройки)\n"
      "  2  неверный вызов: неизвестный параметр или команда, не хватает аргументов\n";

/// One line on standard error that shows how far the work is, rewritten in place. Only on a
/// terminal: a scheduler's mail or a pipe gets no carriage returns.
class TProgressLine {
public:
    TProgressLine()
        : m_enabled(isatty(STDERR_FILENO) == 1)
    {
    }
    bool Enabled() const { return m_enabled; }

    /// Shows `done` of `total` as a percentage.
    void Percent(std::uint64_t done, std::uint64_t total)
    {
        if (total == 0)
            return;
        const std::uint64_t percent = std::min<std::uint64_t>(done, total) * 100 / total;
        Show("Выполнено: " + std::to_string(percent) + "%", percent == 100);
    }

    /// Shows the bytes done when the whole is not known.
    void Bytes(std::uint64_t done)
    {
        Show("Передано: " + std::to_string(done / 1024) + " КБ", false);
    }

    /// Wipes the line, so that a log entry or a message starts on a clean line.
    void Clear()
    {
        const std::lock_guard lock(m_mutex);
        if (!m_enabled || m_shown.empty())
            return;
        std::cerr << "\r\033[K" << std::flush;
        m_shown.clear();
    }

private:
    void Show(const std::string& text, bool final)
    {
        const std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        // A few redraws a second are enough for the eye and cheap over a slow terminal line.
        if (!m_enabled || text == m_shown
            || (!final && now - m_drawn < std::chrono::milliseconds(100)))
            return;
        m_drawn = now;
        m_shown = text;
        std::cerr << "\r" << text << "\033[K" << std::flush;
    }

    bool m_enabled;
    std::mutex m_mutex; // the watcher of pack and extract draws from its own thread
    std::string m_shown;
    std::chrono::steady_clock::time_point m_drawn;
};

// Log entries, stamped as in the exchange window, one per line on standard output; the log is
// kept as well, since the result of the automatic exchange quotes its last line. The progress
// of the export, the import and a file on the line goes to the progress line.
class TConsoleSink : public TExchangeLog {
public:
    explicit TConsoleSink(TProgressLine& line)
        : m_line(line)
    {
    }
    void Log(const std::string& text) override
    {
        m_line.Clear();
        const std::size_t from = Text().empty() ? 0 : Text().size() + 2; // past the CR LF
        TExchangeLog::Log(text);
        // A log line may quote the office (a statement, a file name): never raw to a terminal.
        std::cout << VisibleControlCharacters(std::string_view(Text()).substr(from)) << "\n"
                  << std::flush;
    }
    void ProgressStart(int maximum) override
    {
        m_maximum = maximum;
        ProgressPosition(0);
    }
    void ProgressPosition(int position) override
    {
        if (m_maximum > 0 && position > 0)
            m_line.Percent(
                static_cast<std::uint64_t>(position), static_cast<std::uint64_t>(m_maximum));
    }
    void TransferBytes(std::uint64_t done, std::uint64_t total) override
    {
        if (total > 0)
            m_line.Percent(done, total);
        else
            m_line.Bytes(done);
    }

private:
    TProgressLine& m_line;
    int m_maximum = 0;
};

// The console's answers, except that a failed exchange is never retried: a scheduler starts
// the next run itself, and a retry answered by --yes would loop for ever on a dead line.
class TCompanionUserInterface : public TConsoleUserInterface {
public:
    TCompanionUserInterface(bool yes, TProgressLine& line)
        : TConsoleUserInterface(yes)
        , m_line(line)
    {
    }
    void Message(const std::string& text, TIcon icon) override
    {
        m_line.Clear();
        TConsoleUserInterface::Message(text, icon);
    }
    TAnswer Ask(const std::string& text, TIcon icon, TButtons buttons) override
    {
        m_line.Clear();
        if (buttons != TButtons::RetryCancel)
            return TConsoleUserInterface::Ask(text, icon, buttons);
        Message(text, icon);
        return TAnswer::Cancel;
    }

private:
    TProgressLine& m_line;
};

/// Watches how much of a file the packing or the extraction has read, from the kernel's count
/// of the bytes this process has read, and draws it on the progress line until destroyed. The
/// archive code stays free of any console concern.
class TReadWatcher {
public:
    TReadWatcher(TProgressLine& line, const fs::path& file)
        : m_line(line)
    {
        std::error_code ec;
        const std::uintmax_t total = fs::file_size(file, ec);
        if (!line.Enabled() || ec || total == 0)
            return;
        const std::uint64_t start = BytesRead();
        m_thread = std::jthread([this, start, total](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                m_line.Percent(BytesRead() - start, total);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    ~TReadWatcher()
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
        m_line.Clear();
    }
    TReadWatcher(const TReadWatcher&) = delete;
    TReadWatcher& operator=(const TReadWatcher&) = delete;

private:
    // The "rchar" count of /proc/self/io less what reading that file has added: the count in
    // the text is taken before the read that returns it, so the earlier reads are subtracted.
    std::uint64_t BytesRead()
    {
        char text[512];
        const int fd = open("/proc/self/io", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 0;
        const ssize_t got = read(fd, text, sizeof text - 1);
        close(fd);
        if (got <= 0)
            return 0;
        text[got] = '\0';
        const std::uint64_t own = m_own;
        m_own += static_cast<std::uint64_t>(got);
        unsigned long long value = 0;
        if (std::sscanf(text, "rchar: %llu", &value) != 1)
            return 0;
        return value > own ? value - own : 0;
    }

    TProgressLine& m_line;
    std::uint64_t m_own = 0;
    std::jthread m_thread;
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

// Lists the copies of the database, the last made first, with their time and number of orders;
// a copy that fails its check is listed as damaged.
int ListBackupsCommand()
{
    const std::vector<TBackup> backups = ListBackups();
    if (backups.empty())
        std::cout << "Копий базы нет.\n";
    for (const TBackup& b : backups)
        std::cout << b.name << "  " << b.time << "  "
                  << (b.damaged ? std::string("повреждена") : "заявок: " + std::to_string(b.orders))
                  << "\n";
    return kOk;
}

// Puts a copy back in place of the database, refused while the program runs.
int RestoreCommand(TUserInterface& ui, const std::string& name)
{
    std::string keptAs;
    switch (RestoreBackup(name, &keptAs)) {
    case TRestoreOutcome::Restored:
        std::cout << "Копия " << name << " возвращена на место базы."
                  << (keptAs.empty() ? "" : " Заменённая база сохранена как " + keptAs + ".")
                  << "\n";
        return kOk;
    case TRestoreOutcome::NotFound:
        ui.Message("Копия базы не найдена: " + name, TIcon::Error);
        return kFailed;
    case TRestoreOutcome::ProgramRunning:
        ui.Message("Программа запущена. Закройте её (или дождитесь конца команды vendrix-cli) и "
                   "повторите возврат копии.",
            TIcon::Error);
        return kFailed;
    case TRestoreOutcome::Damaged:
        ui.Message(
            "Копия базы " + name + " повреждена или не является базой агента. База не изменена.",
            TIcon::Error);
        return kFailed;
    case TRestoreOutcome::Failed:
        break;
    }
    ui.Message("Не удалось вернуть копию базы " + name + ".", TIcon::Error);
    return kFailed;
}

// A wrong call: what is wrong on one line, then where the usage is, as command-line tools do;
// the full text would bury the one line that matters.
int Usage(const std::string& problem)
{
    std::cerr << "vendrix-cli: " << problem << "\n"
              << "Справка: vendrix-cli --help\n";
    return kUsage;
}

// An option of one command, given after the command's name: "--csv", or with a value as
// "--from 01.12.2026" or "--from=01.12.2026".
struct TCommandOption {
    std::string_view name;
    std::string_view missingValue; // the one line when its value is missing; empty: takes none
    std::string_view wrongValue; // the start of the line for a value `valid` refuses
    bool (*valid)(std::string_view value);
};

/// The option `arg` ("--from" or "--from=...") of the command that `words` start with; nullptr
/// when there is no command yet or it has no such option.
const TCommandOption* FindCommandOption(
    const std::vector<std::string>& words, std::string_view arg);

// The call as given: options anywhere before "--", the command and its arguments in order.
struct TCall {
    fs::path home;
    bool yes = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> options; // the command's own: name, value
    std::string problem; // set when the call is wrong
};

// Takes the command's option `args[i]` with its value (from the same word after "=", or from
// the next word), or says what is wrong with it.
void TakeCommandOption(
    TCall& call, const TCommandOption& option, const std::vector<std::string>& args, std::size_t& i)
{
    const std::string& a = args[i];
    const std::size_t equals = a.find('=');
    std::string value;
    if (option.missingValue.empty()) {
        if (equals != std::string::npos)
            call.problem = "Параметр " + std::string(option.name) + " не принимает значения.";
    } else if (equals != std::string::npos) {
        value = a.substr(equals + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    }
    if (call.problem.empty() && !option.missingValue.empty()) {
        if (value.empty())
            call.problem = option.missingValue;
        else if (option.valid && !option.valid(value))
            call.problem = std::string(option.wrongValue) + value;
    }
    call.options.emplace_back(option.name, value);
}

TCall ParseCall(const std::vector<std::string>& args)
{
    TCall call;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size() && call.problem.empty(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            call.words.push_back(a);
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "--home" || a.rfind("--home=", 0) == 0) {
            if (a == "--home" && i + 1 < args.size())
                call.home = args[++i];
            else if (a.size() > 7)
                call.home = a.substr(7);
            if (call.home.empty())
                call.problem = "Параметру --home нужна папка.";
        } else if (a == "--yes") {
            call.yes = true;
        } else if (a == "--help" || a == "-h") {
            call.help = true;
        } else if (a == "--version") {
            call.version = true;
        } else if (const TCommandOption* option = FindCommandOption(call.words, a)) {
            TakeCommandOption(call, *option, args, i);
        } else {
            call.problem = "Неизвестный параметр: " + a;
        }
    }
    return call;
}

// What a command is given when it runs: its arguments, the program folder, the console.
struct TCommandContext {
    const std::vector<std::string>& args;
    const fs::path& home;
    TUserInterface& ui;
    TProgressLine& line;
    const std::vector<std::pair<std::string, std::string>>& options; // its own, in call order
};

// What must be ready before a command runs.
enum class TNeeds {
    Nothing, // works on the files it is given
    Location, // the program folder and where its database lies, whatever state the database is in
    Storage, // the database started as the program starts it, held against a restore meanwhile
};

// One command of the companion: its name and arguments, its line of the help, what is said when
// its arguments are wrong, what it needs and what it does.
struct TCommand {
    std::string_view name;
    std::size_t leastArgs;
    std::size_t mostArgs;
    std::string_view usage; // the command with its arguments, as the help shows it
    std::string_view purpose; // the rest of its help line
    std::string_view wrongArgs; // the one line for a wrong number of arguments
    TNeeds needs;
    int (*run)(const TCommandContext&); // null for help, which is answered first
    std::span<const TCommandOption> options = {}; // its own options, after its name
};

std::string HelpText();

int ExportOrImport(const TCommandContext& c, bool isExport)
{
    TConsoleSink sink(c.line);
    const std::string folder = c.args.empty() ? (c.home / "exchange").string() : c.args[0];
    const bool useZip = GetOption(nullptr, "UseZip") == "1";
    const bool ok = isExport ? Export(sink, folder, useZip) : Import(sink, folder, useZip);
    return ok ? kOk : kFailed;
}

int RunFtp(const TCommandContext& c, const std::string& command)
{
    TConsoleSink sink(c.line);
    return FtpCommand(command, sink, c.ui) ? kOk : kFailed;
}

int PackCommand(const TCommandContext& c)
{
    const TReadWatcher watcher(c.line, c.args[0]);
    return Pack(c.args[0], c.args[1]) ? kOk : kFailed;
}

int ExtractCommand(const TCommandContext& c)
{
    int n = 0;
    {
        const TReadWatcher watcher(c.line, c.args[0]);
        n = Extract(c.args[0], c.args[1], c.args[2]);
    }
    std::cout << n << "\n";
    return n >= 1 ? kOk : kFailed;
}

// A date of the call in the office's form dd.MM.yyyy; nullopt when it is not one or no such
// day exists.
std::optional<TDate> CallDate(std::string_view text)
{
    if (text.size() != 10 || text[2] != '.' || text[5] != '.')
        return std::nullopt;
    for (std::size_t i : {0, 1, 3, 4, 6, 7, 8, 9}) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    }
    TDate date = 0;
    if (!EncodeDate(LeadingInt(text.substr(6)), LeadingInt(text.substr(3, 2)),
            LeadingInt(text.substr(0, 2)), date))
        return std::nullopt;
    return date;
}

constexpr TCommandOption kTotalsOptions[] = {
    {"--from", "Параметру --from нужна дата (дд.мм.гггг).", "Неверная дата (нужно дд.мм.гггг): ",
        [](std::string_view v) { return CallDate(v).has_value(); }},
    {"--to", "Параметру --to нужна дата (дд.мм.гггг).", "Неверная дата (нужно дд.мм.гггг): ",
        [](std::string_view v) { return CallDate(v).has_value(); }},
    {"--csv", "", "", nullptr},
};

// The totals of the journal dates between --from and --to (both included, either open when
// not given), as a text or as CSV on standard output.
int TotalsCommand(const TCommandContext& c)
{
    std::optional<TDate> from, to;
    bool csv = false;
    for (const auto& [name, value] : c.options) {
        if (name == "--from")
            from = CallDate(value);
        else if (name == "--to")
            to = CallDate(value);
        else if (name == "--csv")
            csv = true;
    }
    if (from && to && *from > *to)
        return Usage("Начало периода (--from) позже его конца (--to).");
    const std::optional<TTotals> totals = PeriodTotals(from, to);
    if (!totals)
        return kFailed;
    std::cout << (csv ? TotalsCsv(*totals) : TotalsText(*totals, PeriodText(from, to)))
              << std::flush;
    return std::cout ? kOk : kFailed;
}

constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

// Every command, in the order the help lists them.
const TCommand kCommands[] = {
    {"export", 0, 1, "export [FOLDER]", "выгрузить документы (PDATo1C.xml или .zip) в папку",
        "Команда export принимает не больше одной папки.", TNeeds::Storage,
        [](const TCommandContext& c) { return ExportOrImport(c, true); }},
    {"import", 0, 1, "import [FOLDER]", "загрузить ToPDA.sqd (или ToPDA.zip) из папки",
        "Команда import принимает не больше одной папки.", TNeeds::Storage,
        [](const TCommandContext& c) { return ExportOrImport(c, false); }},
    {"pack", 2, 2, "pack SOURCE ARCHIVE", "упаковать файл в архив ZIP",
        "Команде pack нужны SOURCE и ARCHIVE.", TNeeds::Nothing, PackCommand},
    {"extract", 3, 3, "extract ARCHIVE FOLDER NAME", "распаковать из архива записи с именем NAME",
        "Команде extract нужны ARCHIVE, FOLDER и NAME.", TNeeds::Nothing, ExtractCommand},
    {"send", 0, 0, "send", "выгрузить документы и отправить их на FTP-сервер",
        "Команда send не принимает параметров.", TNeeds::Storage,
        [](const TCommandContext& c) { return RunFtp(c, "send"); }},
    {"receive", 0, 0, "receive", "получить ответ офиса с FTP-сервера и загрузить его",
        "Команда receive не принимает параметров.", TNeeds::Storage,
        [](const TCommandContext& c) { return RunFtp(c, "receive"); }},
    {"exchange", 0, 0, "exchange", "полный обмен по FTP, как «FTP - отправить»",
        "Команда exchange не принимает параметров.", TNeeds::Storage,
        [](const TCommandContext& c) { return RunFtp(c, "exchange"); }},
    {"backups", 0, 0, "backups", "копии базы, сделанные перед загрузками из офиса",
        "Команда backups не принимает параметров.", TNeeds::Location,
        [](const TCommandContext&) { return ListBackupsCommand(); }},
    {"restore", 1, 1, "restore NAME", "вернуть копию NAME на место базы (программа закрыта)",
        "Команде restore нужно имя копии (см. vendrix-cli backups).", TNeeds::Location,
        [](const TCommandContext& c) { return RestoreCommand(c.ui, c.args[0]); }},
    {"totals", 0, 0, "totals [--from дд.мм.гггг] [--to дд.мм.гггг] [--csv]",
        "итоги по дням, по клиентам и всего (по дате журнала)",
        "Команда totals принимает только --from, --to и --csv.", TNeeds::Storage, TotalsCommand,
        kTotalsOptions},
    // Answered before anything else, whatever else the call holds, like --help.
    {"help", 0, kAny, "help", "эта справка", "", TNeeds::Nothing, nullptr},
};

// The help: the call's form, one aligned line per command, the options.
std::string HelpText()
{
    constexpr std::size_t kUsageWidth = 29;
    std::string text = kHelpHead;
    for (const TCommand& c : kCommands) {
        text += "  ";
        text += c.usage;
        // A usage too long for its column puts its purpose under the others' purposes.
        if (c.usage.size() >= kUsageWidth)
            text += "\n" + std::string(2 + kUsageWidth, ' ');
        else
            text.append(kUsageWidth - c.usage.size(), ' ');
        text += c.purpose;
        text += "\n";
    }
    return text + kHelpTail;
}

const TCommand* FindCommand(std::string_view name)
{
    for (const TCommand& c : kCommands)
        if (c.name == name)
            return &c;
    return nullptr;
}

const TCommandOption* FindCommandOption(const std::vector<std::string>& words, std::string_view arg)
{
    const TCommand* command = words.empty() ? nullptr : FindCommand(words.front());
    if (!command)
        return nullptr;
    const std::string_view name = arg.substr(0, arg.find('='));
    for (const TCommandOption& option : command->options)
        if (option.name == name)
            return &option;
    return nullptr;
}

// Starts the database as the program does, for a command that works on it; false (told) when it
// does not start. Goods that could not be read only warn, with the way back.
bool StartStorageFor(const fs::path& home, TUserInterface& ui)
{
    if (!StartStorage(home)) {
        const std::string advice = WayBackAdvice();
        ui.Message(std::string(kOpenDatabaseFailed) + (advice.empty() ? "" : "\r\n" + advice),
            TIcon::Error);
        return false;
    }
    if (!LastLoadComplete()) {
        const std::string advice = WayBackAdvice();
        if (!advice.empty())
            ui.Message(std::string(kGoodsUnread) + "\r\n" + advice, TIcon::Warning);
    }
    return true;
}

// Makes ready what `command` needs, then runs it.
int Run(const TCommand& command, const TCommandContext& c)
{
    if (command.needs == TNeeds::Nothing)
        return command.run(c);
    std::error_code ec;
    if (!fs::is_directory(c.home, ec)) {
        c.ui.Message("Папка программы не найдена: " + c.home.string(), TIcon::Error);
        return kFailed;
    }
    // The way back needs nothing but the program folder: it must work on a database that no
    // longer opens, is not a database or is missing.
    if (!InitDatabaseLocation(c.home))
        return kFailed;
    if (command.needs == TNeeds::Location)
        return command.run(c);
    // Held while the command works on the database, so that no restore replaces it meanwhile.
    const TProgramRunningLock running;
    if (!StartStorageFor(c.home, c.ui))
        return kFailed;
    const int status = command.run(c);
    c.line.Clear();
    return status;
}

} // namespace

int main(int argc, char* argv[])
{
    const TCall call = ParseCall(std::vector<std::string>(argv + 1, argv + argc));
    if (!call.problem.empty())
        return Usage(call.problem);
    if (call.help || (!call.words.empty() && call.words.front() == "help")) {
        std::cout << HelpText();
        return kOk;
    }
    if (call.version) {
        std::cout << "vendrix-cli " << VENDRIX_VERSION << "\n";
        return kOk;
    }
    if (call.words.empty())
        return Usage("Не указана команда.");
    const TCommand* command = FindCommand(call.words.front());
    if (!command)
        return Usage("Неизвестная команда: " + call.words.front());
    const std::vector<std::string> args(call.words.begin() + 1, call.words.end());
    if (args.size() < command->leastArgs || args.size() > command->mostArgs)
        return Usage(std::string(command->wrongArgs));

    TProgressLine line;
    TCompanionUserInterface ui(call.yes, line);
    InstallUserInterface(&ui);
    // --home wins; else the program's own folder, or the user's data folder when the program
    // is installed where it cannot write.
    const fs::path home = call.home.empty() ? platform::WorkingProgramFolder() : call.home;
    // The packing spills a large source into the program folder, never beside a read-only
    // program.
    SetProgramFolder(home);
    return Run(*command, {args, home, ui, line, call.options});
}
