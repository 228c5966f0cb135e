// vendrix-cli as office staff and schedulers use it: a real process on a real program folder,
// its exit status, its log on standard output and its messages on standard error.
#include "storage/backups.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "support/ftp_server.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// Runs the companion with `args`; standard error goes to `errFile` when given.
test::TProcessResult RunCli(const std::string& args, const fs::path& errFile = "/dev/null")
{
    return test::RunProcess(std::string(VENDRIX_CLI) + " " + args, errFile);
}

TEST(Companion, ImportThenExportOnAFreshFolder)
{
    test::TProgramFolder home;
    const std::string h = "--home '" + home.Path().string() + "' ";
    test::WriteOfficeScript(home.Path() / "exchange",
        test::OfficeScript({"<EXEC \"insert into DOC_HEADS (GUID, DOC_STATE, CLI_NAME) values "
                            "('D-1', 1, 'Иванов')\">",
            "<SHOWMSGWND \"Привет\">"}));
    const fs::path err = home.Path() / "err.txt";
    const test::TProcessResult imported = RunCli(h + "import", err);
    EXPECT_EQ(imported.status, 0);
    EXPECT_NE(imported.out.find("Загрузка завершена."), std::string::npos) << imported.out;
    EXPECT_NE(test::ReadFile(err).find("Сообщение из офиса: [1 / 1]\r\nПривет"), std::string::npos);
    EXPECT_TRUE(fs::exists(home.Db()));

    const test::TProcessResult exported = RunCli(h + "export");
    EXPECT_EQ(exported.status, 0);
    const std::string xml = test::ReadFile(home.Path() / "exchange" / "PDATo1C.xml");
    EXPECT_NE(xml.find(Utf8ToCp1251("<DOC ID=\"D-1\"")), std::string::npos);
    EXPECT_NE(xml.find(Utf8ToCp1251("CLIENTNAME=\"Иванов\"")), std::string::npos);
}

// A message from the office reaches the agent's terminal as text, never as commands to it: a
// title change and a screen clear arrive as "^[]0;...^G^[[2J".
TEST(Companion, OfficeMessageCannotDriveTheTerminal)
{
    test::TProgramFolder home;
    test::WriteOfficeScript(home.Path() / "exchange",
        test::OfficeScript({"<SHOWMSGWND \"Привет\x1b]0;взломано\x07\x1b[2J\">"}));
    const fs::path err = home.Path() / "err.txt";
    const test::TProcessResult r = RunCli("--home '" + home.Path().string() + "' import", err);
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string shown = test::ReadFile(err);
    EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x07'), std::string::npos) << shown;
    EXPECT_NE(shown.find("Привет^[]0;взломано^G^[[2J"), std::string::npos) << shown;
}

TEST(Companion, ExitStatusTellsSuccessFailureAndMisuse)
{
    test::TProgramFolder home;
    const std::string h = "--home '" + home.Path().string() + "' ";
    struct TCase {
        const char* what;
        std::string args;
        int status;
        const char* problem; // the one line a wrong call prints, before the usage hint
    };
    const TCase cases[] = {
        {"help", "help", 0, nullptr},
        {"--help", "--help", 0, nullptr},
        {"-h after a command", "export -h", 0, nullptr},
        {"no command", h, 2, "Не указана команда."},
        {"unknown command", h + "frobnicate", 2, "Неизвестная команда: frobnicate"},
        {"unknown option", "--nope export", 2, "Неизвестный параметр: --nope"},
        {"unknown option after the command", h + "export -x", 2, "Неизвестный параметр: -x"},
        {"--home without its folder", "export --home", 2, "Параметру --home нужна папка."},
        {"--home= with nothing", "--home= export", 2, "Параметру --home нужна папка."},
        {"pack without its archive", h + "pack onlyone", 2, "Команде pack нужны SOURCE и ARCHIVE."},
        {"extract short of its name", "extract a.zip folder", 2,
            "Команде extract нужны ARCHIVE, FOLDER и NAME."},
        {"import of two folders", h + "import a b", 2,
            "Команда import принимает не больше одной папки."},
        {"send with an argument", h + "send now", 2, "Команда send не принимает параметров."},
        {"import with nothing to import", h + "import", 1, nullptr},
        {"missing program folder", "--home /nonexistent/vendrix export", 1, nullptr},
        {"extract from a missing archive", "extract /nonexistent.zip /tmp x", 1, nullptr},
    };
    const fs::path err = home.Path() / "err.txt";
    for (const TCase& c : cases) {
        const test::TProcessResult r = RunCli(c.args, err);
        EXPECT_EQ(r.status, c.status) << c.what;
        if (c.problem) {
            EXPECT_EQ(test::ReadFile(err),
                std::string("vendrix-cli: ") + c.problem + "\nСправка: vendrix-cli --help\n")
                << c.what;
        }
    }
}

TEST(Companion, HelpListsExitCodesAndVersionNamesTheProgram)
{
    const test::TProcessResult help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, RunCli("help").out);
    for (const char* line : {"Коды завершения:", "  0  команда выполнена",
             "  1  команда не удалась", "  2  неверный вызов"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    const test::TProcessResult version = RunCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vendrix-cli " VENDRIX_VERSION "\n");
}

// On a terminal the long commands redraw one line of progress on standard error; in a pipe or
// a scheduler's log nothing but the messages appears.
TEST(Companion, ProgressOnlyOnATerminal)
{
    test::TProgramFolder home;
    const std::string h = "--home '" + home.Path().string() + "' ";
    std::vector<std::string> comments;
    for (int i = 0; i < 2000; ++i)
        comments.push_back("// line " + std::to_string(i));
    test::WriteOfficeScript(home.Path() / "exchange", test::OfficeScript(comments));
    const fs::path big = home.Path() / "big.bin";
    std::string bytes(8 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    test::WriteFile(big, bytes);
    const std::string zip = (home.Path() / "big.zip").string();

    struct TCase {
        const char* what;
        std::string args;
        const char* shown; // what the terminal shows at the end of the line's life
    };
    const TCase cases[] = {
        {"import", h + "import", "\rВыполнено: 100%"},
        {"pack", "pack '" + big.string() + "' '" + zip + "'", "\rВыполнено: "},
        {"extract", "extract '" + zip + "' '" + (home.Path() / "x").string() + "' '*'",
            "\rВыполнено: "},
    };
    const fs::path err = home.Path() / "err.txt";
    for (const TCase& c : cases) {
        // script(1) gives the companion a terminal and copies what it shows to its output.
        const std::string command = std::string(VENDRIX_CLI) + " " + c.args;
        const test::TProcessResult terminal
            = test::RunProcess("script -qefc \"" + command + "\" /dev/null");
        EXPECT_EQ(terminal.status, 0) << c.what << terminal.out;
        EXPECT_NE(terminal.out.find(c.shown), std::string::npos) << c.what << terminal.out;
        EXPECT_NE(terminal.out.find("\r\033[K"), std::string::npos) << c.what << ": line wiped";

        const test::TProcessResult piped = RunCli(c.args, err);
        EXPECT_EQ(piped.status, 0) << c.what;
        EXPECT_EQ(test::ReadFile(err).find("Выполнено"), std::string::npos) << c.what;
        EXPECT_EQ(piped.out.find('\r'), std::string::npos) << c.what;
    }
}

// "receive" fails when the office's answer arrives but cannot be imported, so that a scheduler
// never takes a refused answer for a loaded one.
TEST(Companion, ReceiveFailsWhenTheAnswerCannotBeImported)
{
    test::TFtpServer server("agent", "pw");
    ASSERT_TRUE(server.Ready());
    test::TProgramFolder home;
    ASSERT_TRUE(home.Start());
    const std::pair<const char*, std::string> options[] = {{"USEFTP", "1"}, {"FTPAUTH", "1"},
        {"FTPAddress", "127.0.0.1"}, {"FTPPort", std::to_string(server.Port())}, {"FTPPath", "in"},
        {"FTPLogin", "agent"}, {"FTPPassword", "pw"}};
    for (const auto& [name, value] : options)
        SetOption(name, value);
    fs::create_directories(server.Home() / "in");
    const std::string h = "--home '" + home.Path().string() + "' ";
    struct TCase {
        const char* what;
        std::string script;
        int status;
    };
    const TCase cases[] = {
        {"an answer that loads", test::OfficeScript({"// nothing"}), 0},
        {"an answer of an unknown format", "Z_AGENT RESPONSE 9999\r\n", 1},
        {"an answer whose statement fails",
            test::OfficeScript({"<EXEC \"insert into NO_SUCH_TABLE values (1)\">"}), 1},
    };
    for (const TCase& c : cases) {
        test::WriteFile(server.Home() / "in" / "ToPDA.sqd", c.script);
        const fs::path err = home.Path() / "err.txt";
        const test::TProcessResult r = RunCli(h + "receive", err);
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << test::ReadFile(err);
    }
}

TEST(Companion, BackupsAndRestore)
{
    test::TProgramFolder home;
    ASSERT_TRUE(home.Start());
    const std::string h = "--home '" + home.Path().string() + "' ";
    test::Exec("insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('D-1', 1, '2009-01-01')");
    test::WriteOfficeScript(
        home.Path() / "exchange", test::OfficeScript({"<DELALL \"01.01.2100\">"}));
    ASSERT_EQ(RunCli(h + "--yes import").status, 0);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");

    const test::TProcessResult listed = RunCli(h + "backups");
    EXPECT_EQ(listed.status, 0);
    const std::string name = listed.out.substr(0, listed.out.find(' '));
    EXPECT_EQ(name.rfind("base-", 0), 0u) << listed.out;
    EXPECT_NE(listed.out.find("заявок: 1"), std::string::npos) << listed.out;

    const fs::path err = home.Path() / "err.txt";
    {
        const TProgramRunningLock running; // as the program holds it while it runs
        EXPECT_EQ(RunCli(h + "restore " + name, err).status, 1);
        EXPECT_NE(test::ReadFile(err).find("Программа запущена."), std::string::npos);
    }
    EXPECT_EQ(RunCli(h + "restore no-such-copy", err).status, 1);
    EXPECT_EQ(RunCli(h + "restore", err).status, 2);
    const test::TProcessResult restored = RunCli(h + "restore " + name);
    EXPECT_EQ(restored.status, 0);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "1") << "the deleted order is back";
}

TEST(Companion, PackAndExtract)
{
    test::TProgramFolder home;
    const fs::path src = home.Path() / "a.txt";
    test::WriteFile(src, std::string(100000, 'z'));
    const std::string zip = (home.Path() / "a.zip").string();
    ASSERT_EQ(RunCli("pack '" + src.string() + "' '" + zip + "'").status, 0);
    const test::TProcessResult r
        = RunCli("extract '" + zip + "' '" + (home.Path() / "x").string() + "' '*'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(test::ReadFile(home.Path() / "x" / "a.txt"), std::string(100000, 'z'));
}

} // namespace
} // namespace vendrix

namespace vendrix {
namespace {

// A journal over three days, three clients and every kind of state, written as the office's
// script and the program leave it; one order's sum has three decimals, as an office may send.
class CompanionTotals : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.Start());
        test::Exec("insert into DOC_HEADS (GUID, REC_TIME, CLI_NAME, DOC_STATE, ORD_SUMM, "
                   "ORD_WEIGHT) values ('A', '2009-10-24', 'Иванов', 2, '25.00', '2.00'),"
                   "('B', '2009-10-25', 'Иванов', 1, 100.10, 3.5),"
                   "('C', '2009-10-25', 'ООО \"Ромашка, и К\"', 0, 1000, 10),"
                   "('D', '2009-10-25', 'Петров', 2, '0.005', '1.25'),"
                   "('E', '2009-10-26', 'Сидорова', 4, '7.5', 1)");
    }

    test::TProcessResult Totals(const std::string& args)
    {
        return RunCli("--home '" + home.Path().string() + "' totals " + args, err());
    }

    fs::path err() const { return home.Path() / "err.txt"; }

    test::TProgramFolder home;
};

TEST_F(CompanionTotals, TextByDayByClientAndTheWhole)
{
    const test::TProcessResult r = Totals("--from 24.10.2009 --to 25.10.2009");
    EXPECT_EQ(r.status, 0) << test::ReadFile(err());
    EXPECT_EQ(r.out,
        "Период: 24.10.2009 – 25.10.2009\n"
        "Заказов по состояниям (DOC_STATE): 0 — 1, 1 — 1, 2 — 2; учтены все, как в журнале\n"
        "\n"
        "По дням\n"
        "Дата        Заказов    Сумма     Вес\n"
        "25.10.2009        3  1100.11  14.750\n"
        "24.10.2009        1    25.00   2.000\n"
        "\n"
        "По клиентам\n"
        "Клиент              Заказов    Сумма     Вес\n"
        "ООО \"Ромашка, и К\"        1  1000.00  10.000\n"
        "Иванов                    2   125.10   5.500\n"
        "Петров                    1     0.01   1.250\n"
        "\n"
        "Всего: заказов 4, сумма 1125.11, вес 16.750\n");
    EXPECT_EQ(test::ReadFile(err()), "");
}

TEST_F(CompanionTotals, CsvOfEveryDocumentOrOfAPeriodOpenAtOneEnd)
{
    const test::TProcessResult all = Totals("--csv");
    EXPECT_EQ(all.status, 0) << test::ReadFile(err());
    EXPECT_EQ(all.out,
        "kind,key,orders,sum,weight\r\n"
        "day,2009-10-25,3,1100.11,14.750\r\n"
        "day,2009-10-24,1,25.00,2.000\r\n"
        "day,2009-10-26,1,7.50,1.000\r\n"
        "client,\"ООО \"\"Ромашка, и К\"\"\",1,1000.00,10.000\r\n"
        "client,Иванов,2,125.10,5.500\r\n"
        "client,Сидорова,1,7.50,1.000\r\n"
        "client,Петров,1,0.01,1.250\r\n"
        "total,,5,1132.61,17.750\r\n");
    struct TCase {
        const char* what;
        std::string args;
        const char* total;
    };
    const TCase cases[] = {
        {"from a day on, the day included", "--from=26.10.2009 --csv", "total,,1,7.50,1.000"},
        {"up to a day, the day included", "--csv --to 24.10.2009", "total,,1,25.00,2.000"},
        {"one day as both ends", "--csv --from 25.10.2009 --to 25.10.2009",
            "total,,3,1100.11,14.750"},
        {"a period without orders", "--from 01.01.2010 --csv", "total,,0,0.00,0.000"},
    };
    for (const TCase& c : cases) {
        const test::TProcessResult r = Totals(c.args);
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_NE(r.out.find(std::string("\r\n") + c.total + "\r\n"), std::string::npos)
            << c.what << "\n"
            << r.out;
    }
}

TEST_F(CompanionTotals, WrongDatesAndOptionsAreRefusedAsAWrongCall)
{
    const std::string h = "--home '" + home.Path().string() + "' ";
    struct TCase {
        const char* what;
        std::string args;
        const char* problem;
    };
    const TCase cases[] = {
        {"no such day", "totals --from 31.02.2009", "Неверная дата (нужно дд.мм.гггг): 31.02.2009"},
        {"the stored form is not the call's", "totals --to=2009-10-25",
            "Неверная дата (нужно дд.мм.гггг): 2009-10-25"},
        {"a day without its leading zero", "totals --from 1.10.2009",
            "Неверная дата (нужно дд.мм.гггг): 1.10.2009"},
        {"--from without its date", "totals --from", "Параметру --from нужна дата (дд.мм.гггг)."},
        {"--to= with nothing", "totals --to=", "Параметру --to нужна дата (дд.мм.гггг)."},
        {"the start after the end", "totals --from 26.10.2009 --to 25.10.2009",
            "Начало периода (--from) позже его конца (--to)."},
        {"--csv takes no value", "totals --csv=yes", "Параметр --csv не принимает значения."},
        {"an argument", "totals 25.10.2009",
            "Команда totals принимает только --from, --to и --csv."},
        {"an unknown option", "totals --sum", "Неизвестный параметр: --sum"},
        {"another command's option", "export --csv", "Неизвестный параметр: --csv"},
        {"the command's option before the command", "--csv totals", "Неизвестный параметр: --csv"},
    };
    for (const TCase& c : cases) {
        const test::TProcessResult r = RunCli(h + c.args, err());
        EXPECT_EQ(r.status, 2) << c.what;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_EQ(test::ReadFile(err()),
            std::string("vendrix-cli: ") + c.problem + "\nСправка: vendrix-cli --help\n")
            << c.what;
    }
    const test::TProcessResult help = RunCli("--help");
    EXPECT_NE(help.out.find("  totals [--from дд.мм.гггг] [--to дд.мм.гггг] [--csv]\n"),
        std::string::npos)
        << help.out;
}

} // namespace
} // namespace vendrix
