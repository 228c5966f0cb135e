// The document record against a real database: the road of one order, copies, the office's
// lock, round trips of awkward texts, and a save that fails half-way.
#include "documents/document.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

class DocumentTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        test::Exec("insert into SPR_GOOD_CAT (GUID, ID, ANAME) values ('CAT-1', 1, 'Соки'),"
                   "('CAT-2', 2, 'Воды');"
                   "insert into SPR_COMPETITORS (GUID, ID, ANAME) values ('P-1', 1, 'Наш'),"
                   "('P-2', 2, 'Чужой')");
    }

    // A new document with a client and two lines, saved; returns its GUID.
    std::string SaveSample()
    {
        TDocument d;
        d.Reset();
        d.Open("", false);
        d.clientName = "ООО \"Ромашка\"";
        d.clientGuid = "CLI-1";
        d.tradePointName = "Магазин №1";
        d.tradePointGuid = "TP-1";
        d.comment = "первая\r\nвторая\nтретья";
        d.lines.push_back({"G-1", "Сок яблочный", "2.50", "31.25", 1250});
        d.lines.push_back({"G-2", "Вода", "1.00", "0.29", 29});
        d.sku.grid.SetCell(0, 2, "3");
        d.sku.grid.SetCell(1, 3, "2.9");
        EXPECT_TRUE(d.Save());
        return d.guid;
    }

    static std::string Row(const std::string& sql)
    {
        auto q = RunQuery(sql);
        std::string out;
        if (!q || q->RowCount() == 0)
            return out;
        q->First();
        for (int c = 0; c < q->ColCount(); ++c)
            out += (c ? "|" : "") + q->Field(c);
        return out;
    }
};

TEST_F(DocumentTest, AnOrderWhoseTotalsTheDatabaseCannotKeepIsRefusedNotRounded)
{
    // Each line within what a line may hold; together beyond what the header keeps exactly
    // (and, at 100 lines, beyond 64 bits).
    struct TCase {
        const char* what;
        const char* quantity;
        const char* sum;
        int count;
    };
    for (const TCase c : {TCase {"sum", "1.00", "9999999999999.99", 100},
             TCase {"quantity", "9999999999999.00", "", 2}}) {
        SCOPED_TRACE(c.what);
        folder.ui.shown.clear();
        TDocument d;
        d.Reset();
        d.Open("", false);
        d.clientName = "Петров";
        d.clientGuid = "CLI-1";
        for (int i = 0; i < c.count; ++i)
            d.lines.push_back({"G-" + std::to_string(i), "Товар", c.quantity, c.sum, 100});
        EXPECT_FALSE(d.Save());
        EXPECT_TRUE(d.guid.empty());
        ASSERT_EQ(folder.ui.Texts().size(), 1u);
        EXPECT_EQ(folder.ui.Texts()[0].rfind("Слишком большая заявка", 0), 0u);
        EXPECT_EQ(Row("select count(*) from DOC_HEADS"), "0");

        // One line fewer of the sum is kept, exactly.
        d.lines.resize(1);
        ASSERT_TRUE(d.Save());
        EXPECT_EQ(Row("select count(*) from DOC_ORDERS"), "1");
        test::Exec("delete from DOC_HEADS; delete from DOC_ORDERS");
    }
}

TEST_F(DocumentTest, NewDocumentStartsEmptyWithTheShipmentDateAhead)
{
    struct TCase {
        const char* days;
        int ahead;
    };
    for (const TCase c : {TCase {"0", 0}, TCase {"2", 2}, TCase {"-3", 0}, TCase {"x", 0}}) {
        SetOption("NEWDOC_DATE", c.days);
        TDocument d;
        d.Reset();
        d.Open("", false);
        EXPECT_EQ(d.shipmentDate, Today() + c.ahead) << c.days;
        EXPECT_EQ(d.guid, "");
        EXPECT_EQ(d.state, 0);
        EXPECT_EQ(d.statusText, "новый документ");
        EXPECT_FALSE(d.modified);
        EXPECT_EQ(d.sku.grid.RowCount(), 2) << "competitor rows, no GUID row";
        EXPECT_EQ(d.sku.grid.ColumnCount(), 4);
    }
}

TEST_F(DocumentTest, FirstSaveInsertsTheHeaderAndLines)
{
    const std::string guid = SaveSample();
    ASSERT_EQ(guid.size(), 36u);
    EXPECT_EQ(Row("select DOC_STATE, REC_TIME, DOC_DATE, DOC_NUM, CLI_NAME, CLI_GUID, ORD_SUMM, "
                  "ORD_WEIGHT, ORD_LINES, SKU_LINES, STR_BASIS, STR_PRIM, TP_GUID, TP_NAME, "
                  "typeof(ORD_SUMM) from DOC_HEADS"),
        "1|" + DateText(Today()).substr(1, 10) + "|" + DateText(Today()).substr(1, 10)
            + "|б/н|ООО \"Ромашка\"|CLI-1|31.54|3.5|2|0||первая вторая третья|TP-1|Магазин "
              "№1|real");
    EXPECT_EQ(test::Column("select ORDER_ID || '|' || G_GUID || '|' || G_NAME || '|' || G_WT || "
                           "'|' || PRICE from DOC_ORDERS order by ORDER_ID"),
        (std::vector<std::string> {"0|G-1|Сок яблочный|2.5|12.5", "1|G-2|Вода|1.0|0.29"}));
    EXPECT_EQ(test::Column("select ORDER_ID || '|' || G_GUID || '|' || G_NAME || '|' || G_CNT || "
                           "'|' || C_GUID || '|' || C_NAME from DOC_SKUS order by ORDER_ID"),
        (std::vector<std::string> {"1|CAT-1|Соки|3|P-1|Наш", "2|CAT-2|Воды|2|P-2|Чужой"}));
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(DocumentTest, ReopenShowsWhatWasSavedAndLaterSavesUpdate)
{
    const std::string guid = SaveSample();
    test::Exec("update DOC_HEADS set REC_TIME='2001-01-01'");
    TDocument d;
    d.Reset();
    d.Open(guid, false);
    EXPECT_EQ(d.statusText, "документ записан");
    EXPECT_EQ(d.state, 1);
    EXPECT_EQ(d.clientName, "ООО \"Ромашка\"");
    EXPECT_EQ(d.comment, "первая вторая третья");
    EXPECT_EQ(d.shipmentDate, Today());
    ASSERT_EQ(d.lines.size(), 2u);
    EXPECT_EQ(d.lines[0].quantity, "2.50");
    EXPECT_EQ(d.lines[0].sum, "31.25");
    EXPECT_EQ(d.lines[1].price, 29) << "0.29 reads as 29 hundredths exactly";
    EXPECT_EQ(d.lines[1].sum, "0.29");
    EXPECT_TRUE(d.sumColumn);
    ASSERT_EQ(d.sku.grid.RowCount(), 2) << "the GUID row is gone after load";
    EXPECT_EQ(d.sku.grid.Cell(0, 2), "3");
    EXPECT_EQ(d.sku.grid.Cell(1, 3), "2");

    d.lines.pop_back();
    d.clientName = "O'Neil";
    d.modified = true;
    ASSERT_TRUE(d.Save());
    EXPECT_FALSE(d.modified);
    EXPECT_EQ(d.guid, guid);
    EXPECT_EQ(Row("select count(*), CLI_NAME, ORD_LINES, REC_TIME, DOC_STATE from DOC_HEADS"),
        "1|O'Neil|1|2001-01-01|1")
        << "an update keeps the journal date and the state";
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "1");
    EXPECT_EQ(test::Value("select PRICE from DOC_ORDERS"), "12.5");
}

TEST_F(DocumentTest, SumsOffKeepPricesAndWriteZeroTotals)
{
    const std::string guid = SaveSample();
    SetOption("UseSUMS", "0");
    TDocument d;
    d.Reset();
    d.Open(guid, false);
    EXPECT_FALSE(d.useSums);
    EXPECT_FALSE(d.sumColumn);
    ASSERT_EQ(d.lines.size(), 2u);
    EXPECT_EQ(d.lines[1].sum, "");
    ASSERT_TRUE(d.Save());
    EXPECT_EQ(Row("select ORD_SUMM, ORD_WEIGHT from DOC_HEADS"), "0.0|3.5");
    EXPECT_EQ(test::Value("select PRICE from DOC_ORDERS where ORDER_ID=1"), "0.29");
}

TEST_F(DocumentTest, AwkwardTextsRoundTrip)
{
    const std::string texts[]
        = {"O'Neil", "\"кавычки\" и 'апострофы'", "Ёжик; drop table X; --", "''", "\\ / % _"};
    for (const std::string& t : texts) {
        TDocument d;
        d.Reset();
        d.clientName = t;
        d.clientGuid = t;
        d.tradePointName = t;
        d.tradePointGuid = t;
        d.comment = t;
        d.lines.push_back({t, t, "1", "", 100});
        ASSERT_TRUE(d.Save()) << t;
        TDocument r;
        r.Reset();
        r.Open(d.guid, false);
        EXPECT_EQ(r.clientName, t);
        EXPECT_EQ(r.clientGuid, t);
        EXPECT_EQ(r.tradePointName, t);
        EXPECT_EQ(r.tradePointGuid, t);
        EXPECT_EQ(r.comment, t);
        ASSERT_EQ(r.lines.size(), 1u);
        EXPECT_EQ(r.lines[0].goodsName, t);
        EXPECT_EQ(r.lines[0].goodsGuid, t);
    }
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(DocumentTest, CommentOfBlanksIsStoredEmptyAndNoLinesMeansZeroTotals)
{
    TDocument d;
    d.Reset();
    d.clientName = "К";
    d.clientGuid = "C";
    d.comment = " \r\n\t ";
    ASSERT_TRUE(d.Save());
    EXPECT_EQ(d.statusText, "документ записан");
    EXPECT_EQ(d.state, 0) << "save leaves the record's state";
    EXPECT_EQ(Row("select STR_PRIM, ORD_LINES, ORD_SUMM, ORD_WEIGHT from DOC_HEADS"), "|0|0.0|0.0");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "0");
    EXPECT_EQ(test::Value("select count(*) from DOC_SKUS"), "0");
}

TEST_F(DocumentTest, EmptyQuantityIsWrittenAsZero)
{
    TDocument d;
    d.Reset();
    d.clientName = "К";
    d.clientGuid = "C";
    d.lines.push_back({"G", "Т", "", "", 100});
    d.lines.push_back({"H", "У", "1,5", "", 100});
    ASSERT_TRUE(d.Save());
    EXPECT_EQ(test::Column("select G_WT from DOC_ORDERS order by ORDER_ID"),
        (std::vector<std::string> {"0", "1.5"}));
    EXPECT_EQ(test::Value("select ORD_WEIGHT from DOC_HEADS"), "1.5");
}

TEST_F(DocumentTest, MissingClientOrTradePointRefusesTheSave)
{
    TDocument d;
    d.Reset();
    d.clientName = "  ";
    d.clientGuid = "C";
    EXPECT_FALSE(d.Save());
    d.clientName = "К";
    d.clientGuid = "";
    EXPECT_FALSE(d.Save());
    d.clientGuid = "C";
    SetOption("DOC_TRADE_P_REQ", "1");
    EXPECT_FALSE(d.Save());
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"Не заполнено поле \"Клиент\".", "Не заполнено поле \"Клиент\".",
            "Не заполнено поле \"Торговая точка\"."}));
    EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Information);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");
    d.tradePointName = "Т";
    d.tradePointGuid = "T";
    EXPECT_TRUE(d.Save());
}

TEST_F(DocumentTest, DocumentTakenByTheOfficeCannotBeSaved)
{
    const std::string guid = SaveSample();
    const std::string before = Row("select * from DOC_HEADS");
    test::Exec("update DOC_HEADS set DOC_STATE=2");

    TDocument open;
    open.Reset();
    open.Open(guid, false);
    EXPECT_EQ(open.statusText, "документ передан в БД");
    open.clientName = "Другой";
    EXPECT_FALSE(open.Save());
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Изменение запрещено.\r\nДокумент выгружен в центр. БД."});
    EXPECT_EQ(test::Value("select CLI_NAME from DOC_HEADS"), "ООО \"Ромашка\"");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "2");
}

TEST_F(DocumentTest, DocumentTakenOverWhileOpenIsNotOverwritten)
{
    const std::string guid = SaveSample();
    TDocument d;
    d.Reset();
    d.Open(guid, false);
    test::Exec("update DOC_HEADS set DOC_STATE=2"); // the office's script runs meanwhile
    d.lines.clear();
    EXPECT_FALSE(d.Save());
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "2");
}

TEST_F(DocumentTest, UnknownStatesAreShownAsSuch)
{
    EXPECT_EQ(StatusText(0), "документ записан");
    EXPECT_EQ(StatusText(1), "документ записан");
    EXPECT_EQ(StatusText(2), "документ передан в БД");
    EXPECT_EQ(StatusText(3), "[3] статус не опознан*");
    EXPECT_EQ(StatusText(-1), "[-1] статус не опознан*");
}

TEST_F(DocumentTest, CopyIsReducedByTheOptionsAndSavedAsNew)
{
    const std::string source = SaveSample();
    test::Exec("update DOC_HEADS set DOC_STATE=2, DOC_DATE='2001-02-03'");
    struct TCase {
        const char* what;
        const char* option;
        bool keepsDate, keepsTradePoint, keepsClient, keepsComment, keepsLines, keepsSku;
    };
    const TCase cases[] = {
        {"all options off", nullptr, true, true, true, true, true, true},
        {"NOCOPY_DATE", "NOCOPY_DATE", false, true, true, true, true, true},
        {"NOCOPY_TP", "NOCOPY_TP", true, false, true, true, true, true},
        {"NOCOPY_CLI", "NOCOPY_CLI", true, true, false, true, true, true},
        {"NOCOPY_COMM", "NOCOPY_COMM", true, true, true, false, true, true},
        {"NOCOPY_TABLE1", "NOCOPY_TABLE1", true, true, true, true, false, true},
        {"NOCOPY_SKU", "NOCOPY_SKU", true, true, true, true, true, false},
    };
    test::Exec("update MY_OPTIONS set OPT_VAL='0' where OPT_NAME like 'NOCOPY%'");
    TDate stored = 0;
    EncodeDate(2001, 2, 3, stored);
    for (const TCase& c : cases) {
        if (c.option)
            SetOption(c.option, "1");
        TDocument d;
        d.Reset();
        d.Open(source, true);
        EXPECT_EQ(d.guid, "") << c.what;
        EXPECT_EQ(d.state, 0) << c.what;
        EXPECT_EQ(d.statusText, "новый документ") << c.what;
        EXPECT_EQ(d.shipmentDate, c.keepsDate ? stored : Today()) << c.what;
        EXPECT_EQ(d.tradePointGuid, c.keepsTradePoint ? "TP-1" : "") << c.what;
        EXPECT_EQ(d.clientGuid, c.keepsClient ? "CLI-1" : "") << c.what;
        EXPECT_EQ(d.comment.empty(), !c.keepsComment) << c.what;
        EXPECT_EQ(d.lines.size(), c.keepsLines ? 2u : 0u) << c.what;
        EXPECT_EQ(d.sku.grid.RowCount(), 2) << c.what << ": no GUID row left";
        EXPECT_EQ(d.sku.grid.Cell(0, 2), c.keepsSku ? "3" : "") << c.what;
        if (c.option)
            SetOption(c.option, "0");
    }

    TDocument d;
    d.Reset();
    d.Open(source, true);
    ASSERT_TRUE(d.Save()) << "a copy of a locked document is a new document";
    EXPECT_NE(d.guid, source);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "2");
    EXPECT_EQ(test::Value("select DOC_STATE from DOC_HEADS where GUID='" + source + "'"), "2");
    EXPECT_EQ(test::Value("select DOC_STATE from DOC_HEADS where GUID='" + d.guid + "'"), "1");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where DOC_ID='" + source + "'"), "2");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where DOC_ID='" + d.guid + "'"), "2");
}

TEST_F(DocumentTest, LoadEdgeCases)
{
    const std::string guid = SaveSample();
    // A producer and a category that left the reference data drop their counts.
    test::Exec("insert into DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_CNT, C_GUID) values ('" + guid
        + "', 9, 'CAT-GONE', 5, 'P-1'), ('" + guid
        + "', 10, 'CAT-1', 5, 'P-GONE');"
          "update DOC_HEADS set DOC_DATE='25.10.2009', DOC_STATE='x'");
    TDocument d;
    d.Reset();
    d.Open(guid, false);
    EXPECT_EQ(d.shipmentDate, Today()) << "a foreign date shows today";
    EXPECT_EQ(d.state, 0);
    EXPECT_EQ(d.statusText, "документ записан");
    ASSERT_TRUE(d.Save());
    EXPECT_EQ(test::Value("select count(*) from DOC_SKUS"), "2");
    EXPECT_EQ(test::Value("select DOC_DATE from DOC_HEADS"), DateText(Today()).substr(1, 10));

    TDocument none;
    none.Reset();
    none.Open(kNullGuid, false);
    EXPECT_EQ(none.statusText, "новый документ");
    EXPECT_TRUE(folder.ui.shown.empty());

    TDocument missing;
    missing.Reset();
    missing.Open("NO-SUCH", false);
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Не удалось прочитать заголовок."});
    EXPECT_EQ(missing.statusText, "новый документ");
}

TEST_F(DocumentTest, FailedSaveLeavesTheStoredDocumentAsItWas)
{
    const std::string guid = SaveSample();
    TDocument d;
    d.Reset();
    d.Open(guid, false);
    d.clientName = "Изменённый";
    d.lines.pop_back();
    d.modified = true;
    test::Exec("alter table DOC_SKUS rename to DOC_SKUS_AWAY");
    folder.ui.Clear();
    EXPECT_FALSE(d.Save());
    ASSERT_EQ(folder.ui.shown.size(), 2u);
    EXPECT_EQ(folder.ui.shown[0].text, "no such table: DOC_SKUS");
    EXPECT_EQ(folder.ui.shown[1].text, "delete from DOC_SKUS where (DOC_ID='" + guid + "')");
    EXPECT_TRUE(d.modified);
    test::Exec("alter table DOC_SKUS_AWAY rename to DOC_SKUS");
    EXPECT_EQ(test::Value("select CLI_NAME from DOC_HEADS"), "ООО \"Ромашка\"");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "2");
    EXPECT_EQ(test::Value("select count(*) from DOC_SKUS"), "2");

    // A new document whose save failed stays new: the next save inserts it.
    TDocument fresh;
    fresh.Reset();
    fresh.clientName = "Н";
    fresh.clientGuid = "N";
    test::Exec("alter table DOC_ORDERS rename to DOC_ORDERS_AWAY");
    EXPECT_FALSE(fresh.Save());
    EXPECT_EQ(fresh.guid, "");
    test::Exec("alter table DOC_ORDERS_AWAY rename to DOC_ORDERS");
    EXPECT_TRUE(fresh.Save());
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS where CLI_NAME='Н'"), "1");
}

TEST_F(DocumentTest, DocumentDeletedWhileOpenIsNotWrittenAgain)
{
    // Deleted in the journal or by the office's DELALL while its form was open: saving must
    // not bring it back as a new order to be sent once more.
    const std::string guid = SaveSample();
    TDocument d;
    d.Reset();
    d.Open(guid, false);
    d.comment = "changed";
    ASSERT_TRUE(DeleteDocument(guid));
    EXPECT_FALSE(d.Save());
    EXPECT_EQ(
        folder.ui.Texts(), std::vector<std::string> {"Документ удалён. Сохранение невозможно."});
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "0");
    EXPECT_EQ(test::Value("select count(*) from DOC_SKUS"), "0");
}

TEST_F(DocumentTest, StoredPricesAndDatesReadExactly)
{
    const std::string guid = SaveSample();
    struct TCase {
        const char* stored;
        std::int64_t hundredths;
        const char* writtenBack;
    };
    // Unit prices are hundredths truncated toward zero, never rounded up by a cent.
    for (const TCase c : {TCase {"12.34999", 1234, "12.34"}, TCase {"0.29", 29, "0.29"},
             TCase {"7,999", 799, "7.99"}, TCase {"-1.005", -100, "-1.00"},
             TCase {"1e2", 10000, "100.00"}, TCase {"abc", 0, "0.00"}}) {
        test::Exec(std::string("update DOC_ORDERS set PRICE='") + c.stored + "' where ORDER_ID=1");
        TDocument d;
        d.Reset();
        d.Open(guid, false);
        ASSERT_EQ(d.lines.size(), 2u);
        EXPECT_EQ(d.lines[1].price, c.hundredths) << c.stored;
        ASSERT_TRUE(d.Save());
        EXPECT_EQ(test::Value("select printf('%.2f', PRICE) from DOC_ORDERS where ORDER_ID=1"),
            c.writtenBack)
            << c.stored;
    }
    // A date with a time part written by other software keeps its day.
    test::Exec("update DOC_HEADS set DOC_DATE='2009-10-25 12:00:00'");
    TDocument d;
    d.Reset();
    d.Open(guid, false);
    TDate expected = 0;
    ASSERT_TRUE(EncodeDate(2009, 10, 25, expected));
    EXPECT_EQ(d.shipmentDate, expected);
    ASSERT_TRUE(d.Save());
    EXPECT_EQ(test::Value("select DOC_DATE from DOC_HEADS"), "2009-10-25");
}

} // namespace
} // namespace vendrix
