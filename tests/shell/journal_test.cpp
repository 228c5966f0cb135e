// The journal: cells of each row, the period filter and deletion of whole documents.
#include "documents/document.h"
#include "shell/journal.h"
#include "storage/options.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

using test::Day;

using JournalTest = test::StartedFolderTest;

TEST_F(JournalTest, RowsInStorageOrderWithTheirCells)
{
    test::Exec("insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, ORD_SUMM, "
               "REC_TIME) values "
               "(' B ', '2009-10-25', 2, ' Петров ', 0, 1000, '2009-10-20'),"
               "('A', '25.10.2009', 'x', 'Иванов', 12.34, 'abc', '2009-10-21'),"
               "('C', '', 4, 'Сидоров', '1,25', 0.005, '2009-10-22'),"
               "('D', '2009-10-25 extra', 7, '', -1, -2.5, '2009-10-23')");
    TJournal j;
    LoadJournal(j, 0, 0);
    ASSERT_EQ(j.rows.size(), 4u);
    EXPECT_EQ(j.keys, (std::vector<std::string> {"B", "A", "C", "D"}));
    struct TExpected {
        int image;
        const char* state;
        const char* date;
        const char* client;
        const char* quantity;
        const char* sum;
    };
    const TExpected expected[] = {
        {2, "  B", "25.10", "Петров", "", "1000.00"},
        {0, "  A", "???", "Иванов", "12.3", ""},
        {4, "  C", "???", "Сидоров", "1.3", "0.01"},
        {7, "  D", "25.10", "", "-1.0", "-2.50"},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const TJournalRow& r = j.rows[i];
        const TExpected& e = expected[i];
        EXPECT_EQ(r.image, e.image) << i;
        EXPECT_EQ(r.stateCell, e.state) << i;
        EXPECT_EQ(r.date, e.date) << i;
        EXPECT_EQ(r.client, e.client) << i;
        EXPECT_EQ(r.quantity, e.quantity) << i;
        EXPECT_EQ(r.sum, e.sum) << i;
    }

    SetOption("UseSUMS", "0");
    LoadJournal(j, 0, 0);
    EXPECT_FALSE(j.showSums);
    EXPECT_EQ(j.rows[0].sum, "");
}

TEST_F(JournalTest, PeriodFilterEdges)
{
    test::Exec("insert into DOC_HEADS (GUID, REC_TIME) values ('d19', '2009-10-19'),"
               "('d20', '2009-10-20'), ('d25', '2009-10-25'), ('d26', '2009-10-26'),"
               "('none', NULL)");
    struct TCase {
        const char* what;
        TDate start, end;
        std::vector<std::string> keys;
    };
    const TCase cases[] = {
        {"no period lists everything", 0, 0, {"d19", "d20", "d25", "d26", "none"}},
        {"one day uses =", Day(2009, 10, 25), Day(2009, 10, 25), {"d25"}},
        {"bounds are inclusive", Day(2009, 10, 20), Day(2009, 10, 25), {"d20", "d25"}},
        {"an empty period", Day(2010, 1, 1), Day(2010, 1, 31), {}},
    };
    for (const TCase& c : cases) {
        TJournal j;
        LoadJournal(j, c.start, c.end);
        EXPECT_EQ(j.keys, c.keys) << c.what;
        EXPECT_EQ(j.rows.size(), c.keys.size()) << c.what;
    }
    EXPECT_EQ(
        JournalFilter(Day(2009, 10, 25), Day(2009, 10, 25)), " where (REC_TIME=\"2009-10-25\")");
    EXPECT_EQ(JournalFilter(Day(2009, 10, 20), Day(2009, 10, 25)),
        " where (REC_TIME BETWEEN \"2009-10-20\" and \"2009-10-25\")");
}

TEST_F(JournalTest, QueryFailureLeavesTheJournalEmpty)
{
    test::Exec("insert into DOC_HEADS (GUID) values ('A')");
    TJournal j;
    LoadJournal(j, 0, 0);
    ASSERT_EQ(j.rows.size(), 1u);
    test::Exec("alter table DOC_HEADS rename to GONE");
    LoadJournal(j, 0, 0);
    EXPECT_TRUE(j.rows.empty());
    EXPECT_TRUE(j.keys.empty());
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "no such table: DOC_HEADS", "Ошибка при выполнении запроса (список документов)."}));
}

TEST_F(JournalTest, DeleteRemovesTheDocumentWithAllItsLines)
{
    for (const char* g : {"KEEP", "GONE"}) {
        const std::string guid = g;
        test::Exec("insert into DOC_HEADS (GUID) values ('" + guid
            + "');"
              "insert into DOC_ORDERS (DOC_ID) values ('"
            + guid + "'), ('" + guid
            + "');"
              "insert into DOC_SKUS (DOC_ID) values ('"
            + guid
            + "');"
              "insert into DOC_COMPETS (DOC_ID) values ('"
            + guid + "')");
    }
    DeleteDocument("GONE");
    for (const char* table : {"DOC_HEADS", "DOC_ORDERS", "DOC_SKUS", "DOC_COMPETS"}) {
        const std::string key = std::string(table) == "DOC_HEADS" ? "GUID" : "DOC_ID";
        EXPECT_EQ(
            test::Value("select count(*) from " + std::string(table) + " where " + key + "='GONE'"),
            "0")
            << table;
        EXPECT_NE(
            test::Value("select count(*) from " + std::string(table) + " where " + key + "='KEEP'"),
            "0")
            << table;
    }
    DeleteDocument("NO-SUCH");
    DeleteDocument("GUID"); // a key that names a column must not match every row
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "1");
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(JournalTest, DeleteGoesOnPastAFailingTable)
{
    test::Exec("insert into DOC_HEADS (GUID) values ('X'); insert into DOC_COMPETS (DOC_ID) "
               "values ('X'); drop table DOC_ORDERS");
    DeleteDocument("X");
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"no such table: DOC_ORDERS"});
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");
    EXPECT_EQ(test::Value("select count(*) from DOC_COMPETS"), "0");
}

} // namespace
} // namespace vendrix
