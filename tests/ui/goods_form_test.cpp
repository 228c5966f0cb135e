// The goods multi-select form over a real catalogue: the document's lines taken in, the group
// drop-down, quantities on the keypad kept across groups and handed back in catalogue order,
// search, the saved column widths and the modal-child-open flag.
#include "documents/goods_form.h"
#include "documents/keypad_dialog.h"
#include "storage/options.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace vendrix {
namespace {

class GoodsFormTest : public test::CatalogueTest {
protected:
    static QString Cell(const TGoodsForm& f, int row, int column)
    {
        const QAbstractItemModel* m = f.List()->model();
        return m->data(m->index(row, column)).toString();
    }
    static QStringList Column(const TGoodsForm& f, int column)
    {
        QStringList out;
        for (int r = 0; r < f.List()->model()->rowCount(); ++r)
            out << Cell(f, r, column);
        return out;
    }
    // Chooses the group named `name` in the drop-down, as the agent does.
    static void ChooseGroup(TGoodsForm& f, const char* name)
    {
        f.OpenGroups();
        const auto items = f.Tree()->findItems(QString::fromUtf8(name), Qt::MatchRecursive);
        ASSERT_EQ(items.size(), 1) << name;
        f.Tree()->setCurrentItem(items.front());
        f.TreeOk()->click();
    }
    // Types `keys` on the keypad for row `row` and confirms.
    static void Enter(TGoodsForm& f, int row, const char* keys, TAmount* price = nullptr)
    {
        f.List()->SelectRow(row);
        auto ran = test::WhenShown<TKeypadDialog>([keys, price](TKeypadDialog* k) {
            if (price)
                *price = k->Keypad().Price();
            test::Type(k->Entry(), QString::fromUtf8(keys));
            k->OkButton()->click();
        });
        f.EnterQuantity();
        EXPECT_TRUE(*ran);
    }
};

TEST_F(GoodsFormTest, OpensOnTheFirstGroupWithTheDocumentsQuantities)
{
    TGoodsForm f(nullptr);
    f.Prepare("G-1\t2\r\nG-GONE\t3\r\nG-4\t1,5\r\n");
    EXPECT_EQ(f.List()->ColumnCaption(0), QStringLiteral(" Kod"));
    f.show();
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8(" Подбор товаров"));
    const char* const captions[] = {" ", "Товар", "Кол-во", "Цена", "Сумма"};
    ASSERT_EQ(f.List()->ColumnCount(), 5);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(f.List()->ColumnCaption(c).toStdString(), captions[c]);
    EXPECT_EQ(f.GroupButton()->text(), QString::fromUtf8(" Напитки"));
    EXPECT_EQ(Column(f, 1),
        QStringList({QString::fromUtf8("Сок яблочный"), QString::fromUtf8("Сок вишнёвый")}))
        << "the sub-group's water is in its own group";
    EXPECT_EQ(Column(f, 0), QStringList({"101", "102"}));
    EXPECT_EQ(Column(f, 2), QStringList({"2.00", ""}));
    EXPECT_EQ(Column(f, 3), QStringList({"12.50", "10.00"}));
    EXPECT_EQ(Column(f, 4), QStringList({"25.00", ""}));
    EXPECT_EQ(f.List()->columnWidth(0), 44) << "code box width + 2";
    EXPECT_GE(f.List()->columnWidth(2), 40) << "at least 40, and room for its caption";
    EXPECT_GE(f.List()->columnWidth(2), f.List()->header()->sectionSizeHint(2));
    EXPECT_GE(f.List()->columnWidth(1), 100);
    const char* const menu[] = {" ВВОД ", "|", " [ Ок ] ", "|", " [X] Отмена"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(f.Menu().ItemCaption(i).toStdString(), menu[i]);
    EXPECT_FALSE(f.Menu().ItemEnabled(1));
    EXPECT_FALSE(f.DropDown()->isVisible());
    EXPECT_FALSE(f.TreeButtons()->isVisible());

    f.Confirm();
    const std::vector<std::string> expected
        = {"G-1\t2.00\tСок яблочный\t12.50\t25.00", "G-4\t1.50\tРис круглый\t5.00\t7.50"};
    EXPECT_EQ(f.Result(), expected) << "the unknown GUID is dropped";
}

TEST_F(GoodsFormTest, QuantitiesTypedInTwoGroupsComeBackInCatalogueOrder)
{
    TGoodsForm f(nullptr);
    f.Prepare("G-2\t1");
    f.show();
    ChooseGroup(f, "Бакалея");
    EXPECT_EQ(f.GroupButton()->text(), QString::fromUtf8(" Бакалея"));
    TAmount price = 0;
    Enter(f, 1, "4", &price);
    EXPECT_EQ(price, 75000) << "the goods price on the keypad";
    EXPECT_EQ(Cell(f, 1, 2), QStringLiteral("4.00"));
    EXPECT_EQ(Cell(f, 1, 4), QStringLiteral("30.00"));
    ChooseGroup(f, "Воды");
    Enter(f, 0, "10");
    ChooseGroup(f, "Напитки");
    EXPECT_EQ(Cell(f, 1, 2), QStringLiteral("1.00")) << "kept while away";
    Enter(f, 1, "0");
    EXPECT_EQ(Cell(f, 1, 2), QString()) << "zero shows an empty cell";
    ChooseGroup(f, "Бакалея");
    EXPECT_EQ(Cell(f, 1, 2), QStringLiteral("4.00"));
    f.Confirm();
    const std::vector<std::string> expected
        = {"G-3\t10.00\tВода минеральная\t0.29\t2.90", "G-5\t4.00\tГречка\t7.50\t30.00"};
    EXPECT_EQ(f.Result(), expected);
}

TEST_F(GoodsFormTest, GroupDropDownChoosesOrClosesWithoutChoice)
{
    TGoodsForm f(nullptr);
    f.Prepare("");
    f.show();
    const QRect caption = f.GroupButton()->geometry();
    f.GroupButton()->click();
    ASSERT_TRUE(f.DropDown()->isVisible());
    EXPECT_TRUE(f.TreeButtons()->isVisible());
    EXPECT_EQ(f.Tree()->currentItem()->text(0), QString::fromUtf8("Напитки"));
    EXPECT_EQ(f.TreeOk()->text(), QStringLiteral("OK"));
    EXPECT_EQ(f.TreeClose()->text(), QStringLiteral("X"));
    EXPECT_EQ(f.DropDown()->x(), caption.x() + 2);
    EXPECT_EQ(f.DropDown()->y(), caption.bottom() + 1 + 2);
    EXPECT_EQ(f.DropDown()->width(), caption.width());
    EXPECT_LE(f.DropDown()->geometry().right(), f.width());
    EXPECT_EQ(f.Tree()->topLevelItemCount(), 2) << "Напитки (with Воды) and Бакалея";
    EXPECT_TRUE(f.Tree()->topLevelItem(0)->isExpanded());

    f.Tree()->setCurrentItem(f.Tree()->topLevelItem(1));
    QTest::keyClick(f.Tree(), Qt::Key_Escape);
    EXPECT_FALSE(f.DropDown()->isVisible());
    EXPECT_FALSE(f.TreeButtons()->isVisible());
    EXPECT_EQ(f.GroupButton()->text(), QString::fromUtf8(" Напитки")) << "no choice made";

    f.OpenGroups();
    EXPECT_EQ(f.Tree()->currentItem()->text(0), QString::fromUtf8("Напитки"))
        << "opens on the current group";
    f.Tree()->setCurrentItem(f.Tree()->topLevelItem(1));
    f.TreeClose()->click();
    EXPECT_EQ(Column(f, 1).size(), 2);

    f.OpenGroups();
    f.Tree()->setCurrentItem(f.Tree()->topLevelItem(1));
    QTest::keyClick(f.Tree(), Qt::Key_Return);
    EXPECT_FALSE(f.DropDown()->isVisible());
    EXPECT_EQ(
        Column(f, 1), QStringList({QString::fromUtf8("Рис круглый"), QString::fromUtf8("Гречка")}));
}

TEST_F(GoodsFormTest, SearchAndTapsFindTheRowToEnter)
{
    TGoodsForm f(nullptr);
    f.Prepare("");
    f.show();
    test::Type(f.NameBox(), QString::fromUtf8("сок в"));
    EXPECT_EQ(f.List()->SelectedRow(), 1);
    f.NameBox()->clear();
    QTest::keyClicks(f.CodeBox(), QStringLiteral("101"));
    EXPECT_EQ(f.List()->SelectedRow(), 0) << "the code box searches the codes";
    test::Type(f.NameBox(), QString::fromUtf8("Рис"));
    EXPECT_EQ(f.List()->SelectedRow(), 0) << "only the current group is searched";
    QApplication::setActiveWindow(&f);
    f.NameBox()->setFocus();
    EXPECT_TRUE(f.CodeBox()->text().isEmpty()) << "entering the name box empties both boxes";

    // The first tap selects; a tap on the selected row opens the keypad.
    f.List()->SelectRow(-1);
    const QRect second = f.List()->visualRect(f.List()->model()->index(1, 1));
    auto opened = std::make_shared<bool>(false);
    test::WhenShown<TKeypadDialog>([opened](TKeypadDialog* k) {
        *opened = true;
        EXPECT_EQ(k->windowTitle(), QString::fromUtf8("Количество  Сок вишнёвый"));
        EXPECT_EQ(k->UnitLabel()->text(), QString::fromUtf8("шт"));
        k->CancelButton()->click();
    });
    QTest::mouseClick(f.List()->viewport(), Qt::LeftButton, {}, second.center());
    // The tap is handed on through the event queue; once that is empty the tap has acted.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.List()->SelectedRow(), 1);
    EXPECT_FALSE(*opened) << "a first tap only selects";
    QTest::mouseClick(f.List()->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_TRUE(test::WaitUntil([&] { return *opened; }));
    EXPECT_EQ(Cell(f, 1, 2), QString()) << "cancelled: nothing typed";
}

TEST_F(GoodsFormTest, WidthsAndTheModalChildFlag)
{
    SetOption("SPR_MUL_COLW_1", "120");
    SetOption("SPR_MUL_COLW_2", "10");
    auto ran = test::WhenShown<TGoodsForm>([](TGoodsForm* f) {
        EXPECT_TRUE(ModalChildOpen());
        EXPECT_EQ(f->List()->columnWidth(1), 120);
        EXPECT_EQ(f->List()->columnWidth(2), 80) << "10 or less keeps the creation width";
        f->List()->setColumnWidth(3, 70);
        f->Menu().Activate(goods_menu::kCancel);
    });
    std::vector<std::string> result {"untouched"};
    EXPECT_FALSE(RunGoodsSelection(nullptr, "G-1\t1", result));
    EXPECT_TRUE(*ran);
    EXPECT_FALSE(ModalChildOpen());
    EXPECT_EQ(result, std::vector<std::string> {"untouched"});
    // A restored width leaves the others at their creation widths.
    const char* const widths[] = {"50", "120", "80", "70", "62"};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(GetOption(nullptr, GoodsColumnWidthOption(c)), widths[c]) << c;

    // Without sums: three columns, no price on the keypad, three widths written.
    test::Exec("delete from MY_OPTIONS where OPT_NAME like 'SPR_MUL_COLW_%'");
    SetOption("UseSUMS", "0");
    SetOption("SPR_CODES", "0");
    SetOption("SPR_MUL_COLW_0", "50");
    ran = test::WhenShown<TGoodsForm>([](TGoodsForm* f) {
        EXPECT_EQ(f->List()->ColumnCount(), 3);
        EXPECT_EQ(f->List()->columnWidth(0), 0) << "no codes: no code column";
        EXPECT_FALSE(f->CodeBox()->isVisible());
        TAmount price = 0;
        Enter(*f, 0, "3", &price);
        EXPECT_LT(price, 0);
        f->Menu().Activate(goods_menu::kOk);
    });
    EXPECT_TRUE(RunGoodsSelection(nullptr, "", result));
    EXPECT_EQ(result, std::vector<std::string> {"G-1\t3.00\tСок яблочный\t12.50\t37.50"});
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS where OPT_NAME like "
                          "'SPR_MUL_COLW_%'"),
        "3");
}

} // namespace
} // namespace vendrix
