// Schema creation on a new database, the upgrade chain of older databases, and the starts that
// must fail without harming the file.
#include "documents/reference_lists.h"
#include "shell/startup.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/schema.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

using test::TProgramFolder;

// Column names of a table, in order.
std::vector<std::string> Columns(const std::string& table)
{
    return test::Column("select name from pragma_table_info('" + table + "') order by cid");
}

// Builds an old database in the folder's data/base.sdb with the given statements.
void MakeOldDatabase(TProgramFolder& folder, const std::string& sql)
{
    ASSERT_TRUE(InitDatabaseLocation(folder.Path()));
    test::Exec(sql);
    folder.ui.Clear();
}

const char* kAllButClients
    = "create table SPR_GOODS  (GUID, ID , ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE, "
      "ED_IZM, CATEGORY, KOD);"
      "create table SPR_COMPETITORS (GUID, ID, IS_DELETED, ANAME, UNAME);"
      "create table SPR_GOOD_CAT (GUID, ID, IS_DELETED, ANAME, UNAME);"
      "create table DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, EXP_DATE, "
      "REC_TIME, CLI_GUID, CLI_NAME, TP_GUID, TP_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, SKU_LINES, "
      "PRC_LINES, STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z);"
      "create table DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE, SUMM);"
      "create table DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT, C_GUID, C_NAME);"
      "create table DOC_COMPETS (DOC_ID, ORDER_ID, CLI_GUID, CLI_NAME, G_GUID, G_NAME, PRICE);"
      "create table MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, IS_NEW);"
      "create table MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR);";

TEST(Schema, NewDatabaseGetsTenTablesAndTheDefaultsSilently)
{
    TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    EXPECT_TRUE(folder.ui.shown.empty());
    EXPECT_TRUE(IsNewDatabase());
    EXPECT_EQ(test::Column("select name from sqlite_master where type='table' order by rowid"),
        (std::vector<std::string> {"SPR_CLIENTS", "SPR_GOODS", "SPR_COMPETITORS", "SPR_GOOD_CAT",
            "DOC_HEADS", "DOC_ORDERS", "DOC_SKUS", "DOC_COMPETS", "MY_MESSAGES", "MY_OPTIONS"}));
    EXPECT_EQ(Columns("SPR_CLIENTS"),
        (std::vector<std::string> {"GUID", "ID", "ROOTID", "IS_FOLDER", "IS_DELETED", "ANAME",
            "UNAME", "INFO", "GPS_X", "GPS_Y", "GPS_Z", "KIND", "KOD", "CLI_GUID"}));
    EXPECT_EQ(Columns("DOC_HEADS").size(), 22u);
    EXPECT_EQ(Columns("DOC_HEADS")[10], "TP_GUID");
    EXPECT_EQ(Columns("DOC_SKUS"),
        (std::vector<std::string> {
            "DOC_ID", "ORDER_ID", "G_GUID", "G_NAME", "G_CNT", "C_GUID", "C_NAME"}));
    // The statements are stored exactly as written, odd blanks and all.
    EXPECT_EQ("create table"
            + test::Value("select substr(sql, 13) from sqlite_master where "
                          "name='SPR_GOODS'"),
        CreateTableStatement("SPR_GOODS"));

    const auto names = test::Column("select OPT_NAME from MY_OPTIONS order by rowid");
    ASSERT_EQ(names.size(), 33u);
    EXPECT_EQ(names.front(), "USEFTP");
    EXPECT_EQ(names[27], "UseSUMS");
    EXPECT_EQ(names.back(), "NOCOPY_PRICES");
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_DESCR is null"), "33");
    EXPECT_EQ(test::Value("select group_concat(OPT_VAL, '') from (select OPT_VAL from MY_OPTIONS "
                          "order by rowid)"),
        "000111111101110001000000111111111");
}

TEST(Schema, ClientsAreUpgradedOneStepPerStart)
{
    TProgramFolder folder;
    MakeOldDatabase(folder,
        std::string(kAllButClients)
            + "create table SPR_CLIENTS (GUID, ID , ROOTID, IS_FOLDER, "
              "IS_DELETED, ANAME, UNAME, GPS_X, GPS_Y, GPS_Z);"
              "insert into SPR_CLIENTS (GUID, ANAME, UNAME, IS_FOLDER) values "
              "('G1', 'Иванов', 'Иванов', 0);");
    struct TStart {
        std::vector<std::string> messages;
        std::string lastColumn;
    };
    const TStart starts[] = {
        {{"no such column: KIND"}, "KOD"},
        {{"no such column: CLI_GUID"}, "CLI_GUID"},
        {{"no such column: INFO"}, "INFO"},
        {{}, "INFO"},
    };
    int n = 0;
    for (const TStart& s : starts) {
        ++n;
        folder.ui.Clear();
        ASSERT_TRUE(folder.Start()) << "start " << n;
        EXPECT_EQ(folder.ui.Texts(), s.messages) << "start " << n;
        EXPECT_EQ(Columns("SPR_CLIENTS").back(), s.lastColumn) << "start " << n;
        ASSERT_EQ(ClientList().size(), 1u) << "the list works without the missing columns";
        EXPECT_EQ(ClientList()[0].ANAME(), "Иванов");
    }
    EXPECT_EQ(Columns("SPR_CLIENTS").size(), 14u);
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS"), "0") << "not a new database";
}

TEST(Schema, MissingTableIsCreatedAloneWithoutDefaults)
{
    TProgramFolder folder;
    std::string sql = kAllButClients;
    sql.replace(sql.find("create table MY_MESSAGES"),
        std::string("create table MY_MESSAGES "
                    "(GUID, M_DATE, M_TYPE, S_TITLE, "
                    "S_BODY, IS_NEW);")
            .size(),
        "");
    MakeOldDatabase(folder,
        sql
            + "create table SPR_CLIENTS (GUID, ID , ROOTID, IS_FOLDER, "
              "IS_DELETED, ANAME, UNAME, INFO, GPS_X, GPS_Y, GPS_Z, KIND, KOD, "
              "CLI_GUID);");
    ASSERT_TRUE(folder.Start());
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"no such table: MY_MESSAGES"});
    EXPECT_EQ(Columns("MY_MESSAGES").size(), 6u);
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS"), "0");
}

TEST(Schema, SkuLinesGetBothColumnsOrTheStartFails)
{
    struct TCase {
        const char* what;
        const char* skus;
        bool starts;
    };
    const TCase cases[] = {
        {"both missing are added together",
            "create table DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT);", true},
        {"one present makes the whole transaction fail",
            "create table DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT, C_GUID);", false},
    };
    for (const TCase& c : cases) {
        TProgramFolder folder;
        std::string sql = kAllButClients;
        const std::string full
            = "create table DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT, C_GUID, C_NAME);";
        sql.replace(sql.find(full), full.size(), c.skus);
        MakeOldDatabase(folder,
            sql
                + "create table SPR_CLIENTS (GUID, ID , ROOTID, IS_FOLDER, "
                  "IS_DELETED, ANAME, UNAME, INFO, GPS_X, GPS_Y, GPS_Z, KIND, "
                  "KOD, CLI_GUID);");
        EXPECT_EQ(folder.Start(), c.starts) << c.what;
        EXPECT_EQ(Columns("DOC_SKUS").size(), c.starts ? 7u : 6u) << c.what;
        // Later tables are not touched after the failure.
        EXPECT_EQ(folder.ui.shown.size(), c.starts ? 1u : 2u) << c.what;
    }
}

TEST(Schema, FileThatIsNotADatabaseFailsTheStartAndStaysAsItWas)
{
    TProgramFolder folder;
    std::filesystem::create_directory(folder.Path() / "data");
    std::string junk = "This is a text file, not a database.\r\n";
    for (int i = 0; i < 200; ++i)
        junk += "строка " + std::to_string(i) + "\r\n";
    test::WriteFile(folder.Db(), junk);
    EXPECT_FALSE(folder.Start());
    EXPECT_FALSE(IsNewDatabase());
    ASSERT_EQ(folder.ui.shown.size(), 2u) << "the probe's message, then the create's";
    EXPECT_NE(folder.ui.shown[0].text.find("file is not a database"), std::string::npos);
    EXPECT_EQ(test::ReadFile(folder.Db()), junk);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path() / "data"),
                  std::filesystem::directory_iterator()),
        1);
}

TEST(Schema, TableHasProbesOnlyAnExistingDatabase)
{
    TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    auto q = TSqlQuery::Create(DbPath(), true);
    ASSERT_TRUE(q);
    EXPECT_FALSE(TableHas(*q, "DOC_HEADS", "*")) << "a new database answers false untouched";
    ASSERT_TRUE(folder.Start());
    ASSERT_FALSE(IsNewDatabase());
    folder.ui.Clear();
    EXPECT_TRUE(TableHas(*q, "DOC_HEADS", "*"));
    EXPECT_TRUE(TableHas(*q, "DOC_HEADS", "TP_GUID, TP_NAME"));
    EXPECT_FALSE(TableHas(*q, "DOC_HEADS", "NOPE"));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"no such column: NOPE"});
}

} // namespace
} // namespace vendrix
