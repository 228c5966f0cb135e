// The document form's edits on a real document record: labels and pages from the options, a
// picked client, the keypad's quantities, the goods handed to the selection and taken back, a
// SKU row on its side, and the close query's three answers.
#include "documents/document_editing.h"
#include "storage/options.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

class DocumentEditingTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        test::Exec("insert into SPR_GOOD_CAT (GUID, ID, ANAME) values ('CAT-1', 1, 'Соки'),"
                   "('CAT-2', 2, 'Воды'), ('CAT-3', 3, 'Чай');"
                   "insert into SPR_COMPETITORS (GUID, ID, ANAME) values ('P-1', 1, 'Наш')");
        doc.Reset();
        doc.Open("", false);
    }

    static TPickedItem Picked(const char* guid, const char* name, const char* info = "")
    {
        return {true, guid, name, info};
    }

    TDocument doc;
    TDocumentEditor editor {doc};
};

TEST(DocumentLabels, GetOneColonAndALeadingBlank)
{
    EXPECT_EQ(FieldLabel("Клиент"), " Клиент:");
    EXPECT_EQ(FieldLabel("Покупатель:"), " Покупатель:");
    EXPECT_EQ(FieldLabel("Дата отгрузки"), " Дата отгрузки:");
}

TEST(DocumentPages, EachPageOffersItsOwnMenuItems)
{
    struct TCase {
        TDocumentPage page;
        bool pick, enter, bar;
    } const cases[]
        = {{TDocumentPage::Header, false, false, false}, {TDocumentPage::Order, true, false, true},
            {TDocumentPage::Sku, false, true, true}, {TDocumentPage::Prices, false, false, true}};
    for (const TCase& c : cases) {
        const TPageMenu m = PageMenu(c.page);
        EXPECT_EQ(m.pick, c.pick) << static_cast<int>(c.page);
        EXPECT_EQ(m.enter, c.enter) << static_cast<int>(c.page);
        EXPECT_EQ(m.bar, c.bar) << static_cast<int>(c.page);
    }
}

TEST_F(DocumentEditingTest, ShowingFollowsTheOptions)
{
    TDocumentShowing s = ReadDocumentShowing();
    EXPECT_EQ(s.clientLabel, " Клиент:");
    EXPECT_EQ(s.dateLabel, " Дата отгрузки:");
    EXPECT_EQ(s.commentLabel, " Примечание:");
    EXPECT_EQ(s.orderPage, " Заявка ");
    EXPECT_EQ(s.skuPage, "   S.K.U.   ") << "the stored default keeps its own blanks";
    EXPECT_EQ(s.pricesPage, "   Цены   ");
    EXPECT_EQ(s.nameColumn, "Товар");
    EXPECT_EQ(s.countColumn, "Кол-во");
    EXPECT_FALSE(s.skuPageShown) << "a new database stores DOC_SKU 0";
    EXPECT_TRUE(s.gridLines) << "and LINES_DOC 1";
    EXPECT_TRUE(s.sumColumn);
    EXPECT_FALSE(s.startOnOrderPage);

    SetOption("Client", "Покупатель:");
    SetOption("TABLE1", "Заказ");
    SetOption("DOC_TRADE_P", "1");
    SetOption("DOC_SKU", "1");
    SetOption("UseSUMS", "0");
    SetOption("DOCPAGE", "1"); // the stored default's own spelling
    SetOption("LINES_DOC", " 1");
    SetOption("X_IS_CLOSE", "1");
    s = ReadDocumentShowing();
    EXPECT_EQ(s.clientLabel, " Покупатель:");
    EXPECT_EQ(s.orderPage, " Заказ ");
    EXPECT_TRUE(s.tradePoint);
    EXPECT_TRUE(s.skuPageShown);
    EXPECT_FALSE(s.sumColumn);
    EXPECT_TRUE(s.startOnOrderPage);
    EXPECT_TRUE(s.gridLines) << "values are read trimmed";
    EXPECT_TRUE(s.titleBarOk);
}

TEST_F(DocumentEditingTest, PickingTheSameClientAgainChangesNothing)
{
    EXPECT_TRUE(editor.TakeClient(Picked("CLI-1", "Иванов", " тел. 1|ул. Садовая ")));
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(doc.clientGuid, "CLI-1");
    EXPECT_EQ(doc.clientName, "Иванов");
    EXPECT_EQ(editor.ClientInfo(), "тел. 1\r\nул. Садовая");
    doc.modified = false;
    EXPECT_FALSE(editor.TakeClient(Picked("CLI-1", "Иванов", "другое")));
    EXPECT_FALSE(doc.modified);
    EXPECT_EQ(editor.ClientInfo(), "тел. 1\r\nул. Садовая") << "not refilled";
    EXPECT_FALSE(editor.TakeClient({false, "CLI-2", "Петров", ""})) << "cancelled pick";

    doc.tradePointGuid = "TP-1";
    EXPECT_FALSE(editor.TakeTradePoint(Picked("TP-1", "Магазин")));
    EXPECT_FALSE(doc.modified);
    EXPECT_TRUE(editor.TakeTradePoint(Picked("TP-2", "Киоск")));
    EXPECT_EQ(doc.tradePointName, "Киоск");
    EXPECT_EQ(doc.clientGuid, "CLI-1") << "the client stays";
    EXPECT_TRUE(doc.modified);
}

TEST_F(DocumentEditingTest, KeypadQuantityRewritesQuantityAndSum)
{
    doc.lines.push_back({"G-1", "Сок", "2.00", "25.00", 1250});
    EXPECT_EQ(editor.KeypadPrice(0), 125000);
    EXPECT_EQ(editor.KeypadValue(0), 20000);
    editor.SetQuantity(0, 30000, editor.KeypadPrice(0));
    EXPECT_EQ(doc.lines[0].quantity, "3.00");
    EXPECT_EQ(doc.lines[0].sum, "37.50");
    EXPECT_TRUE(doc.modified);
    editor.SetQuantity(0, 0, editor.KeypadPrice(0));
    EXPECT_EQ(doc.lines[0].quantity, "") << "zero leaves the cell empty";
    EXPECT_EQ(doc.lines[0].sum, "");
    EXPECT_EQ(editor.SelectionText(), "") << "an empty quantity is not handed to the goods form";

    doc.useSums = false;
    SetOption("UseSUMS", "0");
    doc.lines[0].quantity = "abc";
    EXPECT_EQ(editor.KeypadPrice(0), -10000) << "no price on the keypad";
    EXPECT_EQ(editor.KeypadValue(0), 0);
    editor.SetQuantity(0, 15000, editor.KeypadPrice(0));
    EXPECT_EQ(doc.lines[0].quantity, "1.50");
    EXPECT_EQ(doc.lines[0].sum, "") << "without sums the sum is not touched";
}

TEST_F(DocumentEditingTest, GoodsGoOutAsSelectionAndComeBackAsLines)
{
    doc.lines.push_back({"G-1", "Сок", "2.00", "25.00", 1250});
    doc.lines.push_back({"G-2", "Вода", "0", "", 29});
    doc.lines.push_back({"G-3", "Чай", "1,5", "", 100});
    EXPECT_EQ(editor.SelectionText(), "G-1\t2.00\r\nG-3\t1,5\r\n");

    editor.TakeGoodsResult({"G-9\t1.00\tМинеральная\tвода\t0.29\t0.29", "без табуляции",
        "G-8\t3.00\tКофе\t12.50\t37.50"});
    ASSERT_EQ(doc.lines.size(), 2u);
    EXPECT_EQ(doc.lines[0].goodsGuid, "G-9");
    EXPECT_EQ(doc.lines[0].goodsName, "Минеральная\tвода") << "a TAB in a name moves nothing";
    EXPECT_EQ(doc.lines[0].price, 29);
    EXPECT_EQ(doc.lines[0].sum, "0.29");
    EXPECT_EQ(doc.lines[1].quantity, "3.00");
    EXPECT_EQ(doc.lines[1].price, 1250);
    EXPECT_EQ(doc.lines[1].sum, "37.50");
    EXPECT_TRUE(doc.modified);

    doc.useSums = false;
    editor.TakeGoodsResult({"G-8\t3.00\tКофе\t12.50\t37.50"});
    EXPECT_EQ(doc.lines.at(0).sum, "") << "no sum without sums";
    editor.TakeGoodsResult({});
    EXPECT_TRUE(doc.lines.empty()) << "confirmed with no quantities empties the order";
}

TEST_F(DocumentEditingTest, SkuRowTurnsOnItsSideAndBack)
{
    // Three categories, one producer: more columns than rows.
    ASSERT_EQ(doc.sku.grid.RowCount(), 1);
    doc.sku.grid.SetCell(0, 3, "2");
    const auto entries = editor.SkuRowEntries(0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].caption, "Соки");
    EXPECT_EQ(entries[0].count, "");
    EXPECT_EQ(entries[0].tag, 2);
    EXPECT_EQ(entries[1].count, "2");
    EXPECT_EQ(entries[2].caption, "Чай");
    EXPECT_EQ(entries[2].tag, 4);

    editor.TakeSkuRowEntries(0,
        {{"Соки", "1", 2}, {"Воды", "5", 3}, {"Чай", "7", 4}, {"Нет такой", "9", 9},
            {"Производитель", "x", 1}});
    EXPECT_EQ(doc.sku.grid.Cell(0, 1), "Наш") << "only category columns are written";
    EXPECT_EQ(doc.sku.grid.Cell(0, 2), "1");
    EXPECT_EQ(doc.sku.grid.Cell(0, 3), "5");
    EXPECT_EQ(doc.sku.grid.Cell(0, 4), "7");
    EXPECT_TRUE(doc.modified);
}

TEST_F(DocumentEditingTest, CloseQueryAnswers)
{
    EXPECT_TRUE(editor.CloseQuery()) << "unchanged: closes without a question";
    EXPECT_TRUE(folder.ui.shown.empty());

    editor.SetComment("позвонить");
    folder.ui.answers = {TAnswer::Cancel};
    EXPECT_FALSE(editor.CloseQuery());
    folder.ui.answers = {TAnswer::No};
    EXPECT_TRUE(editor.CloseQuery());
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0") << "No writes nothing";

    folder.ui.answers = {TAnswer::Yes};
    EXPECT_FALSE(editor.CloseQuery()) << "the save is refused without a client: stay open";
    EXPECT_EQ(folder.ui.Texts().back(), "Не заполнено поле \"Клиент\".");

    editor.TakeClient(Picked("CLI-1", "Иванов"));
    folder.ui.answers = {TAnswer::Yes};
    EXPECT_TRUE(editor.CloseQuery());
    EXPECT_EQ(test::Value("select STR_PRIM from DOC_HEADS"), "позвонить");
    const std::vector<std::string> asked(4, "Документ изменен. Сохранить?");
    std::vector<std::string> questions;
    for (const auto& s : folder.ui.shown)
        if (s.question)
            questions.push_back(s.text);
    EXPECT_EQ(questions, asked);
}

} // namespace
} // namespace vendrix
