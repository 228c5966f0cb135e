// The options store: case rules of names, trimming of values, defaults, writing, and the
// device identifier.
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

#include <regex>

namespace vendrix {
namespace {

using OptionsTest = test::StartedFolderTest;

TEST_F(OptionsTest, ReadingRules)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('SPACED', ' 1 ');"
               "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('BLANK', '   ');"
               "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('EMPTY', '');"
               "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('NULLED', NULL);"
               "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Имя', 'кириллица');");
    struct TCase {
        const char* what;
        const char* name;
        const char* def;
        const char* value;
    };
    const TCase cases[] = {
        {"lower case finds the upper-case row", "x_is_close", "?", "0"},
        {"mixed case finds it too", "UseSums", "?", "1"},
        {"no row gives the default untrimmed", "NO_SUCH", " d ", " d "},
        {"value is trimmed", "SPACED", "?", "1"},
        {"blank value gives the default", "BLANK", "d", "d"},
        {"empty value gives the default", "EMPTY", "d", "d"},
        {"NULL value gives the default", "NULLED", "d", "d"},
        {"Cyrillic names compare exactly", "Имя", "d", "кириллица"},
        {"a quote in a name cannot break the query", "it's", "d", "d"},
        {"a column name is still just a name", "OPT_VAL", "d", "d"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(GetOption(nullptr, c.name, c.def), c.value) << c.what;
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(OptionsTest, WritingReplacesRowsOfTheExactName)
{
    SetOption("AgentName", "Петров");
    SetOption("AgentName", "Сидоров");
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_NAME='AgentName'"), "1");
    EXPECT_EQ(GetOption(nullptr, "AGENTNAME"), "Сидоров");
    EXPECT_EQ(
        test::Value("select OPT_DESCR is null from MY_OPTIONS where OPT_NAME='AgentName'"), "1");

    // Another letter case adds a second row; the older row still wins the read.
    SetOption("UseZip", "1");
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where upper(OPT_NAME)='USEZIP'"), "2");
    EXPECT_EQ(GetOption(nullptr, "UseZip"), "0");
}

TEST_F(OptionsTest, ApostrophesAreStoredExactlyAndCannotExtendTheStatement)
{
    SetOption("AgentName", "O'Neil ");
    EXPECT_EQ(test::Value("select OPT_VAL from MY_OPTIONS where OPT_NAME='AgentName'"), "O'Neil ");
    SetOption("X", "'); delete from MY_OPTIONS; --");
    EXPECT_EQ(GetOption(nullptr, "X"), "'); delete from MY_OPTIONS; --");
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS"), "35");
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(OptionsTest, ReadOnACallersBusyConnectionTakesItsOwnRow)
{
    auto q = TSqlQuery::Create(DbPath(), true);
    ASSERT_TRUE(q->Exec("select OPT_NAME, OPT_VAL, OPT_DESCR from MY_OPTIONS"));
    EXPECT_EQ(GetOption(q.get(), "FTPAUTO", "?"), "1");
    EXPECT_EQ(GetOption(q.get(), "NO_SUCH", "?"), "?");
    EXPECT_EQ(GetOption(q.get(), "USEFTP", "?"), "0");
}

TEST_F(OptionsTest, FailingReadGivesTheDefaultAfterTheMessage)
{
    test::Exec("drop table MY_OPTIONS");
    EXPECT_EQ(GetOption(nullptr, "USEFTP", "d"), "d");
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"no such table: MY_OPTIONS"});
}

TEST_F(OptionsTest, DeviceIdentifierIsStableAndNeverReadFromTheTable)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('PDA_ID', 'stored')");
    const std::string id = GetOption(nullptr, "PDA_ID");
    EXPECT_EQ(GetOption(nullptr, " pda_id\t"), id);
    EXPECT_EQ(DeviceIdentifier(), id);
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{4}(-[0-9A-F]{4}){9}"))) << id;
    EXPECT_EQ(id.size(), 49u);
    test::Exec("drop table MY_OPTIONS");
    EXPECT_EQ(GetOption(nullptr, "PDA_ID"), id);
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST(OptionsScript, DefaultsAreOneTransactionJoinedByCrLf)
{
    const std::string script = DefaultOptionsScript();
    EXPECT_EQ(script.rfind("BEGIN;\r\ninsert into MY_OPTIONS (OPT_NAME, OPT_VAL) values "
                           "('USEFTP', '0');\r\n",
                  0),
        0u);
    EXPECT_NE(script.find("\r\ninsert into MY_OPTIONS (OPT_NAME, OPT_VAL) values "
                          "('NOCOPY_PRICES', '1');\r\nCOMMIT;"),
        std::string::npos);
}

} // namespace
} // namespace vendrix
