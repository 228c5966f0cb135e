// The access layer: cursor semantics, accumulation over several statements, column lookup,
// failure reporting, rows handed over one by one, and the windows-1251 bytes in the file.
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

#include <stdexcept>

namespace vendrix {
namespace {

using test::TProgramFolder;

class SqlQueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InitDatabaseLocation(folder.Path()));
        test::Exec("create table T (A, B); insert into T values ('a1', 'b1');"
                   "insert into T values ('a2', NULL); insert into T values ('a3', '');");
    }
    TProgramFolder folder;
};

TEST_F(SqlQueryTest, NextFromTheStartLandsOnTheOnlyRow)
{
    auto q = RunQuery("select A, B from T where A='a1'");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->CurrentRow(), 0);
    EXPECT_FALSE(q->Eof());
    EXPECT_FALSE(q->Bof());
    q->Next();
    EXPECT_EQ(q->CurrentRow(), 0);
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(q->FieldByName("b"), "b1");
}

TEST_F(SqlQueryTest, GoToRowClamps)
{
    struct TCase {
        const char* what;
        int target;
        int row;
        bool eof;
        bool bof;
    };
    const TCase cases[] = {
        {"first row", 0, 0, false, true},
        {"middle row", 1, 1, false, false},
        {"last row", 2, 2, false, false},
        {"past the end clamps onto the last row", 3, 2, true, false},
        {"far past the end", 100, 2, true, false},
        {"before the start clamps onto row 0", -1, 0, false, true},
    };
    auto q = RunQuery("select A from T");
    ASSERT_TRUE(q);
    for (const TCase& c : cases) {
        q->GoToRow(c.target);
        EXPECT_EQ(q->CurrentRow(), c.row) << c.what;
        EXPECT_EQ(q->Eof(), c.eof) << c.what;
        EXPECT_EQ(q->Bof(), c.bof) << c.what;
    }
    q->GoToRow(1);
    q->Prev();
    q->Prev();
    EXPECT_EQ(q->CurrentRow(), 0);
    EXPECT_TRUE(q->Bof());
}

TEST_F(SqlQueryTest, EmptyResultGivesDefaultsAndBothEnds)
{
    auto q = RunQuery("select A, B from T where A='none'");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->RowCount(), 0);
    EXPECT_EQ(q->ColCount(), 0);
    EXPECT_EQ(q->FieldByName("A", "def"), "def");
    EXPECT_EQ(q->Field(0), "");
    q->First();
    EXPECT_TRUE(q->Eof());
    EXPECT_TRUE(q->Bof());
    EXPECT_EQ(q->CurrentRow(), 0);
}

TEST_F(SqlQueryTest, FieldByNameDefaultOnlyForAMissingColumn)
{
    auto q = RunQuery("select A, B as OPT_VAL from T order by A");
    ASSERT_TRUE(q);
    q->GoToRow(0);
    EXPECT_EQ(q->FieldByName("opt_val", "d"), "b1");
    EXPECT_EQ(q->FieldByName("  OPT_VAL\t", "d"), "b1");
    EXPECT_EQ(q->FieldByName("nothing", "d"), "d");
    q->GoToRow(1);
    EXPECT_EQ(q->FieldByName("OPT_VAL", "d"), "") << "NULL is the empty text";
    q->GoToRow(2);
    EXPECT_EQ(q->FieldByName("OPT_VAL", "d"), "") << "an empty value is not the default";
    EXPECT_EQ(q->ColumnIndex("a"), 0);
    EXPECT_EQ(q->ColumnName(1), "OPT_VAL");
    EXPECT_EQ(q->ColumnName(2), "");
    EXPECT_EQ(q->Field(5), "");
}

TEST_F(SqlQueryTest, CyrillicColumnNamesCompareExactly)
{
    auto q = RunQuery("select A as \"Имя\" from T limit 1");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->ColumnIndex("Имя"), 0);
    EXPECT_EQ(q->ColumnIndex("ИМЯ"), -1) << "only Latin letters are compared without case";
}

TEST_F(SqlQueryTest, SecondExecAppendsRowsAndKeepsTheFirstColumnNames)
{
    auto q = TSqlQuery::Create(DbPath(), true);
    ASSERT_TRUE(q);
    ASSERT_TRUE(q->Exec("select A as FIRST from T where A='a1'"));
    ASSERT_TRUE(q->Exec("select B as SECOND from T where A='a1'"));
    EXPECT_EQ(q->RowCount(), 2);
    EXPECT_EQ(q->ColumnName(0), "FIRST");
    EXPECT_EQ(q->ColumnIndex("SECOND"), -1);
    q->GoToRow(1);
    EXPECT_EQ(q->Field(0), "b1");
}

TEST_F(SqlQueryTest, ValuesOfEveryLengthComeBackWhole)
{
    // Around the lengths where a stored value's length takes one, two and three bytes, in two
    // rows, with a Cyrillic value and a NULL between them.
    const int lengths[] = {0, 1, 127, 128, 16383, 16384, 100000};
    std::string row;
    for (const int n : lengths)
        row += "replace(hex(zeroblob(" + std::to_string(n) + ")), '00', 'x'), ";
    row += "replace(hex(zeroblob(100)), '00', 'ж'), NULL, 'end'";
    auto q = RunQuery("select " + row + " union all select " + row);
    ASSERT_TRUE(q);
    ASSERT_EQ(q->RowCount(), 2);
    for (int r = 0; r < 2; ++r) {
        q->GoToRow(r);
        for (std::size_t c = 0; c < std::size(lengths); ++c)
            EXPECT_EQ(q->FieldView(static_cast<int>(c)), std::string(lengths[c], 'x')) << c;
        std::string cyrillic;
        for (int k = 0; k < 100; ++k)
            cyrillic += "ж";
        EXPECT_EQ(q->FieldView(7), cyrillic);
        EXPECT_EQ(q->FieldView(8), "");
        EXPECT_EQ(q->FieldView(9), "end");
        EXPECT_EQ(q->FieldView(10), "") << "no such column";
    }
    EXPECT_EQ(q->LastRowValue(9), "end");
}

TEST_F(SqlQueryTest, ReleasedRowsReadEmptyAndLaterRowsStayWhole)
{
    // Rows of a kilobyte of Cyrillic text each, over several of the query's chunks.
    test::Exec("create table BIG (N, S)");
    test::Exec("with recursive k(n) as (select 0 union all select n + 1 from k where n < 4999) "
               "insert into BIG select n, n || ' ' || replace(hex(zeroblob(500)), '00', 'Ж') "
               "from k");
    auto q = RunQuery("select N, S from BIG order by N");
    ASSERT_TRUE(q);
    ASSERT_EQ(q->RowCount(), 5000);
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        q->ReleaseRowsBeforeCurrent();
        ASSERT_EQ(q->FieldView(0), std::to_string(r));
        ASSERT_EQ(q->FieldView(1).size(), std::to_string(r).size() + 1 + 1000) << r;
    }
    q->GoToRow(0);
    EXPECT_EQ(q->FieldView(1), "") << "released long ago";
    EXPECT_EQ(q->ColumnName(0), "");
    q->GoToRow(4999);
    EXPECT_EQ(q->FieldView(0), "4999");
}

TEST_F(SqlQueryTest, FailedStatementInATransactionStopsThereWithSqlitesMessage)
{
    folder.ui.Clear();
    auto q = TSqlQuery::Create(DbPath(), true);
    ASSERT_TRUE(q);
    EXPECT_FALSE(q->Exec("begin; insert into T values ('x', 'y'); insert into NOPE values (1);"
                         " insert into T values ('z', 'z'); commit;"));
    ASSERT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_EQ(folder.ui.shown[0].text, "no such table: NOPE");
    EXPECT_EQ(folder.ui.shown[0].icon, TIcon::None);
    q.reset(); // closing rolls the open transaction back
    EXPECT_EQ(test::Value("select count(*) from T"), "3");
}

TEST_F(SqlQueryTest, RunQueryFailureReportsAndReturnsNothing)
{
    folder.ui.Clear();
    EXPECT_FALSE(RunQuery("select NOPE from T"));
    EXPECT_FALSE(RunStatement("selec 1"));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"no such column: NOPE", "near \"selec\": syntax error"}));
    EXPECT_TRUE(RunStatement("select 1"));
}

TEST_F(SqlQueryTest, RowsHandedOverOneByOneInTheDatabasesBytes)
{
    test::Exec("insert into T values ('Жук', NULL)");
    auto q = TSqlQuery::Create(DbPath(), true);
    ASSERT_TRUE(q);
    std::vector<std::string> seen;
    ASSERT_TRUE(
        q->ForEachRow("select A, B as \" Second \" from T order by A", [&](const TRowView& row) {
            seen.push_back(std::string(row.Value(row.ColumnIndex("a"))) + "|"
                + std::string(row.Value(row.ColumnIndex("second"))) + "|"
                + std::string(row.Value(2)) + "|" + std::to_string(row.ColumnIndex("C")));
        }));
    EXPECT_EQ(seen,
        (std::vector<std::string> {
            "a1|b1||-1", "a2|||-1", "a3|||-1", Utf8ToCp1251("Жук") + "|||-1"}))
        << "NULL and no such column read empty; the names as Exec compares them";
    EXPECT_EQ(q->RowCount(), 0) << "no rows kept";

    // A failure is shown as Exec shows it; an exception of the caller's comes out untold, and
    // the connection serves on.
    folder.ui.Clear();
    EXPECT_FALSE(q->ForEachRow("select NOPE from T", [](const TRowView&) {}));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"no such column: NOPE"});
    int calls = 0;
    EXPECT_THROW(q->ForEachRow("select A from T",
                     [&calls](const TRowView&) {
                         ++calls;
                         throw std::runtime_error("full");
                     }),
        std::runtime_error);
    EXPECT_EQ(calls, 1) << "SQLite stops at the first throw";
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"no such column: NOPE"});
    EXPECT_TRUE(q->ForEachRow("select A from T", [&calls](const TRowView&) { ++calls; }));
    EXPECT_EQ(calls, 5);
}

TEST_F(SqlQueryTest, CyrillicIsStoredAsWindows1251AndReadsBack)
{
    test::Exec("insert into T values ('Иванов ёЁ', 'O''Нил \"x\"')");
    EXPECT_EQ(test::Value("select hex(A) from T where B like 'O''%'"), "C8E2E0EDEEE220B8A8");
    EXPECT_EQ(test::Value("select A from T where A like 'Ив%'"), "Иванов ёЁ");
    EXPECT_EQ(test::Value("select B from T where A = 'Иванов ёЁ'"), "O'Нил \"x\"");
    EXPECT_EQ(test::Value("select length(A) from T where A = 'Иванов ёЁ'"), "9")
        << "one byte per letter";
}

TEST(SqlQueryOpen, EmptyPathSetsTheLastError)
{
    TSqlQuery q("");
    EXPECT_FALSE(q.Open());
    EXPECT_EQ(q.LastError(), "Не указан путь к БД");
    EXPECT_FALSE(q.Connected());
}

TEST(SqlQueryOpen, MissingFileIsCreatedEmpty)
{
    TProgramFolder folder;
    const auto path = folder.Path() / "new.sdb";
    auto q = TSqlQuery::Create(path, true);
    ASSERT_TRUE(q);
    EXPECT_TRUE(q->Connected());
    EXPECT_TRUE(q->Exec("create table X (A)"));
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(SqlQueryOpen, UnreachableFolderSaysTheDatabaseIsNotFound)
{
    TProgramFolder folder;
    EXPECT_FALSE(TSqlQuery::Create(folder.Path() / "missing" / "base.sdb", true));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"База данных не найдена."});
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));
}

TEST(SqlQueryOpen, LockedDatabaseSaysSoInRussian)
{
    TProgramFolder folder;
    ASSERT_TRUE(InitDatabaseLocation(folder.Path()));
    test::Exec("create table T (A)");
    auto holder = TSqlQuery::Create(DbPath(), true);
    ASSERT_TRUE(holder->Exec("begin exclusive; insert into T values (1);"));
    folder.ui.Clear();
    EXPECT_FALSE(RunStatement("insert into T values (2)"));
    ASSERT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_EQ(folder.ui.shown[0].text,
        "База данных занята другой программой. Повторите позже.\r\ndatabase is locked");
    ASSERT_TRUE(holder->Exec("commit;"));
    holder.reset();
    EXPECT_EQ(test::Value("select count(*) from T"), "1");
}

TEST(DatabaseLocation, DataFolderIsMadeAndNewnessRecorded)
{
    TProgramFolder folder;
    ASSERT_TRUE(InitDatabaseLocation(folder.Path()));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path() / "data"));
    EXPECT_EQ(DbPath(), folder.Db());
    EXPECT_TRUE(IsNewDatabase());
    EXPECT_FALSE(std::filesystem::exists(folder.Db())) << "fixing the place creates no file";
    ASSERT_TRUE(RunStatement("create table T (A)"));
    ASSERT_TRUE(InitDatabaseLocation(folder.Path()));
    EXPECT_FALSE(IsNewDatabase());
}

TEST(DatabaseLocation, DataFolderThatCannotBeMadeIsReportedInRussian)
{
    TProgramFolder folder;
    test::WriteFile(folder.Path() / "data", "a file where the folder should be");
    EXPECT_FALSE(InitDatabaseLocation(folder.Path()));
    EXPECT_EQ(test::ReadFile(folder.Path() / "data"), "a file where the folder should be");
    ASSERT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_EQ(folder.ui.shown[0].text.rfind("Не удалось создать папку данных:", 0), 0u);
}

} // namespace
} // namespace vendrix
