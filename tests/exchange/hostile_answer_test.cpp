// An office answer, however hostile or broken, never leaves the agent unable to start or
// without the way back: each answer below ends in bounded time, the program starts after it,
// and the orders are there at once or come back with `backups` and `restore` alone. The way
// back itself works on a database that is damaged, not a database, view-ridden or missing.
#include "documents/document.h"
#include "documents/reference_lists.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "shell/startup.h"
#include "storage/backups.h"
#include "storage/sql_query.h"
#include "storage/statement_guard.h"
#include "support/test_support.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <functional>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// Runs the companion on the program folder; standard error goes to `err` when given.
test::TProcessResult RunCli(
    const fs::path& home, const std::string& args, const fs::path& err = "/dev/null")
{
    return test::RunProcess(
        std::string(VENDRIX_CLI) + " --home '" + home.string() + "' " + args, err);
}

class HostileAnswerTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        // A bound short enough for a test; an endless view meets it at once.
        SetStatementTimeLimit(300);
        dir = folder.Path() / "in";
        fs::create_directories(dir);
        test::Exec("insert into SPR_CLIENTS (GUID, IS_FOLDER, ANAME, UNAME) values ('C-1', 0, "
                   "'Ромашка', 'РОМАШКА')");
        test::Exec("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE) "
                   "values ('G-1', 1, 0, 0, 'Сок', 'СОК', '2.00')");
        for (const char* client : {"Первый", "Второй"}) {
            TDocument d;
            d.Reset();
            d.clientName = client;
            d.clientGuid = "C-1";
            d.lines.push_back({"G-1", "Сок", "2.00", "", 100});
            d.lines.push_back({"G-2", "Чай", "3.00", "", 200});
            ASSERT_TRUE(d.Save());
        }
    }
    void TearDown() override { SetStatementTimeLimit(kDefaultStatementLimitMs); }

    bool Import(const std::string& body)
    {
        test::WriteOfficeScript(dir, test::OfficeScript({body}));
        folder.ui.Clear();
        return vendrix::Import(log, dir.string(), false);
    }

    // True when something the agent was shown contains `part`.
    bool Shown(const std::string& part) const
    {
        for (const std::string& text : folder.ui.Texts()) {
            if (text.find(part) != std::string::npos)
                return true;
        }
        return false;
    }

    static std::string Orders() { return test::Value("select count(*) from DOC_ORDERS"); }

    fs::path dir;
    TExchangeLog log;
};

TEST_F(HostileAnswerTest, NoAnswerLeavesTheAgentUnableToStartOrWithoutOrders)
{
    const std::string endless
        = "WITH RECURSIVE C(X) AS (SELECT 1 UNION ALL SELECT X+1 FROM C) SELECT X FROM C WHERE "
          "X < 0";
    struct TCase {
        const char* what;
        std::string body;
        const char* shown; // part of what the agent is told
        bool undone; // the answer was undone from its copy at once
    };
    const TCase cases[] = {
        {"the journal replaced by a view",
            "<EXEC \"DROP TABLE DOC_HEADS\">\r\n<EXEC \"CREATE VIEW DOC_HEADS AS SELECT 1 AS "
            "GUID, 1 AS REC_TIME, 1 AS DOC_STATE\">",
            "not authorized", false},
        {"the order lines renamed away", "<EXEC \"ALTER TABLE DOC_ORDERS RENAME TO OLD_ORDERS\">",
            "not authorized", false},
        {"a column dropped from the journal",
            "<EXEC \"ALTER TABLE DOC_HEADS DROP COLUMN TP_GUID\">", "not authorized", false},
        {"the settings dropped", "<EXEC \"DROP TABLE IF EXISTS MY_OPTIONS\">", "not authorized",
            false},
        {"the order lines shadowed by a temporary table",
            "<EXEC \"CREATE TEMP TABLE DOC_ORDERS (DOC_ID, G_GUID, UNIQUE (G_GUID) ON CONFLICT "
            "REPLACE)\">",
            "not authorized", false},
        {"the goods an endless view",
            "<EXEC \"DROP TABLE SPR_GOODS\">\r\n<EXEC \"CREATE VIEW SPR_GOODS AS SELECT X AS KOD, "
            "X AS ED_IZM, X AS ID, X AS ANAME, X AS UNAME, X AS GUID, 0 AS IS_FOLDER, 0 AS "
            "ROOTID, X AS PRICE FROM ("
                + endless + ")\">",
            "Загрузка отменена", true},
        {"the clients an endless view",
            "<EXEC \"DROP TABLE SPR_CLIENTS\">\r\n<EXEC \"CREATE VIEW SPR_CLIENTS AS SELECT X AS "
            "KOD, X AS ANAME, X AS UNAME, X AS GUID, 0 AS IS_DELETED, X AS INFO, 0 AS KIND, X AS "
            "CLI_GUID, 0 AS IS_FOLDER FROM ("
                + endless + ")\">",
            "Загрузка отменена", true},
        {"the clients a view the schema cannot upgrade",
            "<EXEC \"DROP TABLE SPR_CLIENTS\">\r\n<EXEC \"CREATE VIEW SPR_CLIENTS AS SELECT 1 AS "
            "GUID\">",
            "Загрузка отменена", true},
        {"the goods a table without their columns, then a failing line",
            "<EXEC \"DROP TABLE SPR_GOODS\">\r\n<EXEC \"CREATE TABLE SPR_GOODS (X)\">\r\n<EXEC "
            "\"NO SUCH STATEMENT\">",
            "Загрузка отменена", true},
        {"one row of 300 MB in values under the length limit",
            "<EXEC \"SELECT " +
                [] {
                    std::string columns;
                    for (int i = 0; i < 20; ++i)
                        columns += std::string(i ? ", " : "") + "RANDOMBLOB(15000000)";
                    return columns;
                }()
                + "\">",
            "out of memory", false},
        {"a value past the length limit",
            "<EXEC \"SELECT LENGTH(RANDOMBLOB(9E8)||RANDOMBLOB(9E7)), RANDOMBLOB(9E8)\">",
            "string or blob too big", false},
        {"a statement that prepares SQL for every row of an endless query",
            "<EXEC \"SELECT COUNT(*) FROM (WITH RECURSIVE C(X) AS (SELECT 1 UNION ALL SELECT X+1 "
            "FROM C) SELECT X FROM C) CROSS JOIN PRAGMA_TABLE_INFO('DOC_HEADS')\">",
            "interrupted", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(Import(c.body));
        EXPECT_TRUE(Shown(c.shown)) << testing::PrintToString(folder.ui.Texts());
        EXPECT_EQ(Shown("Загрузка отменена"), c.undone);
        // The next start works on what the answer left, with both lists.
        folder.ui.Clear();
        ASSERT_TRUE(folder.Start()) << testing::PrintToString(folder.ui.Texts());
        EXPECT_TRUE(LastLoadComplete());
        EXPECT_EQ(ClientList().size(), 1u);
        EXPECT_EQ(GoodsList().size(), 1u);
        EXPECT_EQ(Orders(), "4");
        EXPECT_EQ(test::Value("select type from sqlite_master where name='DOC_HEADS'"), "table");
        EXPECT_EQ(test::Value("pragma integrity_check"), "ok");
    }
}

TEST_F(HostileAnswerTest, OrdersAnAnswerDeletedComeBackWithTheCompanionAlone)
{
    // The office may change the journal's rows: these answers run, and the way back undoes them.
    ASSERT_TRUE(Import("<EXEC \"DELETE FROM DOC_ORDERS\">\r\n<EXEC \"UPDATE DOC_HEADS SET "
                       "DOC_STATE=2\">\r\n<DELALL \"01.01.2100\">"));
    EXPECT_EQ(Orders(), "0");
    const test::TProcessResult listed = RunCli(folder.Path(), "backups");
    ASSERT_EQ(listed.status, 0);
    const std::string name = LastImportBackup().name;
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(listed.out.rfind(name + "  ", 0), 0u) << listed.out;
    EXPECT_NE(listed.out.find("заявок: 2"), std::string::npos) << listed.out;
    ASSERT_EQ(RunCli(folder.Path(), "restore " + name).status, 0);
    EXPECT_EQ(Orders(), "4");
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS where DOC_STATE=1"), "2");
}

// Bricks the database behind the program's back, as a release without the guard would have.
void ReplaceJournalByAView()
{
    test::Exec("drop table DOC_HEADS; create view DOC_HEADS as select 1 as GUID, 1 as REC_TIME, "
               "1 as DOC_STATE");
}

TEST_F(HostileAnswerTest, TheWayBackWorksOnADatabaseThatNoLongerOpens)
{
    ASSERT_TRUE(Import("// ничего"));
    const std::string name = LastImportBackup().name;
    ASSERT_FALSE(name.empty());
    const std::string damagedBytes(std::size_t {4096} * 3, '\x5a');
    struct TCase {
        const char* what;
        std::function<void()> spoil;
        bool kept; // the replaced file is kept, as it was, and listed as damaged
    };
    const TCase cases[] = {
        {"the journal a view", ReplaceJournalByAView, true},
        {"random bytes", [&] { test::WriteFile(folder.Db(), damagedBytes); }, true},
        {"no database at all", [&] { fs::remove(folder.Db()); }, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.spoil();
        if (c.kept) {
            // The failed start names the copy and the command that puts it back. (A missing
            // database is made anew by a start, as ever, so no start is tried on that one.)
            const fs::path err = folder.Path() / "err.txt";
            EXPECT_EQ(RunCli(folder.Path(), "export", err).status, 1);
            EXPECT_NE(test::ReadFile(err).find("vendrix-cli restore " + name), std::string::npos)
                << test::ReadFile(err);
        }

        const test::TProcessResult listed = RunCli(folder.Path(), "backups");
        EXPECT_EQ(listed.status, 0);
        EXPECT_NE(listed.out.find(name + "  "), std::string::npos) << listed.out;
        const test::TProcessResult restored = RunCli(folder.Path(), "restore " + name);
        ASSERT_EQ(restored.status, 0) << restored.out;
        ASSERT_TRUE(folder.Start());
        EXPECT_EQ(Orders(), "4");
        if (c.kept) {
            const std::vector<TBackup> all = ListBackups();
            ASSERT_FALSE(all.empty());
            EXPECT_TRUE(all[0].damaged) << "the replaced file is kept as it was";
            EXPECT_FALSE(all[0].beforeImport);
        }
        EXPECT_EQ(LastImportBackup().name, name) << "a restore's copy is not an import's";
    }
}

TEST_F(HostileAnswerTest, ACopyThatIsNotADatabaseIsListedAsDamagedAndNeverRestored)
{
    ASSERT_TRUE(Import("// ничего"));
    struct TCase {
        const char* what;
        std::string bytes; // the copy's bytes, unless it is made through SQLite
        const char* sql; // made through SQLite with this, when given
    };
    const TCase cases[] = {
        {"text", "not a database at all", nullptr},
        {"empty", "", nullptr},
        {"a database without the journal", "", "create table SPR_GOODS (X)"},
    };
    int n = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "base-2000-01-01_00-00-00-00" + std::to_string(n++) + ".sdb";
        const fs::path copy = BackupFolder() / name;
        if (c.sql) {
            TSqlQuery q(copy);
            ASSERT_TRUE(q.Open() && q.TryExec(c.sql));
        } else {
            test::WriteFile(copy, c.bytes);
        }
        const std::string before = test::ReadFile(folder.Db());
        const test::TProcessResult listed = RunCli(folder.Path(), "backups");
        EXPECT_NE(listed.out.find(name + "  01.01.2000 00:00:00  повреждена"), std::string::npos)
            << listed.out;
        const fs::path err = folder.Path() / "err.txt";
        EXPECT_EQ(RunCli(folder.Path(), "restore " + name, err).status, 1);
        EXPECT_NE(
            test::ReadFile(err).find("повреждена или не является базой агента"), std::string::npos);
        EXPECT_EQ(test::ReadFile(folder.Db()), before) << "base.sdb untouched";
        fs::remove(copy);
    }
}

TEST_F(HostileAnswerTest, TheCopyBeforeAnImportSurvivesAClockSetBack)
{
    // Three copies whose names carry later dates than the clock now shows.
    for (const char* name : {"base-2099-01-01_00-00-00-000.sdb", "base-2099-01-02_00-00-00-000.sdb",
             "base-2099-01-03_00-00-00-000.sdb"}) {
        fs::create_directories(BackupFolder());
        fs::copy_file(folder.Db(), BackupFolder() / name);
    }
    ASSERT_TRUE(Import("<DELALL \"01.01.2100\">"));
    EXPECT_EQ(Orders(), "0");
    const std::vector<TBackup> copies = ListBackups();
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_EQ(copies[0].name.substr(0, 9), "base-" + test::Value("select strftime('%Y')"));
    EXPECT_TRUE(copies[0].beforeImport);
    EXPECT_EQ(copies[0].orders, 2);
    EXPECT_EQ(copies[1].name, "base-2099-01-03_00-00-00-000.sdb");
    EXPECT_EQ(copies[2].name, "base-2099-01-02_00-00-00-000.sdb");
    ASSERT_EQ(RestoreBackup(copies[0].name), TRestoreOutcome::Restored);
    EXPECT_EQ(Orders(), "4");
}

TEST_F(HostileAnswerTest, TheProgramOffersTheCopyWhenItCannotStart)
{
    ASSERT_TRUE(Import("// ничего"));
    const TBackup copy = LastImportBackup();
    ReplaceJournalByAView();

    // «Нет» (the default) leaves the database as it is, and the program cannot start.
    folder.ui.Clear();
    EXPECT_FALSE(StartStorageOrGoBack(folder.Path()));
    ASSERT_FALSE(folder.ui.shown.empty());
    const auto question = std::find_if(folder.ui.shown.begin(), folder.ui.shown.end(),
        [](const TScriptedUserInterface::TShown& s) { return s.question; });
    ASSERT_NE(question, folder.ui.shown.end());
    EXPECT_EQ(question->text,
        "Ошибка при открытии БД.\r\nВернуть копию базы, сделанную перед последней загрузкой из "
        "офиса ("
            + copy.time + ")?\r\nЗаменённая база сохранится как ещё одна копия.");
    EXPECT_EQ(test::Value("select type from sqlite_master where name='DOC_HEADS'"), "view");

    folder.ui.Clear();
    folder.ui.answers.push_back(TAnswer::Yes);
    EXPECT_TRUE(StartStorageOrGoBack(folder.Path()));
    EXPECT_EQ(Orders(), "4");
    EXPECT_TRUE(LastLoadComplete());
}

TEST_F(HostileAnswerTest, PrivateDataStaysPrivateWhateverTheUmask)
{
    const mode_t previous = umask(022);
    test::TProgramFolder fresh;
    ASSERT_TRUE(fresh.Start());
    const fs::path in = fresh.Path() / "in";
    test::WriteOfficeScript(in, test::OfficeScript());
    EXPECT_TRUE(vendrix::Import(log, in.string(), false));
    const std::string copy = LastImportBackup().name;
    ASSERT_FALSE(copy.empty());
    ASSERT_EQ(RestoreBackup(copy), TRestoreOutcome::Restored);
    umask(previous);
    const auto mode = [](const fs::path& p) {
        struct stat st { };
        return ::stat(p.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
    };
    const fs::path data = fresh.Path() / "data";
    EXPECT_EQ(mode(data), 0700);
    EXPECT_EQ(mode(data / "backup"), 0700);
    EXPECT_EQ(mode(data / "program.lock"), 0600);
    for (const auto& entry : fs::directory_iterator(data)) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(mode(entry.path()), 0600) << entry.path();
        }
    }
    for (const auto& entry : fs::directory_iterator(data / "backup"))
        EXPECT_EQ(mode(entry.path()), 0600) << entry.path();
    // The exchange folder keeps the umask: an office may read it from a shared folder.
    umask(022);
    EXPECT_TRUE(Export(log, (fresh.Path() / "exchange").string(), false));
    umask(previous);
    EXPECT_EQ(mode(fresh.Path() / "exchange"), 0755);
    EXPECT_EQ(mode(fresh.Path() / "exchange" / "PDATo1C.xml"), 0644);
}

TEST_F(HostileAnswerTest, NoRestoreWhileACompanionCommandWorksOnTheDatabase)
{
    ASSERT_TRUE(Import("// ничего"));
    const std::string name = LastImportBackup().name;
    // An import that waits on its script (a pipe nobody writes yet) holds the database.
    const fs::path waiting = folder.Path() / "waiting";
    fs::create_directories(waiting);
    ASSERT_EQ(mkfifo((waiting / "ToPDA.sqd").c_str(), 0600), 0);
    const pid_t child = fork();
    if (child == 0) {
        const std::string home = folder.Path().string();
        const std::string in = waiting.string();
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execl(VENDRIX_CLI, VENDRIX_CLI, "--home", home.c_str(), "import", in.c_str(),
            static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    bool held = false;
    for (int i = 0; i < 1000 && !held; ++i) {
        held = ProgramIsRunning();
        if (!held)
            usleep(10000);
    }
    EXPECT_TRUE(held) << "the companion's import takes the running lock";
    const fs::path err = folder.Path() / "err.txt";
    EXPECT_EQ(RunCli(folder.Path(), "restore " + name, err).status, 1);
    EXPECT_NE(test::ReadFile(err).find("Программа запущена."), std::string::npos);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(RunCli(folder.Path(), "restore " + name).status, 0);
}

TEST_F(HostileAnswerTest, AReadOnlyDataFolderIsSaidToBeOne)
{
    const fs::path data = folder.Path() / "data";
    const fs::path saved = folder.Path() / "saved";
    fs::copy(data, saved, fs::copy_options::recursive);
    if (geteuid() != 0 || mount("tmpfs", data.c_str(), "tmpfs", 0, "size=8m") != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    fs::copy(saved, data, fs::copy_options::recursive);
    ASSERT_EQ(mount("tmpfs", data.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(Import("// ничего"));
    umount2(data.c_str(), MNT_DETACH);
    EXPECT_NE(log.Text().find("Папка данных недоступна для записи; загрузка без копии."),
        std::string::npos)
        << log.Text();
    EXPECT_EQ(log.Text().find("Недостаточно места"), std::string::npos);
}

} // namespace
} // namespace vendrix
