// The document form with real widgets over a real database: the road of one order from the main
// window's " Новый " to the journal, editing, copying, the office's lock, the close query, the
// showing rules of the options, the keypad on the order lines, goods picking and SKU rows.
#include "documents/document_form.h"
#include "documents/goods_form.h"
#include "documents/keypad_dialog.h"
#include "documents/line_entry_dialog.h"
#include "documents/reference_form.h"
#include "shell/main_window.h"
#include "storage/options.h"
#include "toolkit/menu_bar.h"
#include "toolkit/report_list.h"
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace vendrix {
namespace {

using namespace document_menu;

class DocumentFormTest : public test::CatalogueTest {
protected:
    static QString Cell(const TReportList* list, int row, int column)
    {
        const QAbstractItemModel* m = list->model();
        return m->data(m->index(row, column)).toString();
    }

    // Picks the client in row `row` of the reference form.
    static void PickClientRow(TDocumentForm& f, int row)
    {
        auto ran = test::WhenShown<TReferenceForm>([row](TReferenceForm* r) {
            r->List()->SelectRow(row);
            r->Pick();
        });
        f.ClientButton()->click();
        EXPECT_TRUE(*ran);
    }

    // In the goods form: chooses a group, types `keys` for its row `row`.
    static void TypeInGroup(TGoodsForm* g, const char* group, int row, const char* keys)
    {
        g->OpenGroups();
        const auto items = g->Tree()->findItems(QString::fromUtf8(group), Qt::MatchRecursive);
        ASSERT_EQ(items.size(), 1);
        g->Tree()->setCurrentItem(items.front());
        g->TreeOk()->click();
        g->List()->SelectRow(row);
        test::WhenShown<TKeypadDialog>([keys](TKeypadDialog* k) {
            test::Type(k->Entry(), QString::fromUtf8(keys));
            k->OkButton()->click();
        });
        g->Menu().Activate(goods_menu::kEnter);
    }

    // A stored document of client C-1 with two lines; returns its GUID.
    std::string StoredDocument(int state = 1)
    {
        TDocument d;
        d.Reset();
        d.Open("", false);
        d.clientGuid = "C-1";
        d.clientName = "Иванов И. И.";
        d.comment = "позвонить";
        d.lines.push_back({"G-1", "Сок яблочный", "2.00", "25.00", 1250});
        d.lines.push_back({"G-4", "Рис круглый", "1.00", "5.00", 500});
        EXPECT_TRUE(d.Save());
        if (state != 1)
            test::Exec("update DOC_HEADS set DOC_STATE=" + std::to_string(state));
        return d.guid;
    }

    std::unique_ptr<TMainWindow> MainWindow()
    {
        // Started once more, so that the database is no longer new: the main window's
        // first-run question would otherwise come up half a second later, whenever a busy
        // machine lets the test run that long.
        EXPECT_TRUE(folder.Start());
        auto w
            = std::make_unique<TMainWindow>(TMainWindowEnvironment {[] { return Today(); }, [] {}});
        w->show();
        return w;
    }
};

TEST_F(DocumentFormTest, RoadOfOneOrderFromNewToTheJournal)
{
    auto w = MainWindow();
    w->Menu().Activate(main_menu::kNew);
    QPointer<TDocumentForm> f = test::FindChild<TDocumentForm>(w.get());
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->isWindow());
    EXPECT_FALSE(f->isModal());
    EXPECT_EQ(f->windowTitle(), QStringLiteral("FDocum"));
    EXPECT_EQ(f->Status()->text(), QString::fromUtf8("новый документ"));
    EXPECT_EQ(f->Date()->date(), QDate::currentDate());
    EXPECT_TRUE(folder.ui.busy) << "until the form's timer";
    test::FireTimer(f->Timer());
    EXPECT_FALSE(folder.ui.busy);

    PickClientRow(*f, 0);
    EXPECT_EQ(f->ClientBox()->text(), QString::fromUtf8("Иванов И. И."));
    EXPECT_EQ(f->ClientInfo()->text(), QString::fromUtf8("тел. 22-33\nул. Садовая, 5"));

    f->Tabs()->setCurrentWidget(f->Page(TDocumentPage::Order));
    EXPECT_TRUE(f->Menu().ItemVisible(kPick));
    auto picked = test::WhenShown<TGoodsForm>([](TGoodsForm* g) {
        TypeInGroup(g, "Напитки", 0, "2");
        TypeInGroup(g, "Бакалея", 1, "4");
        g->Menu().Activate(goods_menu::kOk);
    });
    f->Menu().Activate(kPick);
    EXPECT_TRUE(*picked);
    const TReportList* order = f->OrderTable();
    ASSERT_EQ(order->model()->rowCount(), 2);
    EXPECT_EQ(Cell(order, 0, 1), QString::fromUtf8("Сок яблочный"));
    EXPECT_EQ(Cell(order, 0, 2), QStringLiteral("2.00"));
    EXPECT_EQ(Cell(order, 0, 3), QStringLiteral("25.00"));
    EXPECT_EQ(Cell(order, 1, 1), QString::fromUtf8("Гречка"));
    EXPECT_EQ(Cell(order, 1, 3), QStringLiteral("30.00"));

    f->Menu().Activate(kOk);
    EXPECT_TRUE(test::WaitUntil([&] { return !f; })) << "saved and closed";
    // Only the close query counts here: on a busy machine the main window's first-run question
    // (this is a new database) may come up meanwhile, half a second after the window.
    for (const std::string& text : folder.ui.Texts())
        EXPECT_NE(text, "Документ изменен. Сохранить?") << "no close query after the save";
    ASSERT_EQ(w->Journal().rows.size(), 1u) << "the journal was refreshed";
    EXPECT_EQ(w->Journal().rows[0].client, "Иванов И. И.");
    EXPECT_EQ(w->Journal().rows[0].quantity, "6.0");
    EXPECT_EQ(w->Journal().rows[0].sum, "55.00");
    EXPECT_EQ(test::Value("select DOC_STATE from DOC_HEADS"), "1");
    EXPECT_EQ(test::Column("select G_GUID from DOC_ORDERS order by ORDER_ID"),
        (std::vector<std::string> {"G-1", "G-5"}));
}

TEST_F(DocumentFormTest, EditingCopyingAndTheOfficesLock)
{
    const std::string guid = StoredDocument();
    auto w = MainWindow();
    ASSERT_TRUE(test::WaitUntil([&] { return w->JournalList().model()->rowCount() == 1; }));
    w->JournalList().SelectRow(0);

    // Edit: the stored values; a tapped quantity on the keypad.
    w->Menu().Activate(main_menu::kEdit);
    QPointer<TDocumentForm> edit = test::FindChild<TDocumentForm>(w.get());
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->Status()->text(), QString::fromUtf8("документ записан"));
    EXPECT_EQ(edit->ClientBox()->text(), QString::fromUtf8("Иванов И. И."));
    EXPECT_EQ(edit->Comment()->toPlainText(), QString::fromUtf8("позвонить"));
    EXPECT_FALSE(edit->Record().modified);
    edit->Tabs()->setCurrentWidget(edit->Page(TDocumentPage::Order));
    TReportList* order = edit->OrderTable();
    order->SelectRow(1);
    auto keyed = test::WhenShown<TKeypadDialog>([](TKeypadDialog* k) {
        EXPECT_EQ(k->PriceLine()->text(), QString::fromUtf8("Цена  5.00"));
        QTest::keyClicks(k->Entry(), QStringLiteral("3"));
        k->OkButton()->click();
    });
    const QRect row = order->visualRect(order->model()->index(1, 1));
    QTest::mouseClick(order->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_TRUE(test::WaitUntil([&] { return *keyed; }));
    EXPECT_TRUE(test::WaitUntil([&] { return Cell(order, 1, 2) == QStringLiteral("3.00"); }));
    EXPECT_EQ(Cell(order, 1, 3), QStringLiteral("15.00"));
    EXPECT_TRUE(edit->Record().modified);
    EXPECT_TRUE(edit->Save());
    EXPECT_EQ(test::Value("select ORD_SUMM from DOC_HEADS"), "40.0") << "2 x 12.50 + 3 x 5.00";
    edit->RequestClose();
    ASSERT_TRUE(test::WaitUntil([&] { return !edit; }));

    // Copy: a new document; the stored NOCOPY_COMM of a new database empties the comment.
    SetOption("NOCOPY_CLI", "1");
    w->JournalList().SelectRow(0);
    w->Menu().Activate(main_menu::kCopy);
    QPointer<TDocumentForm> copy = test::FindChild<TDocumentForm>(w.get());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->Status()->text(), QString::fromUtf8("новый документ"));
    EXPECT_EQ(copy->ClientBox()->text(), QString());
    EXPECT_EQ(copy->Comment()->toPlainText(), QString());
    EXPECT_EQ(copy->OrderTable()->model()->rowCount(), 2) << "NOCOPY_TABLE1 is off";
    PickClientRow(*copy, 3);
    copy->Menu().Activate(kOk);
    ASSERT_TRUE(test::WaitUntil([&] { return !copy; }));
    EXPECT_EQ(w->Journal().rows.size(), 2u);
    EXPECT_EQ(
        test::Value("select CLI_NAME from DOC_HEADS where GUID='" + guid + "'"), "Иванов И. И.")
        << "the source is unchanged";

    // Taken over by the office: shown, but not saved.
    test::Exec("update DOC_HEADS set DOC_STATE=2 where GUID='" + guid + "'");
    TDocumentForm locked(nullptr);
    locked.Open(guid, false);
    locked.show();
    EXPECT_EQ(locked.Status()->text(), QString::fromUtf8("документ передан в БД"));
    folder.ui.Clear();
    locked.Menu().Activate(kSave);
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"Изменение запрещено.\r\nДокумент выгружен в центр. БД."}));
    locked.Menu().Activate(kOk);
    EXPECT_TRUE(locked.isVisible()) << "a refused save keeps the form open";
}

TEST_F(DocumentFormTest, CloseQueryAndTheTitleBar)
{
    TDocumentForm f(nullptr);
    int closed = 0;
    f.onClosed = [&] { ++closed; };
    f.show();
    // An unchanged document, or one with only a new date, closes without a question.
    f.Date()->setDate(f.Date()->date().addDays(3));
    EXPECT_FALSE(f.Record().modified);
    f.RequestClose();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(folder.ui.shown.empty());

    f.show();
    test::Type(f.Comment(), QString::fromUtf8("срочно"));
    EXPECT_TRUE(f.Record().modified);
    folder.ui.answers = {TAnswer::Cancel};
    f.Menu().Activate(kClose);
    EXPECT_TRUE(f.isVisible()) << "Cancel stays";
    folder.ui.answers = {TAnswer::Yes};
    f.Menu().Activate(kClose);
    EXPECT_TRUE(f.isVisible()) << "Yes with a refused save stays";
    EXPECT_EQ(folder.ui.Texts().back(), "Не заполнено поле \"Клиент\".");

    // On this desktop-sized screen the window manager's close asks the close query (on a
    // handheld-sized one it hides the form until the caption OK is given).
    folder.ui.answers = {TAnswer::Cancel};
    f.close();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.isMinimized());
    ASSERT_EQ(folder.ui.shown.size(), 4u);
    EXPECT_EQ(folder.ui.Texts().back(), "Документ изменен. Сохранить?");
    f.showNormal();
    SetOption("X_IS_CLOSE", "1");
    test::FireTimer(f.Timer());
    EXPECT_TRUE(f.TitleBarOk());
    folder.ui.answers = {TAnswer::No};
    f.close();
    EXPECT_FALSE(f.isVisible()) << "No closes without saving";
    EXPECT_EQ(closed, 2);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");
    const std::string question = "Документ изменен. Сохранить?";
    EXPECT_EQ(folder.ui.shown.back().text, question);
    EXPECT_EQ(folder.ui.shown.back().icon, TIcon::Question);
}

TEST_F(DocumentFormTest, EndingTheProgramAsksForTheOpenOrderFirst)
{
    SetOption("Q_ON_EXIT", "0");
    int quits = 0;
    TMainWindow w({[] { return Today(); }, [&] { ++quits; }});
    w.show();
    w.Menu().Activate(main_menu::kNew);
    QPointer<TDocumentForm> f = test::FindChild<TDocumentForm>(&w);
    ASSERT_TRUE(f);
    test::Type(f->Comment(), QString::fromUtf8("не забыть"));
    folder.ui.answers = {TAnswer::Cancel};
    w.Menu().Activate(main_menu::kExit);
    EXPECT_EQ(quits, 0) << "the order's close query was cancelled";
    EXPECT_TRUE(f && f->isVisible());
    EXPECT_EQ(folder.ui.Texts().back(), "Документ изменен. Сохранить?");
    folder.ui.answers = {TAnswer::No};
    w.Menu().Activate(main_menu::kExit);
    EXPECT_EQ(quits, 1);
}

TEST_F(DocumentFormTest, PickingTheSameClientTwiceLeavesTheDocumentUnchanged)
{
    TDocumentForm f(nullptr);
    f.show();
    PickClientRow(f, 2);
    EXPECT_TRUE(f.Record().modified);
    EXPECT_EQ(f.ClientInfo()->text(), QString::fromUtf8("склад"));
    ASSERT_TRUE(f.Save());
    EXPECT_EQ(f.Status()->text(), QString::fromUtf8("документ записан"));
    auto reselected = test::WhenShown<TReferenceForm>([](TReferenceForm* r) {
        EXPECT_EQ(r->List()->SelectedRow(), 2) << "the document's client is preselected";
        r->Pick();
    });
    QTest::mouseClick(f.ClientBox(), Qt::LeftButton);
    EXPECT_TRUE(*reselected) << "a tap on the box picks too";
    EXPECT_FALSE(f.Record().modified);

    // A trade point needs the client; without one the pick is refused.
    TDocumentForm fresh(nullptr);
    fresh.show();
    fresh.TradePointButton()->click();
    EXPECT_EQ(folder.ui.Texts().back(), "Не выбран клиент!");
    test::WhenShown<TReferenceForm>([](TReferenceForm* r) {
        EXPECT_EQ(r->List()->model()->rowCount(), 1);
        r->List()->SelectRow(0);
        r->Pick();
    });
    f.TradePointButton()->click();
    EXPECT_EQ(f.TradePointBox()->text(), QString::fromUtf8("Киоск Ивашкина"));
    EXPECT_TRUE(f.Record().modified);
}

TEST_F(DocumentFormTest, ShowingFollowsTheOptions)
{
    TDocumentForm plain(nullptr);
    plain.show();
    EXPECT_EQ(plain.Tabs()->count(), 3) << "DOC_SKU is 0 on a new database";
    EXPECT_EQ(plain.Tabs()->tabText(0), QString::fromUtf8(" Шапка "));
    EXPECT_EQ(plain.Tabs()->tabText(1), QString::fromUtf8(" Заявка "));
    EXPECT_EQ(plain.Tabs()->tabText(2), QString::fromUtf8("   Цены   "));
    EXPECT_TRUE(plain.TradePointRow()->isHidden());
    EXPECT_EQ(plain.ClientLabel()->text(), QString::fromUtf8(" Клиент:"));
    EXPECT_EQ(plain.DateLabel()->text(), QString::fromUtf8(" Дата отгрузки:"));
    EXPECT_EQ(plain.OrderTable()->ColumnCount(), 4);
    EXPECT_EQ(plain.OrderTable()->ColumnCaption(3), QString::fromUtf8("Сумма"));
    EXPECT_TRUE(plain.OrderTable()->GridLines());
    EXPECT_EQ(plain.CurrentPage(), TDocumentPage::Header);
    for (int item : {kPick, kEnter, kBar})
        EXPECT_FALSE(plain.Menu().ItemVisible(item)) << item;
    for (int item : {kOk, kSave, kClose})
        EXPECT_TRUE(plain.Menu().ItemVisible(item)) << item;
    plain.Tabs()->setCurrentIndex(2);
    EXPECT_FALSE(plain.Menu().ItemVisible(kPick));
    EXPECT_FALSE(plain.Menu().ItemVisible(kEnter)) << "never offered without the SKU page";
    EXPECT_TRUE(plain.Menu().ItemVisible(kBar));

    SetOption("DOC_SKU", "1");
    SetOption("DOC_TRADE_P", "1");
    SetOption("UseSUMS", "0");
    SetOption("DOCPAGE", "1");
    SetOption("LINES_DOC", "0");
    SetOption("Client", "Покупатель:");
    SetOption("Count", "Штук");
    SetOption("TABLE2", "Полка");
    TDocumentForm shaped(nullptr);
    shaped.show();
    EXPECT_EQ(shaped.Tabs()->count(), 4);
    EXPECT_EQ(shaped.Tabs()->tabText(2), QString::fromUtf8(" Полка "));
    EXPECT_FALSE(shaped.TradePointRow()->isHidden());
    EXPECT_EQ(shaped.ClientLabel()->text(), QString::fromUtf8(" Покупатель:"));
    EXPECT_EQ(shaped.OrderTable()->ColumnCount(), 3);
    EXPECT_EQ(shaped.OrderTable()->ColumnCaption(2), QString::fromUtf8("Штук"));
    EXPECT_FALSE(shaped.OrderTable()->GridLines());
    EXPECT_EQ(shaped.CurrentPage(), TDocumentPage::Order);
    EXPECT_TRUE(shaped.Menu().ItemVisible(kPick));
    shaped.Tabs()->setCurrentWidget(shaped.Page(TDocumentPage::Sku));
    EXPECT_TRUE(shaped.Menu().ItemVisible(kEnter));
    EXPECT_FALSE(shaped.Menu().ItemVisible(kPick));
}

TEST_F(DocumentFormTest, GoodsPickingKeepsOrReplacesTheOrder)
{
    TDocumentForm f(nullptr);
    f.Open(StoredDocument(), false);
    f.show();
    f.OrderTable()->SelectRow(0);
    test::WhenShown<TKeypadDialog>([](TKeypadDialog* k) {
        k->Key(QStringLiteral("C"))->click();
        k->Key(QStringLiteral("0"))->click();
        k->OkButton()->click();
    });
    f.EditQuantity(0);
    EXPECT_EQ(Cell(f.OrderTable(), 0, 2), QString()) << "zero leaves the cell empty";
    EXPECT_EQ(Cell(f.OrderTable(), 0, 3), QString());

    auto cancelled = test::WhenShown<TGoodsForm>([](TGoodsForm* g) {
        EXPECT_EQ(g->Selection().Rows()[0]->quantity, 0) << "the emptied line is not passed";
        g->reject();
    });
    f.PickGoods();
    EXPECT_TRUE(*cancelled);
    EXPECT_EQ(f.OrderTable()->model()->rowCount(), 2) << "cancelled: the table stays";

    test::WhenShown<TGoodsForm>([](TGoodsForm* g) { g->Confirm(); });
    f.PickGoods();
    EXPECT_EQ(f.OrderTable()->model()->rowCount(), 1) << "only the line with a quantity";
    EXPECT_EQ(Cell(f.OrderTable(), 0, 1), QString::fromUtf8("Рис круглый"));

    test::WhenShown<TGoodsForm>([](TGoodsForm* g) {
        TypeInGroup(g, "Бакалея", 0, "0");
        g->Confirm();
    });
    f.PickGoods();
    EXPECT_EQ(f.OrderTable()->model()->rowCount(), 0) << "confirmed with no quantities";
}

TEST_F(DocumentFormTest, SkuRowEntryWritesTheCountsBack)
{
    SetOption("DOC_SKU", "1");
    TDocumentForm f(nullptr);
    f.show();
    f.Tabs()->setCurrentWidget(f.Page(TDocumentPage::Sku));
    TReportList* grid = f.SkuGrid();
    ASSERT_EQ(grid->model()->rowCount(), 2);
    ASSERT_EQ(grid->ColumnCount(), 5);
    EXPECT_EQ(grid->ColumnCaption(1), QString::fromUtf8("Производитель"));
    EXPECT_EQ(grid->ColumnCaption(4), QString::fromUtf8("Чай"));
    EXPECT_EQ(grid->columnWidth(0), 1) << "the hidden GUID column";
    EXPECT_EQ(grid->columnWidth(2), 40);
    grid->SelectRow(1);
    auto entered = test::WhenShown<TLineEntryDialog>([](TLineEntryDialog* d) {
        EXPECT_EQ(d->Title()->text(), QString::fromUtf8("Соседи"));
        ASSERT_EQ(d->Rows().size(), 3u);
        EXPECT_EQ(d->Rows()[2].caption, "Чай");
        d->List()->SelectRow(2);
        test::WhenShown<TKeypadDialog>([](TKeypadDialog* k) {
            QTest::keyClicks(k->Entry(), QStringLiteral("2.7"));
            k->OkButton()->click();
        });
        d->ChangeButton()->click();
        d->OkButton()->click();
    });
    f.Menu().Activate(kEnter);
    EXPECT_TRUE(*entered);
    EXPECT_EQ(Cell(grid, 1, 4), QStringLiteral("2"));
    EXPECT_TRUE(f.Record().modified);

    test::WhenShown<TLineEntryDialog>([](TLineEntryDialog* d) { d->CancelButton()->click(); });
    f.Menu().Activate(kEnter);
    EXPECT_EQ(Cell(grid, 1, 4), QStringLiteral("2")) << "cancel writes nothing";
}

} // namespace
} // namespace vendrix
