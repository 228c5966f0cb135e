// The office's script cannot reach past the database or plant anything that outlives the import:
// each hostile statement is refused with SQLite's own text and the statement, the import stops
// there, nothing appears outside the data folder, and the database opens and exports as before.
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "storage/sql_query.h"
#include "storage/statement_guard.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

namespace fs = std::filesystem;

class ImportSandboxTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        dir = folder.Path() / "in";
        outside = folder.Path() / "outside";
        fs::create_directories(dir);
        fs::create_directories(outside);
    }
    void TearDown() override { SetStatementTimeLimit(kDefaultStatementLimitMs); }

    // Imports a script whose data line is the statement itself, untouched by upper-casing, the
    // way an office's template "%1" would pass it.
    bool Run(const std::string& statement)
    {
        test::WriteOfficeScript(dir,
            test::OfficeScript({"<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values "
                                "('BEFORE', '1')\">",
                "<REPEAT \"%1\">", statement, "<SHOWMSGWND \"после\">"}));
        folder.ui.Clear();
        TExchangeLog log;
        return Import(log, dir.string(), false);
    }

    fs::path dir;
    fs::path outside;
};

TEST_F(ImportSandboxTest, HostileStatementsAreRefused)
{
    const std::string target = (outside / "stolen.sdb").string();
    struct TCase {
        const char* what;
        std::string statement;
        const char* sqliteText;
    };
    const TCase cases[] = {
        {"attaching a file elsewhere", "attach database '" + target + "' as stolen",
            "not authorized"},
        {"a copy into a file elsewhere", "vacuum into '" + target + "'", "authorization denied"},
        {"vacuum", "vacuum", "authorization denied"},
        {"a writable schema", "pragma writable_schema=1", "not authorized"},
        {"a writable schema inside a batch",
            "pragma writable_schema=ON; update sqlite_master set sql='x' where name='DOC_HEADS'",
            "not authorized"},
        {"no journal", "pragma journal_mode=OFF", "not authorized"},
        {"no sync", "PRAGMA synchronous = 0", "not authorized"},
        {"a trigger on the order lines",
            "create trigger QTY after insert on DOC_ORDERS begin update DOC_ORDERS set G_WT=999; "
            "end",
            "not authorized"},
        {"a temporary trigger",
            "create temp trigger QTY2 before insert on DOC_ORDERS begin select 1; end",
            "not authorized"},
        {"an extension", "select load_extension('" + (outside / "evil.so").string() + "')",
            "not authorized to use function: load_extension"},
    };
    for (const TCase& c : cases) {
        EXPECT_FALSE(Run(c.statement)) << c.what;
        EXPECT_EQ(folder.ui.Texts(), (std::vector<std::string> {c.sqliteText, c.statement}))
            << c.what;
    }
    EXPECT_TRUE(fs::is_empty(outside)) << "nothing was written outside the data folder";
    EXPECT_EQ(test::Value("select count(*) from sqlite_master where type='trigger'"), "0");
    EXPECT_EQ(test::Value("select OPT_VAL from MY_OPTIONS where OPT_NAME='BEFORE'"), "1")
        << "statements before the refused one stay";
    EXPECT_EQ(test::Value("pragma integrity_check"), "ok");
    TExchangeLog log;
    EXPECT_TRUE(Export(log, (folder.Path() / "out").string(), false));
}

TEST_F(ImportSandboxTest, OnlyASlowStatementIsInterrupted)
{
    SetStatementTimeLimit(300);
    const std::string endless
        = "with recursive C(X) as (select 1 union all select X+1 from C) select count(*) from C";
    EXPECT_FALSE(Run(endless));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "Запрос выполнялся слишком долго и прерван.\r\ninterrupted", endless}));

    // Many quick statements in one text run past the limit together and are never cut.
    std::string many = "create table Q (N);";
    for (int i = 0; i < 20000; ++i)
        many += " insert into Q (N) select count(*) from sqlite_master;";
    test::WriteOfficeScript(
        dir, test::OfficeScript({"<SHOWMSGWND \"ok\">"}, test::TAnswerVersion::V3));
    test::WriteFile(dir / "ToPDA.sql", many);
    SetStatementTimeLimit(1);
    folder.ui.Clear();
    TExchangeLog log;
    EXPECT_TRUE(Import(log, dir.string(), false));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Сообщение из офиса: [1 / 1]\r\nok"});
    EXPECT_EQ(test::Value("select count(*) from Q"), "20000");
}

TEST_F(ImportSandboxTest, HonestStatementsStillWork)
{
    ASSERT_TRUE(Run("create table NEW_REF (A, B); create index NEW_REF_A on NEW_REF (A); "
                    "insert into NEW_REF values (1, 2); update MY_OPTIONS set OPT_VAL='2' where "
                    "OPT_NAME='BEFORE'; delete from DOC_HEADS; drop table NEW_REF; "
                    "pragma table_info(DOC_HEADS); pragma integrity_check"));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Сообщение из офиса: [1 / 1]\r\nпосле"});
    EXPECT_EQ(test::Value("select OPT_VAL from MY_OPTIONS where OPT_NAME='BEFORE'"), "2");
}

} // namespace
} // namespace vendrix
