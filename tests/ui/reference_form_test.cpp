// The reference selection form over a real client list: its two modes, the columns and the
// preselected row, red codes, the quick search, the blocked client and the saved code width.
#include "documents/reference_form.h"
#include "storage/options.h"
#include "toolkit/menu_bar.h"
#include "toolkit/report_list.h"
#include "ui/document_fixture.h"

#include <QLineEdit>
#include <QSplitter>
#include <QTest>

namespace vendrix {
namespace {

class ReferenceFormTest : public test::CatalogueTest {
protected:
    static QString Cell(const TReferenceForm& f, int row, int column)
    {
        const QAbstractItemModel* m = f.List()->model();
        return m->data(m->index(row, column)).toString();
    }
    static QVariant Colour(const TReferenceForm& f, int row)
    {
        const QAbstractItemModel* m = f.List()->model();
        return m->data(m->index(row, 0), Qt::ForegroundRole);
    }
};

TEST_F(ReferenceFormTest, ClientModeListsClientsWithTheCurrentOneSelected)
{
    TReferenceForm f(nullptr, TReferenceMode::Clients, " C-3 ");
    f.show();
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8("Справочник"));
    EXPECT_EQ(f.Menu().ItemCaption(0), QString::fromUtf8("[ Выбрать ]"));
    EXPECT_EQ(f.Menu().ItemCaption(1), QString::fromUtf8("[ Отмена ]"));
    ASSERT_EQ(f.List()->model()->rowCount(), 4) << "no trade points among the clients";
    EXPECT_EQ(f.List()->SelectedRow(), 2);
    const char* const captions[] = {"Kod", "Name", "3", "4", "5"};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(f.List()->ColumnCaption(c).toStdString(), captions[c]);
    EXPECT_EQ(Cell(f, 0, 0), QString::fromUtf8("А12"));
    EXPECT_EQ(Cell(f, 0, 1), QString::fromUtf8("Иванов И. И."));
    EXPECT_EQ(Cell(f, 1, 3), QStringLiteral("1"));
    EXPECT_EQ(f.List()->columnWidth(0), f.CodeBoxWidth());
    EXPECT_EQ(f.CodeBoxWidth(), 42);
    for (int c = 2; c <= 4; ++c)
        EXPECT_EQ(f.List()->columnWidth(c), 0) << c;
    EXPECT_GT(f.List()->columnWidth(1), 100);

    EXPECT_EQ(Colour(f, 0).value<QColor>(), QColor(255, 0, 0)) << "Cyrillic А: red";
    EXPECT_EQ(Colour(f, 1).value<QColor>(), QColor(Qt::black)) << "Latin A: black";
}

TEST_F(ReferenceFormTest, CodesAreDrawnInRedOrBlack)
{
    TReferenceForm f(nullptr, TReferenceMode::Clients, "");
    f.resize(240, 320);
    f.show();
    const QImage drawn = f.List()->viewport()->grab().toImage();
    // Counts the red and the dark pixels of a row's code cell.
    auto inks = [&](int row) {
        const QRect cell = f.List()->visualRect(f.List()->model()->index(row, 0));
        std::pair<int, int> redDark {0, 0};
        for (int y = cell.top(); y <= cell.bottom(); ++y) {
            for (int x = cell.left(); x < cell.right(); ++x) {
                const QColor c = drawn.pixelColor(x * drawn.width() / f.List()->viewport()->width(),
                    y * drawn.height() / f.List()->viewport()->height());
                redDark.first += c.red() > 150 && c.green() < 100 && c.blue() < 100;
                redDark.second += c.red() < 90 && c.green() < 90 && c.blue() < 90;
            }
        }
        return redDark;
    };
    EXPECT_GT(inks(0).first, 5) << "А12 is written in red";
    EXPECT_EQ(inks(1).first, 0) << "A13 (Latin) is not red";
    EXPECT_GT(inks(1).second, 5) << "and its code is written";
}

TEST_F(ReferenceFormTest, TradePointModeListsThePointsOfTheClient)
{
    TReferenceForm f(nullptr, TReferenceMode::TradePoints, "T-9", "C-1");
    f.show();
    ASSERT_EQ(f.List()->model()->rowCount(), 1);
    EXPECT_EQ(Cell(f, 0, 1), QString::fromUtf8("Магазин на Садовой"));
    EXPECT_EQ(f.List()->SelectedRow(), -1) << "an unknown GUID selects nothing";

    const TPickedItem refused = PickTradePoint(nullptr, "T-1", "  ");
    EXPECT_FALSE(refused.chosen);
    EXPECT_EQ(folder.ui.Texts(), (std::vector<std::string> {"Не выбран клиент!"}));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no form is shown";

    auto ran = test::WhenShown<TReferenceForm>([](TReferenceForm* form) {
        form->List()->SelectRow(0);
        form->Pick();
    });
    const TPickedItem picked = PickTradePoint(nullptr, "", "C-3");
    EXPECT_TRUE(*ran);
    EXPECT_TRUE(picked.chosen);
    EXPECT_EQ(picked.guid, "T-2");
    EXPECT_EQ(picked.name, "Киоск Ивашкина");
}

TEST_F(ReferenceFormTest, BlockedClientCannotBePicked)
{
    auto ran = test::WhenShown<TReferenceForm>([](TReferenceForm* form) {
        form->List()->SelectRow(1);
        form->Pick();
        form->Pick();
        EXPECT_TRUE(form->isVisible()) << "the form stays open";
        // A tap on a row picks it.
        const QRect row = form->List()->visualRect(form->List()->model()->index(0, 1));
        QTest::mouseClick(form->List()->viewport(), Qt::LeftButton, {}, row.center());
    });
    const TPickedItem picked = PickClient(nullptr, "");
    EXPECT_TRUE(*ran);
    const std::vector<std::string> twice(2, "На выбранного клиента отгрузка запрещена!");
    EXPECT_EQ(folder.ui.Texts(), twice);
    EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Warning);
    EXPECT_TRUE(picked.chosen);
    EXPECT_EQ(picked.guid, "C-1");
    EXPECT_EQ(picked.info, "тел. 22-33|ул. Садовая, 5");

    test::WhenShown<TReferenceForm>([](TReferenceForm* form) { form->Cancel(); });
    const TPickedItem cancelled = PickClient(nullptr, "C-4");
    EXPECT_FALSE(cancelled.chosen);
    EXPECT_EQ(cancelled.guid, "C-4") << "the GUID given on entry";
    EXPECT_EQ(cancelled.name, "");
}

TEST_F(ReferenceFormTest, QuickSearchSelectsTheFirstMatch)
{
    TReferenceForm f(nullptr, TReferenceMode::Clients, "C-4");
    f.show();
    test::Type(f.NameBox(), QString::fromUtf8("ив"));
    EXPECT_EQ(f.List()->SelectedRow(), 0);
    test::Type(f.NameBox(), QString::fromUtf8("АШ"));
    EXPECT_EQ(f.List()->SelectedRow(), 2) << "letter case ignored";
    test::Type(f.NameBox(), QString::fromUtf8("z"));
    EXPECT_EQ(f.List()->SelectedRow(), 2) << "no match keeps the selection";
}

TEST_F(ReferenceFormTest, CodeBoxWidthIsKeptInTheOptions)
{
    SetOption("SPR_COLW_0", "80");
    {
        TReferenceForm f(nullptr, TReferenceMode::Clients, "");
        f.show();
        EXPECT_EQ(f.CodeBoxWidth(), 80);
        EXPECT_EQ(f.List()->columnWidth(0), 80);
        f.Splitter()->setSizes({60, 200});
        EXPECT_EQ(f.List()->columnWidth(0), 60) << "the code column follows the box";
        f.Cancel();
    }
    EXPECT_EQ(GetOption(nullptr, "SPR_COLW_0"), "60");

    SetOption("SPR_COLW_0", "4");
    {
        TReferenceForm f(nullptr, TReferenceMode::Clients, "");
        f.show();
        EXPECT_EQ(f.CodeBoxWidth(), 42) << "4 or less keeps the creation width";
    }

    SetOption("SPR_CODES", "0");
    SetOption("SPR_COLW_0", "90");
    {
        TReferenceForm f(nullptr, TReferenceMode::Clients, "");
        f.show();
        EXPECT_FALSE(f.CodeBox()->isVisible());
        EXPECT_EQ(f.List()->columnWidth(0), 0);
        f.List()->SelectRow(0);
        f.Pick();
    }
    EXPECT_EQ(GetOption(nullptr, "SPR_COLW_0"), "90") << "not written without codes";

    SetOption("SPR_CODES", "1");
    SetOption("SPR_QSEARCH", "0");
    TReferenceForm hidden(nullptr, TReferenceMode::Clients, "");
    hidden.show();
    EXPECT_FALSE(hidden.SearchRow()->isVisible());
    EXPECT_EQ(hidden.List()->columnWidth(0), 0);
}

} // namespace
} // namespace vendrix
