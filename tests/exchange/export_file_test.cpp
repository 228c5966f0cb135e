// The export file, byte for byte: documents of every state, awkward names, a document without
// lines, the header's fallbacks; the ZIP path; and the failures the office must never miss.
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "storage/value_formats.h"
#include "support/test_support.h"

#include <regex>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

class ExportTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        out = folder.Path() / "out";
    }

    // Four documents in storage order: states 1, 0, 2 and 1; the last without lines.
    static void FillJournal()
    {
        test::Exec(
            "insert into DOC_HEADS (GUID, DOC_DATE, REC_TIME, DOC_STATE, CLI_GUID, CLI_NAME, "
            "ORD_LINES, STR_PRIM) values "
            "('D-1', '2009-10-26', ' 2009-10-25 ', 1, ' C-1 ', 'ООО \"Ромашка\"\r\n& <Сыр>', 2, "
            "'Позвонить до 10'' утра'),"
            "('D-0', '2009-10-26', '2009-10-25', 0, 'C-2', 'Нулевой', 0, ''),"
            "('D-2', '2009-10-26', '2009-10-25', 2, 'C-3', 'Принятый', 0, ''),"
            "('D-3', '2009-10-27', '2009-10-26', 1, 'C-4', '  Ёлка  ', 0, 'tab\there');"
            "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values "
            "('D-1', 0, ' G-1 ', 'Сок \"Добрый\" 1л', 2.5, 12.5),"
            "('D-1', 1, 'G-2', 'Вода & <газ>', 1, 0.29),"
            "('D-2', 0, 'G-3', 'Не выгружать', 1, 1)");
    }

    // The file with the parts that change from run to run put back as placeholders.
    std::string Normalised(const fs::path& file) const
    {
        std::string text = test::ReadFile(file);
        text = std::regex_replace(text,
            std::regex("DateTime=\"[0-9]{2}\\.[0-9]{2}\\.[0-9]{4} "
                       "[0-9]{1,2}:[0-9]{2}:[0-9]{2}\""),
            "DateTime=\"@DATETIME@\"");
        const std::string id = DeviceIdentifier();
        const auto at = text.find("PDA_ID=\"" + id + "\"");
        if (at != std::string::npos)
            text.replace(at, 9 + id.size(), "PDA_ID=\"@PDA_ID@\"");
        return text;
    }

    fs::path out;
    TExchangeLog log;
};

TEST_F(ExportTest, FileMatchesTheExpectedBytes)
{
    FillJournal();
    ASSERT_TRUE(Export(log, out.string(), false));
    EXPECT_EQ(
        Normalised(out / "PDATo1C.xml"), test::ReadFile(test::Fixture("export/expected.xml")));
    EXPECT_TRUE(folder.ui.shown.empty());
    // An independent reader accepts it as well-formed windows-1251 XML.
    const std::string cmd = "xmllint --noout '" + (out / "PDATo1C.xml").string() + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_NE(log.Text().find("Начата выгрузка..."), std::string::npos);
    EXPECT_EQ(log.LastMessage(), (out / "PDATo1C.xml").string());
    EXPECT_EQ(test::Value("select group_concat(DOC_STATE, '') from DOC_HEADS"), "1021")
        << "the export changes no state";
}

TEST_F(ExportTest, EmptyJournalHasThreeLinesAndTheHeaderFallbacks)
{
    ASSERT_TRUE(Export(log, out.string() + "/", false));
    const std::string text = Utf8ToCp1251(Normalised(out / "PDATo1C.xml"));
    EXPECT_EQ(text,
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
        "<VendrixAgent ProtoVersion=\"0002-0000-0000-0002\" DateTime=\"@DATETIME@\" "
        "Agent=\"Test\" PDA_ID=\"@PDA_ID@\" LastLoadDate=\" \">\r\n"
        "</VendrixAgent>\r\n");

    SetOption("AgentName", "Петров П.");
    SetOption("LLD_Def", "01.02.2009 9:05:00");
    ASSERT_TRUE(Export(log, out.string(), false));
    EXPECT_NE(
        Normalised(out / "PDATo1C.xml")
            .find(Utf8ToCp1251("Agent=\"Петров П.\" PDA_ID=\"@PDA_ID@\" LastLoadDate=\"01.02.2009 "
                               "9:05:00\">")),
        std::string::npos);
    SetOption("LLD", "02.02.2009 10:00:00");
    ASSERT_TRUE(Export(log, out.string(), false));
    EXPECT_NE(test::ReadFile(out / "PDATo1C.xml").find("LastLoadDate=\"02.02.2009 10:00:00\""),
        std::string::npos);
}

TEST_F(ExportTest, OldFileIsReplacedNotAppendedAndAKilledRunsLeftoverGoes)
{
    fs::create_directories(out);
    test::WriteFile(out / "PDATo1C.xml", std::string(100000, '#'));
    test::WriteFile(out / "PDATo1C.xml.part", "<?xml version=\"1.0\"?><cut");
    ASSERT_TRUE(Export(log, out.string(), false));
    EXPECT_EQ(test::ReadFile(out / "PDATo1C.xml").find('#'), std::string::npos);
    EXPECT_FALSE(fs::exists(out / "PDATo1C.xml.part"));
}

TEST_F(ExportTest, AgentNameIsEscapedAndReadsBackAsWritten)
{
    struct TCase {
        const char* name; // as the agent typed it
        const char* written; // between the quotes of Agent, before conversion to windows-1251
        const char* read; // what an XML reader gives back
    };
    const TCase cases[] = {
        {"A & B", "A &amp; B", "A & B"}, {"<Иванов>", "&lt;Иванов&gt;", "<Иванов>"},
        {"\"кавычки\"", "&quot;кавычки&quot;", "\"кавычки\""},
        {"Иван\x01ов", "Иван ов", "Иван ов"}, // no XML reader takes the control character
        {"Петров П.", "Петров П.", "Петров П."}, // an ordinary name keeps its bytes
    };
    const fs::path file = out / "PDATo1C.xml";
    for (const TCase& c : cases) {
        SetOption("AgentName", c.name);
        ASSERT_TRUE(Export(log, out.string(), false)) << c.name;
        EXPECT_NE(test::ReadFile(file).find(
                      Utf8ToCp1251(std::string("Agent=\"") + c.written + "\" PDA_ID=")),
            std::string::npos)
            << c.name;
        const test::TProcessResult read = test::RunProcess(
            "xmllint --xpath 'string(/VendrixAgent/@Agent)' '" + file.string() + "'");
        EXPECT_EQ(read.status, 0) << c.name;
        EXPECT_EQ(read.out, std::string(c.read) + "\n");
    }
}

TEST_F(ExportTest, ZipLeavesOnlyTheArchiveHoldingTheSameBytes)
{
    FillJournal();
    ASSERT_TRUE(Export(log, out.string(), false));
    const std::string plain = Normalised(out / "PDATo1C.xml");
    fs::path result;
    ASSERT_TRUE(Export(log, out.string(), true, &result));
    EXPECT_EQ(result, out / "PDATo1C.zip");
    EXPECT_FALSE(fs::exists(out / "PDATo1C.xml"));
    EXPECT_EQ(log.LastMessage(), result.string());
    const fs::path back = folder.Path() / "back";
    ASSERT_EQ(Extract(result, back, "PDATo1C.xml"), 1);
    EXPECT_EQ(Normalised(back / "PDATo1C.xml"), plain);
}

TEST_F(ExportTest, NoFolderPickedWritesNothing)
{
    EXPECT_FALSE(Export(log, "  ", false));
    EXPECT_TRUE(log.Text().empty());
    folder.ui.folders.push_back(out.string());
    EXPECT_TRUE(Export(log, "", false)) << "the picked folder is used";
    EXPECT_TRUE(fs::exists(out / "PDATo1C.xml"));
}

TEST_F(ExportTest, FailuresAreReported)
{
    // The file cannot be created where a folder of its name stands.
    fs::create_directories(out / "PDATo1C.xml");
    EXPECT_FALSE(Export(log, out.string(), false));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Не удалось открыть файл для записи."});
    EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Error);
    fs::remove(out / "PDATo1C.xml");

    folder.ui.Clear();
    test::Exec("alter table DOC_HEADS rename to AWAY");
    EXPECT_FALSE(Export(log, out.string(), false));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"no such table: DOC_HEADS", "Таблица DOC_HEADS недоступна."}));
    // An export cut short leaves no half file: the earlier one, when there is one, stays.
    EXPECT_FALSE(fs::exists(out / "PDATo1C.xml"));
    test::Exec("alter table AWAY rename to DOC_HEADS");

    folder.ui.Clear();
    FillJournal();
    test::WriteFile(out / "PDATo1C.xml", "earlier export");
    test::Exec("alter table DOC_ORDERS rename to AWAY");
    EXPECT_FALSE(Export(log, out.string(), false));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"no such table: DOC_ORDERS", "Таблица DOC_ORDERS недоступна."}));
    EXPECT_EQ(test::ReadFile(out / "PDATo1C.xml"), "earlier export");
    EXPECT_FALSE(fs::exists(out / "PDATo1C.xml.part"));
}

TEST_F(ExportTest, GuidThatNamesAColumnTakesOnlyItsOwnLines)
{
    test::Exec("insert into DOC_HEADS (GUID, DOC_STATE) values ('DOC_ID', 1);"
               "insert into DOC_ORDERS (DOC_ID, G_GUID) values ('DOC_ID', 'mine'), ('X', 'other')");
    ASSERT_TRUE(Export(log, out.string(), false));
    const std::string text = test::ReadFile(out / "PDATo1C.xml");
    EXPECT_NE(text.find("NGUID=\"mine\""), std::string::npos);
    EXPECT_EQ(text.find("NGUID=\"other\""), std::string::npos);
}

// Order lines go out straight from the database's bytes: every windows-1251 byte a name may hold
// (0x98, which has no character, included) reads as it always did, control characters as blanks,
// the four markup characters as entities.
TEST_F(ExportTest, EveryByteOfALineNameGoesOutAsStored)
{
    std::string stored, expected;
    for (int b = 1; b < 256; ++b) {
        const char c = static_cast<char>(b);
        stored += c;
        if (b < 32)
            expected += ' ';
        else if (c == '"')
            expected += "&quot;";
        else if (c == '&')
            expected += "&amp;";
        else if (c == '<')
            expected += "&lt;";
        else if (c == '>')
            expected += "&gt;";
        else
            expected += c;
    }
    // Trimmed at both ends, as every value: the blanks and controls before "!" go.
    expected.erase(0, expected.find('!'));
    test::Exec("insert into DOC_HEADS (GUID, DOC_STATE) values ('D', 1);"
               "insert into DOC_ORDERS (DOC_ID, G_GUID, G_NAME, G_WT) values ('D', 'G', "
        + SqlString(Cp1251ToUtf8(stored)) + ", 1)");
    ASSERT_TRUE(Export(log, out.string(), false));
    const std::string text = test::ReadFile(out / "PDATo1C.xml");
    EXPECT_NE(text.find("<ROW NGUID=\"G\" NNAME=\"" + expected + "\" NCOUNT=\"1\" />\r\n"),
        std::string::npos);
}

} // namespace
} // namespace vendrix
