// The office's import script: reading rules, headers, every kind of body line, placeholders,
// deletions, office messages, the bulk script, the ZIP path and the failures; and the batching
// that must keep each statement's effect as if it had run alone.
#include "documents/reference_lists.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "exchange/script_reader.h"
#include "exchange/script_template.h"
#include "exchange/statement_runner.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/statement_guard.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

const std::string kV2 = test::AnswerHeader(test::TAnswerVersion::V2);
const std::string kV3 = test::AnswerHeader(test::TAnswerVersion::V3);

class ImportTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        dir = folder.Path() / "in";
        fs::create_directories(dir);
        test::Exec("create table T (A, B, C)");
    }

    // Writes the script (UTF-8 lines joined by CR LF, stored as windows-1251) and imports it.
    bool Run(const std::vector<std::string>& lines, const std::string& join = "\r\n")
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + join;
        test::WriteFile(dir / "ToPDA.sqd", Utf8ToCp1251(text));
        return Import(log, dir.string(), false);
    }

    std::vector<std::string> Rows()
    {
        return test::Column(
            "select A || '|' || ifnull(B, '') || '|' || ifnull(C, '') from T order by rowid");
    }

    fs::path dir;
    TExchangeLog log;
};

TEST_F(ImportTest, HeaderCases)
{
    struct TCase {
        const char* what;
        std::string header;
        bool runs;
    };
    const TCase cases[] = {
        {"version 2.1", "Z_AGENT RESPONSE 0002-0000-0000-0001", true},
        {"version 2.2", kV2, true},
        {"version 3", kV3, true},
        {"trailing blanks and tabs", kV2 + "  \t", true},
        {"lower case", "z_agent response 0002-0000-0000-0002", false},
        {"another version", "Z_AGENT RESPONSE 0002-0000-0000-0003", false},
        {"nothing", "", false},
    };
    for (const TCase& c : cases) {
        folder.ui.Clear();
        EXPECT_EQ(Run({c.header, "<EXEC \"insert into T (A) values ('x')\">"}), c.runs) << c.what;
        EXPECT_EQ(folder.ui.Texts().size(), c.runs ? 0u : 1u) << c.what;
        if (!c.runs) {
            EXPECT_EQ(folder.ui.Texts()[0], "Файл несовместимого формата.") << c.what;
        }
    }
    EXPECT_EQ(test::Value("select count(*) from T"), "4");
}

TEST_F(ImportTest, LineEndingRules)
{
    // LF alone ends no line: the whole file is one line and the header fails.
    EXPECT_FALSE(Run({kV2, "<EXEC \"insert into T (A) values (1)\">"}, "\n"));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Файл несовместимого формата."});
    // CR alone and CR LF both end lines; a NUL ends the text.
    test::WriteFile(dir / "ToPDA.sqd",
        kV2
            + "\r<EXEC \"insert into T (A) values (1)\">\r\n"
              "<EXEC \"insert into T (A) values (2)\">"
            + std::string(1, '\0') + "\r<EXEC \"insert into T (A) values (3)\">\r");
    EXPECT_TRUE(Import(log, dir.string(), false));
    EXPECT_EQ(test::Column("select A from T"), (std::vector<std::string> {"1", "2"}));
    EXPECT_EQ(TScriptReader::CountLines((dir / "ToPDA.sqd").string()), 3u);
}

TEST_F(ImportTest, TemplatesAndDataLines)
{
    ASSERT_TRUE(Run({
        kV2,
        "ignored\tbefore\tany template",
        "// a comment",
        "",
        "<repeat \"insert into T (A, B, C) values ('%1', '%UPPER(%1)', '%2')\">",
        "ab\t\tКириллица",
        "</REPEAT>",
        "cd\tef",
        "</*>",
        "<gh\tij>",
        "only",
        "<REPEAT \"insert into T (A, B, C) values ('%1%2%3%4%5%6%7%8%9', '%10', '%9')\">",
        "1\t2\t3\t4\t5\t6\t7\t8\t9",
    }));
    EXPECT_EQ(Rows(),
        (std::vector<std::string> {
            "ab|AB|Кириллица",
            "cd|CD|ef",
            "<GH|<GH|IJ>", // a line starting with "<" is upper-cased first
            "only|ONLY|%2", // a placeholder with no field stays
            "123456789|10|9",
        }));
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(ImportTest, FillTemplateNeverRescansInsertedText)
{
    EXPECT_EQ(FillTemplate("%1-%2", {"%2", "x"}), "%2-x");
    EXPECT_EQ(FillTemplate("%UPPER(%1)/%1", {"ab"}), "AB/ab");
    EXPECT_EQ(FillTemplate("%UPPER(%2)", {"a", "%UPPER(%2)"}), "%UPPER(%2)");
    EXPECT_EQ(FillTemplate("%12", {"a", "b"}), "a2");
    EXPECT_EQ(FillTemplate("%UPPER(%12)", std::vector<std::string>(12, "f")), "%UPPER(f2)");
    EXPECT_EQ(FillTemplate("100%", {"a"}), "100%");
    EXPECT_EQ(FillTemplate("", {"a"}), "");
    EXPECT_EQ(SplitFields("a\t\tb"), (std::vector<std::string> {"a", "b"}));
    EXPECT_EQ(SplitFields(" a \t b \t"), (std::vector<std::string> {"a", "b"}));
}

TEST_F(ImportTest, CommandArguments)
{
    EXPECT_EQ(CommandArgument("<EXEC \"select 1\">", 5), "select 1");
    EXPECT_EQ(CommandArgument("<EXEC \"a \"b\" c\" >", 5), "a \"b\" c");
    EXPECT_EQ(CommandArgument("<EXEC \"unclosed>", 5), "");
    EXPECT_EQ(CommandArgument("<EXEC bare>", 5), "bare>");
    EXPECT_EQ(CommandArgument("<DEL", 4), "");
}

TEST_F(ImportTest, ExecIsUpperCasedButCyrillicStays)
{
    ASSERT_TRUE(Run({kV2, "<exec \"insert into T (A, B) values ('abc', 'Жук ё')\">"}));
    EXPECT_EQ(Rows(), std::vector<std::string> {"ABC|Жук ё|"});
}

TEST_F(ImportTest, DeletionOrdersAndOfficeMessagesComeAfterTheStatements)
{
    test::Exec("insert into DOC_HEADS (GUID, REC_TIME, DOC_STATE) values "
               "('old2', '2009-01-01', 2), ('old1', '2009-01-01', 1), ('new2', '2009-12-01', 2);"
               "insert into DOC_ORDERS (DOC_ID) values ('old2'), ('old1')");
    ASSERT_TRUE(Run({
        kV2,
        "<SHOWMSGWND \"Первое сообщение\">",
        "<DEL \"01.01.2000\">",
        "<DEL \"01.06.2009\">",
        "<showmsgwnd \"Второе\">",
        "<EXEC \"insert into T (A) values (1)\">",
        "<SHOWMSGWND \"  Третье  \">",
        "<DELETE \"ignored as data\">",
    }));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "Поступила команда удалить старые документы до 01.06.2009.\r\nУдалено документов 1",
            "Сообщение из офиса: [1 / 3]\r\nПервое сообщение",
            "Сообщение из офиса: [2 / 3]\r\nВторое",
            "Сообщение из офиса: [3 / 3]\r\nТретье",
        }));
    EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Information);
    EXPECT_EQ(test::Column("select GUID from DOC_HEADS order by rowid"),
        (std::vector<std::string> {"old1", "new2"}));
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "1");
    EXPECT_EQ(test::Value("select count(*) from T"), "1");

    folder.ui.Clear();
    ASSERT_TRUE(Run({kV2, "<DELALL \"01.01.2001\">", "<DELALL \"01.07.2009\">"}));
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Поступила команда удалить все документы до 01.07.2009.\r\n"
                                  "Удалено документов 1"});
    folder.ui.Clear();
    ASSERT_TRUE(Run({kV2, "<DEL \"01.01.2001\">", "<DEL \"not a date\">", "<DELALL \"\">"}));
    EXPECT_TRUE(folder.ui.shown.empty()) << "nothing deleted, nothing said";
}

TEST_F(ImportTest, FailingStatementStopsTheImportWithBothMessages)
{
    SetOption("LLD_Def", "before");
    ASSERT_FALSE(Run({
        kV2,
        "<SHOWMSGWND \"never shown\">",
        "<EXEC \"insert into T (A) values (1)\">",
        "<REPEAT \"insert into T (A) values ('%1')\">",
        "two",
        "<EXEC \"insert into NOPE values (1)\">",
        "three",
    }));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"no such table: NOPE", "INSERT INTO NOPE VALUES (1)"}));
    EXPECT_EQ(test::Column("select A from T"), (std::vector<std::string> {"1", "two"}));
    EXPECT_EQ(GetOption(nullptr, "LLD_Def"), "before");
    EXPECT_EQ(log.Text().find("Загрузка завершена."), std::string::npos);
}

TEST_F(ImportTest, SuccessRecordsTheLoadTimeAndReloadsTheLists)
{
    ASSERT_TRUE(Run({kV2,
        "<EXEC \"insert into SPR_CLIENTS (GUID, IS_FOLDER, ANAME, UNAME) "
        "values ('c', 0, 'Клиент', 'К')\">"}));
    ASSERT_EQ(ClientList().size(), 1u);
    EXPECT_EQ(ClientList()[0].ANAME(), "Клиент");
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_NAME='LLD_Def'"), "1");
    // The devices' regional form, whose hour has no leading zero.
    EXPECT_THAT(GetOption(nullptr, "LLD_Def"),
        testing::MatchesRegex("[0-9]{2}\\.[0-9]{2}\\.[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2}"));
    for (const char* step : {"Начата загрузка...", "Обработка...", "Загрузка завершена."})
        EXPECT_NE(log.Text().find(step), std::string::npos) << step;
}

TEST_F(ImportTest, BulkScriptOfVersionThree)
{
    test::WriteFile(dir / "ToPDA.sql",
        Utf8ToCp1251("insert into T (A) values ('Ж');\r\ninsert into T (A) values "
                     "('b');\n\rinsert into T (A) values ('c');\r"));
    ASSERT_TRUE(Run({kV2}));
    EXPECT_EQ(test::Value("select count(*) from T"), "0") << "version 2 ignores it";
    ASSERT_TRUE(Run({kV3}));
    EXPECT_EQ(test::Column("select A from T"), (std::vector<std::string> {"Ж", "b", "c"}));
    EXPECT_NE(log.Text().find("Загрузка справочников..."), std::string::npos);

    // A failing bulk script is reported and the import goes on.
    test::WriteFile(
        dir / "ToPDA.sql", "insert into T (A) values ('d'); insert into NOPE values (1);");
    folder.ui.Clear();
    ASSERT_TRUE(Run({kV3, "<SHOWMSGWND \"после\">"}));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"no such table: NOPE", "Сообщение из офиса: [1 / 1]\r\nпосле"}));
    EXPECT_EQ(test::Value("select count(*) from T where A='d'"), "1");
}

// The office's lines and statements are held up to the length limit and no further: a longer
// line is refused where it stands, unless it is a comment or blank, which is passed over unread.
TEST_F(ImportTest, LinesPastTheLengthLimit)
{
    const std::size_t limit = kOfficeLengthLimit;
    // An EXEC line of exactly `length` bytes.
    const auto exec = [](std::size_t length) {
        const std::string head = "<EXEC \"insert into T (A) values (length('";
        const std::string tail = "'))\">";
        return head + std::string(length - head.size() - tail.size(), 'x') + tail;
    };
    const std::string refused = "' длиннее 16 МБ; загрузка остановлена.";
    struct TCase {
        const char* what;
        std::vector<std::string> lines; // between the data lines "first" and "second"
        std::string refusal; // the message box, empty when the import succeeds
        std::vector<std::string> rows;
    };
    const TCase cases[] = {
        {"a comment past the limit", {"//" + std::string(limit, '-')}, "", {"first||", "second||"}},
        {"a blank line past the limit",
            {std::string(limit / 2 + 1, ' ') + std::string(limit / 2, '\t')}, "",
            {"first||", "second||"}},
        {"blanks past the limit, then a comment", {std::string(limit + 1, ' ') + "// x"}, "",
            {"first||", "second||"}},
        {"an EXEC line at the limit", {exec(limit)}, "",
            {"first||", std::to_string(limit - 46) + "||", "second||"}}, // 46 around the x's
        {"an EXEC line past the limit", {exec(limit + 1)}, "Строка 4 файла '", {"first||"}},
        {"a data line past the limit, after a message",
            {"<SHOWMSGWND \"m\">", std::string(limit + 1, 'd')}, "Строка 5 файла '", {"first||"}},
        {"a template filled past the limit",
            {"<REPEAT \"insert into T (A, B, C) values ('%1', '%1', '%UPPER(%1)')\">",
                std::string(limit / 3 + 1, 'f')},
            "Оператор из строки 5 файла '", {"first||"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::Exec("delete from T; delete from MY_OPTIONS where OPT_NAME='LLD_Def'");
        folder.ui.Clear();
        log.Clear();
        std::vector<std::string> lines
            = {kV2, "<REPEAT \"insert into T (A) values ('%1')\">", "first"};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        lines.insert(lines.end(), {"second", "<SHOWMSGWND \"после\">"});
        EXPECT_EQ(Run(lines), c.refusal.empty());
        if (c.refusal.empty()) {
            EXPECT_EQ(folder.ui.Texts(),
                std::vector<std::string> {"Сообщение из офиса: [1 / 1]\r\nпосле"});
        } else {
            EXPECT_EQ(folder.ui.Texts(),
                std::vector<std::string> {c.refusal + (dir / "ToPDA.sqd").string() + refused});
            EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Error);
            EXPECT_EQ(log.Text().find("Загрузка завершена."), std::string::npos);
        }
        EXPECT_EQ(Rows(), c.rows);
        EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_NAME='LLD_Def'"),
            c.refusal.empty() ? "1" : "0");
    }
}

TEST_F(ImportTest, BulkScriptRunsStatementByStatement)
{
    SetOption("LLD_Def", "before");
    test::WriteFile(dir / "ToPDA.sql",
        Utf8ToCp1251("\r\n  \t\r\n  insert into T (A) values ('a');\r\n"
                     "insert into T (A, B)\r\n values ('b',\r\n'две;\r\nстроки');\r\n"
                     "insert into T (A) values ('c'); insert into T (A) values ('d');\r\n"
                     "-- a comment; no statement\r\n"
                     "insert into T (A, B) values ('e', 'x;') /* ; */ ; -- done\r\n"
                     "insert into NOPE values (1);\r\n"
                     "insert into T (A) values ('never');\r\n"));
    ASSERT_TRUE(Run({kV3, "<SHOWMSGWND \"после\">"}));
    EXPECT_EQ(
        Rows(), (std::vector<std::string> {"a||", "b|две;\r\nстроки|", "c||", "d||", "e|x;|"}));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"no such table: NOPE", "Сообщение из офиса: [1 / 1]\r\nпосле"}));
    EXPECT_NE(GetOption(nullptr, "LLD_Def"), "before");

    // The last statement needs no semicolon; blanks after it mean nothing.
    test::Exec("delete from T");
    test::WriteFile(dir / "ToPDA.sql",
        "insert into T (A) values ('f');\r\ninsert into T (A)\r\n"
        "values ('g')  \r\n\t\r\n ");
    folder.ui.Clear();
    ASSERT_TRUE(Run({kV3}));
    EXPECT_EQ(Rows(), (std::vector<std::string> {"f||", "g||"}));
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(ImportTest, BulkScriptsOwnTransactions)
{
    test::WriteFile(dir / "ToPDA.sql",
        "begin;\r\ninsert into T (A) values (1);\r\ninsert into T (A) values (2);\r\ncommit;\r\n"
        "insert into T (A) values (3);\r\nBEGIN TRANSACTION;\r\ninsert into T (A) values (4);\r\n"
        "insert into NOPE values (1);\r\ninsert into T (A) values (5);\r\ncommit;\r\n");
    // The transaction the failing statement leaves open is closed as at the script's end, so
    // the load is still recorded.
    ASSERT_TRUE(Run({kV3, "<SHOWMSGWND \"после\">"}));
    EXPECT_EQ(test::Column("select A from T"), (std::vector<std::string> {"1", "2", "3", "4"}));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"no such table: NOPE", "Сообщение из офиса: [1 / 1]\r\nпосле"}));
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_NAME='LLD_Def'"), "1");
}

TEST_F(ImportTest, BulkScriptPastTheLengthLimit)
{
    const std::size_t limit = kOfficeLengthLimit;
    const std::string insertA = "insert into T (A) values ('a');\r\n";
    const std::string insertB = "\r\ninsert into T (A) values ('b');";
    const std::string half(limit / 2, 'x');
    const std::string measure = "insert into T (A) values (length('";
    struct TCase {
        const char* what;
        std::string middle; // between the inserts of 'a' and 'b'
        std::string refusal; // the message box, empty when all of it runs
        std::vector<std::string> rows;
    };
    const TCase cases[] = {
        {"a blank line past the limit between statements", std::string(limit + 1, ' '), "",
            {"a||", "b||"}},
        {"a statement at the limit",
            measure + std::string(limit - measure.size() - 4, 'x') + "'));", "",
            {"a||", std::to_string(limit - measure.size() - 4) + "||", "b||"}},
        {"a line past the limit", "insert into T (A) values ('" + std::string(limit, 'x') + "');",
            "Строка 2 файла '", {"a||"}},
        {"a statement of several lines past the limit",
            "\r\ninsert into T (A) values ('" + half + "\r\n" + half + "');",
            "Оператор со строки 3 файла '", {"a||"}},
        {"a statement with a blank line past the limit",
            "insert into T (A) values ('x'\r\n" + std::string(limit + 1, ' ') + "\r\n);",
            "Оператор со строки 2 файла '", {"a||"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::Exec("delete from T");
        folder.ui.Clear();
        test::WriteFile(dir / "ToPDA.sql", insertA + c.middle + insertB);
        ASSERT_TRUE(Run({kV3, "<SHOWMSGWND \"после\">"})) << "the import goes on";
        std::vector<std::string> texts;
        if (!c.refusal.empty())
            texts.push_back(c.refusal + (dir / "ToPDA.sql").string()
                + "' длиннее 16 МБ; остаток файла не выполнен.");
        texts.push_back("Сообщение из офиса: [1 / 1]\r\nпосле");
        EXPECT_EQ(folder.ui.Texts(), texts);
        EXPECT_EQ(Rows(), c.rows);
    }
}

// Only the first office messages are kept and shown; the rest are counted in one last box.
TEST_F(ImportTest, OfficeMessagesBeyondTheFirstAreCounted)
{
    std::vector<std::string> lines = {kV2};
    for (int i = 1; i <= 205; ++i)
        lines.push_back("<SHOWMSGWND \"m" + std::to_string(i) + "\">");
    ASSERT_TRUE(Run(lines));
    const std::vector<std::string> texts = folder.ui.Texts();
    ASSERT_EQ(texts.size(), 201u);
    EXPECT_EQ(texts[0], "Сообщение из офиса: [1 / 205]\r\nm1");
    EXPECT_EQ(texts[199], "Сообщение из офиса: [200 / 205]\r\nm200");
    EXPECT_EQ(texts[200], "Ещё сообщений из офиса, не показанных: 5.");

    // Long messages are kept while their texts stay within the limit together.
    const std::string big(kOfficeLengthLimit / 2 + 1, 'b');
    folder.ui.Clear();
    ASSERT_TRUE(Run({kV2, "<SHOWMSGWND \"" + big + "\">", "<SHOWMSGWND \"" + big + "\">",
        "<SHOWMSGWND \"small\">"}));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "Сообщение из офиса: [1 / 3]\r\n" + big, "Ещё сообщений из офиса, не показанных: 2."}));
}

TEST_F(ImportTest, MissingFilesAndFolders)
{
    EXPECT_FALSE(Import(log, "", false)) << "no folder picked";
    EXPECT_TRUE(log.Text().empty());
    EXPECT_TRUE(folder.ui.shown.empty());
    EXPECT_FALSE(Import(log, dir.string(), false));
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Файл '" + dir.string() + "/ToPDA.sqd' отсутствует!"});
    folder.ui.Clear();
    EXPECT_FALSE(Import(log, dir.string(), true));
    EXPECT_EQ(log.LastMessage(), "Файл не найден.");
    test::WriteFile(dir / "ToPDA.zip", "not an archive");
    EXPECT_FALSE(Import(log, dir.string(), true));
    EXPECT_EQ(log.LastMessage(), "Не удалось распаковать архив.");
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(ImportTest, ZipPathExtractsBothScripts)
{
    const fs::path src = folder.Path() / "src";
    fs::create_directories(src);
    test::WriteFile(src / "ToPDA.sqd", kV3 + "\r\n<EXEC \"insert into T (A) values (1)\">\r\n");
    test::WriteFile(src / "ToPDA.sql", "insert into T (A) values (2);");
    ASSERT_TRUE(Pack(src / "ToPDA.sqd", folder.Path() / "a.zip"));
    // Two entries in one archive, made by Info-ZIP.
    const std::string cmd = "cd '" + src.string() + "' && zip -q '" + (dir / "ToPDA.zip").string()
        + "' ToPDA.sqd ToPDA.sql";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_TRUE(Import(log, dir.string(), true));
    EXPECT_EQ(test::Column("select A from T"), (std::vector<std::string> {"1", "2"}));
    EXPECT_NE(log.Text().find("Распаковка..."), std::string::npos);
}

TEST_F(ImportTest, UnreachableDatabaseStopsBeforeAnyChange)
{
    test::WriteFile(dir / "ToPDA.sqd", kV2 + "\r<EXEC \"insert into T (A) values (1)\">\r");
    fs::rename(folder.Path() / "data", folder.Path() / "data.away");
    EXPECT_FALSE(Import(log, dir.string(), false));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"База данных не найдена."});
    fs::rename(folder.Path() / "data.away", folder.Path() / "data");
    EXPECT_EQ(test::Value("select count(*) from T"), "0");
}

TEST_F(ImportTest, ScriptsOwnTransactionsWorkAsIfEachLineRanAlone)
{
    ASSERT_TRUE(Run({
        kV2,
        "<EXEC \"insert into T (A) values (1)\">",
        "<EXEC \"begin\">",
        "<EXEC \"insert into T (A) values (2)\">",
        "<EXEC \"rollback\">",
        "<EXEC \"insert into T (A) values (3)\">",
        "<EXEC \"begin transaction; insert into T (A) values (4)\">",
        "<EXEC \"insert into T (A) values (5)\">",
        "<EXEC \"commit\">",
        "<EXEC \"insert into T (A) values (6)\">",
    }));
    EXPECT_EQ(
        test::Column("select A from T"), (std::vector<std::string> {"1", "3", "4", "5", "6"}));
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(ImportTest, ConflictThatRollsBackKeepsEveryEarlierStatement)
{
    test::Exec("create table U (K unique on conflict rollback)");
    ASSERT_FALSE(Run({
        kV2,
        "<EXEC \"insert into T (A) values (1)\">",
        "<EXEC \"insert into U (K) values (1)\">",
        "<EXEC \"insert into T (A) values (2)\">",
        "<EXEC \"insert into U (K) values (1)\">",
        "<EXEC \"insert into T (A) values (3)\">",
    }));
    EXPECT_EQ(test::Column("select A from T"), (std::vector<std::string> {"1", "2"}));
    EXPECT_EQ(test::Value("select count(*) from U"), "1");

    // Statements of megabytes: a batch is committed before its texts outgrow what a replay
    // keeps, so nothing before the conflict is lost with them either.
    test::Exec("delete from T");
    const std::string big(3 << 20, 'x');
    ASSERT_FALSE(Run({kV2, "<REPEAT \"insert into T (A) values ('%1')\">", big, big, big,
        "<EXEC \"insert into U (K) values (1)\">"}));
    EXPECT_EQ(
        test::Value("select count(*) from T where length(A) = " + std::to_string(big.size())), "3");
}

TEST_F(ImportTest, LongScriptSpansSeveralBatches)
{
    std::vector<std::string> lines = {kV2, "<REPEAT \"insert into T (A) values (%1)\">"};
    for (int i = 0; i < 10000; ++i)
        lines.push_back(std::to_string(i));
    lines.push_back("<EXEC \"insert into NOPE values (1)\">");
    EXPECT_FALSE(Run(lines));
    EXPECT_EQ(test::Value("select count(*) from T"), "10000");
}

TEST(ControlsTransaction, Cases)
{
    struct TCase {
        const char* sql;
        bool controls;
    };
    const TCase cases[] = {
        {"BEGIN", true},
        {"  begin transaction", true},
        {"insert into T values (1); COMMIT", true},
        {"END", true},
        {"rollback to x", true},
        {"savepoint a", true},
        {"pragma foreign_keys=on", true},
        {"vacuum", true},
        {"insert into T values ('BEGIN')", false},
        {"insert into T values ('x;begin')", false},
        {"-- begin\ninsert into T values (1)", false},
        {"/* commit */ select 1", false},
        {"select begin_date from T", false},
        {"update T set A='end'", false},
        {"-- ;\nbegin", true},
        {"insert into T values (1) /* ; */", false},
        {"insert into T values (1) ;; \n end", true},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ControlsTransaction(c.sql), c.controls) << c.sql;
}

TEST_F(ImportTest, RoundTripThroughExportPackAndExtract)
{
    test::Exec("insert into DOC_HEADS (GUID, DOC_STATE, CLI_NAME, REC_TIME) values "
               "('D', 1, 'Иванов', '2009-10-25');"
               "insert into DOC_ORDERS (DOC_ID, G_GUID, G_NAME, G_WT) values ('D', 'G', 'Сок', 2)");
    ASSERT_TRUE(Export(log, dir.string(), false));
    const std::string xml = test::ReadFile(dir / "PDATo1C.xml");
    ASSERT_TRUE(Export(log, dir.string(), true));
    const fs::path back = folder.Path() / "back";
    ASSERT_EQ(Extract(dir / "PDATo1C.zip", back, "*"), 1);
    const std::string again = test::ReadFile(back / "PDATo1C.xml");
    // Only the time stamp of the second run may differ.
    ASSERT_EQ(again.size(), xml.size());
    EXPECT_EQ(again.substr(again.find("Agent=")), xml.substr(xml.find("Agent=")));
    EXPECT_NE(xml.find(Utf8ToCp1251("CLIENTNAME=\"Иванов\"")), std::string::npos);
}

} // namespace
} // namespace vendrix
