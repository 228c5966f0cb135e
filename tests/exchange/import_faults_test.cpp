// The office's import against a failing disk and a database held by somebody else. Two anomaly
// loops run the demo office's answer, grown by a long run of numbered rows, on a fresh copy of
// one prepared database: the first fails the 1st, 2nd, 3rd, ... write point once, the second
// refuses every lock from the 1st, 2nd, 3rd, ... request on, each until the import no longer
// reaches the fault. After every run the database must be sound, and either the whole load is
// there and recorded, or a prefix of the script's statements and nothing after them. Then a
// real lock of another process, which the import and the start-up must simply wait out.
#include "exchange/exchange_log.h"
#include "exchange/import_script.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/fault_vfs.h"
#include "support/test_support.h"

#include <sqlite3.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

constexpr int kSeqRows = 5000; // past the first commit of a batch, which holds 4096 statements
const char* const kOfficeTables[] = {"SPR_CLIENTS", "SPR_GOOD_CAT", "SPR_COMPETITORS"};
const std::string kOfficeMessage = "Сообщение из офиса: [";

// What a database holds, table by table: every row as one text, sorted; the schema as the
// table "sqlite_master". The time of the last load is left out, as it differs from run to run.
using TContent = std::map<std::string, std::vector<std::string>>;

// The tables in which `got` differs from `want`, with their row counts; empty when none does.
// A whole dump in a failure message would bury the one table that matters.
std::string Differences(const TContent& got, const TContent& want)
{
    std::string out;
    TContent all = want;
    all.insert(got.begin(), got.end());
    for (const auto& [table, rows] : all) {
        const auto g = got.find(table);
        const auto w = want.find(table);
        if (g != got.end() && w != want.end() && g->second == w->second)
            continue;
        out += table + ": " + (g == got.end() ? "missing" : std::to_string(g->second.size()))
            + " rows, want " + (w == want.end() ? "none" : std::to_string(w->second.size())) + "; ";
    }
    return out;
}

// A connection of the test's own, past the program's access layer, which would report through
// the user-interface seam. Opened with the faults disarmed; it rolls back what a failed run left.
class TRawDb {
public:
    explicit TRawDb(const fs::path& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path << ": " << sqlite3_errmsg(m_db);
    }
    ~TRawDb() { sqlite3_close(m_db); }
    TRawDb(const TRawDb&) = delete;
    TRawDb& operator=(const TRawDb&) = delete;

    // Every row of `sql`, its columns joined by "|" (NULL as "~").
    std::vector<std::string> Rows(const std::string& sql)
    {
        std::vector<std::string> rows;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_db);
            return rows;
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::string row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const auto* v = sqlite3_column_text(st, c);
                row += (c ? "|" : "") + (v ? std::string(reinterpret_cast<const char*>(v)) : "~");
            }
            rows.push_back(row);
        }
        if (rc != SQLITE_DONE)
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_db);
        sqlite3_finalize(st);
        return rows;
    }

    TContent Content()
    {
        TContent content;
        content["sqlite_master"] = Rows("select type, name, tbl_name, sql from sqlite_master");
        for (const std::string& table : Rows("select name from sqlite_master where type='table'")) {
            const std::string filter = table == "MY_OPTIONS" ? " where OPT_NAME<>'LLD_Def'" : "";
            content[table] = Rows("select * from \"" + table + "\"" + filter);
        }
        for (auto& [table, rows] : content)
            std::sort(rows.begin(), rows.end());
        return content;
    }

private:
    sqlite3* m_db = nullptr;
};

// Refused locks fail after a short wait instead of five seconds each, for the scope's life.
struct TShortBusyTimeout {
    TShortBusyTimeout() { SetBusyTimeout(10); }
    ~TShortBusyTimeout() { SetBusyTimeout(kDefaultBusyTimeoutMs); }
};

// What one import run gave.
struct TRun {
    bool ok = false;
    bool reached = false; // the armed fault was delivered
    int writePoints = 0;
    int lockPoints = 0;
    std::vector<std::string> texts; // message boxes
    std::string log;
};

class ImportFaultsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::InstallFaultVfs(); }
    static void TearDownTestSuite() { test::RemoveFaultVfs(); }

    void SetUp() override
    {
        ASSERT_TRUE(folder.Start());
        // Two documents of old date: one the office has taken over, which the script's DEL
        // order deletes with its lines, one still to be sent, which stays.
        test::Exec("insert into DOC_HEADS (GUID, REC_TIME, DOC_STATE) values "
                   "('OLD', '2009-01-01', 2), ('KEEP', '2009-01-01', 1);"
                   "insert into DOC_ORDERS (DOC_ID, G_NAME) values ('OLD', 'Сок'), "
                   "('KEEP', 'Вода');"
                   "insert into DOC_SKUS (DOC_ID, G_CNT) values ('OLD', 3)");
        SetOption("LLD_Def", "before");
        golden = folder.Path() / "golden.sdb";
        fs::copy_file(folder.Db(), golden);
        goldenContent = TRawDb(golden).Content();

        dir = folder.Path() / "in";
        fs::create_directories(dir);
        const fs::path office = VENDRIX_OFFICE;
        std::string script = test::ReadFile(office / "ToPDA.sqd");
        ASSERT_GT(script.size(), 1000u);
        if (script.back() != '\r' && script.back() != '\n')
            script += "\r\n";
        std::string more = "<EXEC \"create table SEQ (N integer)\">\r\n"
                           "<REPEAT \"insert into SEQ (N) values (%1)\">\r\n";
        for (int n = 1; n <= kSeqRows; ++n)
            more += std::to_string(n) + "\r\n";
        more += "<SHOWMSGWND \"Серия загружена\">\r\n<DEL \"01.06.2009\">\r\n";
        test::WriteFile(dir / "ToPDA.sqd", script + Utf8ToCp1251(more));
        fs::copy_file(office / "ToPDA.sql", dir / "ToPDA.sql");

        const TRun reference = RunImport([] { test::ResetFaultCounters(); });
        ASSERT_TRUE(reference.ok) << ::testing::PrintToString(reference.texts);
        referenceContent = TRawDb(folder.Db()).Content();
        referenceWrites = reference.writePoints;
        referenceLocks = reference.lockPoints;
        ASSERT_EQ(referenceContent["SEQ"].size(), static_cast<std::size_t>(kSeqRows));
        ASSERT_EQ(TRawDb(folder.Db()).Rows("select GUID from DOC_HEADS"),
            std::vector<std::string> {"KEEP"});
        for (const char* table : kOfficeTables)
            ASSERT_FALSE(referenceContent[table].empty()) << table;
        ASSERT_FALSE(referenceContent["SPR_GOODS"].empty());
    }

    // A fresh copy of the prepared database, with no journal left by an earlier run.
    void Restore()
    {
        fs::remove(fs::path(folder.Db().string() + "-journal"));
        fs::copy_file(golden, folder.Db(), fs::copy_options::overwrite_existing);
    }

    // Imports the script on a fresh copy, with the faults that `arm` sets in force only while
    // the import runs.
    TRun RunImport(const std::function<void()>& arm)
    {
        Restore();
        folder.ui.Clear();
        TExchangeLog log;
        TRun run;
        arm();
        EXPECT_NO_THROW(run.ok = Import(log, dir.string(), false));
        test::DisarmFaults();
        run.reached = test::FaultFired();
        run.writePoints = test::WritePoints();
        run.lockPoints = test::LockPoints();
        run.texts = folder.ui.Texts();
        run.log = log.Text();
        return run;
    }

    // The invariant of every run: a sound database, and either the whole load, recorded and
    // told, or a prefix of the script with nothing after it.
    void Check(const TRun& run)
    {
        TRawDb db(folder.Db());
        EXPECT_EQ(db.Rows("pragma integrity_check"), std::vector<std::string> {"ok"});
        const auto loadTime = db.Rows("select OPT_VAL from MY_OPTIONS where OPT_NAME='LLD_Def'");
        const bool told = std::any_of(run.texts.begin(), run.texts.end(),
            [](const std::string& t) { return t.rfind(kOfficeMessage, 0) == 0; });
        const bool finished = run.log.find("Загрузка завершена.") != std::string::npos;
        const TContent content = db.Content();
        if (run.ok) {
            EXPECT_EQ(Differences(content, referenceContent), "");
            EXPECT_TRUE(told);
            EXPECT_TRUE(finished);
            ASSERT_EQ(loadTime.size(), 1u);
            EXPECT_NE(loadTime[0], "before");
            return;
        }
        EXPECT_FALSE(run.texts.empty()) << "a failed import says why";
        EXPECT_EQ(loadTime, std::vector<std::string> {"before"});
        EXPECT_FALSE(told);
        EXPECT_FALSE(finished);

        // The numbered rows are 1..k: a prefix, and the office's part before them is whole.
        std::size_t k = 0;
        if (content.count("SEQ")) {
            const auto seq = db.Rows("select count(*), count(distinct N), ifnull(min(N), 1), "
                                     "ifnull(max(N), 0) from SEQ");
            k = content.at("SEQ").size();
            EXPECT_EQ(seq,
                std::vector<std::string> {
                    std::to_string(k) + "|" + std::to_string(k) + "|1|" + std::to_string(k)});
        }
        for (const char* table : kOfficeTables) {
            if (k > 0)
                EXPECT_TRUE(content.at(table) == referenceContent.at(table))
                    << table << " is not whole";
            else
                EXPECT_TRUE(content.at(table) == referenceContent.at(table)
                    || content.at(table) == goldenContent.at(table))
                    << table << " is half loaded";
        }
        // The bulk reference script runs after the body: untouched before it ends; then its
        // leading delete stands alone, and its own transaction is whole or absent.
        const auto& goods = content.at("SPR_GOODS");
        const bool bodyDone = k == static_cast<std::size_t>(kSeqRows);
        if (!bodyDone)
            EXPECT_TRUE(goods == goldenContent.at("SPR_GOODS")) << "goods touched too early";
        else
            EXPECT_TRUE(goods.empty() || goods == goldenContent.at("SPR_GOODS")
                || goods == referenceContent.at("SPR_GOODS"))
                << "goods half loaded: " << goods.size();
        // Deletion orders come only after every statement and the bulk script.
        const auto heads = content.at("DOC_HEADS");
        if (heads.size() != goldenContent.at("DOC_HEADS").size()) {
            EXPECT_TRUE(bodyDone);
            EXPECT_TRUE(goods == referenceContent.at("SPR_GOODS")) << "goods not loaded";
        }
        EXPECT_EQ(db.Rows("select count(*) from DOC_HEADS where GUID='KEEP'"),
            std::vector<std::string> {"1"});
        // A document goes whole with its lines or stays whole.
        const auto old = db.Rows("select (select count(*) from DOC_HEADS where GUID='OLD') || "
                                 "(select count(*) from DOC_ORDERS where DOC_ID='OLD') || "
                                 "(select count(*) from DOC_SKUS where DOC_ID='OLD')");
        EXPECT_TRUE(
            old == std::vector<std::string> {"111"} || old == std::vector<std::string> {"000"})
            << "half deleted: " << old.front();
    }

    // Runs the import with `arm(n)` for n = 1, 2, ... until a run no longer reaches the fault;
    // returns how many fault points were walked.
    int Walk(const char* what, const std::function<void(int)>& arm)
    {
        int failed = 0;
        int succeeded = 0;
        int walked = 0; // fault points reached
        int n = 1;
        const auto start = std::chrono::steady_clock::now();
        for (;; ++n) {
            const TRun run = RunImport([&] { arm(n); });
            if (!run.reached) {
                EXPECT_TRUE(run.ok) << what << ": the run past every point failed";
                Check(run);
                break;
            }
            SCOPED_TRACE(std::string(what) + " at point " + std::to_string(n));
            walked = n;
            (run.ok ? succeeded : failed)++;
            Check(run);
            if (HasFailure())
                break; // one broken point is enough to read; the rest would repeat it
        }
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("[ faults   ] %s: %d points walked (%d runs failed, %d still succeeded), "
                    "%.1f s\n",
            what, walked, failed, succeeded, seconds);
        RecordProperty(std::string(what) + "_points", walked);
        return walked;
    }

    test::TProgramFolder folder;
    fs::path golden;
    fs::path dir;
    TContent goldenContent;
    TContent referenceContent;
    int referenceWrites = 0;
    int referenceLocks = 0;
};

TEST_F(ImportFaultsTest, EveryWritePointFailingOnceLeavesAWholeLoadOrAPrefix)
{
    const int walked = Walk("write", [](int n) { test::ArmWriteFault(n); });
    EXPECT_EQ(walked, referenceWrites);
}

TEST_F(ImportFaultsTest, LocksRefusedFromEveryPointOnLeaveAWholeLoadOrAPrefix)
{
    const TShortBusyTimeout shortWait;
    const int walked = Walk("lock", [](int n) { test::ArmBusyLocks(n); });
    EXPECT_EQ(walked, referenceLocks);
}

// Another process holding the database: a Python child with SQLite's own module takes the lock
// (`begin` "BEGIN" with a read holds a shared lock, "BEGIN EXCLUSIVE" keeps everybody out),
// says so, holds it two seconds, says it lets go and commits.
class TForeignLock {
public:
    TForeignLock(const fs::path& db, const std::string& begin)
    {
        const std::string code = "import sqlite3, sys, time\n"
                                 "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                 "c.execute(sys.argv[2])\n"
                                 "c.execute(\"select count(*) from sqlite_master\").fetchall()\n"
                                 "print(\"locked\", flush=True)\n"
                                 "time.sleep(2)\n"
                                 "print(\"releasing\", flush=True)\n"
                                 "c.execute(\"commit\")\n";
        const std::string command
            = "/usr/bin/python3 -c '" + code + "' '" + db.string() + "' '" + begin + "'";
        m_pipe = popen(command.c_str(), "r");
        char line[32] = {};
        m_locked
            = m_pipe && std::fgets(line, sizeof line, m_pipe) && line == std::string("locked\n");
    }
    ~TForeignLock() { Finish(); }
    TForeignLock(const TForeignLock&) = delete;
    TForeignLock& operator=(const TForeignLock&) = delete;

    bool Locked() const { return m_locked; }
    // True when the child has already begun to let go: whoever got on had waited for it.
    bool Releasing() const
    {
        pollfd p {fileno(m_pipe), POLLIN, 0};
        return poll(&p, 1, 0) == 1;
    }
    // Waits for the child; true when it ended well.
    bool Finish()
    {
        if (!m_pipe)
            return false;
        char buf[64];
        while (std::fread(buf, 1, sizeof buf, m_pipe) > 0) { }
        const int status = pclose(m_pipe);
        m_pipe = nullptr;
        return status == 0;
    }

private:
    FILE* m_pipe = nullptr;
    bool m_locked = false;
};

class ForeignLockTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        test::Exec("create table T (N)");
        dir = folder.Path() / "in";
        test::WriteOfficeScript(
            dir, test::OfficeScript({"<REPEAT \"insert into T (N) values (%1)\">", "1", "2", "3"}));
    }

    fs::path dir;
};

TEST_F(ForeignLockTest, ImportWaitsOutTheLockOfAnotherProcess)
{
    int loads = 0;
    for (const char* begin : {"BEGIN", "BEGIN EXCLUSIVE"}) {
        SCOPED_TRACE(begin);
        folder.ui.Clear();
        TForeignLock lock(folder.Db(), begin);
        ASSERT_TRUE(lock.Locked());
        TExchangeLog log;
        EXPECT_TRUE(Import(log, dir.string(), false));
        EXPECT_TRUE(lock.Releasing()) << "the import did not wait for the lock";
        EXPECT_TRUE(lock.Finish());
        EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {});
        EXPECT_EQ(test::Value("select count(*) from T"), std::to_string(3 * ++loads));
    }
}

TEST_F(ForeignLockTest, StartUpWaitsOutAnExclusiveLockOfAnotherProcess)
{
    TForeignLock lock(folder.Db(), "BEGIN EXCLUSIVE");
    ASSERT_TRUE(lock.Locked());
    EXPECT_TRUE(folder.Start());
    EXPECT_TRUE(lock.Releasing()) << "the start-up did not wait for the lock";
    EXPECT_TRUE(lock.Finish());
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {});
}

} // namespace
} // namespace vendrix
